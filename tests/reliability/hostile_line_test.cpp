// Hostile lines against the engines in virtual time: a line that never
// falls silent, noise before and during a transfer, a streaming sender
// that loses a block, a sender stuck on block 1, a header that claims more
// than arrives. Each must end with the documented code in bounded time,
// and never report success for a file with a hole in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "CancelSequence.h"
#include "FakePort.h"
#include "FileEndpoints.h"
#include "HostileLine.h"
#include "MemorySink.h"
#include "MemorySource.h"
#include "ResultCodes.h"
#include "YModemRx.h"
#include "YModemTx.h"

namespace {

using namespace std::string_literals;

bool endsWithCancel(const Bytes& written)
{
    return written.size() >= kCancelLength &&
           std::equal(kCancelSequence, kCancelSequence + kCancelLength, written.end() - kCancelLength);
}

// A console stuck in a loop: no SOH, STX, EOT, and none of the opening or
// reply characters a sender acts on.
const char kConsoleText[] = "U-Boot 2023.04 (board reset) - retrying in 1 s ...\r\n";
constexpr uint64_t kFloodLimit = 50u * 1000 * 1000;  // about 72 minutes at 115200

TEST(EndlessText, ReceiverGivesUpInsteadOfDrainingForever)
{
    for (bool ymodem : {false, true}) {
        SCOPED_TRACE(ymodem ? "Y-Modem" : "X-Modem CRC");
        EndlessTextPort line(kConsoleText, kFloodLimit);
        YModemRx receiver(line, 30000);
        MemorySink out;
        const int32_t r = ymodem ? receiver.receiveYModem(out, false)
                                 : receiver.receiveXModem(out, true);
        EXPECT_EQ(r, rc::TooManyRetries);
        EXPECT_TRUE(endsWithCancel(line.written));
        EXPECT_LT(line.nowMs(), 60000u);
        EXPECT_TRUE(out.data.empty());
    }
}

TEST(EndlessText, SenderGivesUpInsteadOfPurgingForever)
{
    EndlessTextPort line(kConsoleText, kFloodLimit);
    line.prefix = {ctl::CRC};
    YModemTx sender(line, 30000);
    sender.setAllow1K(true);
    ASSERT_EQ(sender.waitForStart(), rc::Ok);
    MemorySource source(filePattern(2000));
    EXPECT_EQ(sender.sendStream(source), rc::TooManyRetries);
    EXPECT_LT(line.nowMs(), 120000u);
}

TEST(EndlessText, SenderWithoutAnOpeningCharacterStopsAtItsBudget)
{
    EndlessTextPort line(kConsoleText, kFloodLimit);
    YModemTx sender(line, 0);
    EXPECT_EQ(sender.waitForStart(), rc::Timeout);
    EXPECT_TRUE(line.written.empty());
}

struct LineFixture : ::testing::Test {
    FakePort port;
    MemorySink out;
};

TEST_F(LineFixture, NoiseBeforeTheHandshakeAndDuringTheDataIsSurvived)
{
    const Bytes data = filePattern(1000);
    ScriptedYModemSender sender("noisy.bin\0" "1000"s, data);
    sender.attach(port);
    // Three seconds of console text before the sender listens...
    Bytes before;
    for (size_t i = 0; i < 3000; ++i)
        before.push_back(static_cast<uint8_t>(kConsoleText[i % (sizeof kConsoleText - 1)]));
    port.deliver(before, 0, 1);
    sender.deafUntilMs = 3000;
    // ...and half a second of it in front of block 3.
    sender.noisyBlock = 3;
    sender.noise.assign(before.begin(), before.begin() + 500);

    YModemRx receiver(port, 30000);
    ASSERT_EQ(receiver.receiveYModem(out, false), rc::Ok);
    EXPECT_EQ(out.declared, 1000u);
    ASSERT_GE(out.data.size(), data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.data.begin()));
}

TEST_F(LineFixture, StreamingReceiverDoesNotEndAFileThatLostABlock)
{
    // Y-Modem G: block 2 arrives damaged; the sender never sends a block
    // again, so the file can only fail, however the EOT is answered.
    const Bytes data = filePattern(1000);
    ScriptedYModemSender sender("g.bin\0" "1000"s, data);
    sender.streaming = true;
    sender.damagedBlock = 2;
    sender.attach(port);

    YModemRx receiver(port, 30000);
    const int32_t r = receiver.receiveYModem(out, true);
    EXPECT_EQ(r, rc::TooManyRetries);
    EXPECT_TRUE(endsWithCancel(port.allWritten()));
    EXPECT_EQ(out.data.size(), 128u);  // block 1 only
}

TEST_F(LineFixture, StreamingReceiverStillTakesAnUndamagedFile)
{
    const Bytes data = filePattern(1000);
    ScriptedYModemSender sender("g.bin\0" "1000"s, data);
    sender.streaming = true;
    sender.attach(port);

    YModemRx receiver(port, 30000);
    ASSERT_EQ(receiver.receiveYModem(out, true), rc::Ok);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.data.begin()));
}

TEST_F(LineFixture, SenderRepeatingBlockOneFailsAfterTenAttempts)
{
    // Each repeat is acknowledged (as after a lost ACK) but still counts as
    // an attempt at block 2: sixteen blocks' worth of repeats end it.
    ScriptedYModemSender sender("r.bin\0" "2000"s, filePattern(2000));
    sender.repeatFirstBlock = true;
    sender.attach(port);

    YModemRx receiver(port, 30000);
    EXPECT_EQ(receiver.receiveYModem(out, false), rc::TooManyRetries);
    EXPECT_TRUE(endsWithCancel(port.allWritten()));
    EXPECT_EQ(out.data.size(), 128u);  // taken once, never again
}

TEST(HeaderClaims, MoreThanArrivesFailsAndCancels)
{
    // An EOT before the announced size means the file lost its tail (or the
    // header lied): the blocks that came are kept, the run fails.
    ScratchFolder folder;
    FakePort port;
    const Bytes data = filePattern(300);
    ScriptedYModemSender sender("claims.bin\0" "5000"s, data);
    sender.attach(port);
    OutFile out;
    YModemRx receiver(port, 30000);
    testing::internal::CaptureStdout();
    const int32_t r = receiver.receiveYModem(out, false);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(r, rc::OutputFile);
    EXPECT_TRUE(endsWithCancel(port.allWritten()));
    ASSERT_NE(out.file, nullptr);
    std::fclose(out.file);
    const Bytes got = folder.contents("work/claims.bin");
    ASSERT_EQ(got.size(), 384u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
}

}  // namespace
