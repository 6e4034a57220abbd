// The damage a bad cable does to one direction: seeded, so that a test run
// can be repeated byte for byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <random>

#include "NullModemOptions.h"

class FaultInjector {
public:
    FaultInjector(const DirectionFaults& faults, uint64_t seed);

    // Passes `count` bytes the sender wrote through flips, drops and
    // duplicates into `out`, which must hold 2 * count bytes; returns the
    // number of bytes that go on the line.
    size_t damage(const uint8_t* in, size_t count, uint8_t* out);
    // Replaces each byte by another one: what a UART makes of bytes sent at
    // another rate than its own. Independent of the fault settings.
    void garble(uint8_t* data, size_t count);
    // Fills `out` with `count` random bytes: line noise.
    void noise(uint8_t* out, size_t count);
    // How many of `count` bytes may still pass the cut; counts them as passed.
    size_t passCut(size_t count);
    // Inactive, bytes pass untouched and uncounted.
    void setActive(bool on) { active = on; }
    bool isActive() const { return active; }

private:
    bool happens(double rate);

    DirectionFaults faults;
    bool damaging;
    bool active = true;
    uint64_t passed = 0;
    std::mt19937_64 random;
};
