#include "Crc32.h"

#include <array>

namespace {
constexpr uint32_t kReflectedPolynomial = 0xEDB88320u;

constexpr std::array<uint32_t, 256> makeTable()
{
    std::array<uint32_t, 256> table {};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1u) != 0 ? kReflectedPolynomial ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kTable = makeTable();
}  // namespace

void Crc32::update(const uint8_t* data, size_t count)
{
    uint32_t c = state;
    for (size_t i = 0; i < count; ++i)
        c = kTable[(c ^ data[i]) & 0xFFu] ^ (c >> 8);
    state = c;
}
