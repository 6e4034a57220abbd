// The driver's low-latency mode, asked for while the port is open.
//
// USB serial adapters hold received bytes until a packet is full or their
// latency timer runs out (16 ms by default on FTDI chips), so each reply
// that a protocol waits for arrives that much late, and an acknowledged
// block pays it twice. Drivers that honour ASYNC_LOW_LATENCY (ftdi_sio
// among them) shorten the timer to 1 ms; an ordinary user may set it.
// Drivers and ptys without serial flags refuse the request: that is normal
// and changes nothing.
#pragma once

class LowLatencyRequest {
public:
    // Sets the flag on `fd` unless it is set already. Never fails: a refusal
    // leaves the line as it was.
    void apply(int fd);
    // Clears the flag again if apply() set it, so that the next program finds
    // the device as it was. Call before closing `fd`.
    void undo(int fd);

private:
    bool applied = false;
};
