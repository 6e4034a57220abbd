#include "FaultInjector.h"

#include <algorithm>

FaultInjector::FaultInjector(const DirectionFaults& faults_, uint64_t seed)
    : faults(faults_),
      damaging(faults_.flipRate > 0 || faults_.dropRate > 0 || faults_.dupRate > 0),
      random(seed)
{
}

bool FaultInjector::happens(double rate)
{
    // A draw only when the fault is enabled, so that enabling one fault
    // does not shift the sequence of another's.
    return rate > 0 && std::generate_canonical<double, 53>(random) < rate;
}

size_t FaultInjector::damage(const uint8_t* in, size_t count, uint8_t* out)
{
    if (!damaging || !active) {
        std::copy(in, in + count, out);
        return count;
    }
    size_t produced = 0;
    for (size_t i = 0; i < count; ++i) {
        if (happens(faults.dropRate))
            continue;
        uint8_t byte = in[i];
        if (happens(faults.flipRate))
            byte = static_cast<uint8_t>(byte ^ (1u << (random() % 8)));
        out[produced++] = byte;
        if (happens(faults.dupRate))
            out[produced++] = byte;
    }
    return produced;
}

void FaultInjector::garble(uint8_t* data, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        data[i] ^= static_cast<uint8_t>(1 + random() % 255);
}

void FaultInjector::noise(uint8_t* out, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<uint8_t>(random() & 0xFFu);
}

size_t FaultInjector::passCut(size_t count)
{
    if (!faults.hasCut || !active)
        return count;
    uint64_t left = faults.cutAfterBytes > passed ? faults.cutAfterBytes - passed : 0;
    size_t allowed = left < count ? static_cast<size_t>(left) : count;
    passed += allowed;
    return allowed;
}
