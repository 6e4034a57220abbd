// The numbers the Win32 window is built from: twips and points turned
// into pixels at the screen's dots per inch, and the time scale that only
// the tests set. Pure arithmetic, so that it is tested on any system.
#pragma once
#include <cstdint>

constexpr int twipsPerInch = 1440;
constexpr int pointsPerInch = 72;

// Pixels for a length in twips at `dpi`, rounded to the nearest pixel
// (15 twips are one pixel at 96 dpi, 12 at 120).
int twipsToPixels(int twips, int dpi);

// The height of a font given in hundredths of a point (9.75 pt is 975), in
// pixels at `dpi`, as the negative number CreateFont takes for a
// character height (not a cell height).
int fontHeightForCreateFont(int hundredthsOfPoint, int dpi);

// The environment variable that divides every timer interval and sleep of
// the station, so that a test can run whole cycles quickly.
constexpr const char* timeDivisorVariable = "FLASHSTATION_TEST_TIME_DIVISOR";
constexpr uint32_t largestTimeDivisor = 1000;

// The divisor from the variable's text: a whole number from 1 to 1000;
// 1 when the text is missing or anything else.
uint32_t timeDivisorFrom(const char* text);
