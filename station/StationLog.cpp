#include "StationLog.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include "LocalTime.h"

std::time_t SystemRecordClock::wallNow() const { return std::time(nullptr); }

uint64_t SystemRecordClock::steadyMs() const
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

StationLog::StationLog(std::string path_, const RecordClock& clock_, std::FILE* errors_)
    : path(std::move(path_)), clock(clock_), errors(errors_)
{
}

void StationLog::armed()
{
    armedAtMs = clock.steadyMs();
    isArmed = true;
}

void StationLog::jobStarted() { jobStartedAtMs = jobEndedAtMs = clock.steadyMs(); }

void StationLog::jobEnded() { jobEndedAtMs = clock.steadyMs(); }

void StationLog::result(int16_t portNumber, bool passed, const std::string& lastField, const JobOutcome& job)
{
    const uint64_t elapsedMs = isArmed ? clock.steadyMs() - armedAtMs : 0;
    isArmed = false;
    const std::string exit = job.ended ? std::to_string(job.exitStatus) : std::string(jobDidNotEnd);
    append(isoLocalTime(clock.wallNow()) + "," + std::to_string(portNumber) + (passed ? ",PASS," : ",FAIL,") +
           secondsText(elapsedMs) + "," + csvField(lastField) + "," + exit + "," +
           secondsText(jobEndedAtMs - jobStartedAtMs));
}

std::string secondsText(uint64_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%01llu", static_cast<unsigned long long>(ms / 1000),
                  static_cast<unsigned long long>(ms % 1000 / 100));
    return text;
}

bool StationLog::append(const std::string& line)
{
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr)
        return reportFailure(errno);
    // A new file starts with the column names, so that it reads on its own.
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    if (ok && std::ftell(file) == 0)
        ok = std::fprintf(file, "%s\r\n", header) > 0;
    ok = ok && std::fprintf(file, "%s\r\n", line.c_str()) > 0 && std::fflush(file) == 0;
    const int writeErrno = errno;
    if (std::fclose(file) != 0 && ok)
        return reportFailure(errno);
    return ok || reportFailure(writeErrno);
}

bool StationLog::reportFailure(int errorNumber)
{
    std::fprintf(errors, "%s: cannot record the result: %s\n", path.c_str(), std::strerror(errorNumber));
    return false;
}

std::string csvField(const std::string& text)
{
    const bool needsQuotes = !text.empty() &&
                             (text.find_first_of(",\"\r\n") != std::string::npos || text.front() == ' ' ||
                              text.back() == ' ' || text.front() == '\t' || text.back() == '\t');
    if (!needsQuotes)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted.push_back('"');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

std::string isoLocalTime(std::time_t when)
{
    std::tm local{};
    long offset = 0;
    if (!localTimeWithOffset(when, local, offset))
        return "";
    // The offset is formatted here, not by strftime's %z: the Windows
    // runtime gives the zone's name there, and the extended form wants +hh:mm.
    const char sign = offset < 0 ? '-' : '+';
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char stamp[96];  // room for any int, so the compiler can prove no truncation
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, sign, minutes / 60,
                  minutes % 60);
    return stamp;
}
