#include "PosixSerialPort.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "LineSettings.h"
#include "PollLoop.h"
#include "PortName.h"
#include "ResultCodes.h"
#include "StopRequest.h"

namespace {

// Closes the descriptor unless ownership was taken: every early return of
// open() then cleans up by itself.
class FdOwner {
public:
    explicit FdOwner(int fd_) : fd(fd_) {}
    ~FdOwner()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FdOwner(const FdOwner&) = delete;
    FdOwner& operator=(const FdOwner&) = delete;
    int get() const { return fd; }
    int release()
    {
        int owned = fd;
        fd = -1;
        return owned;
    }

private:
    int fd;
};

int32_t openErrorCode(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return rc::PortNoDevice;
    case EBUSY:
    case EACCES:
    case EPERM:
    case EWOULDBLOCK:
        return rc::PortDenied;
    default:
        return rc::PortOther;
    }
}

uint64_t monotonicNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

void sleepUntil(uint64_t ns)
{
    timespec until {static_cast<time_t>(ns / 1000000000u), static_cast<long>(ns % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

// Waits one polling step on the descriptor; ends early when it is ready.
class DescriptorWaiter {
public:
    DescriptorWaiter(int fd_, short events_) : fd(fd_), events(events_) {}

    // A read of `count` bytes on a line that carries a byte in `byteNs`:
    // see gather().
    void gatherUpTo(uint32_t count, uint64_t byteNs)
    {
        wanted = count;
        nsPerByte = byteNs;
    }

    bool waitStep(uint32_t ms)
    {
        stepEndNs = monotonicNs() + static_cast<uint64_t>(ms) * 1000000u;
        pollfd p {fd, events, 0};
        int r;
        // A stop signal ends the step; the polling loop then sees it.
        do
            r = ::poll(&p, 1, static_cast<int>(ms));
        while (r < 0 && errno == EINTR && !stop::blocksPort());
        if (r <= 0 || monotonicNs() >= stepEndNs)
            return false;
        gather();
        return true;
    }

    // Ready but nothing moved (a hung-up line): sleep out the step.
    void finishStep() { sleepUntil(stepEndNs); }

private:
    // The first bytes of a read have come: see gatherSleepNs().
    void gather()
    {
        int available = 0;
        if (nsPerByte == 0 || wanted <= 1 || ioctl(fd, FIONREAD, &available) != 0 || available < 0)
            return;
        uint64_t now = monotonicNs();
        uint64_t sleep = gatherSleepNs(wanted, static_cast<uint32_t>(available), nsPerByte,
                                       stepEndNs > now ? stepEndNs - now : 0);
        if (sleep > 0)
            sleepUntil(now + sleep);
    }

    int fd;
    short events;
    uint64_t stepEndNs = 0;
    uint32_t wanted = 0;
    uint64_t nsPerByte = 0;
};

}  // namespace

std::unique_ptr<SerialPort> createSerialPort(const char* devicePath)
{
    return std::unique_ptr<SerialPort>(new (std::nothrow) PosixSerialPort(devicePath));
}

PosixSerialPort::PosixSerialPort(const char* devicePath_) : devicePath(devicePath_) {}

PosixSerialPort::~PosixSerialPort()
{
    close();
}

int32_t PosixSerialPort::open(uint32_t portNumber)
{
    if (devicePath != nullptr)
        return openDevice(devicePath);
    if (portNumber >= kPortNumberLimit)
        return rc::PortNoDevice;
    char path[256];
    if (!posixDeviceForPort(portNumber, path, sizeof path))
        return rc::PortNoDevice;
    return openDevice(path);
}

int32_t PosixSerialPort::openDevice(const char* path)
{
    FdOwner owner(::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (owner.get() < 0)
        return openErrorCode(errno);
    // flock keeps out programs that lock; TIOCEXCL those that do not (but
    // not root, which the kernel lets through). Both are needed.
    if (flock(owner.get(), LOCK_EX | LOCK_NB) != 0)
        return openErrorCode(errno);
    if (ioctl(owner.get(), TIOCEXCL) != 0)
        return errno == ENOTTY ? rc::PortOther : openErrorCode(errno);
    close();
    fd = owner.release();
    lowLatency.apply(fd);
    return rc::Ok;
}

int32_t PosixSerialPort::configure(uint32_t baudRate)
{
    int32_t r = applyLineSettings(fd, baudRate);
    transmitClock.setBaudRate(r == rc::Ok ? baudRate : 0);
    byteNs = r == rc::Ok ? 10u * 1000000000ull / baudRate : 0;
    return r;
}

int32_t PosixSerialPort::write(const uint8_t* data, uint32_t count, uint32_t timeoutMs)
{
    auto attempt = [&]() -> int32_t {
        if (count == 0)
            return 0;
        for (;;) {
            ssize_t n = ::write(fd, data, count);
            if (n > 0)
                return static_cast<int32_t>(n);
            if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
                return 0;
            if (errno != EINTR)
                return rc::PortWrite;
        }
    };
    DescriptorWaiter waiter(fd, POLLOUT);
    int32_t moved = pollWithTimeout(timeoutMs, attempt, waiter);
    if (moved > 0)
        transmitClock.wrote(static_cast<uint32_t>(moved), monotonicNs());
    lastWriteCutShort = moved >= 0 && static_cast<uint32_t>(moved) < count;
    return moved;
}

int32_t PosixSerialPort::read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs)
{
    auto attempt = [&]() -> int32_t {
        if (count == 0)
            return 0;
        for (;;) {
            ssize_t n = ::read(fd, buffer, count);
            if (n > 0)
                return static_cast<int32_t>(n);
            // 0 is a hung-up line: nothing moved, and the waiter keeps the
            // loop from spinning on it.
            if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
                return 0;
            if (errno != EINTR)
                return rc::PortRead;
        }
    };
    // A wait for an answer counts from when our own output has left. After
    // a write that was cut short the caller still holds the rest of its
    // message, so no answer can be due: that read (the reply check between
    // two parts of a frame) waits only its own time, or a streaming sender
    // would leave the line idle while the driver's buffer has room. A single
    // attempt (timeout 0) stays a single attempt.
    if (timeoutMs > 0 && !lastWriteCutShort) {
        uint32_t pending = transmitClock.msUntilIdle(monotonicNs());
        timeoutMs = pending > UINT32_MAX - timeoutMs ? UINT32_MAX : timeoutMs + pending;
    }
    DescriptorWaiter waiter(fd, POLLIN);
    waiter.gatherUpTo(count, byteNs);
    return pollWithTimeout(timeoutMs, attempt, waiter);
}

// What was written last (an answer, a cancel) may still be in the driver's
// queue. The wait ends when the queue is empty, or some time after the line
// should have carried it all; what is still queued then (a line held by
// flow control) is discarded, so that the close cannot hang in the
// kernel's own wait for it (30 s by default). A pty reports no queue.
void PosixSerialPort::waitUntilSent()
{
    const uint64_t deadline =
        monotonicNs() + (transmitClock.msUntilIdle(monotonicNs()) + kSendMarginMs) * 1000000ull;
    int queued = 0;
    while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        if (monotonicNs() >= deadline) {
            ioctl(fd, TCFLSH, TCOFLUSH);
            return;
        }
        sleepUntil(monotonicNs() + kPollStepMs * 1000000ull);
    }
}

void PosixSerialPort::close()
{
    if (fd >= 0) {
        waitUntilSent();
        lowLatency.undo(fd);
        ::close(fd);
        fd = -1;
    }
}
