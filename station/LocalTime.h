// Local time for the station's record, one implementation per system:
// the C libraries differ in how they give the offset from UTC (POSIX has
// tm_gmtoff; the Windows runtime has neither that nor a numeric %z).
#pragma once
#include <ctime>

// Breaks `when` down into local time and its offset from UTC in seconds
// (east positive); false when the system cannot convert it.
bool localTimeWithOffset(std::time_t when, std::tm& local, long& offsetSeconds);
