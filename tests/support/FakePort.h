// A scripted SerialPort with a virtual clock, for driving the engines.
//
// Bytes the peer sends are queued with the virtual time at which they
// arrive. A read returns what has arrived by now; when nothing has, time
// jumps to the next arrival within the timeout (as a port whose wait ends
// when data come) or by the whole timeout. Every write is passed to the
// peer callback, which may queue replies; so an 11-second timeout costs
// no real time and the peer reacts to exactly what the engine wrote.
//
// A stop request (StopRequest.h) is honoured as the real ports honour it:
// while it blocks the port, every call returns rc::Interrupted and moves
// nothing. requestStop() makes one now; stopAtMs makes one at a virtual
// time, in the middle of the wait that reaches it.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "SerialPort.h"

class FakePort : public SerialPort {
public:
    struct Write {
        uint64_t atMs;
        std::vector<uint8_t> bytes;
    };
    using Peer = std::function<void(FakePort&, const uint8_t*, uint32_t)>;

    int32_t open(uint32_t) override { return 0; }
    // Records each rate; refusedRate (when not 0) is refused with -103.
    int32_t configure(uint32_t baudRate) override;
    void close() override {}
    int32_t write(const uint8_t* data, uint32_t count, uint32_t timeoutMs) override;
    int32_t read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override;

    // Queues bytes from the peer, arriving `delayMs` from now, one after
    // another `gapMs` apart (0: all at once).
    void deliver(const std::vector<uint8_t>& bytes, uint64_t delayMs = 0, uint64_t gapMs = 0);
    void deliver(uint8_t byte, uint64_t delayMs = 0) { deliver(std::vector<uint8_t>{byte}, delayMs); }
    // Drops everything queued that has not been read.
    void clearIncoming() { incoming.clear(); }
    size_t pending() const { return incoming.size(); }

    std::vector<uint8_t> allWritten() const;
    uint64_t now() const { return nowMs; }
    void advance(uint64_t ms) { nowMs += ms; }
    // Records a stop request (SIGINT) now and notes how much had been written.
    void requestStop();

    Peer peer;
    std::vector<Write> writes;
    // Bytes one write call accepts at most (a full driver buffer).
    uint32_t writeLimit = UINT32_MAX;
    // When >= 0, the read (or write) with this index fails with failCode.
    int64_t failReadAt = -1;
    int64_t failWriteAt = -1;
    int32_t failCode = 0;
    // A write that moves nothing: each write call with this index times out.
    int64_t stallWriteAt = -1;
    uint64_t readCalls = 0;
    uint64_t writeCalls = 0;
    // The rate in force (0: never configured) and every rate set, in order.
    uint32_t rate = 0;
    uint32_t refusedRate = 0;
    std::vector<uint32_t> rates;
    uint64_t stopAtMs = UINT64_MAX;
    // Set by the stop request: writes.size() at that moment.
    size_t writesBeforeStop = 0;

private:
    struct Arrival {
        uint64_t atMs;
        uint8_t byte;
    };
    std::deque<Arrival> incoming;
    uint64_t nowMs = 0;
};
