// What the engines say they decided: the decisions a person needs to read
// a failed transfer, in their order, driven through the fake port in
// virtual time and recorded by the sink the engines are handed.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Block.h"
#include "FakePort.h"
#include "Frames.h"
#include "MemorySink.h"
#include "MemorySource.h"
#include "RecordingTrace.h"
#include "ResultCodes.h"
#include "YModemRx.h"
#include "YModemTx.h"

namespace {

class TraceDecisionsTest : public ::testing::Test {
protected:
    const std::vector<std::string>& decisions() const { return trace.events; }
    RecordingTrace trace;
};

// The receiver names what was wrong with each frame it asks for again.
struct DamagedFrame {
    const char* name;
    std::function<Bytes(Bytes)> damage;
    const char* reason;
};

class ReceiverReasonTest : public TraceDecisionsTest, public ::testing::WithParamInterface<DamagedFrame> {};

TEST_P(ReceiverReasonTest, ResendSaysWhy)
{
    const Bytes data(128, 0x5a);
    const Bytes good = dataFrame(1, data, kShortBlock, false);
    const Bytes bad = GetParam().damage(good);
    FakePort port;
    int naks = 0;
    port.peer = [&](FakePort& p, const uint8_t* d, uint32_t n) {
        if (n == 1 && d[0] == ctl::NAK)
            p.deliver(++naks == 1 ? bad : good, 2);
        else if (n == 1 && d[0] == ctl::ACK && p.pending() == 0)
            p.deliver(ctl::EOT, 2);
    };
    YModemRx receiver(port, 3000, trace);
    MemorySink sink;
    ASSERT_EQ(receiver.receiveXModem(sink, false), rc::Ok);
    EXPECT_EQ(sink.data, data);
    const std::vector<std::string> expected = {
        "ask NAK",
        std::string("resend NAK ") + GetParam().reason + " block 1",
        "eot end of file",
    };
    EXPECT_EQ(decisions(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ReceiverReasonTest,
    ::testing::Values(
        DamagedFrame{"Checksum", [](Bytes f) { f.back() ^= 0x01; return f; }, "bad-checksum"},
        DamagedFrame{"DataByte", [](Bytes f) { f[70] ^= 0x80; return f; }, "bad-checksum"},
        DamagedFrame{"Complement", [](Bytes f) { f[2] ^= 0x10; return f; }, "bad-number"},
        DamagedFrame{"OtherNumber",
                     [](Bytes) { return dataFrame(2, Bytes(128, 0x5a), kShortBlock, false); }, "wrong-number"},
        DamagedFrame{"StartByte", [](Bytes f) { f[0] = 0x7e; return f; }, "bad-start"},
        DamagedFrame{"Cut", [](Bytes f) { f.resize(100); return f; }, "short-frame"}),
    [](const ::testing::TestParamInfo<DamagedFrame>& test) { return std::string(test.param.name); });

TEST_F(TraceDecisionsTest, ReceiverWithCrcNamesABadCrcAndARepeatedBlock)
{
    const Bytes data(128, 0x33);
    const Bytes good = dataFrame(1, data);
    Bytes bad = good;
    bad[10] ^= 0x04;
    FakePort port;
    int answers = 0;
    port.peer = [&](FakePort& p, const uint8_t* d, uint32_t n) {
        if (n != 1)
            return;
        ++answers;
        if (answers == 1)
            p.deliver(bad, 2);  // to the opening "C"
        else if (answers == 2)
            p.deliver(good, 2);  // to the resend "C"
        else if (answers == 3)
            p.deliver(good, 2);  // our ACK "was lost": the same block again
        else if (answers == 4 && d[0] == ctl::ACK)
            p.deliver(ctl::EOT, 2);
    };
    YModemRx receiver(port, 3000, trace);
    MemorySink sink;
    ASSERT_EQ(receiver.receiveXModem(sink, true), rc::Ok);
    EXPECT_EQ(sink.data, data);
    const std::vector<std::string> expected = {
        "ask C",
        "resend C bad-crc block 1",
        "repeat block 1 again, answered as before",
        "eot end of file",
    };
    EXPECT_EQ(decisions(), expected);
}

TEST_F(TraceDecisionsTest, ReceiverThatGivesUpSaysSoAndCancels)
{
    FakePort port;
    port.peer = [&](FakePort& p, const uint8_t* d, uint32_t n) {
        if (n == 1 && d[0] == ctl::NAK)
            p.deliver(Bytes{ctl::SOH, 0x01, 0xfe, 0x00}, 2);  // cut short every time
    };
    YModemRx receiver(port, 3000, trace);
    MemorySink sink;
    ASSERT_EQ(receiver.receiveXModem(sink, false), rc::TooManyRetries);
    const std::vector<std::string>& seen = decisions();
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen[0], "ask NAK");
    EXPECT_EQ(seen[1], "resend NAK short-frame block 1");
    EXPECT_EQ(seen[seen.size() - 2], "retries block 1: 10 attempts");
    EXPECT_EQ(seen.back(), "cancel sending 5 CAN, 5 BS");
}

TEST_F(TraceDecisionsTest, SenderNamesTheOpeningCharacterEachResendAndSilence)
{
    FakePort port;
    int frames = 0;
    port.peer = [&](FakePort& p, const uint8_t* d, uint32_t n) {
        if (d[0] == ctl::SOH && n > 100) {
            ++frames;
            if (frames == 1)
                p.deliver(ctl::NAK, 5);
            else if (frames == 2)
                return;  // silence: the sender waits, then goes again
            else
                p.deliver(ctl::ACK, 5);
        } else if (d[0] == ctl::EOT) {
            p.deliver(ctl::ACK, 5);
        }
    };
    port.deliver(ctl::NAK, 20);
    YModemTx sender(port, 1000, trace);
    sender.setAcceptStreaming(false);
    MemorySource source(Bytes(100, 0x42));
    ASSERT_EQ(sender.waitForStart(), rc::Ok);
    ASSERT_EQ(sender.sendStream(source), rc::Ok);
    const std::vector<std::string> expected = {
        "start NAK",
        "resend NAK instead of ACK",
        "timeout no answer in 3000 ms",
    };
    EXPECT_EQ(decisions(), expected);
}

TEST_F(TraceDecisionsTest, SenderCountsTheReceiversCancel)
{
    FakePort port;
    port.peer = [&](FakePort& p, const uint8_t* d, uint32_t n) {
        if (d[0] == ctl::SOH && n > 100)
            p.deliver(Bytes{ctl::CAN, ctl::CAN}, 5);
    };
    port.deliver(ctl::CRC, 20);
    YModemTx sender(port, 1000, trace);
    MemorySource source(Bytes(100, 0x42));
    ASSERT_EQ(sender.waitForStart(), rc::Ok);
    ASSERT_EQ(sender.sendStream(source), rc::Cancelled);
    const std::vector<std::string> expected = {
        "start C",
        "cancel CAN 1 of 2 received",
        "cancel CAN 2 of 2 received",
    };
    EXPECT_EQ(decisions(), expected);
}

TEST_F(TraceDecisionsTest, SenderWithoutAReceiverSaysItTimedOut)
{
    FakePort port;
    YModemTx sender(port, 1000, trace);
    EXPECT_EQ(sender.waitForStart(), rc::Timeout);
    EXPECT_EQ(decisions(), std::vector<std::string>{"timeout no opening character"});
}

}  // namespace
