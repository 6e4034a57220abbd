#include "LocalTime.h"

bool localTimeWithOffset(std::time_t when, std::tm& local, long& offsetSeconds)
{
    if (localtime_s(&local, &when) != 0)
        return false;
    // The local fields read as if they were UTC, less the real instant, is
    // the offset, daylight saving included.
    std::tm asUtc = local;
    const std::time_t shifted = _mkgmtime(&asUtc);
    if (shifted == static_cast<std::time_t>(-1))
        return false;
    offsetSeconds = static_cast<long>(shifted - when);
    return true;
}
