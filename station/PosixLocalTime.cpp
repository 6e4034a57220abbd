#include "LocalTime.h"

bool localTimeWithOffset(std::time_t when, std::tm& local, long& offsetSeconds)
{
    if (localtime_r(&when, &local) == nullptr)
        return false;
    offsetSeconds = local.tm_gmtoff;
    return true;
}
