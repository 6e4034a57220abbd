// The termios port on real pseudo-terminals.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "PortName.h"
#include "PosixSerialPort.h"
#include "PtyPair.h"
#include "ResultCodes.h"

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// The test plays the far end on the master of a pty pair.
struct PtyFixture : PtyPair {
    std::vector<uint8_t> readMaster(size_t want, int timeoutMs = 2000)
    {
        std::vector<uint8_t> got;
        auto start = Clock::now();
        uint8_t buf[512];
        while (got.size() < want && msSince(start) < timeoutMs) {
            ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0)
                got.insert(got.end(), buf, buf + n);
            else
                usleep(1000);
        }
        return got;
    }
};

TEST_F(PtyFixture, OpensConfiguresAndCloses)
{
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    EXPECT_EQ(port.configure(115200), rc::Ok);
    EXPECT_EQ(port.configure(250000), rc::Ok);  // not in the classic speed table
    EXPECT_EQ(port.configure(0), rc::PortSettings);
    port.close();
    port.close();
}

// What another program sees through the ordinary termios calls.
TEST_F(PtyFixture, StandardRatesAreSeenByOtherProgramsOthersStillWork)
{
    // The kernel's BOTHER, the other-rate marker, which <termios.h> does not name.
    const speed_t otherRate = 0010000;
    const struct {
        uint32_t baud;
        speed_t constant;
    } rates[] = {{9600, B9600}, {115200, B115200}, {921600, B921600}, {3000000, B3000000},
                 {250000, otherRate}, {1843200, otherRate}};
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    for (const auto& rate : rates) {
        ASSERT_EQ(port.configure(rate.baud), rc::Ok) << rate.baud;
        termios seen {};
        ASSERT_EQ(tcgetattr(slave, &seen), 0);
        EXPECT_EQ(cfgetospeed(&seen), rate.constant) << rate.baud;
        EXPECT_EQ(cfgetispeed(&seen), rate.constant) << rate.baud;
        EXPECT_EQ(seen.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)) << rate.baud;
    }
    // Back from an other rate to a standard one: no BOTHER left behind.
    ASSERT_EQ(port.configure(115200), rc::Ok);
    termios seen {};
    ASSERT_EQ(tcgetattr(slave, &seen), 0);
    EXPECT_EQ(cfgetospeed(&seen), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetispeed(&seen), static_cast<speed_t>(B115200));
}

TEST_F(PtyFixture, SecondOpenOfTheSameDeviceIsDenied)
{
    PosixSerialPort first(path.c_str());
    ASSERT_EQ(first.open(1), rc::Ok);
    PosixSerialPort second(path.c_str());
    EXPECT_EQ(second.open(1), rc::PortDenied);
    first.close();
    EXPECT_EQ(second.open(1), rc::Ok);
}

TEST(PortNumbers, MappingAndLimits)
{
    PosixSerialPort port;
    EXPECT_EQ(port.open(1000), rc::PortNoDevice);
    setenv("COM42", "/nonexistent/tty", 1);
    EXPECT_EQ(port.open(42), rc::PortNoDevice);
    setenv("COM42", "", 1);  // empty means unset: the numbered device
    char device[64];
    ASSERT_TRUE(posixDeviceForPort(42, device, sizeof device));
    EXPECT_STREQ(device, "/dev/ttyS41");
    unsetenv("COM42");
    EXPECT_EQ(port.open(0), rc::PortNoDevice);
}

TEST(PortNumbers, RegularFileIsNoSerialPort)
{
    char name[] = "/tmp/notattyXXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    PosixSerialPort port(name);
    int32_t r = port.open(1);
    if (r == rc::Ok)
        r = port.configure(115200);
    EXPECT_EQ(r, rc::PortOther);
    unlink(name);
}

TEST_F(PtyFixture, ReadWithDataWaitingReturnsAtOnce)
{
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    ASSERT_EQ(port.configure(115200), rc::Ok);
    ASSERT_EQ(::write(master, "abc", 3), 3);
    usleep(20000);
    uint8_t buf[128];
    auto start = Clock::now();
    EXPECT_EQ(port.read(buf, sizeof buf, 5000), 3);
    EXPECT_LT(msSince(start), 1000);
}

TEST_F(PtyFixture, ReadWakesWhenDataArrivesNotAtTheNextStep)
{
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    ASSERT_EQ(port.configure(115200), rc::Ok);
    uint8_t buf[8];
    // Many one-byte exchanges: with a wake-up only every 10 ms they would
    // take at least 5 ms each on average.
    auto start = Clock::now();
    const int rounds = 200;
    for (int i = 0; i < rounds; ++i) {
        ASSERT_EQ(::write(master, "x", 1), 1);
        ASSERT_EQ(port.read(buf, 1, 1000), 1);
    }
    EXPECT_LT(msSince(start), rounds * 5);
}

// A frame that arrives in pieces at the line's pace, as a UART's FIFO or a
// USB adapter's packets hand it over.
TEST_F(PtyFixture, AFrameThatArrivesInPiecesIsTakenInAFewReadsNotOnePerPiece)
{
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    ASSERT_EQ(port.configure(115200), rc::Ok);
    const int pieces = 60;
    const int pieceBytes = 17;  // 1.5 ms at 115200 baud
    std::vector<uint8_t> sent(pieces * pieceBytes);
    for (size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<uint8_t>(i * 7);
    Clock::time_point lastPiece;
    std::thread line([&] {
        for (int i = 0; i < pieces; ++i) {
            lastPiece = Clock::now();
            ASSERT_EQ(::write(master, sent.data() + i * pieceBytes, pieceBytes), pieceBytes);
            usleep(1476);
        }
    });
    std::vector<uint8_t> got;
    uint8_t buf[2048];
    int reads = 0;
    while (got.size() < sent.size()) {
        int32_t r = port.read(buf, static_cast<uint32_t>(sent.size() - got.size()), 1000);
        ++reads;
        ASSERT_GT(r, 0);
        got.insert(got.end(), buf, buf + r);
    }
    auto done = Clock::now();
    line.join();
    EXPECT_EQ(got, sent);
    // Without gathering, one read per piece (a loaded machine only bunches
    // the pieces, and so makes fewer reads)...
    EXPECT_LT(reads, pieces / 3);
    // ...yet the tail is not held for the line time of a whole read.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(done - lastPiece).count(), 80);
}

TEST_F(PtyFixture, FewerBytesThanAskedForComeWithinAStep)
{
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    ASSERT_EQ(port.configure(9600), rc::Ok);  // 1029 bytes would take 1.07 s
    uint8_t buf[1029];
    std::thread line([&] {
        usleep(30000);
        ASSERT_EQ(::write(master, "\x04", 1), 1);
    });
    auto start = Clock::now();
    EXPECT_EQ(port.read(buf, sizeof buf, 1000), 1);
    long took = msSince(start);
    line.join();
    // Within a step of its arrival (slack for a loaded machine), not after
    // the 1.07 s the line would need for the whole count.
    EXPECT_GE(took, 30);
    EXPECT_LT(took, 300);
}

TEST_F(PtyFixture, TimeoutsTakeTheirTime)
{
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    ASSERT_EQ(port.configure(115200), rc::Ok);
    uint8_t buf[4];
    auto start = Clock::now();
    EXPECT_EQ(port.read(buf, sizeof buf, 0), 0);
    EXPECT_LT(msSince(start), 50);
    start = Clock::now();
    EXPECT_EQ(port.read(buf, sizeof buf, 120), 0);
    long took = msSince(start);
    EXPECT_GE(took, 120);
    EXPECT_LT(took, 1000);
    start = Clock::now();
    EXPECT_EQ(port.read(buf, 0, 50), 0);  // a count of 0 moves nothing
    EXPECT_GE(msSince(start), 50);
}

TEST_F(PtyFixture, AWaitForAnAnswerCountsFromWhenTheOutputHasLeft)
{
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    ASSERT_EQ(port.configure(9600), rc::Ok);
    std::vector<uint8_t> frame(192, 'f');  // 200 ms at 9600 baud
    uint8_t buf[4];

    ASSERT_EQ(port.write(frame.data(), 192, 1000), 192);
    auto start = Clock::now();
    EXPECT_EQ(port.read(buf, 1, 100), 0);
    EXPECT_GE(msSince(start), 290);  // 200 on the wire, then the 100

    // An answer that comes while the frame is still going out is not held.
    ASSERT_EQ(port.write(frame.data(), 192, 1000), 192);
    ASSERT_EQ(::write(master, "\x18", 1), 1);
    start = Clock::now();
    EXPECT_EQ(port.read(buf, 1, 1000), 1);
    EXPECT_LT(msSince(start), 150);

    // A single attempt stays a single attempt.
    ASSERT_EQ(port.write(frame.data(), 192, 1000), 192);
    start = Clock::now();
    EXPECT_EQ(port.read(buf, 1, 0), 0);
    EXPECT_LT(msSince(start), 50);
    readMaster(3 * 192);
}

TEST_F(PtyFixture, AReplyCheckBetweenPartsOfAMessageWaitsOnlyItsOwnTime)
{
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    ASSERT_EQ(port.configure(9600), rc::Ok);
    // More than the pty takes: the write is cut short, and the line is
    // seconds behind at 9600 baud.
    std::vector<uint8_t> message(256 * 1024, 'm');
    int32_t moved = port.write(message.data(), static_cast<uint32_t>(message.size()), 0);
    ASSERT_GT(moved, 0);
    ASSERT_LT(moved, static_cast<int32_t>(message.size()));
    uint8_t buf[4];
    auto start = Clock::now();
    EXPECT_EQ(port.read(buf, 1, 50), 0);
    long took = msSince(start);
    EXPECT_GE(took, 50);
    EXPECT_LT(took, 500);

    // Once the whole of a message is out, a wait counts from the line's end
    // again (configure() starts the line's clock afresh).
    readMaster(static_cast<size_t>(moved), 5000);
    ASSERT_EQ(port.configure(9600), rc::Ok);
    ASSERT_EQ(port.write(message.data(), 192, 1000), 192);  // 200 ms on the wire
    start = Clock::now();
    EXPECT_EQ(port.read(buf, 1, 50), 0);
    EXPECT_GE(msSince(start), 200);
}

TEST_F(PtyFixture, HungUpLineDoesNotSpin)
{
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    ASSERT_EQ(port.configure(115200), rc::Ok);
    close(master);
    master = -1;
    uint8_t buf[4];
    clock_t cpuStart = clock();
    auto start = Clock::now();
    int32_t r = port.read(buf, sizeof buf, 300);
    long took = msSince(start);
    double cpuMs = 1000.0 * static_cast<double>(clock() - cpuStart) / CLOCKS_PER_SEC;
    // Whether it reports the hang-up or waits out its time, it must not
    // spin on a line that is always "ready".
    ASSERT_TRUE(r == 0 || r == rc::PortRead) << r;
    EXPECT_LT(cpuMs, 100.0);
    if (r == 0) {
        EXPECT_GE(took, 300);
    }
}

TEST_F(PtyFixture, RawLinePassesEveryByteValueBothWays)
{
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    ASSERT_EQ(port.configure(115200), rc::Ok);
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[static_cast<size_t>(i)] = static_cast<uint8_t>(i);

    size_t sent = 0;
    while (sent < all.size()) {
        int32_t r = port.write(all.data() + sent, static_cast<uint32_t>(all.size() - sent), 1000);
        ASSERT_GT(r, 0);
        sent += static_cast<size_t>(r);
    }
    EXPECT_EQ(readMaster(256), all);

    ASSERT_EQ(::write(master, all.data(), all.size()), 256);
    std::vector<uint8_t> got;
    uint8_t buf[300];
    while (got.size() < 256) {
        int32_t r = port.read(buf, sizeof buf, 1000);
        ASSERT_GT(r, 0);
        got.insert(got.end(), buf, buf + r);
    }
    EXPECT_EQ(got, all);
}

TEST_F(PtyFixture, WriteToAFullLineTimesOut)
{
    PosixSerialPort port(path.c_str());
    ASSERT_EQ(port.open(1), rc::Ok);
    ASSERT_EQ(port.configure(115200), rc::Ok);
    std::vector<uint8_t> chunk(4096, 'z');
    // Nobody reads the master: the pty buffer fills, then writes move nothing.
    int32_t r = 1;
    for (int i = 0; i < 1000 && r > 0; ++i)
        r = port.write(chunk.data(), static_cast<uint32_t>(chunk.size()), 20);
    EXPECT_EQ(r, 0);
}

}  // namespace
