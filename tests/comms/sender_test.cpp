// The sender engine against a scripted receiver on a fake port in virtual time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Block.h"
#include "FakePort.h"
#include "MemorySource.h"
#include "ResultCodes.h"
#include "YModemTx.h"

namespace {

using Bytes = std::vector<uint8_t>;


Bytes pattern(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i * 7 + 3);
    return b;
}

// Splits what the sender writes into frames and lets the test answer each.
struct ScriptedReceiver {
    bool crc = true;
    uint64_t replyDelayMs = 1;
    std::vector<Bytes> frames;
    Bytes partial;
    std::function<Bytes(const Bytes& frame, size_t index)> answer;

    void attach(FakePort& port)
    {
        port.peer = [this](FakePort& p, const uint8_t* d, uint32_t n) { feed(p, d, n); };
    }
    size_t expectedLength(uint8_t first) const
    {
        size_t trailer = crc ? 2 : 1;
        if (first == ctl::SOH)
            return 3 + 128 + trailer;
        if (first == ctl::STX)
            return 3 + 1024 + trailer;
        return 1;
    }
    void feed(FakePort& port, const uint8_t* d, uint32_t n)
    {
        for (uint32_t i = 0; i < n; ++i) {
            partial.push_back(d[i]);
            if (partial.size() == expectedLength(partial[0])) {
                frames.push_back(partial);
                partial.clear();
                Bytes reply = answer ? answer(frames.back(), frames.size() - 1) : Bytes{ctl::ACK};
                if (!reply.empty())
                    port.deliver(reply, replyDelayMs);
            }
        }
    }
    size_t count(uint8_t first) const
    {
        size_t c = 0;
        for (const Bytes& f : frames)
            c += f[0] == first;
        return c;
    }
};

struct SenderFixture : ::testing::Test {
    FakePort port;
    ScriptedReceiver receiver;
    YModemTx tx{port, 0};

    void SetUp() override { receiver.attach(port); }
    // The opening character arrives after the engine has started waiting.
    void opensWith(uint8_t c, uint64_t afterMs = 50) { port.deliver(c, afterMs); }
};

// --- the opening handshake --------------------------------------------------

TEST_F(SenderFixture, OpeningCharacterChoosesCheckAndPace)
{
    struct Case {
        uint8_t open;
        size_t frameLength;
        bool waitsForAck;
    };
    for (Case c : {Case{ctl::CRC, 133, true}, Case{ctl::NAK, 132, true}, Case{ctl::G, 133, false}}) {
        FakePort p;
        ScriptedReceiver r;
        r.crc = c.open != ctl::NAK;
        r.answer = [&](const Bytes&, size_t) { return c.waitsForAck ? Bytes{ctl::ACK} : Bytes{}; };
        // EOT is acknowledged in every mode.
        r.answer = [&, inner = r.answer](const Bytes& f, size_t i) {
            return f[0] == ctl::EOT ? Bytes{ctl::ACK} : inner(f, i);
        };
        r.attach(p);
        YModemTx t(p, 0);
        p.deliver(c.open, 20);
        ASSERT_EQ(t.waitForStart(), rc::Ok);
        MemorySource src(pattern(300));
        ASSERT_EQ(t.sendStream(src), rc::Ok) << int(c.open);
        ASSERT_EQ(r.frames.size(), 4u);
        EXPECT_EQ(r.frames[0].size(), c.frameLength);
        EXPECT_EQ(r.frames[3], Bytes{ctl::EOT});
    }
}

TEST_F(SenderFixture, WithoutStreamingAGIsNoiseAndTheNextOpeningCharacterCounts)
{
    tx.setAcceptStreaming(false);
    port.deliver(Bytes{ctl::G, ctl::G, ctl::CRC}, 50, 300);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    EXPECT_EQ(port.now(), 650u);  // the "C", 600 ms after the first "G"
    MemorySource src(pattern(300));
    ASSERT_EQ(tx.sendStream(src), rc::Ok);
    // Acknowledged CRC frames, not a stream.
    ASSERT_EQ(receiver.frames.size(), 4u);
    EXPECT_EQ(receiver.frames[0].size(), 133u);

    YModemTx onlyG(port, 0);
    onlyG.setAcceptStreaming(false);
    port.deliver(ctl::G, 50);
    uint64_t before = port.now();
    EXPECT_EQ(onlyG.waitForStart(), rc::Timeout);
    EXPECT_EQ(port.now() - before, 11010u);
}

TEST_F(SenderFixture, StaleBytesAreDrainedAndTheMinimumBudgetIsElevenSeconds)
{
    port.deliver(Bytes{ctl::CRC, ctl::NAK, ctl::G});  // already waiting
    EXPECT_EQ(tx.waitForStart(), rc::Timeout);
    EXPECT_EQ(port.pending(), 0u);
    EXPECT_EQ(port.now(), 11010u);  // 1101 polls of 10 ms
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(SenderFixture, LongerStartTimeoutIsUsedAndStrayBytesDoNotStart)
{
    port.deliver(Bytes{'x', ctl::CAN, ctl::ACK}, 100, 100);
    YModemTx patient(port, 30000);
    EXPECT_EQ(patient.waitForStart(), rc::Timeout);
    EXPECT_EQ(port.now(), 30010u);
}

TEST_F(SenderFixture, PortErrorWhileWaitingIsReturned)
{
    port.failReadAt = 3;
    port.failCode = rc::PortRead;
    EXPECT_EQ(tx.waitForStart(), rc::PortRead);
}

// --- block layout -----------------------------------------------------------

TEST_F(SenderFixture, XModem1KSendsLastShortChunkAsSmallBlocks)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    tx.setAllow1K(true);
    Bytes data = pattern(1500);
    MemorySource src(data);
    ASSERT_EQ(tx.sendStream(src), rc::Ok);
    ASSERT_EQ(receiver.frames.size(), 6u);
    EXPECT_EQ(receiver.frames[0][0], ctl::STX);
    for (size_t i = 1; i <= 4; ++i) {
        EXPECT_EQ(receiver.frames[i][0], ctl::SOH);
        EXPECT_EQ(receiver.frames[i][1], i + 1);
    }
    const Bytes& last = receiver.frames[4];
    EXPECT_EQ(std::memcmp(last.data() + 3, data.data() + 1408, 92), 0);
    for (size_t i = 3 + 92; i < 3 + 128; ++i)
        ASSERT_EQ(last[i], ctl::SUB);
    EXPECT_EQ(receiver.frames[5], Bytes{ctl::EOT});
}

TEST_F(SenderFixture, PlainXModemUsesOnlySmallBlocks)
{
    opensWith(ctl::NAK);
    receiver.crc = false;
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    MemorySource src(pattern(1500));
    ASSERT_EQ(tx.sendStream(src), rc::Ok);
    EXPECT_EQ(receiver.count(ctl::SOH), 12u);
    EXPECT_EQ(receiver.count(ctl::STX), 0u);
    EXPECT_EQ(receiver.frames[11][131], checksum8(receiver.frames[11].data() + 3, 128));
}

TEST_F(SenderFixture, EmptyFileSendsOnlyEot)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    MemorySource src({});
    ASSERT_EQ(tx.sendStream(src), rc::Ok);
    ASSERT_EQ(receiver.frames.size(), 1u);
    EXPECT_EQ(receiver.frames[0], Bytes{ctl::EOT});
}

TEST_F(SenderFixture, BlockNumbersWrapAfter255)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    MemorySource src(pattern(257 * 128));
    ASSERT_EQ(tx.sendStream(src), rc::Ok);
    ASSERT_EQ(receiver.frames.size(), 258u);
    EXPECT_EQ(receiver.frames[254][1], 255);
    EXPECT_EQ(receiver.frames[255][1], 0);
    EXPECT_EQ(receiver.frames[255][2], 0xFF);
    EXPECT_EQ(receiver.frames[256][1], 1);
}

// --- replies, retries, cancelling -------------------------------------------

TEST_F(SenderFixture, OneCanResendsTheBlockTwoInARowCancel)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    receiver.answer = [](const Bytes&, size_t i) { return i == 0 ? Bytes{ctl::CAN} : Bytes{ctl::ACK}; };
    MemorySource src(pattern(100));
    ASSERT_EQ(tx.sendStream(src), rc::Ok);
    ASSERT_EQ(receiver.frames.size(), 3u);
    EXPECT_EQ(receiver.frames[0], receiver.frames[1]);

    FakePort p2;
    ScriptedReceiver r2;
    r2.answer = [](const Bytes&, size_t) { return Bytes{ctl::CAN}; };
    r2.attach(p2);
    YModemTx t2(p2, 0);
    p2.deliver(ctl::CRC, 10);
    ASSERT_EQ(t2.waitForStart(), rc::Ok);
    MemorySource src2(pattern(100));
    EXPECT_EQ(t2.sendStream(src2), rc::Cancelled);
    EXPECT_EQ(r2.frames.size(), 2u);
}

TEST_F(SenderFixture, CanAckCanIsNoCancel)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    // Block 1: CAN then ACK; block 2: CAN then ACK.
    receiver.answer = [](const Bytes&, size_t i) { return i % 2 == 0 ? Bytes{ctl::CAN} : Bytes{ctl::ACK}; };
    MemorySource src(pattern(256));
    EXPECT_EQ(tx.sendStream(src), rc::Ok);
}

// The receiver's cancel: the first CAN is its answer, the second, read
// while the line is purged, ends the send without a resend.
TEST_F(SenderFixture, CancelBurstEndsTheSendAtOnce)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    receiver.answer = [](const Bytes&, size_t i) {
        return i == 0 ? Bytes(5, ctl::CAN) : Bytes{};
    };
    MemorySource src(pattern(100));
    EXPECT_EQ(tx.sendStream(src), rc::Cancelled);
    EXPECT_EQ(receiver.frames.size(), 1u);
}

TEST_F(SenderFixture, StreamingCountsOneCanPerFrame)
{
    opensWith(ctl::G);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    receiver.replyDelayMs = 0;
    receiver.answer = [](const Bytes&, size_t) { return Bytes(5, ctl::CAN); };
    MemorySource src(pattern(2048));
    EXPECT_EQ(tx.sendStream(src), rc::Cancelled);
    EXPECT_EQ(receiver.frames.size(), 2u);
}

TEST_F(SenderFixture, CInAnswerToChecksumBlockSwitchesToCrcForGood)
{
    opensWith(ctl::NAK);
    receiver.crc = false;
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    receiver.answer = [this](const Bytes&, size_t i) {
        if (i == 0) {
            receiver.crc = true;
            return Bytes{ctl::CRC};
        }
        return Bytes{ctl::ACK};
    };
    MemorySource src(pattern(256));
    ASSERT_EQ(tx.sendStream(src), rc::Ok);
    ASSERT_EQ(receiver.frames.size(), 4u);
    EXPECT_EQ(receiver.frames[0].size(), 132u);
    EXPECT_EQ(receiver.frames[1].size(), 133u);
    EXPECT_EQ(receiver.frames[1][1], 1);  // the same block again
    EXPECT_EQ(receiver.frames[2].size(), 133u);
    EXPECT_EQ(receiver.frames[2][1], 2);
}

TEST_F(SenderFixture, AckDuringPartialWriteGoesOnOtherByteRestartsFrame)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    port.writeLimit = 50;
    // Frame of 133 bytes goes out as 50 + 50 + 33. After the first part an
    // ACK is waiting (writing goes on), after the second noise (the frame
    // is purged and sent again from its first byte).
    int writesSeen = 0;
    port.peer = [&](FakePort& p, const uint8_t*, uint32_t) {
        ++writesSeen;
        if (writesSeen == 1)
            p.deliver(ctl::ACK);
        else if (writesSeen == 2)
            p.deliver('?');
        else if (writesSeen == 5 || writesSeen == 6)
            p.deliver(ctl::ACK, 1);
    };
    MemorySource src(pattern(128));
    ASSERT_EQ(tx.sendStream(src), rc::Ok);
    Bytes all = port.allWritten();
    ASSERT_EQ(all.size(), 100u + 133u + 1u);
    EXPECT_TRUE(std::equal(all.begin(), all.begin() + 100, all.begin() + 100));
    EXPECT_EQ(all[100], ctl::SOH);
    EXPECT_EQ(all.back(), ctl::EOT);
}

TEST_F(SenderFixture, NakToEveryTransmissionGivesUpAfterTen)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    receiver.answer = [](const Bytes&, size_t) { return Bytes{ctl::NAK}; };
    MemorySource src(pattern(10));
    EXPECT_EQ(tx.sendStream(src), rc::TooManyRetries);
    EXPECT_EQ(receiver.frames.size(), 10u);
}

TEST_F(SenderFixture, WriteThatMovesNothingIsATimeout)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    port.stallWriteAt = 0;
    MemorySource src(pattern(10));
    EXPECT_EQ(tx.sendStream(src), rc::Timeout);
}

TEST_F(SenderFixture, EotReplyMayTakeJustOverOneSecond)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    receiver.answer = [this](const Bytes& f, size_t) {
        receiver.replyDelayMs = f[0] == ctl::EOT ? 1001 : 1;
        return Bytes{ctl::ACK};
    };
    MemorySource src(pattern(10));
    EXPECT_EQ(tx.sendStream(src), rc::Ok);
}

TEST_F(SenderFixture, SilenceAfterEotSendsItAgainUntilTheTransmissionsAreSpent)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    receiver.answer = [](const Bytes& f, size_t) { return f[0] == ctl::EOT ? Bytes{} : Bytes{ctl::ACK}; };
    MemorySource src(pattern(10));
    uint64_t firstEot = 0;
    port.peer = [&](FakePort& p, const uint8_t* d, uint32_t n) {
        if (d[0] == ctl::EOT && firstEot == 0)
            firstEot = p.now();
        receiver.feed(p, d, n);
    };
    EXPECT_EQ(tx.sendStream(src), rc::Timeout);
    EXPECT_EQ(receiver.count(ctl::EOT), 10u);
    // Ten waits of 3 s, each followed by a purge of 0.5 s (in which a late
    // ACK would still count).
    EXPECT_EQ(port.now() - firstEot, 10 * (3000u + 500u));
}

// --- recovery on a damaged line ---------------------------------------------

TEST_F(SenderFixture, LostAckIsRecoveredByOneRepeatAndAPromptAckIsTakenAtOnce)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    std::vector<uint64_t> sentAt;
    receiver.answer = [&](const Bytes&, size_t i) {
        sentAt.push_back(port.now());
        return i == 0 ? Bytes{} : Bytes{ctl::ACK};  // the first ACK is lost
    };
    MemorySource src(pattern(256));
    ASSERT_EQ(tx.sendStream(src), rc::Ok);
    ASSERT_EQ(receiver.frames.size(), 4u);  // block 1 twice, block 2, EOT
    EXPECT_EQ(receiver.frames[0], receiver.frames[1]);
    EXPECT_EQ(receiver.frames[2][1], 2);
    EXPECT_EQ(sentAt[1] - sentAt[0], 3000u + 500u);  // the wait, then the purge
    EXPECT_EQ(sentAt[2] - sentAt[1], 1u);           // ACK after 1 ms: next block at once
}

TEST_F(SenderFixture, AnAckJustAfterTheWaitStillAnswersTheFrame)
{
    // A loaded receiver answers after 3.2 s: the ACK comes while the line is
    // purged, before the frame has gone out again, so it is this frame's.
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    receiver.answer = [this](const Bytes&, size_t i) {
        receiver.replyDelayMs = i == 0 ? 3200 : 1;
        return Bytes{ctl::ACK};
    };
    MemorySource src(pattern(256));
    ASSERT_EQ(tx.sendStream(src), rc::Ok);
    ASSERT_EQ(receiver.frames.size(), 3u);  // block 1 once, block 2, EOT
    EXPECT_EQ(receiver.frames[1][1], 2);
}

TEST_F(SenderFixture, AnswerTwoSecondsAfterACutFrameIsWaitedFor)
{
    // A receiver that lost part of a frame waits for a quiet line before it
    // asks for the frame again.
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    receiver.answer = [this](const Bytes&, size_t i) {
        receiver.replyDelayMs = i == 0 ? 2010 : 1;
        return i == 0 ? Bytes{ctl::NAK} : Bytes{ctl::ACK};
    };
    MemorySource src(pattern(100));
    ASSERT_EQ(tx.sendStream(src), rc::Ok);
    ASSERT_EQ(receiver.frames.size(), 3u);
    EXPECT_EQ(receiver.frames[0], receiver.frames[1]);
}

TEST_F(SenderFixture, ReceiverGoneForGoodEndsWithTimeoutWithinAboutThirtySeconds)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    receiver.answer = [](const Bytes&, size_t) { return Bytes{}; };
    uint64_t before = port.now();
    MemorySource src(pattern(100));
    EXPECT_EQ(tx.sendStream(src), rc::Timeout);
    EXPECT_EQ(receiver.frames.size(), 10u);
    EXPECT_LE(port.now() - before, 35000u);
}

TEST_F(SenderFixture, ResendRequestsAmongSilencesEndWithTooManyRetries)
{
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    receiver.answer = [](const Bytes&, size_t i) { return i == 4 ? Bytes{ctl::NAK} : Bytes{}; };
    MemorySource src(pattern(100));
    EXPECT_EQ(tx.sendStream(src), rc::TooManyRetries);
    EXPECT_EQ(receiver.frames.size(), 10u);
}

TEST_F(SenderFixture, ADoubledAckIsNotTakenAsTheNextBlocksAnswer)
{
    // The line doubles the ACK of block 1; block 2 is damaged and answered
    // with NAK. The stale second ACK must not pass block 2 as delivered.
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    receiver.answer = [](const Bytes&, size_t i) {
        if (i == 0)
            return Bytes{ctl::ACK, ctl::ACK};
        return i == 1 ? Bytes{ctl::NAK} : Bytes{ctl::ACK};
    };
    MemorySource src(pattern(256));
    ASSERT_EQ(tx.sendStream(src), rc::Ok);
    ASSERT_EQ(receiver.frames.size(), 4u);
    EXPECT_EQ(receiver.frames[1], receiver.frames[2]);
    EXPECT_EQ(receiver.frames[2][1], 2);
    EXPECT_EQ(receiver.frames[3], Bytes{ctl::EOT});
}

TEST_F(SenderFixture, StreamingSenderWaitsLongerForTheEotReply)
{
    opensWith(ctl::G);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    // The receiver is still reading what the buffers held: its ACK comes
    // 6 s after the EOT was handed over.
    receiver.answer = [this](const Bytes& f, size_t) {
        if (f[0] != ctl::EOT)
            return Bytes{};
        receiver.replyDelayMs = 6000;
        return Bytes{ctl::ACK};
    };
    MemorySource src(pattern(4096));
    EXPECT_EQ(tx.sendStream(src), rc::Ok);
}

TEST_F(SenderFixture, FailingSourceIsReportedAsSourceError)
{
    struct Broken : YModemTx::InStream {
        int32_t read(uint8_t*, uint32_t) override { return -7; }
    } broken;
    opensWith(ctl::CRC);
    ASSERT_EQ(tx.waitForStart(), rc::Ok);
    EXPECT_EQ(tx.sendStream(broken), rc::SourceFile);
}

// --- Y-Modem batches --------------------------------------------------------

struct BatchFixture : SenderFixture {
    // A well-behaved Y-Modem receiver: ACK each frame, and the opening
    // character again after block 0 and after EOT.
    void behaveAsYModem(Bytes afterHeader, Bytes afterEot)
    {
        receiver.answer = [=](const Bytes& f, size_t) {
            if (f[0] == ctl::SOH && f[1] == 0 && f[3] != 0)
                return afterHeader;
            if (f[0] == ctl::EOT)
                return afterEot;
            return Bytes{ctl::ACK};
        };
    }
};

TEST_F(BatchFixture, WholeBatchHasHeaderDataEotAndEmptyHeader)
{
    behaveAsYModem({ctl::ACK, ctl::CRC}, {ctl::ACK, ctl::CRC});
    opensWith(ctl::CRC);
    Bytes data = pattern(1500);
    MemorySource src(data);
    ASSERT_EQ(tx.sendBatch(1500, src, "FW.BIN"), rc::Ok);
    ASSERT_EQ(receiver.frames.size(), 1u + 1 + 4 + 1 + 1);
    const Bytes& header = receiver.frames[0];
    EXPECT_EQ(header.size(), 133u);
    EXPECT_EQ(std::memcmp(header.data() + 3, "fw.bin\0" "1500\0", 12), 0);
    EXPECT_EQ(receiver.frames[1][0], ctl::STX);
    EXPECT_EQ(receiver.frames[1][1], 1);
    EXPECT_EQ(receiver.frames[6], Bytes{ctl::EOT});
    const Bytes& end = receiver.frames[7];
    Bytes expectedEnd(133, 0);
    expectedEnd[0] = ctl::SOH;
    expectedEnd[2] = 0xFF;
    EXPECT_EQ(end, expectedEnd);
}

TEST_F(BatchFixture, LostAnswerToTheHeaderIsRecoveredByRepeatingTheHeader)
{
    // The first answer to block 0 (ACK and "C") never arrives; the repeat
    // is answered, and the batch goes on from there.
    behaveAsYModem({ctl::ACK, ctl::CRC}, {ctl::ACK, ctl::CRC});
    receiver.answer = [inner = receiver.answer](const Bytes& f, size_t i) {
        return i == 0 ? Bytes{} : inner(f, i);
    };
    opensWith(ctl::CRC);
    MemorySource src(pattern(100));
    ASSERT_EQ(tx.sendBatch(100, src, "a"), rc::Ok);
    ASSERT_EQ(receiver.frames.size(), 5u);  // header twice, block 1, EOT, end
    EXPECT_EQ(receiver.frames[0], receiver.frames[1]);
    EXPECT_EQ(receiver.frames[2][1], 1);
}

TEST_F(BatchFixture, EmptyFileBatch)
{
    behaveAsYModem({ctl::ACK, ctl::CRC}, {ctl::ACK, ctl::CRC});
    opensWith(ctl::CRC);
    MemorySource src({});
    ASSERT_EQ(tx.sendBatch(0, src, "e"), rc::Ok);
    ASSERT_EQ(receiver.frames.size(), 3u);
    EXPECT_EQ(receiver.frames[0][3 + 2], '0');
}

TEST_F(BatchFixture, OtherByteThanOpeningCharacterAfterHeader)
{
    behaveAsYModem({ctl::ACK, ctl::NAK}, {ctl::ACK, ctl::CRC});
    opensWith(ctl::CRC);
    MemorySource src(pattern(10));
    EXPECT_EQ(tx.sendBatch(10, src, "f"), rc::BadStartChar);
}

TEST_F(BatchFixture, ExtraAcksBeforeTheOpeningCharacterAreSkipped)
{
    // As U-Boot's loady answers EOT: ACK, ACK, "C".
    behaveAsYModem({ctl::ACK, ctl::ACK, ctl::CRC}, {ctl::ACK, ctl::ACK, ctl::CRC});
    opensWith(ctl::CRC);
    MemorySource src(pattern(10));
    EXPECT_EQ(tx.sendBatch(10, src, "f"), rc::Ok);
}

TEST_F(BatchFixture, EndlessAcksStillEnd)
{
    behaveAsYModem(Bytes(40, ctl::ACK), {});
    opensWith(ctl::CRC);
    MemorySource src(pattern(10));
    EXPECT_EQ(tx.sendBatch(10, src, "f"), rc::BadStartChar);
}

TEST_F(BatchFixture, NoOpeningCharacterAfterEotTimesOutAfterElevenSeconds)
{
    behaveAsYModem({ctl::ACK, ctl::CRC}, {ctl::ACK});
    opensWith(ctl::CRC);
    MemorySource src(pattern(10));
    EXPECT_EQ(tx.sendBatch(10, src, "f"), rc::Timeout);
}

TEST_F(BatchFixture, TooLongNameFailsBeforeAnythingIsSentOrAwaited)
{
    opensWith(ctl::CRC);
    MemorySource src(pattern(10));
    std::string name(125, 'n');
    EXPECT_EQ(tx.sendBatch(10, src, name.c_str()), rc::HeaderTooLong);
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(port.now(), 0u);
}

TEST_F(BatchFixture, StreamingWithAFastReceiverKeepsItsG)
{
    // The "G" after block 0 arrives before the sender's immediate check.
    receiver.replyDelayMs = 0;
    behaveAsYModem({ctl::G}, {ctl::ACK, ctl::G});
    receiver.answer = [inner = receiver.answer](const Bytes& f, size_t i) {
        Bytes r = inner(f, i);
        return (f[0] == ctl::SOH || f[0] == ctl::STX) && !(f[1] == 0 && f[3] != 0) ? Bytes{} : r;
    };
    opensWith(ctl::G);
    MemorySource src(pattern(3000));
    ASSERT_EQ(tx.sendBatch(3000, src, "g.bin"), rc::Ok);
    EXPECT_EQ(receiver.frames.back()[0], ctl::SOH);
    EXPECT_EQ(receiver.frames.back()[3], 0);
}

TEST_F(BatchFixture, StreamingNeverWaitsForDataAcks)
{
    behaveAsYModem({ctl::G}, {ctl::ACK, ctl::G});
    receiver.answer = [inner = receiver.answer](const Bytes& f, size_t i) {
        Bytes r = inner(f, i);
        return r == Bytes{ctl::ACK} ? Bytes{} : r;  // no ACK for data blocks
    };
    opensWith(ctl::G);
    MemorySource src(pattern(64 * 1024));
    ASSERT_EQ(tx.sendBatch(64 * 1024, src, "g.bin"), rc::Ok);
    // 64 blocks without any reply wait: virtual time barely moves.
    EXPECT_LT(port.now(), 200u);
}

}  // namespace
