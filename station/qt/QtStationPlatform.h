// The station's platform over Qt: the controls of QtStationWindow, a
// QSerialPort as the board's console port, a QTimer, QMessageBox and
// /bin/sh for "run.bat", watched as a PosixJob (shown in a terminal window
// when there is one).
#pragma once
#include <QSerialPort>
#include <QTimer>
#include <functional>
#include <string>

#include "CommSettings.h"
#include "CycleTimer.h"
#include "PosixJob.h"
#include "StationPlatform.h"

class QtStationWindow;
class QWidget;

struct QtPlatformOptions {
    // Ends the process; the product exits at once.
    std::function<void(int exitStatus)> endProgram;
    // Divides every timer interval and sleep. Only tests set it, to run a
    // whole cycle in a fraction of the time; the product keeps 1.
    uint32_t timeDivisor = 1;
};

class QtStationPlatform : public StationPlatform {
public:
    QtStationPlatform(QtStationWindow& window, QtPlatformOptions options);

    // Called on the window's thread when the port has input, on each tick,
    // and when the job has ended (with its exit status).
    std::function<void()> onCommEvent;
    std::function<void()> onTick;
    std::function<void(int exitStatus)> onJobEnded;

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

    bool portIsOpen() const { return port.isOpen(); }
    bool timerIsActive() const { return timer.isActive(); }
    int timerIntervalMs() const { return timer.interval(); }
    bool jobIsRunning() const { return job.running(); }
    // How often the job is looked at while it runs: what an ended job may
    // wait before the station hears of it.
    static constexpr int jobWatchIntervalMs = 50;

private:
    QWidget* widgetOf(Control control) const;
    void runTimer(uint32_t periodMs);
    void deliverReceiveEvent();
    void watchJob();
    void showJobInTerminal();

    QtStationWindow& window;
    QtPlatformOptions options;
    QSerialPort port;
    QTimer timer;
    // Declared after the QTimer it runs.
    CycleTimer timer1;
    PosixJob job;
    QTimer jobWatch;
    // The job's output while a terminal window shows it.
    std::string jobOutputPath;
    pid_t terminalGroup = -1;
    CommSettings settings;
    int16_t portNumber = 0;
    int currentEvent = 0;
    // The exact text of txtReceive; the widget shows it with line ends made plain.
    std::string receivedText;
};

// Whether "run.bat" goes to a terminal window: only on a real display with
// x-terminal-emulator installed.
bool terminalAvailable();
