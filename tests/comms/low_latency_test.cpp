// The port's low-latency request, against a driver faked at ioctl() on a
// real pty (serial_flags_fake.c): asked for on open, undone on close, and a
// driver that refuses it changes nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/serial.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

#include "PosixSerialPort.h"
#include "PtyPair.h"
#include "ResultCodes.h"
#include "serial_flags_fake.h"

namespace {

const int kLowLatency = static_cast<int>(ASYNC_LOW_LATENCY);
// Flags a driver may have set of its own, which must survive.
const int kOtherFlags = static_cast<int>(ASYNC_SKIP_TEST | ASYNC_SPD_HI);

struct LowLatencyTest : PtyPair {
    void SetUp() override
    {
        PtyPair::SetUp();
        serialFlagsFakeReset(kOtherFlags);
    }
    std::string calls() const
    {
        std::string requests;
        for (int i = 0; i < serialFlagsFake.callCount; ++i)
            requests += serialFlagsFake.calls[i].request;
        return requests;
    }
    // The port still moves bytes both ways after whatever the driver said.
    void expectLineWorks(PosixSerialPort& port)
    {
        ASSERT_EQ(port.configure(115200), rc::Ok);
        const uint8_t out = 0x5A;
        ASSERT_EQ(port.write(&out, 1, 1000), 1);
        uint8_t seen = 0;
        for (int i = 0; i < 100 && ::read(master, &seen, 1) != 1; ++i)
            usleep(1000);
        EXPECT_EQ(seen, out);
        ASSERT_EQ(::write(master, "r", 1), 1);
        uint8_t in = 0;
        EXPECT_EQ(port.read(&in, 1, 1000), 1);
        EXPECT_EQ(in, 'r');
    }
};

TEST_F(LowLatencyTest, AskedForOnOpenAndUndoneOnClose)
{
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    ASSERT_EQ(calls(), "GS");
    EXPECT_EQ(serialFlagsFake.calls[1].flags, kOtherFlags | kLowLatency);
    EXPECT_EQ(serialFlagsFake.calls[1].device, path);
    expectLineWorks(port);
    EXPECT_EQ(calls(), "GS");  // nothing more while the port is in use

    port.close();
    ASSERT_EQ(calls(), "GSGS");
    EXPECT_EQ(serialFlagsFake.calls[3].device, path);
    EXPECT_EQ(serialFlagsFake.flags, kOtherFlags);
    port.close();
    EXPECT_EQ(calls(), "GSGS");
}

TEST_F(LowLatencyTest, DestructionUndoesItToo)
{
    {
        PosixSerialPort port(path.c_str());
        ASSERT_EQ(port.open(1), rc::Ok);
        EXPECT_EQ(serialFlagsFake.flags, kOtherFlags | kLowLatency);
    }
    EXPECT_EQ(calls(), "GSGS");
    EXPECT_EQ(serialFlagsFake.flags, kOtherFlags);
}

TEST_F(LowLatencyTest, AFlagSetBeforehandIsLeftAsItWas)
{
    serialFlagsFakeReset(kOtherFlags | kLowLatency);
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    port.close();
    EXPECT_EQ(calls(), "G");
    EXPECT_EQ(serialFlagsFake.flags, kOtherFlags | kLowLatency);
}

// A pty says ENOTTY, some drivers EINVAL; one that has flags may still
// refuse to change them (EPERM). None of it is an error of the port.
TEST_F(LowLatencyTest, ARefusalChangesNothing)
{
    const struct {
        int refuse;
        int refuseSet;
        const char* calls;
    } drivers[] = {{ENOTTY, 0, "G"}, {EINVAL, 0, "G"}, {0, EPERM, "GS"}, {0, EINVAL, "GS"}};
    for (const auto& driver : drivers) {
        serialFlagsFakeReset(kOtherFlags);
        serialFlagsFake.refuseErrno = driver.refuse;
        serialFlagsFake.setErrno = driver.refuseSet;
        PosixSerialPort port(path.c_str());
        ASSERT_EQ(port.open(1), rc::Ok) << driver.calls;
        expectLineWorks(port);
        port.close();
        // Nothing to undo: no request on close.
        EXPECT_EQ(calls(), driver.calls);
        EXPECT_EQ(serialFlagsFake.flags, kOtherFlags);
    }
}

// close() first lets the driver send what is queued (a cancel, the last
// answer), and only a queue that does not empty in time is discarded.
TEST_F(LowLatencyTest, CloseWaitsForTheQueueToEmptyThenUndoesTheFlag)
{
    const struct {
        int sentPerCall;
        const char* calls;
    } drivers[] = {{1, "GSQQQQGS"}, {0, "GSQ*FGS"}};
    for (const auto& driver : drivers) {
        serialFlagsFakeReset(kOtherFlags);
        PosixSerialPort port(path.c_str());
        ASSERT_EQ(port.open(1), rc::Ok);
        serialFlagsFake.fakeOutputQueue = 1;
        serialFlagsFake.queued = 3;
        serialFlagsFake.sentPerCall = driver.sentPerCall;
        port.close();
        std::string seen = calls();
        // A queue that never empties: polled until the margin is over.
        if (driver.sentPerCall == 0 && seen.size() > 8)
            seen = seen.substr(0, 3) + "*" + seen.substr(seen.size() - 3);
        EXPECT_EQ(seen, driver.calls);
        EXPECT_EQ(serialFlagsFake.queued, 0);
        EXPECT_EQ(serialFlagsFake.flags, kOtherFlags);
    }
}

// The program that holds the port has set the flag; a second one that is
// turned away must not touch it.
TEST_F(LowLatencyTest, AnOpenThatIsDeniedAsksForNothing)
{
    PosixSerialPort holder(path.c_str());
    ASSERT_EQ(holder.open(1), rc::Ok);
    PosixSerialPort second(path.c_str());
    EXPECT_EQ(second.open(1), rc::PortDenied);
    second.close();
    EXPECT_EQ(calls(), "GS");
    EXPECT_EQ(serialFlagsFake.flags, kOtherFlags | kLowLatency);
    holder.close();
    EXPECT_EQ(serialFlagsFake.flags, kOtherFlags);
}

}  // namespace
