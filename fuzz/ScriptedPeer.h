// A far end that plays back segments chosen by the fuzzer through a
// FakePort. A segment goes onto the line either right behind the previous
// one or only once the engine writes again (so replies can follow what the
// engine says), after a delay from a table that straddles every timeout
// the engines use.
#pragma once
#include <cstdint>
#include <vector>

#include "FakePort.h"

class ScriptedPeer {
public:
    struct Segment {
        bool afterWrite;
        uint64_t delayMs;
        std::vector<uint8_t> bytes;
    };

    // Delays around 1000 ms (reply and drain), 3000 ms (EOT reply) and
    // 11000 ms (opening character), plus a few short ones.
    static uint64_t delayFor(uint8_t code);

    void add(Segment segment) { segments.push_back(std::move(segment)); }
    // Queues the leading segments and plays the rest as the engine writes.
    void attach(FakePort& port);
    size_t played() const { return next; }

private:
    void playUntilNextWrite(FakePort& port);

    std::vector<Segment> segments;
    size_t next = 0;
};
