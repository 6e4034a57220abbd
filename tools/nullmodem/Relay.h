// The cable itself: moves bytes between the two pty masters, each direction
// through its own faults and schedule, until told to stop or out of time.
//
// One thread, one ppoll. The loop sleeps until a master has input, a
// scheduled byte is due, a noise burst is due, the time limit is reached or
// a signal arrives; it never waits in a busy loop. While a direction
// streams, bytes are handed over at most once per tick (like a UART's FIFO)
// rather than one wake-up per byte; the tail of what the sender wrote and a
// byte after a pause are handed over on time. A sender may run ahead of
// the line by one transmit buffer (4 KiB, as the kernel's serial drivers
// keep), then its writes block until the line has made room, as they would
// on a real port. Bytes the line has sent but still carries (its latency)
// are not in that buffer. With --baud follow, each direction is paced at
// the rate its writing end has set when the relay takes the bytes, and
// they cross garbled when the reading end is set to another rate then.
// The rates are read from the ptys as bytes are taken: every program sets
// its rate before it writes at it.
#pragma once
#include <csignal>
#include <cstdint>
#include <poll.h>

#include "FaultInjector.h"
#include "LineDirection.h"
#include "MonotonicClock.h"
#include "NullModemOptions.h"
#include "PtyEnd.h"
#include "TraceWriter.h"

class Relay {
public:
    Relay(const NullModemOptions& options, PtyEnd& a, PtyEnd& b, TraceWriter& trace);

    // Relays until `stopRequested` becomes non-zero (set by a signal handler;
    // the signals must be blocked outside ppoll, which unblocks them with
    // `pollMask`) or the time limit ends. 0, or 1 after a failure that is
    // reported on standard error.
    // Faults held back by the options are on while `faultsRequested` is
    // non-zero.
    int run(volatile sig_atomic_t& stopRequested, volatile sig_atomic_t& faultsRequested,
            const sigset_t& pollMask);

private:
    struct Path {
        Path(const char* name, PtyEnd& from, PtyEnd& to, uint32_t baud, uint32_t latencyMs,
             const DirectionFaults& faults, uint64_t seed);
        const char* name;
        PtyEnd& from;
        PtyEnd& to;
        int fromFd;
        int toFd;
        LineDirection line;
        FaultInjector faults;
        bool noisePending;
        bool noiseHeld = false;  // a burst waiting for the faults to start
        bool faultsStarted = false;
        int64_t noiseAtNs;
        uint32_t noiseCount;
        bool blocked = false;  // the far end's input queue is full
        int64_t blockedAtNs = 0;
        bool senderHeld = false;  // the writing end's output is stopped
        int64_t lastDeliveryNs = -1000000000;
        // A tick's worth of line: while the transmit buffer is full, input
        // is taken in pieces of this size rather than a byte per byte time.
        size_t tickBytes;
    };

    bool receive(Path& path, int64_t nowNs);
    // --baud follow: paces the path at its writing end's rate; true when
    // the reading end is set to another.
    bool followRates(Path& path);
    static bool bufferFull(const Path& path, int64_t nowNs);
    // Holds the writing end while its transmit buffer is full; `afterRead`
    // asserts a hold again.
    static void pace(Path& path, int64_t nowNs, bool afterRead);
    void injectNoise(Path& path, int64_t nowNs);
    bool deliver(Path& path, int64_t nowNs);
    int64_t wakeNs(const Path& path, int64_t nowNs) const;
    // Noise bursts that are due, then every byte that has arrived.
    bool deliverDue(int64_t nowNs);
    // The descriptors to wait for: both masters, then both close watches.
    void watch(struct pollfd (&fds)[4], int64_t nowNs) const;
    bool handle(const struct pollfd (&fds)[4], int64_t nowNs);
    void switchFaults(bool on, int64_t nowNs);

    PtyEnd* ends[2];
    MonotonicClock clock;
    TraceWriter& trace;
    int64_t deadlineNs;
    bool heldFaults;
    bool followingRates;
    Path ab;
    Path ba;
};
