// A StationPlatform of plain fields with a virtual clock.
//
// Controls are strings, the port is a flag and a queue of board text, files
// are strings by name. Every operation is logged in order ("write:...",
// "sleep:5000@open", ...), so tests can check what happened before what.
// Time moves only through sleep() and advance(); advance() delivers the
// timer's ticks at their due times, also from inside a message box (the
// onMessageBox hook), as a toolkit's nested event loop does.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "CycleTimer.h"
#include "Station.h"
#include "StationPlatform.h"

class FakeStationPlatform : public StationPlatform {
public:
    struct Box {
        std::string prompt;
        std::string title;
        bool critical;
        uint64_t atMs;
        // What the operator saw while the box was open.
        std::map<Control, std::string> texts;
        Colour text2Colour;
    };

    FakeStationPlatform();

    void setText(Control control, const std::string& text) override;
    std::string text(Control control) const override;
    void setTextColour(Control control, Colour colour) override;
    void redraw(Control control) override;
    void setPortSettings(const std::string& settings) override;
    void setPortNumber(int16_t portNumber) override;
    PortError openPort() override;
    void closePort() override;
    void writePort(const std::string& text) override;
    std::string readPort() override;
    int commEvent() const override { return eventKind; }
    void enableTimer(bool enabled) override;
    void setTimerInterval(uint32_t intervalMs) override;
    bool startProcess(const std::string& name) override;
    void endJob() override;
    void sleep(uint32_t ms) override;
    void messageBox(const std::string& prompt, const std::string& title, bool criticalIcon) override;
    std::string nowText() const override { return "12/8/2026 6:04:04 AM"; }
    int64_t wallClockMs() const override { return wallClockAtZeroMs + static_cast<int64_t>(nowMs); }
    bool fileModifiedMs(const std::string& name, int64_t& modifiedMs) const override;
    std::unique_ptr<TextInput> openTextFile(const std::string& name) override;
    void endProgram(int exitStatus) override;

    // The board prints `text`; delivered as one event of `kind` if the port is open.
    void boardSends(Station& station, const std::string& text, int kind = commEvent::receive);
    // Moves the virtual clock on by `ms`, ticking the timer and ending the
    // job on the way, each at its due time.
    void advance(Station& station, uint64_t ms);

    // Log entries that start with `prefix`, in order.
    std::vector<std::string> logged(const std::string& prefix) const;
    // Index of the first log entry equal to `entry`, or -1.
    long logIndex(const std::string& entry) const;

    std::map<Control, std::string> texts;
    std::map<Control, Colour> colours;
    std::vector<std::string> log;
    std::vector<Box> boxes;
    std::function<void()> onMessageBox;

    std::string portSettings;
    int16_t portNumber = -1;
    bool portIsOpen = false;
    PortError openResult = PortError::none;
    std::string boardOutput;  // waiting input
    std::string sentToBoard;
    int eventKind = 0;

    CycleTimer timer1;
    uint32_t tickPeriodMs = 0;  // 0: not ticking
    uint64_t nextTickAtMs = 0;
    uint64_t nowMs = 0;
    // The wall clock when the virtual clock reads 0: an odd second and a bit,
    // so that a 2 s grid step starts 1300 ms before a job started at 5000.
    int64_t wallClockAtZeroMs = 1800000001300 - 5000;

    std::map<std::string, std::string> files;  // missing when absent
    // Modification times on the wall clock; a file without one counts as
    // written just now, as by the job that is running.
    std::map<std::string, int64_t> modified;
    bool canReadModifiedTimes = true;
    int openFiles = 0;
    bool canStartProcess = true;
    std::vector<std::string> started;
    // Each job ends this long after its start (never: neverEnds) with this
    // status, or this long after endJob(), whichever comes first.
    static constexpr uint64_t neverEnds = UINT64_MAX;
    uint64_t jobRunsMs = 3000;
    int jobExitStatus = 0;
    uint64_t jobEndsAfterEndJobMs = 1500;
    bool jobRunning = false;
    uint64_t jobEndsAtMs = 0;
    int exitStatus = -1;  // -1: still running

private:
    void runTimer(uint32_t periodMs);
};

// Records what the cycle tells the station log.
struct FakeRecorder : CycleRecorder {
    struct Result {
        int16_t portNumber;
        bool passed;
        std::string lastField;
        JobOutcome job;
    };
    void armed() override { ++armedCount; }
    void jobStarted() override { ++jobsStarted; }
    void jobEnded() override { ++jobsEnded; }
    void result(int16_t portNumber, bool passed, const std::string& lastField, const JobOutcome& job) override
    {
        results.push_back({portNumber, passed, lastField, job});
    }
    int armedCount = 0;
    int jobsStarted = 0;
    int jobsEnded = 0;
    std::vector<Result> results;
};
