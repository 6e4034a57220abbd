// The station's command line. Everything else about the bench is fixed or
// comes from run.bat; these only change when the cycle decides.
#pragma once
#include <cstdint>
#include <string>

#include "Station.h"

struct StationOptions {
    bool earlyResult = false;
    uint32_t jobLimitSeconds = 1800;

    CycleOptions cycle() const { return {earlyResult, jobLimitTickFor(jobLimitSeconds)}; }
};

enum class StationArgs { run, help, error };

// Reads argv[1..argc-1]. On error, `message` says what was wrong.
StationArgs parseStationArguments(int argc, const char* const* argv, StationOptions& options, std::string& message);

// What --help prints.
extern const char* const stationHelpText;
