// The simulated board's parts: the CRC-32 it reports, the image sink behind
// the receiver engine, the line-end skipping in front of it, the banner and
// the console. Engine runs use the scripted port in virtual time.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Block.h"
#include "Board.h"
#include "BootConsole.h"
#include "Crc32.h"
#include "FakePort.h"
#include "ImageSink.h"
#include "LineEndSkippingPort.h"
#include "ResultCodes.h"
#include "YModemRx.h"

namespace {

std::vector<uint8_t> bytesOf(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::string textOf(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

uint32_t crcOf(const std::string& text)
{
    Crc32 crc;
    crc.update(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return crc.value();
}

// Check values of the zlib/IEEE CRC-32 (zlib.crc32 gives the same).
TEST(FakeboardCrc32, MatchesTheZlibCheckValues)
{
    EXPECT_EQ(crcOf(""), 0x00000000u);
    EXPECT_EQ(crcOf("a"), 0xE8B7BE43u);
    EXPECT_EQ(crcOf("123456789"), 0xCBF43926u);
    EXPECT_EQ(crcOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

TEST(FakeboardCrc32, PiecesGiveTheValueOfTheWhole)
{
    std::vector<uint8_t> data(3000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7 + 3);
    Crc32 whole;
    whole.update(data.data(), data.size());
    Crc32 pieces;
    pieces.update(data.data(), 1);
    pieces.update(data.data() + 1, 1023);
    pieces.update(data.data() + 1024, 0);
    pieces.update(data.data() + 1024, 1976);
    EXPECT_EQ(pieces.value(), whole.value());
}

TEST(FakeboardImageSink, CutsTheLastBlockToTheDeclaredSize)
{
    ImageSink sink;
    ASSERT_EQ(sink.open("fw.bin", 1000), 0);
    uint8_t block[128];
    std::memset(block, 'x', sizeof block);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(sink.write(block, 128), 128);
    std::memset(block + 104, ctl::SUB, 24);
    EXPECT_EQ(sink.write(block, 128), 104);
    EXPECT_EQ(sink.write(block, 128), 0);
    EXPECT_FALSE(sink.ended());
    EXPECT_EQ(sink.write(nullptr, 0), 0);
    EXPECT_TRUE(sink.ended());
    EXPECT_EQ(sink.bytesReceived(), 1000u);
    EXPECT_EQ(sink.crc32(), crcOf(std::string(1000, 'x')));
    EXPECT_STREQ(sink.name(), "fw.bin");
}

TEST(FakeboardImageSink, KeepsTheFillWithoutASize)
{
    ImageSink sink;
    uint8_t block[128];
    std::memset(block, ctl::SUB, sizeof block);
    EXPECT_EQ(sink.write(block, 128), 128);
    EXPECT_EQ(sink.bytesReceived(), 128u);
    EXPECT_EQ(sink.crc32(), crcOf(std::string(128, '\x1A')));
}

TEST(FakeboardImageSink, RefusesTheBlockPastTheCancelPointAndOpensAfterData)
{
    ImageSink sink(2048);
    uint8_t block[1024] = {};
    EXPECT_EQ(sink.write(block, 1024), 1024);
    EXPECT_EQ(sink.write(block, 1024), 1024);
    EXPECT_EQ(sink.write(block, 128), rc::OutputFile);
    EXPECT_EQ(sink.bytesReceived(), 2048u);
    EXPECT_EQ(sink.open("late", 10), rc::OutputFile);
}

// One X-Modem CRC block, as a sender puts it on the line.
std::vector<uint8_t> crcFrame(uint32_t number, uint8_t fill)
{
    uint8_t data[kShortBlock];
    std::memset(data, fill, sizeof data);
    uint8_t frame[kMaxFrame];
    uint32_t length = buildFrame(frame, number, data, kShortBlock, kShortBlock, true);
    return std::vector<uint8_t>(frame, frame + length);
}

// The bench console's reply is still arriving when the board asks for the
// upload. Skipped, it costs nothing: the first "C" is answered by the block.
TEST(FakeboardLineEndSkipping, ConsoleRepliesBeforeTheFirstBlockDoNotDisturbTheReceiver)
{
    FakePort port;
    bool blockSent = false;
    port.peer = [&](FakePort& p, const uint8_t* data, uint32_t count) {
        if (count == 1 && data[0] == ctl::CRC && !blockSent) {
            blockSent = true;
            p.deliver(bytesOf("\r\r\n\r\r\n"), 1, 1);
            p.deliver(crcFrame(1, 'a'), 2);
        } else if (count == 1 && data[0] == ctl::ACK && blockSent) {
            p.deliver(ctl::EOT, 2);
        }
    };
    LineEndSkippingPort line(port);
    ImageSink sink;
    YModemRx rx(line, 5000);
    EXPECT_EQ(rx.receiveXModem(sink, true), rc::Ok);
    EXPECT_EQ(textOf(port.allWritten()), std::string("C\x06\x06"));
    EXPECT_EQ(sink.crc32(), crcOf(std::string(128, 'a')));
    EXPECT_FALSE(line.skipping());
}

TEST(FakeboardLineEndSkipping, PassesLineEndsUnchangedOnceDataHaveCome)
{
    FakePort port;
    port.deliver(bytesOf("\n\rab\r\n"));
    port.deliver(bytesOf("\r\ncd"), 50);
    LineEndSkippingPort line(port);
    uint8_t buffer[16];
    ASSERT_EQ(line.read(buffer, sizeof buffer, 10), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "ab\r\n");
    ASSERT_EQ(line.read(buffer, sizeof buffer, 100), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "\r\ncd");
}

TEST(FakeboardLineEndSkipping, OnlyLineEndsMeansNothingArrived)
{
    FakePort port;
    port.deliver(bytesOf("\r\r\n"));
    LineEndSkippingPort line(port);
    uint8_t buffer[16];
    EXPECT_EQ(line.read(buffer, sizeof buffer, 1000), 0);
    EXPECT_TRUE(line.skipping());
}

// Banner text that is still on the line when a sender starts waiting must
// not look like a receiver's opening character.
TEST(FakeboardBanner, EndsWithTheTriggerLineAndHoldsNoOpeningCharacter)
{
    const UploadProtocol protocols[] = {UploadProtocol::YModem, UploadProtocol::YModemG,
                                        UploadProtocol::XModemChecksum, UploadProtocol::XModemCrc};
    for (UploadProtocol protocol : protocols) {
        char banner[256];
        size_t length = formatBanner(banner, sizeof banner, protocol, 4000000);
        ASSERT_GT(length, 0u);
        std::string text(banner, length);
        SCOPED_TRACE(text);
        EXPECT_EQ(text.find_first_of(std::string("CG\x15", 3)), std::string::npos);
        const std::string lastLine = "Waiting for flash...\r\n";
        ASSERT_GE(text.size(), lastLine.size());
        EXPECT_EQ(text.substr(text.size() - lastLine.size()), lastLine);
    }
}

struct ConsoleCase {
    const char* name;
    const char* typed;
    const char* answer;
};

class FakeboardConsole : public ::testing::TestWithParam<ConsoleCase> {};

TEST_P(FakeboardConsole, AnswersLikeABootloader)
{
    FakePort port;
    BootConsole console(port, "=> ");
    std::string typed = GetParam().typed;
    // Byte by byte and all at once must answer alike.
    ASSERT_EQ(console.feed(reinterpret_cast<const uint8_t*>(typed.data()), 1), 0);
    ASSERT_EQ(console.feed(reinterpret_cast<const uint8_t*>(typed.data()) + 1,
                           static_cast<uint32_t>(typed.size() - 1)), 0);
    EXPECT_EQ(textOf(port.allWritten()), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    LineEnds, FakeboardConsole,
    ::testing::Values(ConsoleCase {"BenchReplyIsTwoLineEnds", "\r\r\n", "\r\n=> \r\n=> "},
                      ConsoleCase {"EachLfEndsALine", "\n\n", "\r\n=> \r\n=> "},
                      ConsoleCase {"CrLfIsOneLineEnd", "\r\n\r\n", "\r\n=> \r\n=> "},
                      ConsoleCase {"TextIsAnUnknownCommand", "ver\r", "ver\r\nUnknown command 'ver' - try 'help'\r\n=> "},
                      ConsoleCase {"BackspaceErases", "vx\bar\n", "vx\b \bar\r\nUnknown command 'var' - try 'help'\r\n=> "},
                      ConsoleCase {"ControlBytesAreNotText", "\x7f\x01\r", "\r\n=> "}),
    [](const ::testing::TestParamInfo<ConsoleCase>& p) { return std::string(p.param.name); });

TEST(FakeboardConsoleLine, ALongLineStopsEchoingButStillEnds)
{
    FakePort port;
    BootConsole console(port, "=> ");
    std::string typed(100, 'a');
    console.feed(reinterpret_cast<const uint8_t*>(typed.data()), static_cast<uint32_t>(typed.size()));
    EXPECT_EQ(port.allWritten().size(), 79u);
    const uint8_t cr = '\r';
    console.feed(&cr, 1);
    std::string answer = textOf(port.allWritten()).substr(79);
    EXPECT_EQ(answer, "\r\nUnknown command '" + std::string(79, 'a') + "' - try 'help'\r\n=> ");
}

}  // namespace
