// Time on Windows as the station needs it: the wall clock and files'
// modification times on one scale (milliseconds since 1970 UTC, from the
// system's FILETIME), and the user's general date-and-time text.
#pragma once
#include <cstdint>
#include <string>

// FILETIME counts 100 ns steps since 1601-01-01 UTC.
int64_t fileTimeToUnixMs(uint64_t fileTime);

int64_t wallClockMs();

// The last write time of `name`; false when it has none to give (no such
// file, or access denied).
bool fileModifiedMs(const std::string& name, int64_t& modifiedMs);

// The local date and time in the user's short date and time formats, as
// "08.12.2026 06:04:04" or "12/8/2026 6:04:04 AM".
std::string localDateTimeText();
