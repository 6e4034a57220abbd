#include "Win32Scaling.h"

#include <cerrno>
#include <cstdlib>

namespace {

// a * b / c, rounded half away from zero, in 64 bits (what MulDiv does).
int scaleRounded(int a, int b, int c)
{
    const int64_t product = static_cast<int64_t>(a) * b;
    const int64_t half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

int twipsToPixels(int twips, int dpi) { return scaleRounded(twips, dpi, twipsPerInch); }

int fontHeightForCreateFont(int hundredthsOfPoint, int dpi) { return -scaleRounded(hundredthsOfPoint, dpi, pointsPerInch * 100); }

uint32_t timeDivisorFrom(const char* text)
{
    if (text == nullptr || *text < '1' || *text > '9')
        return 1;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || value > largestTimeDivisor)
        return 1;
    return static_cast<uint32_t>(value);
}
