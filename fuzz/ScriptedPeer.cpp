#include "ScriptedPeer.h"

uint64_t ScriptedPeer::delayFor(uint8_t code)
{
    static const uint64_t kDelays[16] = {0,    1,    10,   499,  500,   999,   1000,  1001,
                                         1500, 2999, 3000, 3001, 10999, 11000, 11001, 30001};
    return kDelays[code & 15u];
}

void ScriptedPeer::attach(FakePort& port)
{
    port.peer = [this](FakePort& p, const uint8_t*, uint32_t) {
        if (next < segments.size() && segments[next].afterWrite)
            playUntilNextWrite(p);
    };
    playUntilNextWrite(port);
}

void ScriptedPeer::playUntilNextWrite(FakePort& port)
{
    // The first segment goes now whatever its flag; later ones ride along
    // until one waits for the next write.
    if (next >= segments.size())
        return;
    uint64_t delay = 0;
    do {
        const Segment& s = segments[next];
        delay += s.delayMs;
        port.deliver(s.bytes, delay);
        ++next;
    } while (next < segments.size() && !segments[next].afterWrite);
}
