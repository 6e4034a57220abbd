#include "FakeStationPlatform.h"

#include <algorithm>

#include "WindowLayout.h"

namespace {

class StringInput : public TextInput {
public:
    StringInput(const std::string& text_, int& openCount_) : text(text_), openCount(openCount_) { ++openCount; }
    ~StringInput() override { --openCount; }
    int next() override
    {
        return position < text.size() ? static_cast<unsigned char>(text[position++]) : endOfFile;
    }
    bool failed() const override { return false; }

private:
    std::string text;
    size_t position = 0;
    int& openCount;
};

}  // namespace

// The controls start as the window's layout table has them.
FakeStationPlatform::FakeStationPlatform() : timer1([this](uint32_t periodMs) { runTimer(periodMs); })
{
    for (Control control : {Control::Label1, Control::Label2, Control::Label4, Control::Text2, Control::Time1,
                            Control::txtReceive}) {
        texts[control] = layoutOf(slotOf(control)).text;
        colours[control] = layoutOf(slotOf(control)).textColour;
    }
}

void FakeStationPlatform::setText(Control control, const std::string& text)
{
    texts[control] = text;
    log.push_back("text:" + std::to_string(static_cast<int>(control)) + ":" + text);
}

std::string FakeStationPlatform::text(Control control) const { return texts.at(control); }

void FakeStationPlatform::setTextColour(Control control, Colour colour) { colours[control] = colour; }

void FakeStationPlatform::redraw(Control control)
{
    log.push_back("redraw:" + std::to_string(static_cast<int>(control)));
}

void FakeStationPlatform::setPortSettings(const std::string& settings)
{
    portSettings = settings;
    log.push_back("settings:" + settings);
}

void FakeStationPlatform::setPortNumber(int16_t number)
{
    portNumber = number;
    log.push_back("port:" + std::to_string(number));
}

PortError FakeStationPlatform::openPort()
{
    log.push_back("open");
    portIsOpen = openResult == PortError::none;
    return openResult;
}

void FakeStationPlatform::closePort()
{
    portIsOpen = false;
    log.push_back("close@" + std::to_string(nowMs));
}

void FakeStationPlatform::writePort(const std::string& text)
{
    if (portIsOpen)
        sentToBoard += text;
    log.push_back("write:" + text);
}

std::string FakeStationPlatform::readPort()
{
    log.push_back("read");
    std::string waiting;
    waiting.swap(boardOutput);
    return waiting;
}

void FakeStationPlatform::enableTimer(bool enabled)
{
    log.push_back(enabled ? "timer:on" : "timer:off");
    timer1.enable(enabled);
}

void FakeStationPlatform::setTimerInterval(uint32_t intervalMs)
{
    log.push_back("interval:" + std::to_string(intervalMs));
    timer1.setInterval(intervalMs);
}

void FakeStationPlatform::runTimer(uint32_t periodMs)
{
    tickPeriodMs = periodMs;
    nextTickAtMs = nowMs + periodMs;
}

bool FakeStationPlatform::startProcess(const std::string& name)
{
    log.push_back("start:" + name + "@" + std::to_string(nowMs));
    if (canStartProcess) {
        started.push_back(name);
        jobRunning = true;
        jobEndsAtMs = jobRunsMs == neverEnds ? neverEnds : nowMs + jobRunsMs;
    }
    return canStartProcess;
}

void FakeStationPlatform::endJob()
{
    log.push_back("endJob@" + std::to_string(nowMs));
    jobEndsAtMs = std::min(jobEndsAtMs, nowMs + jobEndsAfterEndJobMs);
}

void FakeStationPlatform::sleep(uint32_t ms)
{
    log.push_back("sleep:" + std::to_string(ms) + (portIsOpen ? "@open" : "@closed"));
    nowMs += ms;
}

void FakeStationPlatform::messageBox(const std::string& prompt, const std::string& title, bool criticalIcon)
{
    log.push_back("box:" + title);
    boxes.push_back({prompt, title, criticalIcon, nowMs, texts, colours[Control::Text2]});
    if (onMessageBox)
        onMessageBox();
}

std::unique_ptr<TextInput> FakeStationPlatform::openTextFile(const std::string& name)
{
    log.push_back("file:" + name);
    const auto file = files.find(name);
    if (file == files.end())
        return nullptr;
    return std::unique_ptr<TextInput>(new StringInput(file->second, openFiles));
}

bool FakeStationPlatform::fileModifiedMs(const std::string& name, int64_t& modifiedMs) const
{
    if (files.count(name) == 0 || !canReadModifiedTimes)
        return false;
    const auto stamp = modified.find(name);
    modifiedMs = stamp != modified.end() ? stamp->second : wallClockMs();
    return true;
}

void FakeStationPlatform::endProgram(int status)
{
    exitStatus = status;
    log.push_back("end:" + std::to_string(status));
}

void FakeStationPlatform::boardSends(Station& station, const std::string& text, int kind)
{
    if (!portIsOpen)
        return;
    boardOutput += text;
    eventKind = kind;
    station.MSCom_OnComm();
}

void FakeStationPlatform::advance(Station& station, uint64_t ms)
{
    const uint64_t target = nowMs + ms;
    while (exitStatus < 0) {
        const bool ticking = tickPeriodMs > 0 && nextTickAtMs <= target;
        const bool jobEnding = jobRunning && jobEndsAtMs <= target;
        if (jobEnding && (!ticking || jobEndsAtMs < nextTickAtMs)) {
            nowMs = std::max(nowMs, jobEndsAtMs);
            jobRunning = false;
            log.push_back("jobEnded@" + std::to_string(nowMs));
            station.Job_Ended(jobExitStatus);
        } else if (ticking) {
            nowMs = nextTickAtMs;
            nextTickAtMs += tickPeriodMs;
            station.Timer1_Timer();
        } else {
            break;
        }
    }
    if (nowMs < target)
        nowMs = target;
}

std::vector<std::string> FakeStationPlatform::logged(const std::string& prefix) const
{
    std::vector<std::string> found;
    for (const std::string& entry : log)
        if (entry.compare(0, prefix.size(), prefix) == 0)
            found.push_back(entry);
    return found;
}

long FakeStationPlatform::logIndex(const std::string& entry) const
{
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i] == entry)
            return static_cast<long>(i);
    return -1;
}
