#include "Relay.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {
constexpr int64_t kNsPerMs = 1000000;
constexpr int64_t kTickNs = kNsPerMs;
// A full far end is retried this often in case its wake-up is missed.
constexpr int64_t kBlockedRetryNs = 10 * kNsPerMs;
constexpr int64_t kFlushIdleNs = 10 * kNsPerMs;
constexpr int64_t kFlushEveryNs = 100 * kNsPerMs;
// Bytes not yet sent per direction before the sender is held back: the
// transmit buffer of a Linux serial driver.
constexpr size_t kTransmitBuffer = 4096;
constexpr size_t kChunk = 16 * 1024;
constexpr int64_t kNever = INT64_MAX;

size_t tickBytesFor(uint32_t baud)
{
    return baud == 0 ? 1 : std::clamp<size_t>((baud / 10 + 999) / 1000, 1, kTransmitBuffer / 4);
}

struct timespec toTimespec(int64_t ns)
{
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    return ts;
}
}  // namespace

Relay::Path::Path(const char* name_, PtyEnd& from_, PtyEnd& to_, uint32_t baud, uint32_t latencyMs,
                  const DirectionFaults& faults_, uint64_t seed)
    : name(name_),
      from(from_),
      to(to_),
      fromFd(from_.masterFd()),
      toFd(to_.masterFd()),
      line(baud, latencyMs),
      faults(faults_, seed),
      noisePending(faults_.hasNoise),
      noiseAtNs(static_cast<int64_t>(faults_.noiseAtMs) * kNsPerMs),
      noiseCount(faults_.noiseCount),
      tickBytes(tickBytesFor(baud))
{
}

Relay::Relay(const NullModemOptions& options, PtyEnd& a, PtyEnd& b, TraceWriter& trace_)
    : ends{&a, &b},
      trace(trace_),
      deadlineNs(static_cast<int64_t>(options.maxSeconds) * 1000 * kNsPerMs),
      heldFaults(options.faultsFromSignal),
      followingRates(options.followRates),
      ab("ab", a, b, options.baud, options.latencyMs, options.ab, options.seed),
      ba("ba", b, a, options.baud, options.latencyMs, options.ba,
         options.seed ^ 0x9E3779B97F4A7C15ull)
{
    if (heldFaults)
        for (Path* path : {&ab, &ba}) {
            path->faults.setActive(false);
            path->noiseHeld = path->noisePending;
            path->noisePending = false;
        }
}

void Relay::switchFaults(bool on, int64_t nowNs)
{
    for (Path* path : {&ab, &ba}) {
        path->faults.setActive(on);
        // Noise times count from the first start.
        if (on && !path->faultsStarted) {
            path->faultsStarted = true;
            path->noiseAtNs += nowNs;
            path->noisePending = path->noiseHeld;
        }
    }
}

bool Relay::followRates(Path& path)
{
    uint32_t sending = path.from.lineRate();
    // A rate of 0 (hang-up) or one that cannot be read keeps the last pace.
    if (sending != 0 && sending != path.line.baud()) {
        path.line.setBaud(sending);
        path.tickBytes = tickBytesFor(sending);
    }
    return path.to.lineRate() != path.line.baud();
}

bool Relay::receive(Path& path, int64_t nowNs)
{
    const bool garbled = followingRates && followRates(path);
    uint8_t input[kChunk / 2];
    uint8_t damaged[kChunk];
    size_t room = kTransmitBuffer - std::min(kTransmitBuffer, path.line.unsentBytes(nowNs));
    ssize_t n = ::read(path.fromFd, input, std::min(room, sizeof input));
    if (n < 0)
        return errno == EAGAIN || errno == EINTR;
    size_t onLine = path.faults.damage(input, static_cast<size_t>(n), damaged);
    if (garbled)
        path.faults.garble(damaged, onLine);
    path.line.enter(damaged, path.faults.passCut(onLine), nowNs);
    return true;
}

bool Relay::bufferFull(const Path& path, int64_t nowNs)
{
    return path.line.unsentBytes(nowNs) + path.tickBytes > kTransmitBuffer;
}

void Relay::pace(Path& path, int64_t nowNs, bool afterRead)
{
    bool full = bufferFull(path, nowNs);
    // Held again after every read while full, in case the program itself
    // restarted its output (tcflow) meanwhile.
    if (full != path.senderHeld || (full && afterRead))
        path.from.holdOutput(full);
    path.senderHeld = full;
}

void Relay::injectNoise(Path& path, int64_t nowNs)
{
    path.noisePending = false;
    uint8_t burst[kChunk];
    for (uint32_t left = path.noiseCount; left > 0;) {
        size_t count = std::min<size_t>(left, sizeof burst);
        path.faults.noise(burst, count);
        path.line.enter(burst, path.faults.passCut(count), nowNs);
        left -= static_cast<uint32_t>(count);
    }
}

bool Relay::deliver(Path& path, int64_t nowNs)
{
    uint8_t out[kChunk];
    while (!path.blocked) {
        size_t arrived = path.line.peekArrived(nowNs, out, sizeof out);
        if (arrived == 0)
            return true;
        ssize_t n = ::write(path.toFd, out, arrived);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN)
                return false;
            n = 0;
        }
        size_t written = static_cast<size_t>(n);
        trace.record(nowNs / 1000, path.name, out, written);
        path.line.consume(written);
        if (written > 0)
            path.lastDeliveryNs = nowNs;
        path.blocked = written < arrived;
        if (path.blocked)
            path.blockedAtNs = nowNs;
    }
    return true;
}

int64_t Relay::wakeNs(const Path& path, int64_t nowNs) const
{
    int64_t wake = path.noisePending ? path.noiseAtNs : kNever;
    // A full transmit buffer gets room as the line sends, without a
    // delivery when the line is long.
    if (path.senderHeld || bufferFull(path, nowNs))
        wake = std::min(wake, path.line.unsentBelowNs(kTransmitBuffer - path.tickBytes + 1));
    if (path.line.queuedBytes() == 0)
        return wake;
    if (path.blocked)
        return std::min(wake, path.blockedAtNs + kBlockedRetryNs);
    int64_t next = path.line.nextArrivalNs();
    int64_t batched = std::min(path.lastDeliveryNs + kTickNs, path.line.lastArrivalNs());
    return std::min(wake, std::max(next, batched));
}

bool Relay::deliverDue(int64_t nowNs)
{
    for (Path* path : {&ab, &ba}) {
        if (path->noisePending && nowNs >= path->noiseAtNs)
            injectNoise(*path, nowNs);
        if (!deliver(*path, nowNs)) {
            std::fprintf(stderr, "nullmodem: write to end %c failed: %s\n", path == &ab ? 'B' : 'A',
                         std::strerror(errno));
            return false;
        }
        if (path->senderHeld)
            pace(*path, nowNs, false);
    }
    return true;
}

void Relay::watch(struct pollfd (&fds)[4], int64_t nowNs) const
{
    // Input is taken only while the transmit buffer has room, output is watched
    // only while the far end is full: nothing to do means no wake-up.
    const Path* paths[2] = {&ab, &ba};
    for (int i = 0; i < 2; ++i) {
        fds[i] = {paths[i]->fromFd, 0, 0};
        if (!bufferFull(*paths[i], nowNs))
            fds[i].events |= POLLIN;
        // This master is the far end of the other direction.
        if (paths[1 - i]->blocked)
            fds[i].events |= POLLOUT;
        fds[2 + i] = {ends[i]->closeWatchFd(), POLLIN, 0};
    }
}

bool Relay::handle(const struct pollfd (&fds)[4], int64_t nowNs)
{
    Path* paths[2] = {&ab, &ba};
    for (int i = 0; i < 2; ++i) {
        const char name = i == 0 ? 'A' : 'B';
        if ((fds[2 + i].revents & POLLIN) != 0)
            ends[i]->clientClosed();
        if ((fds[i].revents & POLLOUT) != 0)
            paths[1 - i]->blocked = false;
        if ((fds[i].revents & POLLIN) != 0) {
            if (!receive(*paths[i], nowNs)) {
                std::fprintf(stderr, "nullmodem: read from end %c failed: %s\n", name, std::strerror(errno));
                return false;
            }
            pace(*paths[i], nowNs, true);
        }
        // The relay's own slave descriptor keeps a master from hanging up;
        // if one does anyway, stop rather than poll it in a loop.
        if ((fds[i].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && (fds[i].revents & POLLIN) == 0) {
            std::fprintf(stderr, "nullmodem: end %c hung up\n", name);
            return false;
        }
        if (paths[i]->blocked && nowNs >= paths[i]->blockedAtNs + kBlockedRetryNs)
            paths[i]->blocked = false;
    }
    return true;
}

int Relay::run(volatile sig_atomic_t& stopRequested, volatile sig_atomic_t& faultsRequested,
               const sigset_t& pollMask)
{
    int64_t lastFlushNs = 0;
    while (stopRequested == 0) {
        int64_t now = clock.nowNs();
        if (now >= deadlineNs)
            break;
        if (heldFaults && (faultsRequested != 0) != ab.faults.isActive())
            switchFaults(faultsRequested != 0, now);
        if (!deliverDue(now))
            return 1;
        int64_t wake = std::min({wakeNs(ab, now), wakeNs(ba, now), deadlineNs});
        int64_t timeout = std::max<int64_t>(0, wake - now);
        if (timeout >= kFlushIdleNs || now - lastFlushNs >= kFlushEveryNs) {
            trace.flush();
            lastFlushNs = now;
        }
        struct pollfd fds[4];
        watch(fds, now);
        struct timespec ts = toTimespec(timeout);
        if (ppoll(fds, 4, &ts, &pollMask) < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "nullmodem: ppoll: %s\n", std::strerror(errno));
            return 1;
        }
        if (!handle(fds, clock.nowNs()))
            return 1;
    }
    trace.flush();
    return 0;
}
