// The station's platform over Win32: the controls of Win32StationWindow,
// the board's console port (Win32ConsolePort, polled on a timer of the
// window), Timer1 as a window timer, MessageBox, cmd.exe for "run.bat" in
// a job object (looked at on another timer of the window),
// the user's locale for the date and time, and stdio for the files.
#pragma once
#include <functional>
#include <string>

#include "CycleTimer.h"
#include "StationPlatform.h"
#include "Win32ConsolePort.h"
#include "Win32Job.h"
#include "Win32StationWindow.h"

class Win32StationPlatform : public StationPlatform {
public:
    // timeDivisor divides every timer interval and sleep; only tests set it.
    Win32StationPlatform(Win32StationWindow& window, uint32_t timeDivisor);

    // Called on the window's thread when the port has input.
    std::function<void()> onCommEvent;
    // The window's poll timer: delivers a receive event when input waits.
    void pollPort();
    // How often the job is looked at while it runs.
    static constexpr UINT jobPollIntervalMs = 50;
    // Called on the window's thread when the job has ended.
    std::function<void(int exitStatus)> onJobEnded;
    // The window's job timer: reports the job's end.
    void pollJob();

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
    int commEvent() const override { return currentEvent; }
    void enableTimer(bool enabled) override;
    void setTimerInterval(uint32_t intervalMs) override;
    bool startProcess(const std::string& name) override;
    void endJob() override;
    void sleep(uint32_t ms) override;
    void messageBox(const std::string& prompt, const std::string& title, bool criticalIcon) override;
    std::string nowText() const override;
    int64_t wallClockMs() const override;
    bool fileModifiedMs(const std::string& name, int64_t& modifiedMs) const override;
    std::unique_ptr<TextInput> openTextFile(const std::string& name) override;
    void endProgram(int exitStatus) override;

private:
    void runTimer(uint32_t periodMs);

    Win32StationWindow& window;
    Win32ConsolePort port;
    Win32Job job;
    CycleTimer timer1;
    int currentEvent = 0;
    // The exact text of txtReceive; the control shows it with CR LF line ends.
    std::string receivedText;
};

