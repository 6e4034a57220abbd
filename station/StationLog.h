// The station's own record of every board, for traceability: one CSV line
// per result in "stationlog.csv" of the working directory, with the local
// date and time (ISO 8601), the port number, PASS or FAIL, the seconds from
// the trigger to the result, the last field of LOG, the job's exit status
// ("job did not end" when the station had to end it) and the job's own
// seconds. The last two came later, so they follow the older columns. The
// record never changes the cycle: a failed write is reported on standard
// error and the bench goes on.
#pragma once
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

// How the job of a cycle ended: by itself with an exit status, or not at
// all (the station ended it at the job limit).
struct JobOutcome {
    bool ended = false;
    int exitStatus = 0;
};

// Told by the cycle when a board arms it, when its job starts and has ended
// (with everything it started), and when its result is known.
class CycleRecorder {
public:
    virtual ~CycleRecorder() = default;
    virtual void armed() = 0;
    virtual void jobStarted() = 0;
    virtual void jobEnded() = 0;
    virtual void result(int16_t portNumber, bool passed, const std::string& lastField, const JobOutcome& job) = 0;
};

// Wall time for the date column, a steady clock for the duration.
class RecordClock {
public:
    virtual ~RecordClock() = default;
    virtual std::time_t wallNow() const = 0;
    virtual uint64_t steadyMs() const = 0;
};

class SystemRecordClock : public RecordClock {
public:
    std::time_t wallNow() const override;
    uint64_t steadyMs() const override;
};

class StationLog : public CycleRecorder {
public:
    static constexpr const char* defaultPath = "stationlog.csv";
    static constexpr const char* header = "time,port,result,seconds,log,job exit,job seconds";
    static constexpr const char* jobDidNotEnd = "job did not end";

    // `errors` receives the one-line report of a failed write.
    StationLog(std::string path, const RecordClock& clock, std::FILE* errors = stderr);

    void armed() override;
    void jobStarted() override;
    void jobEnded() override;
    void result(int16_t portNumber, bool passed, const std::string& lastField, const JobOutcome& job) override;

private:
    bool append(const std::string& line);
    bool reportFailure(int errorNumber);

    std::string path;
    const RecordClock& clock;
    std::FILE* errors;
    uint64_t armedAtMs = 0;
    bool isArmed = false;
    uint64_t jobStartedAtMs = 0;
    uint64_t jobEndedAtMs = 0;
};

// Tenths of a second as "115.5".
std::string secondsText(uint64_t ms);

// A field as CSV requires it: quoted (inner quotes doubled) when it holds a
// comma, a quote, a line end or leading or trailing blanks; else as it is.
std::string csvField(const std::string& text);

// Local time as ISO 8601 with the UTC offset, as "2026-12-08T06:04:04+01:00".
std::string isoLocalTime(std::time_t when);
