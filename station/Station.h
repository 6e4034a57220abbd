// The bench program's logic: the handlers of its one window.
//
// One cycle per board. While the port is open, every chunk the board prints
// is answered with CR CR LF and collected in txtReceive; once the collected
// text holds "h..." (any case) the station pauses, closes the port, starts
// "run.bat" (which programs the board over that port and leaves the board's
// output in "LOG") and counts 100 ticks of 1105 ms. On the 100th tick the
// last field of LOG decides: non-empty is success. The result is shown in a
// modal box; when the operator closes it, the port is reopened and
// everything is reset for the next board.
//
// A job that is still running at the 100th tick is still writing the board:
// the count goes on and the result is decided as soon as the job (and all it
// started) has ended. A job still running at the job limit is ended by the
// station and decided as a failure. With the early result, a job that ends
// before the 100th tick is decided at once instead of at the 100th tick.
//
// A LOG that was last written before the job was started is stale: it was
// left by an earlier board (the job failed before blockxfer could truncate
// it), so it decides failure whatever it says. A missing LOG still ends
// the program.
//
// The port number comes from run.bat once, at start-up, and is then kept
// only as the text of Label4.
//
// Handler and control names (Form_Load, Command1_Click, MSCom_OnComm,
// Timer1_Timer, Label4, txtReceive, ...) are those of the window's controls
// on purpose: they let the window's layout table and this logic be read
// side by side.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "StationLog.h"
#include "StationPlatform.h"

// How the cycle decides, from the station's command line.
struct CycleOptions {
    // Decide as soon as the job has ended, not at the 100th tick.
    bool earlyResult = false;
    // The tick on which a job still running is ended (30 minutes).
    int16_t jobLimitTick = 1629;
};

class Station {
public:
    static constexpr const char* jobFile = "run.bat";
    static constexpr const char* resultFile = "LOG";
    static constexpr const char* portSettings = "115200,N,8,1";
    static constexpr const char* reply = "\r\r\n";
    static constexpr const char* trigger = "h...";
    static constexpr uint32_t pauseBeforeReleaseMs = 5000;
    static constexpr uint32_t tickIntervalMs = 1105;
    static constexpr int16_t resultTick = 100;
    // txtReceive keeps at most this many of the latest characters while no
    // trigger has come, so a board that chatters for hours stays cheap.
    static constexpr size_t receiveTextLimit = 65536;
    static constexpr int failureExitStatus = 1;
    // The coarsest grid a file system stamps modification times on (FAT:
    // 2 s, rounded down by some drivers). A LOG stamped after the start of
    // that grid step still counts as written by the job.
    static constexpr int64_t modifiedTimeGrainMs = 2000;

    Station(StationPlatform& platform, CycleRecorder& recorder, CycleOptions options = CycleOptions());

    // Reads the port number from run.bat and opens the port. False when it
    // failed: the program has then been ended and the window must not show.
    bool Form_Load();
    void Command1_Click();
    void MSCom_OnComm();
    void Timer1_Timer();
    // The job started by the cycle and everything it started have ended.
    void Job_Ended(int exitStatus);

    int16_t ticks() const { return tickCount; }

private:
    // Where the cycle is between the trigger and the result box.
    enum class Phase {
        idle,        // no job: waiting for a board, or showing a result
        jobRunning,  // before the 100th tick
        jobEnded,    // ended before the 100th tick, which decides
        overdue,     // still running after the 100th tick: its end decides
        ending,      // past the job limit, being ended: a failure
    };

    void armCycle();
    void decideFromLog();
    void decideResult(const std::string& lastField);
    void decideJobDidNotEnd();
    void showResult(bool passed, const std::string& lastField);
    void resetForNextBoard();
    bool openPort(int16_t portNumber, const char* context);
    int16_t portNumberShown() const;
    void fail(const std::string& what);

    StationPlatform& platform;
    CycleRecorder& recorder;
    CycleOptions options;
    Phase phase = Phase::idle;
    JobOutcome job;
    int16_t tickCount = 0;
    int64_t jobStartedMs = 0;  // wall clock, taken just before run.bat starts
};

// The port digit of run.bat's last field: its thirteenth character as a
// decimal digit, 0 when that is missing or no digit ("blockxfer -p3 ..." -> 3).
int16_t portNumberFromField(const std::string& lastField);

// The tick on which a job still running after `seconds` is ended.
int16_t jobLimitTickFor(uint32_t seconds);

// Whether a file stamped at `modifiedMs` was written after `startedMs`, both
// on the wall clock, allowing for stamps rounded down to `grainMs`.
bool writtenSince(int64_t modifiedMs, int64_t startedMs, int64_t grainMs);

// True when `text` contains `pattern`, ASCII letters compared without case.
bool containsIgnoringCase(const std::string& text, const std::string& pattern);
