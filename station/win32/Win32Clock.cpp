#include "Win32Clock.h"

#include <windows.h>

namespace {

constexpr uint64_t fileTimeAt1970 = 116444736000000000ull;
constexpr int64_t fileTimeStepsPerMs = 10000;

uint64_t join(const FILETIME& time) { return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

}  // namespace

int64_t fileTimeToUnixMs(uint64_t fileTime)
{
    // Signed, so that times before 1970 stay in order with those after.
    const int64_t since1970 = static_cast<int64_t>(fileTime - fileTimeAt1970);
    const int64_t ms = since1970 / fileTimeStepsPerMs;
    return since1970 % fileTimeStepsPerMs < 0 ? ms - 1 : ms;
}

int64_t wallClockMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return fileTimeToUnixMs(join(now));
}

bool fileModifiedMs(const std::string& name, int64_t& modifiedMs)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data))
        return false;
    modifiedMs = fileTimeToUnixMs(join(data.ftLastWriteTime));
    return true;
}

std::string localDateTimeText()
{
    char date[80];
    char time[80];
    const int dateLength = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
    const int timeLength = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof time);
    // Both lengths count the terminating null.
    std::string text;
    if (dateLength > 1)
        text.assign(date, static_cast<size_t>(dateLength - 1));
    if (timeLength > 1)
        text += (text.empty() ? "" : " ") + std::string(time, static_cast<size_t>(timeLength - 1));
    return text;
}
