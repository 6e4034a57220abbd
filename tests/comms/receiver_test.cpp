// The receiver engine against a scripted sender on a fake port in virtual time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Block.h"
#include "CancelSequence.h"
#include "FakePort.h"
#include "Frames.h"
#include "MemorySink.h"
#include "ResultCodes.h"
#include "YModemRx.h"

namespace {

Bytes pattern(size_t n, uint8_t seed = 1)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i * 13 + seed);
    return b;
}

const Bytes kEot{ctl::EOT};

// Sends each frame when the receiver writes its trigger byte; other bytes
// the receiver writes are only recorded.
struct ScriptedSender {
    struct Step {
        uint8_t trigger;
        Bytes send;
    };
    std::vector<Step> steps;
    size_t next = 0;
    uint64_t delayMs = 2;

    void attach(FakePort& port)
    {
        port.peer = [this](FakePort& p, const uint8_t* d, uint32_t n) {
            for (uint32_t i = 0; i < n; ++i)
                if (next < steps.size() && d[i] == steps[next].trigger)
                    p.deliver(steps[next++].send, delayMs);
        };
    }
};

struct ReceiverFixture : ::testing::Test {
    FakePort port;
    ScriptedSender sender;
    MemorySink sink;
    uint32_t startTimeoutMs = 30000;

    void SetUp() override { sender.attach(port); }
    YModemRx make() { return YModemRx(port, startTimeoutMs); }
    Bytes written() const { return port.allWritten(); }
    size_t countWritten(uint8_t b) const
    {
        Bytes w = written();
        return static_cast<size_t>(std::count(w.begin(), w.end(), b));
    }
    bool cancelled() const
    {
        Bytes w = written();
        Bytes cans(kCancelCount, ctl::CAN);
        return std::search(w.begin(), w.end(), cans.begin(), cans.end()) != w.end();
    }
};

// --- start phase ------------------------------------------------------------

TEST_F(ReceiverFixture, NoSenderSendsStartCharacter31TimesAndDoesNotCancel)
{
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveYModem(sink, false), rc::Timeout);
    EXPECT_EQ(written(), Bytes(31, ctl::CRC));
    for (size_t i = 1; i < port.writes.size(); ++i)
        EXPECT_EQ(port.writes[i].atMs - port.writes[i - 1].atMs, 1000u);
    EXPECT_TRUE(sink.opens.empty());
}

TEST_F(ReceiverFixture, ZeroStartTimeoutIsOneCycle)
{
    startTimeoutMs = 0;
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveXModem(sink, false), rc::Timeout);
    EXPECT_EQ(written(), Bytes{ctl::NAK});
}

TEST_F(ReceiverFixture, BytesAlreadyWaitingMakeABadAttempt)
{
    port.deliver(Bytes{'j', 'u', 'n', 'k'});
    sender.steps = {{ctl::CRC, {}}, {ctl::CRC, dataFrame(1, pattern(128))}, {ctl::ACK, kEot}};
    YModemRx rx = make();
    ASSERT_EQ(rx.receiveXModem(sink, true), rc::Ok);
    // Start character, the resend character after the drain (also "C"), then ACKs.
    Bytes w = written();
    ASSERT_GE(w.size(), 4u);
    EXPECT_EQ(w[0], ctl::CRC);
    EXPECT_EQ(w[1], ctl::CRC);
    EXPECT_EQ(sink.data, pattern(128));
}

// --- X-Modem ----------------------------------------------------------------

TEST_F(ReceiverFixture, XModemChecksumFileOfMixedBlockSizes)
{
    Bytes a = pattern(1024), b = pattern(128, 9);
    sender.steps = {{ctl::NAK, dataFrame(1, a, 1024, false)},
                    {ctl::ACK, dataFrame(2, b, 128, false)},
                    {ctl::ACK, kEot}};
    YModemRx rx = make();
    ASSERT_EQ(rx.receiveXModem(sink, false), rc::Ok);
    Bytes expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(sink.data, expected);
    EXPECT_EQ(sink.eofs, 1);
    EXPECT_EQ(written(), (Bytes{ctl::NAK, ctl::ACK, ctl::ACK, ctl::ACK}));
}

TEST_F(ReceiverFixture, EotAtOnceGivesAnEmptyFile)
{
    sender.steps = {{ctl::CRC, kEot}};
    YModemRx rx = make();
    ASSERT_EQ(rx.receiveXModem(sink, true), rc::Ok);
    EXPECT_TRUE(sink.data.empty());
    EXPECT_EQ(sink.eofs, 1);
    EXPECT_EQ(written(), (Bytes{ctl::CRC, ctl::ACK}));
}

TEST_F(ReceiverFixture, DamagedBlockIsAnsweredWithTheVariantsResendCharacter)
{
    for (bool crc : {true, false}) {
        FakePort p;
        ScriptedSender s;
        MemorySink out;
        Bytes bad = dataFrame(1, pattern(128), 128, crc);
        bad[10] ^= 0x40;
        uint8_t start = crc ? ctl::CRC : ctl::NAK;
        s.steps = {{start, bad}, {start, dataFrame(1, pattern(128), 128, crc)}, {ctl::ACK, kEot}};
        s.attach(p);
        YModemRx rx(p, 30000);
        ASSERT_EQ(rx.receiveXModem(out, crc), rc::Ok);
        Bytes w = p.allWritten();
        EXPECT_EQ(w, (Bytes{start, start, ctl::ACK, ctl::ACK})) << crc;
        EXPECT_EQ(out.data, pattern(128));
    }
}

TEST_F(ReceiverFixture, RepeatOfTheLastBlockIsAcknowledgedNotWrittenAndEndlessRepeatsFail)
{
    // The sender missed our ACK of block 1 and sends it again: one more
    // ACK, the data stay as they are, and block 2 follows as usual.
    Bytes one = dataFrame(1, pattern(128));
    sender.steps = {{ctl::CRC, one}, {ctl::ACK, one}, {ctl::ACK, dataFrame(2, pattern(128, 9))},
                    {ctl::ACK, kEot}};
    YModemRx rx = make();
    ASSERT_EQ(rx.receiveXModem(sink, true), rc::Ok);
    EXPECT_EQ(written(), (Bytes{ctl::CRC, ctl::ACK, ctl::ACK, ctl::ACK, ctl::ACK}));
    Bytes expected = pattern(128);
    Bytes two = pattern(128, 9);
    expected.insert(expected.end(), two.begin(), two.end());
    EXPECT_EQ(sink.data, expected);

    // A sender that repeats for ever still uses up the ten attempts.
    FakePort p;
    ScriptedSender endless;
    endless.steps = {{ctl::CRC, one}};
    for (int i = 0; i < 10; ++i)
        endless.steps.push_back({ctl::ACK, one});
    endless.attach(p);
    MemorySink out;
    YModemRx rx2(p, 30000);
    EXPECT_EQ(rx2.receiveXModem(out, true), rc::TooManyRetries);
    Bytes w = p.allWritten();
    EXPECT_EQ(std::count(w.begin(), w.end(), ctl::ACK), 11);
    EXPECT_EQ(Bytes(w.end() - kCancelLength, w.end()), cancelBytes());
    EXPECT_EQ(out.data, pattern(128));
}

TEST_F(ReceiverFixture, PartialFrameThenSilenceResendsThenTakesTheFrame)
{
    Bytes full = dataFrame(1, pattern(128), 128, false);
    Bytes half(full.begin(), full.begin() + 60);
    sender.steps = {{ctl::NAK, half}, {ctl::NAK, full}, {ctl::ACK, kEot}};
    YModemRx rx = make();
    ASSERT_EQ(rx.receiveXModem(sink, false), rc::Ok);
    EXPECT_EQ(written(), (Bytes{ctl::NAK, ctl::NAK, ctl::ACK, ctl::ACK}));
    EXPECT_EQ(sink.data, pattern(128));
}

TEST_F(ReceiverFixture, SilenceInTheDataPhaseAsksAgainAndTenSilencesCancel)
{
    // Our ACK of block 1 was lost and the sender still waits for it: after
    // a second of silence the resend character brings the block again.
    Bytes one = dataFrame(1, pattern(128));
    sender.steps = {{ctl::CRC, one}, {ctl::CRC, one}, {ctl::ACK, kEot}};
    // The first "C" opens, the ACK is "lost", the second "C" asks again.
    sender.steps.insert(sender.steps.begin() + 1, {ctl::ACK, {}});
    YModemRx rx = make();
    ASSERT_EQ(rx.receiveXModem(sink, true), rc::Ok);
    EXPECT_EQ(written(), (Bytes{ctl::CRC, ctl::ACK, ctl::CRC, ctl::ACK, ctl::ACK}));
    EXPECT_EQ(sink.data, pattern(128));

    // Nothing ever comes again: ten attempts of a second each, then -200
    // and the cancel.
    FakePort p;
    ScriptedSender gone;
    gone.steps = {{ctl::NAK, dataFrame(1, pattern(128), 128, false)}};
    gone.attach(p);
    MemorySink out;
    YModemRx rx2(p, 30000);
    EXPECT_EQ(rx2.receiveXModem(out, false), rc::Timeout);
    Bytes w = p.allWritten();
    EXPECT_EQ(w, (Bytes{ctl::NAK, ctl::ACK} + Bytes(10, ctl::NAK) + cancelBytes()));
    EXPECT_GE(p.now(), 10000u);
    EXPECT_LT(p.now(), 11000u);
}

TEST_F(ReceiverFixture, SilenceMixedWithBadFramesEndsWithTooManyRetries)
{
    Bytes bad = dataFrame(2, pattern(128));
    bad[10] ^= 0x01;
    sender.steps = {{ctl::CRC, dataFrame(1, pattern(128))}, {ctl::ACK, bad}};
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveXModem(sink, true), rc::TooManyRetries);
    EXPECT_TRUE(cancelled());
}

TEST_F(ReceiverFixture, StreamingStillEndsAtTheFirstSilence)
{
    sender.steps = {{ctl::G, headerFrame(std::string("g\0" "256", 5))}, {ctl::G, dataFrame(1, pattern(128))}};
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveYModem(sink, true), rc::Timeout);
    EXPECT_TRUE(cancelled());
    EXPECT_EQ(written(), (Bytes{ctl::G, ctl::G} + cancelBytes()));
}

TEST_F(ReceiverFixture, OneCanFromSenderIsABadFrameTwoAreItsCancel)
{
    sender.steps = {{ctl::CRC, Bytes{ctl::CAN}}, {ctl::CRC, dataFrame(1, pattern(5))}, {ctl::ACK, kEot}};
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveXModem(sink, true), rc::Ok);

    // Where block 2 should begin: the sender's cancel, answered in kind.
    FakePort p;
    ScriptedSender cancelling;
    cancelling.steps = {{ctl::CRC, dataFrame(1, pattern(5))}, {ctl::ACK, cancelBytes()}};
    cancelling.attach(p);
    YModemRx rx2(p, 30000);
    MemorySink out;
    EXPECT_EQ(rx2.receiveXModem(out, true), rc::Cancelled);
    EXPECT_EQ(p.allWritten(), (Bytes{ctl::CRC, ctl::ACK} + cancelBytes()));
    EXPECT_LT(p.now(), 100u);
}

TEST_F(ReceiverFixture, FailingSinkCancelsWithItsCode)
{
    sink.writeResult = rc::OutputFile;
    sender.steps = {{ctl::CRC, dataFrame(1, pattern(128))}};
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveXModem(sink, true), rc::OutputFile);
    EXPECT_TRUE(cancelled());
    EXPECT_EQ(countWritten(ctl::ACK), 0u);
}

TEST_F(ReceiverFixture, PortReadErrorIsPassedUp)
{
    port.failReadAt = 0;
    port.failCode = rc::PortRead;
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveXModem(sink, true), rc::PortRead);
}

// --- Y-Modem ----------------------------------------------------------------

TEST_F(ReceiverFixture, YModemBatchAcksHeaderThenAsksForData)
{
    Bytes data = pattern(1000);
    sender.steps = {{ctl::CRC, headerFrame(std::string("fw.bin\0" "1000 1234 644", 19))},
                    {ctl::CRC, dataFrame(1, Bytes(data.begin(), data.begin() + 1000), 1024)},
                    {ctl::ACK, kEot},
                    {ctl::CRC, headerFrame("")}};
    YModemRx rx = make();
    ASSERT_EQ(rx.receiveYModem(sink, false), rc::Ok);
    ASSERT_EQ(sink.opens, std::vector<std::string>{"fw.bin"});
    EXPECT_EQ(sink.declared, 1000u);
    EXPECT_EQ(written(), (Bytes{ctl::CRC, ctl::ACK, ctl::CRC, ctl::ACK, ctl::ACK, ctl::CRC, ctl::ACK}));
    EXPECT_FALSE(cancelled());
}

TEST_F(ReceiverFixture, YModemGNeverAcknowledgesBlocksButAcknowledgesEot)
{
    sender.steps = {{ctl::G, headerFrame(std::string("g\0" "256", 5))}, {ctl::G, {}}};
    Bytes stream = dataFrame(1, pattern(128));
    Bytes second = dataFrame(2, pattern(128, 5));
    stream.insert(stream.end(), second.begin(), second.end());
    stream.push_back(ctl::EOT);
    sender.steps[1].send = stream;
    sender.steps.push_back({ctl::G, headerFrame("")});
    YModemRx rx = make();
    ASSERT_EQ(rx.receiveYModem(sink, true), rc::Ok);
    EXPECT_EQ(written(), (Bytes{ctl::G, ctl::G, ctl::ACK, ctl::G}));
    EXPECT_EQ(sink.data.size(), 256u);
}

TEST_F(ReceiverFixture, EmptyBatchEndsWithoutOpening)
{
    sender.steps = {{ctl::CRC, headerFrame("")}};
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveYModem(sink, false), rc::Ok);
    EXPECT_TRUE(sink.opens.empty());
}

TEST_F(ReceiverFixture, EotWhereTheFirstHeaderIsExpectedIsNoise)
{
    // A stray 0x04 before any file: drained and asked again, and the real
    // batch that follows is received.
    sender.steps = {{ctl::CRC, kEot},
                    {ctl::CRC, headerFrame(std::string("a\0" "5", 3))},
                    {ctl::CRC, dataFrame(1, pattern(5))},
                    {ctl::ACK, kEot},
                    {ctl::CRC, headerFrame("")}};
    YModemRx rx = make();
    ASSERT_EQ(rx.receiveYModem(sink, false), rc::Ok);
    EXPECT_EQ(sink.opens, std::vector<std::string>{"a"});
    Bytes w = written();
    EXPECT_EQ(Bytes(w.begin(), w.begin() + 3), (Bytes{ctl::CRC, ctl::CRC, ctl::ACK}));

    // Only EOTs: never a success without a file; they use up the attempts.
    FakePort p;
    ScriptedSender noise;
    for (int i = 0; i < 40; ++i)
        noise.steps.push_back({ctl::CRC, kEot});
    noise.attach(p);
    MemorySink out;
    YModemRx rx2(p, 30000);
    EXPECT_EQ(rx2.receiveYModem(out, false), rc::TooManyRetries);
    EXPECT_TRUE(out.opens.empty());
    EXPECT_EQ(out.eofs, 0);
}

TEST_F(ReceiverFixture, RepeatedEotAfterTheFileIsAcknowledgedAndTheBatchGoesOn)
{
    // Our ACK of the EOT was lost: the sender sends EOT again, gets its
    // ACK, and then sends the closing header.
    sender.steps = {{ctl::CRC, headerFrame(std::string("a\0" "5", 3))},
                    {ctl::CRC, dataFrame(1, pattern(5))},
                    {ctl::ACK, kEot},
                    {ctl::CRC, kEot},
                    {ctl::ACK, {}},
                    {ctl::CRC, headerFrame("")}};
    YModemRx rx = make();
    ASSERT_EQ(rx.receiveYModem(sink, false), rc::Ok);
    EXPECT_EQ(sink.eofs, 1);
    EXPECT_FALSE(cancelled());
    EXPECT_EQ(written(), (Bytes{ctl::CRC, ctl::ACK, ctl::CRC, ctl::ACK, ctl::ACK, ctl::CRC, ctl::ACK,
                                ctl::CRC, ctl::ACK}));
}

TEST_F(ReceiverFixture, RepeatedEotWithoutClosingHeaderStaysASuccess)
{
    sender.steps = {{ctl::CRC, headerFrame(std::string("a\0" "5", 3))},
                    {ctl::CRC, dataFrame(1, pattern(5))},
                    {ctl::ACK, kEot},
                    {ctl::CRC, kEot}};
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveYModem(sink, false), rc::Ok);
    EXPECT_FALSE(cancelled());
    EXPECT_EQ(sink.eofs, 1);
    EXPECT_EQ(Bytes(sink.data.begin(), sink.data.begin() + 5), pattern(5));
}

TEST_F(ReceiverFixture, HeaderRecoveryAfterALostAckOrALostC)
{
    // The header's ACK and "C" are lost: the sender sends the header again
    // and gets ACK and "C" once more; the file is opened once.
    Bytes head = headerFrame(std::string("a\0" "5", 3));
    sender.steps = {{ctl::CRC, head},
                    {ctl::CRC, {}},  // our ACK and "C" are lost on the way
                    {ctl::CRC, head},
                    {ctl::CRC, dataFrame(1, pattern(5))},
                    {ctl::ACK, kEot},
                    {ctl::CRC, headerFrame("")}};
    YModemRx rx = make();
    ASSERT_EQ(rx.receiveYModem(sink, false), rc::Ok);
    EXPECT_EQ(sink.opens.size(), 1u);
    EXPECT_EQ(Bytes(sink.data.begin(), sink.data.begin() + 5), pattern(5));
    // Silence before block 1 is answered with "C", not NAK: the sender may
    // still be waiting for the "C" that follows the header's ACK.
    Bytes w = written();
    EXPECT_EQ(Bytes(w.begin(), w.begin() + 6),
              (Bytes{ctl::CRC, ctl::ACK, ctl::CRC, ctl::CRC, ctl::ACK, ctl::CRC}));
    EXPECT_EQ(std::count(w.begin(), w.end(), ctl::NAK), 0);
}

TEST_F(ReceiverFixture, HeaderInA1024ByteBlockIsParsed)
{
    sender.steps = {{ctl::CRC, headerFrame(std::string("big.bin\0" "5", 9), 1024)},
                    {ctl::CRC, dataFrame(1, pattern(5))},
                    {ctl::ACK, kEot},
                    {ctl::CRC, headerFrame("")}};
    YModemRx rx = make();
    ASSERT_EQ(rx.receiveYModem(sink, false), rc::Ok);
    EXPECT_EQ(sink.opens, std::vector<std::string>{"big.bin"});
    EXPECT_EQ(sink.declared, 5u);
}

TEST_F(ReceiverFixture, SecondFileInBatchIsRefusedWithoutCancel)
{
    sender.steps = {{ctl::CRC, headerFrame(std::string("a\0" "1", 3))},
                    {ctl::CRC, dataFrame(1, pattern(1))},
                    {ctl::ACK, kEot},
                    {ctl::CRC, headerFrame(std::string("b\0" "1", 3))}};
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveYModem(sink, false), rc::SecondFile);
    EXPECT_FALSE(cancelled());
    EXPECT_EQ(sink.opens.size(), 1u);
}

TEST_F(ReceiverFixture, MissingEndOfBatchCancelsAfterTheStartBudget)
{
    sender.steps = {{ctl::CRC, headerFrame(std::string("a\0" "1", 3))},
                    {ctl::CRC, dataFrame(1, pattern(1))},
                    {ctl::ACK, kEot}};
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveYModem(sink, false), rc::Timeout);
    EXPECT_TRUE(cancelled());
    EXPECT_EQ(sink.eofs, 1);
}

TEST_F(ReceiverFixture, FailingOpenCancels)
{
    sink.openResult = rc::OutputFile;
    sender.steps = {{ctl::CRC, headerFrame(std::string("a\0" "1", 3))}};
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveYModem(sink, false), rc::OutputFile);
    EXPECT_TRUE(cancelled());
}

// --- header contents --------------------------------------------------------

struct HeaderCase {
    const char* label;
    std::string field;
    int32_t result;
    uint32_t size;
};

class HeaderParsing : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderParsing, ParsesOrRefuses)
{
    const HeaderCase& c = GetParam();
    YModemRx::OutBlock0 block;
    Bytes field(c.field.begin(), c.field.end());
    field.resize(128, 0);
    block.write(field.data(), 128);
    const char* name = nullptr;
    uint32_t size = 7;
    ASSERT_EQ(block.parseHeader(name, size), c.result);
    if (c.result == rc::Ok) {
        EXPECT_EQ(size, c.size);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, HeaderParsing,
    ::testing::Values(HeaderCase{"SizeThenSpaceAndMore", std::string("n\0" "1234 77 x", 11), rc::Ok, 1234},
                      HeaderCase{"NoSize", std::string("n\0", 2), rc::Ok, 0},
                      HeaderCase{"Largest", std::string("n\0" "4294967295", 12), rc::Ok, 4294967295u},
                      HeaderCase{"OneTooLarge", std::string("n\0" "4294967296", 12), rc::BadHeader, 0},
                      HeaderCase{"Junk", std::string("n\0" "12a", 5), rc::BadHeader, 0},
                      HeaderCase{"EmptyNameWithJunk", std::string("\0" "x", 2), rc::BadHeader, 0},
                      HeaderCase{"NoNul", std::string(128, 'n'), rc::BadHeader, 0}),
    [](const auto& test) { return std::string(test.param.label); });

TEST(ReceivedNames, OnlyRelativeNamesBelowTheFolderAreSafe)
{
    for (const char* ok : {"fw.bin", "dir/fw.bin", "a/b/c", "..x", "x..", "a/..b/c", "c", "1:x"})
        EXPECT_TRUE(isSafeReceivedName(ok)) << ok;
    for (const char* bad : {"/etc/passwd", "\\x", "c:fw.bin", "C:\\fw.bin", "..", "../x", "a/../../x",
                            "a\\..\\x", "a/..", "x\ny", "\x1b[2J", "del\x7f"})
        EXPECT_FALSE(isSafeReceivedName(bad)) << bad;
}

TEST_F(ReceiverFixture, UnsafeHeaderNameIsRefusedAndNothingOpened)
{
    sender.steps = {{ctl::CRC, headerFrame(std::string("../evil\0" "1", 9))}};
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveYModem(sink, false), rc::BadHeader);
    EXPECT_TRUE(sink.opens.empty());
    EXPECT_TRUE(cancelled());
}

TEST_F(ReceiverFixture, MalformedHeaderCancels)
{
    sender.steps = {{ctl::CRC, headerFrame(std::string("n\0" "12a", 5))}};
    YModemRx rx = make();
    EXPECT_EQ(rx.receiveYModem(sink, false), rc::BadHeader);
    EXPECT_TRUE(cancelled());
}

}  // namespace
