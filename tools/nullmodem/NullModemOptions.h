// Command line of nullmodem. Every option takes its value in the next
// argument; "ab" is the direction from end A to end B, "ba" the reverse.
#pragma once
#include <cstdint>
#include <string>

struct DirectionFaults {
    double flipRate = 0;  // per byte: one random bit inverted
    double dropRate = 0;  // per byte: the byte is lost
    double dupRate = 0;   // per byte: the byte arrives twice
    bool hasNoise = false;
    uint32_t noiseAtMs = 0;      // burst time, milliseconds after start
    uint32_t noiseCount = 0;     // random bytes in the burst
    bool hasCut = false;
    uint64_t cutAfterBytes = 0;  // nothing passes after this many bytes
};

struct NullModemOptions {
    std::string pathA;
    std::string pathB;
    uint32_t baud = 0;  // 0: unthrottled
    // --baud follow: each direction runs at the rate its writing end has
    // set on its pty, and bytes cross garbled while the two ends' rates
    // differ, as on a cable between two UARTs.
    bool followRates = false;
    uint32_t latencyMs = 0;
    std::string tracePath;  // empty: no trace
    uint64_t seed = 1;
    uint32_t maxSeconds = 600;
    // Faults start with the first SIGUSR1 instead of at once, and each
    // further SIGUSR1 stops or restarts them: a test can talk to a console
    // over a clean line and damage only the transfer.
    bool faultsFromSignal = false;
    DirectionFaults ab;
    DirectionFaults ba;
};

// Fills `options` from argv. On failure returns false with a one-line
// reason in `error`.
bool parseNullModemOptions(int argc, char** argv, NullModemOptions& options, std::string& error);

extern const char* const kNullModemUsage;
