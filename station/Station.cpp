#include "Station.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

#include "ReadLastField.h"

namespace {
constexpr const char* failureTitle = "flashstation";
constexpr size_t portDigitIndex = 12;

char lowerAscii(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}
}  // namespace

int16_t portNumberFromField(const std::string& lastField)
{
    if (lastField.size() <= portDigitIndex)
        return 0;
    const char digit = lastField[portDigitIndex];
    return digit >= '0' && digit <= '9' ? static_cast<int16_t>(digit - '0') : 0;
}

bool writtenSince(int64_t modifiedMs, int64_t startedMs, int64_t grainMs)
{
    // Floor, not truncation towards zero, so that the grid is the same on
    // both sides of 1970 (a clock set wrong must not make a stale LOG fresh).
    int64_t gridStart = startedMs - startedMs % grainMs;
    if (startedMs % grainMs < 0)
        gridStart -= grainMs;
    return modifiedMs >= gridStart;
}

bool containsIgnoringCase(const std::string& text, const std::string& pattern)
{
    if (pattern.size() > text.size())
        return false;
    for (size_t start = 0; start + pattern.size() <= text.size(); ++start) {
        size_t i = 0;
        while (i < pattern.size() && lowerAscii(text[start + i]) == lowerAscii(pattern[i]))
            ++i;
        if (i == pattern.size())
            return true;
    }
    return false;
}

int16_t jobLimitTickFor(uint32_t seconds)
{
    const uint64_t ticks = (uint64_t{seconds} * 1000 + Station::tickIntervalMs - 1) / Station::tickIntervalMs;
    return static_cast<int16_t>(std::min<uint64_t>(std::max<uint64_t>(ticks, 1), INT16_MAX));
}

Station::Station(StationPlatform& platform_, CycleRecorder& recorder_, CycleOptions options_)
    : platform(platform_), recorder(recorder_), options(options_)
{
}

bool Station::Form_Load()
{
    std::string lastField;
    if (!readLastField(platform, jobFile, lastField)) {
        fail("run.bat is missing or cannot be read.");
        return false;
    }
    const int16_t portNumber = portNumberFromField(lastField);
    platform.setText(Control::Label4, std::to_string(portNumber));
    platform.setPortSettings(portSettings);
    return openPort(portNumber, "");
}

void Station::Command1_Click() { platform.endProgram(0); }

void Station::MSCom_OnComm()
{
    if (platform.commEvent() != commEvent::receive)
        return;
    // The reply goes out before the input is read, on every receive event.
    platform.writePort(reply);
    std::string received = platform.text(Control::txtReceive) + platform.readPort();
    const bool triggered = containsIgnoringCase(received, trigger);
    if (!triggered && received.size() > receiveTextLimit)
        received.erase(0, received.size() - receiveTextLimit);
    platform.setText(Control::txtReceive, received);
    platform.setText(Control::Label1, "Don't remove before finish");
    if (triggered)
        armCycle();
    else
        platform.setText(Control::Text2, "");
}

void Station::armCycle()
{
    recorder.armed();
    platform.setTextColour(Control::Text2, Colour::systemDesktop());
    platform.setText(Control::Text2, "Writing Program...");
    platform.sleep(pauseBeforeReleaseMs);
    platform.closePort();
    jobStartedMs = platform.wallClockMs();
    if (!platform.startProcess(jobFile)) {
        fail("run.bat cannot be started.");
        return;
    }
    phase = Phase::jobRunning;
    job = JobOutcome();
    recorder.jobStarted();
    platform.enableTimer(true);
    platform.setTimerInterval(tickIntervalMs);
}

void Station::Timer1_Timer()
{
    // Ticks keep coming while the result box is open; they only count, and
    // the count stops at the top so it can never come round to 100 again.
    if (tickCount < INT16_MAX)
        ++tickCount;
    platform.setText(Control::Label2, std::to_string(tickCount));
    if ((phase == Phase::jobRunning || phase == Phase::overdue) && tickCount >= options.jobLimitTick) {
        // Decided once the job is gone, so that the port is free for the reset.
        phase = Phase::ending;
        platform.endJob();
        return;
    }
    if (tickCount != resultTick)
        return;
    if (phase == Phase::jobRunning)
        phase = Phase::overdue;
    else if (phase == Phase::jobEnded)
        decideFromLog();
}

void Station::Job_Ended(int exitStatus)
{
    recorder.jobEnded();
    switch (phase) {
    case Phase::jobRunning:
        job = {true, exitStatus};
        if (options.earlyResult)
            decideFromLog();
        else
            phase = Phase::jobEnded;
        return;
    case Phase::overdue:
        job = {true, exitStatus};
        decideFromLog();
        return;
    case Phase::ending:
        decideJobDidNotEnd();
        return;
    case Phase::idle:
    case Phase::jobEnded:
        return;
    }
}

void Station::decideFromLog()
{
    phase = Phase::idle;
    std::string lastField;
    if (!readLastField(platform, resultFile, lastField)) {
        fail("LOG is missing or cannot be read.");
        return;
    }
    decideResult(lastField);
}

void Station::decideJobDidNotEnd()
{
    // Whatever LOG holds, a job that had to be ended did not program the board.
    phase = Phase::idle;
    job = JobOutcome();
    showResult(false, std::string());
    resetForNextBoard();
}

void Station::decideResult(const std::string& lastField)
{
    int64_t modifiedMs = 0;
    if (!platform.fileModifiedMs(resultFile, modifiedMs)) {
        fail("LOG is missing or cannot be read.");
        return;
    }
    // The earlier board's field is not this board's result, so it is not
    // recorded as one either.
    const bool fresh = writtenSince(modifiedMs, jobStartedMs, modifiedTimeGrainMs);
    showResult(fresh && !lastField.empty(), fresh ? lastField : std::string());
    resetForNextBoard();
}

void Station::showResult(bool passed, const std::string& lastField)
{
    if (passed) {
        platform.setText(Control::Label1, "Please remove Main Board");
        platform.setTextColour(Control::Text2, Colour::rgb(0, 128, 0));
        platform.setText(Control::Text2, "Program Success...");
        platform.setText(Control::Time1, platform.nowText());
    } else {
        platform.setText(Control::Label1, "Please Check Mainbord");
        platform.setTextColour(Control::Text2, Colour::rgb(255, 0, 0));
        platform.setText(Control::Text2, "Program Error !!!!!!!! ");
    }
    // Recorded before the box, so that a station killed meanwhile still has it.
    recorder.result(portNumberShown(), passed, lastField, job);
    if (passed)
        platform.messageBox("Click for restart.", "PROGRAM COMPLETE...!!!", false);
    else
        platform.messageBox("Click for restart.", "PROGRAM ERROR", true);
}

void Station::resetForNextBoard()
{
    if (!openPort(portNumberShown(), "The port cannot be reopened. "))
        return;
    platform.enableTimer(false);
    tickCount = 0;
    platform.setText(Control::Label2, "");
    platform.setText(Control::txtReceive, "");
    platform.redraw(Control::txtReceive);
    platform.setText(Control::Time1, "");
    platform.setText(Control::Text2, "");
    platform.setText(Control::Label1, "Please Insert Main Board");
}

bool Station::openPort(int16_t portNumber, const char* context)
{
    const std::string port = "Port " + std::to_string(portNumber);
    if (portNumber <= 0) {
        fail(std::string(context) + port +
             " cannot be used: the last line of run.bat must begin with blockxfer -p1 to -p9.");
        return false;
    }
    platform.setPortNumber(portNumber);
    switch (platform.openPort()) {
    case PortError::none:
        return true;
    case PortError::noDevice:
        fail(std::string(context) + port + " names no serial port.");
        return false;
    case PortError::busy:
        fail(std::string(context) + port + " cannot be opened: it is held by another program or access is denied.");
        return false;
    case PortError::other:
        break;
    }
    fail(std::string(context) + port + " cannot be opened.");
    return false;
}

int16_t Station::portNumberShown() const
{
    const long value = std::strtol(platform.text(Control::Label4).c_str(), nullptr, 10);
    return value < 0 || value > INT16_MAX ? 0 : static_cast<int16_t>(value);
}

void Station::fail(const std::string& what)
{
    platform.messageBox(what, failureTitle, true);
    platform.endProgram(failureExitStatus);
}
