// CRC-32 as zlib, gzip, PNG and the crc32(1) tool compute it (IEEE 802.3:
// reflected polynomial 0xEDB88320, start value and final XOR all ones), so
// that the board's report can be checked with any of them.
#pragma once
#include <cstddef>
#include <cstdint>

class Crc32 {
public:
    // Adds bytes to the running check; pieces of any size give the same
    // value as the whole.
    void update(const uint8_t* data, size_t count);
    uint32_t value() const { return ~state; }

private:
    uint32_t state = 0xFFFFFFFFu;
};
