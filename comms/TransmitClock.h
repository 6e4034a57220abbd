// When the line will have carried what this side wrote.
//
// A tty driver takes a whole frame into its buffer at once and write()
// returns long before the UART has sent it; the peer can only answer after
// the last byte. At 9600 baud a 1K frame needs 1.07 s on the wire, more than
// the sender's whole wait for the reply, so a wait for an answer has to
// start counting when the line falls idle, not when write() returned.
//
// The estimate assumes 10 bits per byte (8N1) and an otherwise idle line.
// It never runs further ahead than a driver buffer can hold, which also
// keeps it bounded on a pty, whose "line" is far faster than its baud rate.
#pragma once
#include <cstdint>

class TransmitClock {
public:
    static constexpr uint64_t kDriverBufferBytes = 8192;

    // 0 (not configured) switches the estimate off.
    void setBaudRate(uint32_t baudRate)
    {
        nsPerByte = baudRate == 0 ? 0 : 10u * 1000000000ull / baudRate;
        idleAtNs = 0;
    }

    void wrote(uint32_t bytes, uint64_t nowNs)
    {
        uint64_t start = idleAtNs > nowNs ? idleAtNs : nowNs;
        idleAtNs = start + bytes * nsPerByte;
        uint64_t limit = nowNs + kDriverBufferBytes * nsPerByte;
        if (idleAtNs > limit)
            idleAtNs = limit;
    }

    // Whole milliseconds, rounded up, until the line is estimated idle.
    uint32_t msUntilIdle(uint64_t nowNs) const
    {
        if (idleAtNs <= nowNs)
            return 0;
        return static_cast<uint32_t>((idleAtNs - nowNs + 999999u) / 1000000u);
    }

private:
    uint64_t nsPerByte = 0;
    uint64_t idleAtNs = 0;
};
