// The console in front of the port: the typed line, the screening of the
// opening character and the rate switches, against a scripted board on a
// fake port in virtual time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Block.h"
#include "ConsolePort.h"
#include "FakePort.h"
#include "ResultCodes.h"
#include "SwitchPrompt.h"
#include "YModemTx.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

std::string text(const Bytes& b)
{
    return std::string(b.begin(), b.end());
}

struct Piece {
    uint64_t atMs;
    std::string bytes;
};

struct ScreenCase {
    const char* name;
    std::vector<Piece> input;
    int32_t result;
    uint64_t startedAtMs;
};

TEST(ConsolePortTest, OnlyAnOpeningCharacterThatStandsAloneStartsTheTransfer)
{
    const std::string echo = "loady 0x4020000C\r\n";
    const std::string ready = "## Ready for binary (ymodem) download to 0x4020000C at 115200 bps...\r\n";
    const ScreenCase cases[] = {
        {"C inside the echo and the answer", {{5, echo}, {6, ready}}, rc::Timeout, 0},
        {"a lone C after the answer, once quiet", {{5, echo}, {6, ready}, {1000, "C"}}, rc::Ok, 1100},
        {"a line end after the C ends the wait at once", {{5, "\r\nC\r\n"}}, rc::Ok, 5},
        {"text 35 ms after the C is still its line", {{5, "\r\nC"}, {40, "ontinue\r\n"}, {2000, "C"}}, rc::Ok, 2100},
        {"the receiver's repeat after text on its line", {{5, "waiting:C"}, {1005, "C"}}, rc::Ok, 1105},
        {"G inside text, then NAK alone", {{5, "Gigabit\r\n"}, {500, "\x15"}}, rc::Ok, 600},
    };
    for (const ScreenCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakePort port;
        ConsolePort::Settings settings;
        settings.line = "loady 0x4020000C";
        settings.screenStart = true;
        ConsolePort console(port, settings);
        ASSERT_EQ(console.configure(115200), rc::Ok);
        for (const Piece& piece : c.input)
            port.deliver(bytes(piece.bytes), piece.atMs);
        YModemTx tx(console, 0);
        EXPECT_EQ(tx.waitForStart(), c.result);
        if (c.result == rc::Ok) {
            EXPECT_EQ(port.now(), c.startedAtMs);
        }
        // The line went out once, right after the set-up, and nothing else.
        ASSERT_EQ(port.writes.size(), 2u);
        EXPECT_EQ(text(port.writes[0].bytes) + text(port.writes[1].bytes), "loady 0x4020000C\r");
        EXPECT_EQ(port.writes[0].atMs, 0u);
        EXPECT_EQ(port.rates, std::vector<uint32_t>{115200});
    }
}

TEST(ConsolePortTest, SwitchRequestsAreParsedWholeOnly)
{
    struct Row {
        const char* line;
        bool found;
        uint32_t rate;
        uint8_t key;
    };
    const Row rows[] = {
        {"## Switch baudrate to 921600 bps and press ENTER ...", true, 921600, '\r'},
        {"## Switch baudrate to 115200 bps and press ESC ...", true, 115200, 0x1B},
        {"=> ## Switch baudrate to 3000000 bps and press ENTER", true, 3000000, '\r'},
        {"## Switch baudrate to 921600 bps and press EN", false, 0, 0},
        {"## Switch baudrate to  bps and press ENTER", false, 0, 0},
        {"## Switch baudrate to 0 bps and press ENTER", false, 0, 0},
        {"## Switch baudrate to 99999999999 bps and press ENTER", false, 0, 0},
        {"## Switch baudrate to 921600 bps and press any key", false, 0, 0},
    };
    for (const Row& row : rows) {
        SwitchPrompt::Request request {};
        const std::string line = row.line;
        EXPECT_EQ(parseSwitchRequest(line.data(), static_cast<uint32_t>(line.size()), request), row.found)
            << row.line;
        if (row.found) {
            EXPECT_EQ(request.rate, row.rate);
            EXPECT_EQ(request.key, row.key);
        }
    }
}

// A board that plays U-Boot's "loady ADDR 921600": it asks for the switch
// in pieces, changes its rate, takes the CR only at the new rate, and after
// the load asks to switch back and takes ESC only at the old one. Bytes
// written at another rate than the board's are lost, as on a real cable.
struct SwitchingBoard {
    std::vector<std::string> prompt;
    uint32_t boardRate = 115200;
    uint64_t crAtMs = 0;
    uint64_t escAtMs = 0;

    void attach(FakePort& port)
    {
        port.peer = [this](FakePort& p, const uint8_t* d, uint32_t n) { onWrite(p, std::string(d, d + n)); };
    }
    void onWrite(FakePort& port, const std::string& written)
    {
        if (port.rate != boardRate)
            return;
        if (written == "\r" && boardRate == 921600) {
            crAtMs = port.now();
            port.deliver(bytes("## Ready for binary (ymodem) download to 0x40200000 at 921600 bps...\r\n"), 1);
            port.deliver(bytes("C"), 1000);
        } else if (written == "\x1b" && boardRate == 115200) {
            escAtMs = port.now();
            port.deliver(bytes("\r\n=> "), 1);
        } else if (written.back() == '\r') {
            port.deliver(bytes(written + "\n"), 1);
            uint64_t at = 2;
            for (const std::string& piece : prompt) {
                port.deliver(bytes(piece), at);
                at += 30;
            }
            boardRate = 921600;
        }
    }
    // The load is over: the board asks to switch back at 921600, then changes.
    void loadDone(FakePort& port)
    {
        port.deliver(bytes("## Start Addr      = 0x40200000\r\n## Switch baudrate to 115200 bps"), 1);
        port.deliver(bytes(" and press ESC ...\r\n"), 40);
        boardRate = 115200;
    }
};

struct SwitchFixture : ::testing::Test {
    FakePort port;
    SwitchingBoard board;
    ConsolePort::Settings settings;
    void SetUp() override
    {
        settings.line = "loady 0x40200000 921600";
        settings.screenStart = true;
        settings.followSwitch = true;
        board.attach(port);
    }
};

TEST_F(SwitchFixture, SwitchesBeforeTheKeyBothWaysAndTheCaptureSeesEverything)
{
    // The request split over three reads, with and without its line end.
    const std::vector<std::vector<std::string>> prompts = {
        {"## Switch baud", "rate to 921600 bps and pr", "ess ENTER ...\r\n"},
        {"## Switch baudrate to 921600 bps and press ENTER", " ..."},
    };
    for (const auto& prompt : prompts) {
        FakePort p;
        SwitchingBoard b;
        b.prompt = prompt;
        b.attach(p);
        ConsolePort console(p, settings);
        ASSERT_EQ(console.configure(115200), rc::Ok);
        YModemTx tx(console, 0);
        ASSERT_EQ(tx.waitForStart(), rc::Ok) << prompt[0];
        EXPECT_TRUE(console.switchedAway());
        // The CR came after the board's line had been quiet for the settle time.
        EXPECT_GE(b.crAtMs, 2 + 30 * (prompt.size() - 1) + ConsolePort::kSwitchSettleMs);

        const uint8_t frame[] = {ctl::SOH, 0, 0xFF};
        ASSERT_EQ(console.write(frame, sizeof frame, 1000), 3);
        b.loadDone(p);
        std::string captured;
        uint8_t buffer[1152];
        while (captured.find("=> ") == std::string::npos) {
            int32_t n = console.read(buffer, sizeof buffer, 10000);
            ASSERT_GT(n, 0) << captured;
            captured.append(buffer, buffer + n);
        }
        EXPECT_NE(captured.find("press ESC ...\r\n"), std::string::npos);
        EXPECT_FALSE(console.switchedAway());
        EXPECT_GT(b.escAtMs, 0u);
        EXPECT_EQ(p.rates, (std::vector<uint32_t>{115200, 921600, 115200}));
        // Typed once: the line, its CR, the key, the frame, the key.
        EXPECT_EQ(text(p.allWritten()), std::string("loady 0x40200000 921600\r\r") +
                                            std::string(reinterpret_cast<const char*>(frame), 3) + "\x1b");
    }
}

TEST_F(SwitchFixture, ARefusedRateIsTheSettingsCodeWithNothingSent)
{
    board.prompt = {"## Switch baudrate to 921600 bps and press ENTER ...\r\n"};
    port.refusedRate = 921600;
    ConsolePort console(port, settings);
    ASSERT_EQ(console.configure(115200), rc::Ok);
    YModemTx tx(console, 0);
    EXPECT_EQ(tx.waitForStart(), rc::PortSettings);
    EXPECT_EQ(text(port.allWritten()), "loady 0x40200000 921600\r");
    EXPECT_EQ(port.rates, std::vector<uint32_t>{115200});
}

TEST_F(SwitchFixture, WithoutARequestNothingChangesAndTheSwitchBackWaitEnds)
{
    settings.line = "loady";
    board.prompt = {};
    ConsolePort console(port, settings);
    ASSERT_EQ(console.configure(115200), rc::Ok);
    port.deliver(bytes("## Ready for binary (ymodem) download to 0x40200000 at 115200 bps...\r\n"), 3);
    port.deliver(bytes("C"), 900);
    YModemTx tx(console, 0);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    EXPECT_EQ(port.now(), 1000u);
    EXPECT_FALSE(console.switchedAway());
    EXPECT_EQ(console.awaitSwitchBack(10000), rc::Ok);
    EXPECT_EQ(port.rates, std::vector<uint32_t>{115200});
}

}  // namespace
