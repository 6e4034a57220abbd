#include "NullModemOptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

const char* const kNullModemUsage =
    "Usage: nullmodem --a PATH --b PATH [--baud N|follow] [--latency-ms N] [--trace FILE]\n"
    "                 [--seed N] [--flip-ab P] [--flip-ba P] [--drop-ab P] [--drop-ba P]\n"
    "                 [--dup-ab P] [--dup-ba P] [--noise-ab MS:COUNT] [--noise-ba MS:COUNT]\n"
    "                 [--cut-ab N] [--cut-ba N] [--max-seconds N]\n"
    "                 [--faults-from start|usr1]\n";

namespace {
bool parseUnsigned(const char* text, uint64_t limit, uint64_t& value)
{
    if (text[0] < '0' || text[0] > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed > limit)
        return false;
    value = parsed;
    return true;
}

bool parseU32(const char* text, uint32_t& value)
{
    uint64_t wide = 0;
    if (!parseUnsigned(text, std::numeric_limits<uint32_t>::max(), wide))
        return false;
    value = static_cast<uint32_t>(wide);
    return true;
}

bool parseProbability(const char* text, double& value)
{
    errno = 0;
    char* end = nullptr;
    double parsed = std::strtod(text, &end);
    if (end == text || errno != 0 || *end != '\0' || !(parsed >= 0.0 && parsed <= 1.0))
        return false;
    value = parsed;
    return true;
}

bool parseNoise(const char* text, DirectionFaults& faults)
{
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr || colon - text > 15)
        return false;
    char msText[16] = {};
    std::memcpy(msText, text, static_cast<size_t>(colon - text));
    if (!parseU32(msText, faults.noiseAtMs) || !parseU32(colon + 1, faults.noiseCount))
        return false;
    faults.hasNoise = true;
    return true;
}

// Applies one option with its value; false when the value is malformed or
// the option unknown (`known` tells which).
bool applyOption(const std::string& name, const char* value, NullModemOptions& o, bool& known)
{
    known = true;
    uint64_t wide = 0;
    if (name == "--a" || name == "--b" || name == "--trace") {
        std::string& path = name == "--a" ? o.pathA : name == "--b" ? o.pathB : o.tracePath;
        path = value;
        return !path.empty();
    }
    if (name == "--baud") {
        o.followRates = std::strcmp(value, "follow") == 0;
        return o.followRates || parseU32(value, o.baud);
    }
    if (name == "--latency-ms") return parseU32(value, o.latencyMs);
    if (name == "--max-seconds") return parseU32(value, o.maxSeconds);
    if (name == "--faults-from") {
        o.faultsFromSignal = std::strcmp(value, "usr1") == 0;
        return o.faultsFromSignal || std::strcmp(value, "start") == 0;
    }
    if (name == "--seed") return parseUnsigned(value, std::numeric_limits<uint64_t>::max(), o.seed);
    if (name == "--flip-ab") return parseProbability(value, o.ab.flipRate);
    if (name == "--flip-ba") return parseProbability(value, o.ba.flipRate);
    if (name == "--drop-ab") return parseProbability(value, o.ab.dropRate);
    if (name == "--drop-ba") return parseProbability(value, o.ba.dropRate);
    if (name == "--dup-ab") return parseProbability(value, o.ab.dupRate);
    if (name == "--dup-ba") return parseProbability(value, o.ba.dupRate);
    if (name == "--noise-ab") return parseNoise(value, o.ab);
    if (name == "--noise-ba") return parseNoise(value, o.ba);
    if (name == "--cut-ab" || name == "--cut-ba") {
        DirectionFaults& faults = name == "--cut-ab" ? o.ab : o.ba;
        if (!parseUnsigned(value, std::numeric_limits<uint64_t>::max(), wide))
            return false;
        faults.hasCut = true;
        faults.cutAfterBytes = wide;
        return true;
    }
    known = false;
    return false;
}
}  // namespace

bool parseNullModemOptions(int argc, char** argv, NullModemOptions& options, std::string& error)
{
    for (int i = 1; i < argc; i += 2) {
        std::string name = argv[i];
        if (i + 1 >= argc) {
            error = "option " + name + " needs a value";
            return false;
        }
        bool known = false;
        if (!applyOption(name, argv[i + 1], options, known)) {
            error = known ? "invalid value '" + std::string(argv[i + 1]) + "' for " + name
                          : "unknown option " + name;
            return false;
        }
    }
    if (options.pathA.empty() || options.pathB.empty()) {
        error = "both --a and --b are required";
        return false;
    }
    if (options.pathA == options.pathB) {
        error = "--a and --b must differ";
        return false;
    }
    return true;
}
