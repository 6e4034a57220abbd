#include "StationOptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t longestJobLimitSeconds = 36000;

bool parseSeconds(const char* text, uint32_t& seconds)
{
    if (text == nullptr || *text < '0' || *text > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > longestJobLimitSeconds)
        return false;
    seconds = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

const char* const stationHelpText =
    "Usage: flashstation [--early-result] [--job-limit SECONDS]\n"
    "The production bench: answers the board's console on the port that the last\n"
    "line of run.bat names, starts run.bat when the board prints \"h...\", and\n"
    "shows from LOG whether the board was programmed.\n"
    "\n"
    "  --early-result       decide as soon as the job has ended, instead of at the\n"
    "                       100th tick of 1105 ms; the 5 s pause before the job\n"
    "                       stays\n"
    "  --job-limit SECONDS  end a job that still runs this long after its start,\n"
    "                       with everything it started, and count the board as\n"
    "                       failed (default 1800, that is 30 minutes; 1 to 36000)\n"
    "  --help               this text\n"
    "\n"
    "A job still running at the 100th tick is waited for: the result comes when\n"
    "it has ended. Each result is added to stationlog.csv.\n";

StationArgs parseStationArguments(int argc, const char* const* argv, StationOptions& options, std::string& message)
{
    static constexpr const char jobLimit[] = "--job-limit";
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0)
            return StationArgs::help;
        if (std::strcmp(arg, "--early-result") == 0) {
            options.earlyResult = true;
            continue;
        }
        const char* value = nullptr;
        if (std::strcmp(arg, jobLimit) == 0)
            value = i + 1 < argc ? argv[++i] : nullptr;
        else if (std::strncmp(arg, jobLimit, sizeof jobLimit - 1) == 0 && arg[sizeof jobLimit - 1] == '=')
            value = arg + sizeof jobLimit;
        else {
            message = std::string("unknown option '") + arg + "'";
            return StationArgs::error;
        }
        if (!parseSeconds(value, options.jobLimitSeconds)) {
            message = "--job-limit takes a number of seconds from 1 to 36000";
            return StationArgs::error;
        }
    }
    return StationArgs::run;
}
