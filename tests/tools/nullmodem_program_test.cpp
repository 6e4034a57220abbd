// The nullmodem program over its ptys: timing, faults, trace and life cycle.
// The throttle checks run in real time and take about a second and a half
// each; everything else is unthrottled.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

Bytes randomBytes(size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

// A running nullmodem in a fresh directory, ends "a" and "b" in it.
class NullModem {
public:
    explicit NullModem(std::vector<std::string> extra = {})
    {
        char pattern[] = "/tmp/nullmodem-test-XXXXXX";
        dir = mkdtemp(pattern);
        std::vector<std::string> args = {NULLMODEM_PATH, "--a", path("a"), "--b", path("b"),
                                         "--max-seconds", "60"};
        args.insert(args.end(), extra.begin(), extra.end());
        int out[2];
        if (pipe(out) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            dup2(out[1], 1);
            std::vector<char*> argv;
            for (std::string& s : args)
                argv.push_back(&s[0]);
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        readyLine = readLine(out[0]);
        close(out[0]);
    }
    ~NullModem()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        std::system(("rm -rf " + dir).c_str());
    }
    std::string path(const char* name) const { return dir + "/" + name; }
    // Sends SIGTERM; the exit status, or -1 if it did not end within 5 s.
    int stop()
    {
        kill(pid, SIGTERM);
        return waitForExit(5.0);
    }
    int waitForExit(double limitSeconds)
    {
        auto start = Clock::now();
        int status = 0;
        while (secondsSince(start) < limitSeconds) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    // CPU seconds used so far (user + system).
    double cpuSeconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        double ticks = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i)
            if (i >= 14)
                ticks += std::stod(field);
        return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
    }

    std::string readyLine;
    pid_t pid = -1;

private:
    static std::string readLine(int fd)
    {
        std::string line;
        char c = 0;
        while (read(fd, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    std::string dir;
};

class End {
public:
    explicit End(const std::string& path) : fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~End()
    {
        if (fd >= 0)
            close(fd);
    }
    void write(const Bytes& data) const
    {
        size_t done = 0;
        while (done < data.size()) {
            struct pollfd p = {fd, POLLOUT, 0};
            poll(&p, 1, 1000);
            ssize_t n = ::write(fd, data.data() + done, data.size() - done);
            if (n > 0)
                done += static_cast<size_t>(n);
        }
    }
    // Reads until `count` bytes came or nothing came for `quietMs`.
    Bytes read(size_t count, int quietMs = 500) const
    {
        Bytes got;
        uint8_t buffer[4096];
        while (got.size() < count) {
            struct pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, quietMs) <= 0)
                break;
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }
    int fd;
};

void expectReady(const NullModem& nm)
{
    ASSERT_EQ(nm.readyLine, "ready");
}

// Writes `data` at one end in a thread and returns the seconds until the
// last byte was read at the other (or it was quiet for `quietMs`).
double timedTransfer(const End& from, const End& to, const Bytes& data, Bytes& received,
                     int quietMs = 500)
{
    auto start = Clock::now();
    std::thread writer([&] { from.write(data); });
    received = to.read(data.size(), quietMs);
    double seconds = secondsSince(start);
    writer.join();
    return seconds;
}

TEST(NullModemProgram, ThrottlesTo115200Baud)
{
    NullModem nm({"--baud", "115200"});
    expectReady(nm);
    End a(nm.path("a")), b(nm.path("b"));
    Bytes data = randomBytes(17280, 1);  // 1.5 s at 11520 bytes/s
    Bytes got;
    double seconds = timedTransfer(a, b, data, got);
    EXPECT_EQ(got, data);
    EXPECT_NEAR(seconds, 1.5, 1.5 * 0.03);
}

TEST(NullModemProgram, ThrottlesEachDirectionOnItsOwnAt38400Baud)
{
    NullModem nm({"--baud", "38400"});
    expectReady(nm);
    End a(nm.path("a")), b(nm.path("b"));
    Bytes toB = randomBytes(5760, 2);  // 1.5 s at 3840 bytes/s
    Bytes toA = randomBytes(5760, 3);
    Bytes gotA;
    double secondsBA = 0;
    std::thread reverse([&] { secondsBA = timedTransfer(b, a, toA, gotA); });
    Bytes gotB;
    double secondsAB = timedTransfer(a, b, toB, gotB);
    reverse.join();
    EXPECT_EQ(gotB, toB);
    EXPECT_EQ(gotA, toA);
    EXPECT_NEAR(secondsAB, 1.5, 1.5 * 0.03);
    EXPECT_NEAR(secondsBA, 1.5, 1.5 * 0.03);
}

TEST(NullModemProgram, SenderRunsAheadOfTheLineByOneTransmitBufferOnly)
{
    NullModem nm({"--baud", "115200"});
    expectReady(nm);
    End a(nm.path("a")), b(nm.path("b"));
    // Frame-sized writes for 2.5 s, reading as they arrive. The relay is
    // stopped for the first eight frames, as a loaded machine may keep it
    // from reacting: a pty alone takes some 60 KiB, so those frames get in.
    // The writer must then be held until the line has caught up (about a
    // second), and from then on stay ahead of it by one transmit buffer and
    // what a late reaction lets in: the median lead of the last second.
    const Bytes frame = randomBytes(1029, 10);
    size_t accepted = 0;
    size_t received = 0;
    std::vector<size_t> leads;
    kill(nm.pid, SIGSTOP);
    for (int i = 0; i < 8; ++i)
        accepted += static_cast<size_t>(std::max<ssize_t>(0, ::write(a.fd, frame.data(), frame.size())));
    kill(nm.pid, SIGCONT);
    ASSERT_EQ(accepted, 8 * frame.size());
    auto start = Clock::now();
    while (secondsSince(start) < 2.5) {
        ssize_t n = ::write(a.fd, frame.data(), frame.size());
        if (n > 0)
            accepted += static_cast<size_t>(n);
        received += b.read(SIZE_MAX, 0).size();
        if (secondsSince(start) > 1.5)
            leads.push_back(accepted - received);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(leads.empty());
    std::sort(leads.begin(), leads.end());
    EXPECT_LT(leads[leads.size() / 2], 4096u + 3 * frame.size());
    received += b.read(accepted - received, 300).size();
    EXPECT_EQ(received, accepted);
}

TEST(NullModemProgram, AStreamKeepsTheLineRateOverALongLine)
{
    // A second of latency holds 11520 bytes on the line at 115200 baud;
    // they have left the transmit buffer and must not hold the writer back.
    NullModem nm({"--baud", "115200", "--latency-ms", "1000"});
    expectReady(nm);
    End a(nm.path("a")), b(nm.path("b"));
    Bytes data = randomBytes(17280, 4);  // 1.5 s at 11520 bytes/s
    Bytes got;
    double seconds = timedTransfer(a, b, data, got, 1500);
    EXPECT_EQ(got, data);
    EXPECT_NEAR(seconds, 2.5, 2.5 * 0.03);
}

TEST(NullModemProgram, AStreamingWriterIsHeldNoLongerThanTheBufferTakesToDrain)
{
    // Frames written as fast as the cable takes them, as a streaming sender
    // does: a real port takes more as soon as its 4 KiB buffer has room, so
    // no write waits much longer than the buffer takes to drain (0.36 s at
    // 115200 baud); a sender gives up after a second.
    NullModem nm({"--baud", "115200"});
    expectReady(nm);
    End a(nm.path("a")), b(nm.path("b"));
    const Bytes frame = randomBytes(1029, 5);
    std::atomic<bool> done {false};
    double longestWait = 0;
    std::thread writer([&] {
        auto lastWrite = Clock::now();
        size_t offset = 0;
        while (!done) {
            ssize_t n = ::write(a.fd, frame.data() + offset, frame.size() - offset);
            if (n > 0) {
                offset = (offset + static_cast<size_t>(n)) % frame.size();
                longestWait = std::max(longestWait, secondsSince(lastWrite));
                lastWrite = Clock::now();
                continue;
            }
            struct pollfd p = {a.fd, POLLOUT, 0};
            poll(&p, 1, 10);
        }
    });
    size_t received = 0;
    auto start = Clock::now();
    while (secondsSince(start) < 2.5)
        received += b.read(4096, 100).size();
    done = true;
    writer.join();
    EXPECT_GT(received, 2u * 11520u);
    EXPECT_LT(longestWait, 0.6);
}

TEST(NullModemProgram, LatencyDelaysALoneByte)
{
    NullModem nm({"--latency-ms", "50"});
    expectReady(nm);
    End a(nm.path("a")), b(nm.path("b"));
    Bytes got;
    double seconds = timedTransfer(b, a, Bytes{0x06}, got);
    EXPECT_EQ(got, Bytes{0x06});
    EXPECT_GE(seconds, 0.050);
    EXPECT_LT(seconds, 0.070);
}

struct TraceLines {
    Bytes ab, ba;
    bool wellFormed = true;
};

TraceLines readTrace(const std::string& path)
{
    TraceLines trace;
    std::ifstream in(path);
    std::string line;
    long long lastMicros = -1;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        long long micros = 0;
        std::string direction, hex;
        size_t count = 0;
        fields >> micros >> direction >> count >> hex;
        // Timestamps never go back; each record's count matches its bytes.
        if (micros < lastMicros || hex.size() != 2 * count || (direction != "ab" && direction != "ba"))
            trace.wellFormed = false;
        lastMicros = micros;
        Bytes& bytes = direction == "ab" ? trace.ab : trace.ba;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return trace;
}

TEST(NullModemProgram, TraceHoldsEveryByteInOrderBothWays)
{
    char pattern[] = "/tmp/nullmodem-trace-XXXXXX";
    std::string traceDir = mkdtemp(pattern);
    std::string tracePath = traceDir + "/trace.txt";
    Bytes toB = randomBytes(60000, 4);
    Bytes toA = randomBytes(9000, 5);
    {
        NullModem nm({"--latency-ms", "1", "--trace", tracePath, "--flip-ab", "0.001"});
        expectReady(nm);
        End a(nm.path("a")), b(nm.path("b"));
        Bytes gotA, gotB;
        std::thread reverse([&] { timedTransfer(b, a, toA, gotA); });
        timedTransfer(a, b, toB, gotB);
        reverse.join();
        ASSERT_EQ(gotA, toA);
        ASSERT_EQ(gotB.size(), toB.size());
        ASSERT_NE(gotB, toB);  // flipped on the way
        EXPECT_EQ(nm.stop(), 0);
        TraceLines trace = readTrace(tracePath);
        EXPECT_TRUE(trace.wellFormed);
        // The trace shows what the far end received, damage included.
        EXPECT_EQ(trace.ab, gotB);
        EXPECT_EQ(trace.ba, toA);
    }
    std::system(("rm -rf " + traceDir).c_str());
}

// Sends 200 KB unthrottled A to B with one fault enabled; returns what came.
Bytes throughFault(const char* option, const char* rate, const char* seed)
{
    NullModem nm({option, rate, "--seed", seed});
    End a(nm.path("a")), b(nm.path("b"));
    std::thread writer([&] { a.write(randomBytes(200000, 6)); });
    Bytes got = b.read(400000, 200);
    writer.join();
    return got;
}

TEST(NullModemProgram, FaultsHappenAtTheConfiguredRate)
{
    const Bytes sent = randomBytes(200000, 6);
    Bytes flipped = throughFault("--flip-ab", "0.01", "11");
    ASSERT_EQ(flipped.size(), sent.size());
    size_t changed = 0;
    for (size_t i = 0; i < sent.size(); ++i)
        changed += flipped[i] != sent[i];
    EXPECT_NEAR(static_cast<double>(changed), 2000, 200);
    EXPECT_EQ(throughFault("--flip-ab", "0.01", "11"), flipped);  // seeded: repeatable

    Bytes dropped = throughFault("--drop-ab", "0.01", "12");
    EXPECT_NEAR(static_cast<double>(sent.size() - dropped.size()), 2000, 200);
    Bytes duplicated = throughFault("--dup-ab", "0.01", "13");
    EXPECT_NEAR(static_cast<double>(duplicated.size() - sent.size()), 2000, 200);
}

TEST(NullModemProgram, CutPassesExactlyNBytesInItsDirectionOnly)
{
    NullModem nm({"--cut-ab", "1000"});
    expectReady(nm);
    End a(nm.path("a")), b(nm.path("b"));
    Bytes toB = randomBytes(5000, 7);
    a.write(toB);
    Bytes got = b.read(toB.size(), 300);
    EXPECT_EQ(got, Bytes(toB.begin(), toB.begin() + 1000));
    Bytes toA = randomBytes(5000, 8);
    b.write(toA);
    EXPECT_EQ(a.read(toA.size()), toA);
}

TEST(NullModemProgram, HeldFaultsActOnlyBetweenTwoSignals)
{
    // Every byte flipped while on; clean before the first SIGUSR1 and after
    // the second, and the cut counts only the bytes sent while on.
    NullModem nm({"--faults-from", "usr1", "--flip-ab", "1", "--cut-ba", "10"});
    expectReady(nm);
    End a(nm.path("a")), b(nm.path("b"));
    const Bytes text = randomBytes(100, 9);
    a.write(text);
    EXPECT_EQ(b.read(text.size()), text);
    b.write(text);
    EXPECT_EQ(a.read(text.size()), text);

    kill(nm.pid, SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    a.write(text);
    Bytes damaged = b.read(text.size());
    ASSERT_EQ(damaged.size(), text.size());
    for (size_t i = 0; i < text.size(); ++i)
        ASSERT_NE(damaged[i], text[i]) << i;
    b.write(text);
    EXPECT_EQ(a.read(text.size(), 300), Bytes(text.begin(), text.begin() + 10));

    kill(nm.pid, SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    a.write(text);
    EXPECT_EQ(b.read(text.size()), text);
    b.write(text);
    EXPECT_EQ(a.read(text.size()), text);
}

TEST(NullModemProgram, NoiseBurstArrivesAtItsTime)
{
    auto start = Clock::now();
    NullModem nm({"--noise-ba", "300:40"});
    expectReady(nm);
    End a(nm.path("a")), b(nm.path("b"));
    EXPECT_TRUE(a.read(1, 200).empty());
    Bytes noise = a.read(40, 500);
    double seconds = secondsSince(start);
    EXPECT_EQ(noise.size(), 40u);
    EXPECT_GT(seconds, 0.3);
    EXPECT_LT(seconds, 0.6);
    EXPECT_TRUE(b.read(1, 100).empty());
}

TEST(NullModemProgram, BytesWaitForAnEndNobodyHasOpened)
{
    NullModem nm;
    expectReady(nm);
    {
        End a(nm.path("a"));
        a.write(Bytes{'h', 'e', 'l', 'l', 'o'});
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    {
        End b(nm.path("b"));
        EXPECT_EQ(b.read(5), (Bytes{'h', 'e', 'l', 'l', 'o'}));
    }
    // Both ends closed and opened again: the cable still works.
    End a(nm.path("a")), b(nm.path("b"));
    b.write(Bytes{1, 2, 3});
    EXPECT_EQ(a.read(3), (Bytes{1, 2, 3}));
}

TEST(NullModemProgram, ExclusiveModeEndsWhenItsProgramCloses)
{
    NullModem nm;
    expectReady(nm);
    {
        End a(nm.path("a"));
        ASSERT_EQ(ioctl(a.fd, TIOCEXCL), 0);
    }
    // Root may open an exclusive tty anyway, so ask for the mode itself,
    // until nullmodem has seen the close (or a second has passed).
    End again(nm.path("a"));
    int exclusive = 1;
    auto start = Clock::now();
    while (secondsSince(start) < 1.0) {
        ASSERT_EQ(ioctl(again.fd, TIOCGEXCL, &exclusive), 0);
        if (exclusive == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(exclusive, 0);
}

TEST(NullModemProgram, IdleCostsNoCpuAfterAClientLeft)
{
    NullModem nm({"--baud", "115200"});
    expectReady(nm);
    {
        End a(nm.path("a"));
        a.write(randomBytes(100, 9));
    }
    double before = nm.cpuSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_LT(nm.cpuSeconds() - before, 0.1);
}

bool isLink(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

TEST(NullModemProgram, StopsOnSigtermAndRemovesItsLinks)
{
    NullModem nm;
    expectReady(nm);
    ASSERT_TRUE(isLink(nm.path("a")));
    ASSERT_TRUE(isLink(nm.path("b")));
    EXPECT_EQ(nm.stop(), 0);
    EXPECT_FALSE(isLink(nm.path("a")));
    EXPECT_FALSE(isLink(nm.path("b")));
}

TEST(NullModemProgram, ReplacesAStaleLinkAndEndsAfterMaxSeconds)
{
    NullModem first;
    expectReady(first);
    std::string stale = first.path("stale");
    ASSERT_EQ(symlink("/dev/nonexistent", stale.c_str()), 0);
    NullModem second({"--a", stale, "--max-seconds", "1"});
    expectReady(second);
    char target[64] = {};
    ASSERT_GT(readlink(stale.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target).rfind("/dev/pts/", 0), 0u) << target;
    EXPECT_EQ(second.waitForExit(3.0), 0);
    EXPECT_FALSE(isLink(stale));
}
}  // namespace
