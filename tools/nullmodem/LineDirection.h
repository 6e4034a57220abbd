// One direction of the cable: the bytes in flight and when each arrives.
//
// A byte occupies the line for one byte time (10 bits at 8N1) once the
// bytes before it are through, and arrives at the far end when its stop bit
// ends plus the fixed latency. Unthrottled (baud 0) a byte takes no line
// time. The rate may change (setBaud): bytes already on the line keep the
// pace they entered with. Times are nanoseconds on the caller's monotonic clock, so the
// schedule can be tested without waiting.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

class LineDirection {
public:
    LineDirection(uint32_t baud, uint32_t latencyMs);

    // The rate of the bytes that enter from now on (0: unthrottled).
    void setBaud(uint32_t baud);
    uint32_t baud() const { return rate; }

    // Bytes that entered the line at `nowNs`.
    void enter(const uint8_t* data, size_t count, int64_t nowNs);

    size_t queuedBytes() const { return queued; }
    // Bytes the transmitter still holds at `nowNs`: those whose stop bit has
    // not ended. Bytes already sent but still within the latency do not
    // count, so a long line does not hold a sender back. Unthrottled, every
    // queued byte counts.
    size_t unsentBytes(int64_t nowNs) const;
    // When fewer than `count` (at least 1) bytes will be unsent; only
    // throttled, otherwise never (the queue then shrinks only by delivery).
    int64_t unsentBelowNs(size_t count) const;
    // Arrival time of the next byte / of the last byte; only when queued.
    int64_t nextArrivalNs() const;
    int64_t lastArrivalNs() const { return lastArrival; }

    // Copies up to `max` bytes that have arrived by `nowNs` into `out`
    // without removing them; returns how many.
    size_t peekArrived(int64_t nowNs, uint8_t* out, size_t max) const;
    // Removes the first `count` bytes (those handed to the far end).
    void consume(size_t count);

private:
    // Bytes that entered together; byte i arrives at firstArrivalNs + i * byteNs.
    struct Segment {
        int64_t firstArrivalNs;
        int64_t byteNs;
        std::vector<uint8_t> bytes;
        size_t head;
    };

    size_t arrivedIn(const Segment& segment, int64_t nowNs) const;

    uint32_t rate;
    int64_t byteNs;
    int64_t latencyNs;
    int64_t lineFreeNs = 0;  // when the line has sent everything so far
    int64_t lastArrival = 0;
    size_t queued = 0;
    std::deque<Segment> segments;
};
