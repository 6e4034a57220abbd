// A stop request (a signal) during a transfer, in virtual time, on both
// sides: wherever it comes, the engine's result is rc::Interrupted, the
// cancel goes out once, and nothing but the rest of a frame cut short goes
// before it or anything after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "CancelSequence.h"
#include "FakePort.h"
#include "Frames.h"
#include "MemorySink.h"
#include "MemorySource.h"
#include "ResultCodes.h"
#include "StopRequest.h"
#include "YModemRx.h"
#include "YModemTx.h"

namespace {

// A Y-Modem receiver for the sender: "C" to open, ACK (and "C" after a
// header) for every frame. It can ask for the stop when frame `stopFrame`
// has brought `stopAfter` bytes.
struct AnsweringReceiver {
    size_t frames = 0;
    size_t partial = 0;
    uint8_t first = 0;
    size_t stopFrame = SIZE_MAX;
    size_t stopAfter = 0;

    static size_t lengthOf(uint8_t first) { return first == ctl::STX ? 1029 : first == ctl::SOH ? 133 : 1; }
    void attach(FakePort& port)
    {
        port.deliver(ctl::CRC, 50);
        port.peer = [this](FakePort& p, const uint8_t* d, uint32_t n) {
            for (uint32_t i = 0; i < n; ++i) {
                if (partial++ == 0)
                    first = d[i];
                if (frames == stopFrame && partial == stopAfter)
                    p.requestStop();
                if (partial == lengthOf(first)) {
                    p.deliver(frames == 0 ? Bytes{ctl::ACK, ctl::CRC} : Bytes{ctl::ACK}, 1);
                    ++frames;
                    partial = 0;
                }
            }
        };
    }
};

// A Y-Modem sender for the receiver, each frame sent when the receiver
// writes the byte that asks for it: the header at once, block 1 one byte a
// millisecond (4 ms to 1032 ms), block 2 800 ms after block 1's ACK.
struct ScriptedSender {
    struct Step {
        uint8_t trigger;
        Bytes send;
        uint64_t delayMs;
        uint64_t gapMs;
    };
    std::vector<Step> steps{{ctl::CRC, headerFrame(std::string("f.bin\0" "3000", 10)), 2, 0},
                            {ctl::CRC, dataFrame(1, Bytes(1024, 1), kLongBlock), 2, 1},
                            {ctl::ACK, dataFrame(2, Bytes(1024, 2), kLongBlock), 800, 0}};
    size_t next = 0;

    void attach(FakePort& port)
    {
        port.peer = [this](FakePort& p, const uint8_t* d, uint32_t n) {
            for (uint32_t i = 0; i < n; ++i)
                if (next < steps.size() && d[i] == steps[next].trigger) {
                    p.deliver(steps[next].send, steps[next].delayMs, steps[next].gapMs);
                    ++next;
                }
        };
    }
};

enum class Side { Sender, Receiver };

struct Case {
    const char* name;
    Side side;
    bool withPeer;       // false: nobody answers (the start wait)
    uint64_t stopAtMs;   // UINT64_MAX: the receiving peer asks for the stop
    size_t stopFrame;    // when this frame has brought
    size_t stopAfter;    // this many bytes
    uint32_t writeLimit; // bytes one write takes at most
    size_t lead;         // bytes of a cut frame that go before the cancel
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class InterruptTest : public ::testing::TestWithParam<Case> {
protected:
    void TearDown() override { stop::clear(); }

    int32_t runSender(FakePort& port)
    {
        AnsweringReceiver receiver;
        receiver.stopFrame = GetParam().stopFrame;
        receiver.stopAfter = GetParam().stopAfter;
        if (GetParam().withPeer)
            receiver.attach(port);
        YModemTx tx(port, 0);
        MemorySource file(Bytes(3000, 0x5A));
        return tx.sendBatch(3000, file, "f.bin");
    }

    int32_t runReceiver(FakePort& port)
    {
        ScriptedSender sender;
        if (GetParam().withPeer)
            sender.attach(port);
        YModemRx rx(port, 30000);
        MemorySink sink;
        return rx.receiveYModem(sink, false);
    }
};

TEST_P(InterruptTest, CancelsOnceAndPassesTheResultUp)
{
    const Case& c = GetParam();
    FakePort port;
    port.stopAtMs = c.stopAtMs;
    port.writeLimit = c.writeLimit;
    const int32_t result = c.side == Side::Sender ? runSender(port) : runReceiver(port);

    EXPECT_EQ(result, rc::Interrupted);
    ASSERT_NE(stop::requestedSignal(), 0);
    Bytes after;
    for (size_t i = port.writesBeforeStop; i < port.writes.size(); ++i)
        after.insert(after.end(), port.writes[i].bytes.begin(), port.writes[i].bytes.end());
    ASSERT_EQ(after.size(), c.lead + kCancelLength);
    EXPECT_EQ(Bytes(after.begin() + static_cast<long>(c.lead), after.end()), cancelBytes());
    const Bytes all = port.allWritten();
    EXPECT_EQ(std::search(all.begin(), all.end() - kCancelLength, kCancelSequence,
                          kCancelSequence + kCancelLength),
              all.end() - kCancelLength);
    // No wait outlasts the request: at most the sender's short wait for
    // the answer to a frame already out.
    if (c.stopAtMs != UINT64_MAX) {
        EXPECT_LE(port.now(), c.stopAtMs + 200);
    }
}

// Sender frames: 0 the header (133 bytes), 1 and 2 the data (1029 each).
INSTANTIATE_TEST_SUITE_P(
    BothSides, InterruptTest,
    ::testing::Values(
        Case{"SenderInTheStartWait", Side::Sender, false, 3000, SIZE_MAX, 0, UINT32_MAX, 0},
        Case{"SenderMidFrame", Side::Sender, true, UINT64_MAX, 1, 100, 100, 929},
        Case{"SenderAwaitingTheAck", Side::Sender, true, UINT64_MAX, 1, 1029, UINT32_MAX, 0},
        Case{"SenderBetweenHeaderAndData", Side::Sender, true, UINT64_MAX, 0, 133, UINT32_MAX, 0},
        Case{"ReceiverInTheStartWait", Side::Receiver, false, 1500, SIZE_MAX, 0, UINT32_MAX, 0},
        Case{"ReceiverMidFrame", Side::Receiver, true, 300, SIZE_MAX, 0, UINT32_MAX, 0},
        Case{"ReceiverBetweenBlocks", Side::Receiver, true, 1400, SIZE_MAX, 0, UINT32_MAX, 0}),
    [](const ::testing::TestParamInfo<Case>& row) { return std::string(row.param.name); });

}  // namespace
