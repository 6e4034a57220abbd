#include "Win32StationPlatform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "StdioTextInput.h"
#include "Win32Clock.h"
#include "Win32EditText.h"

Win32StationPlatform::Win32StationPlatform(Win32StationWindow& window_, uint32_t timeDivisor)
    : window(window_), timer1([this](uint32_t periodMs) { runTimer(periodMs); }, timeDivisor)
{
}

void Win32StationPlatform::pollPort()
{
    if (!port.receiveWaiting())
        return;
    currentEvent = commEvent::receive;
    if (onCommEvent)
        onCommEvent();
    currentEvent = 0;
}

void Win32StationPlatform::setText(Control control, const std::string& text)
{
    HWND child = window.control(control);
    if (control == Control::txtReceive) {
        receivedText = text;
        SetWindowTextA(child, withCrLfLineEnds(text).c_str());
        // Keep the latest text in view.
        const LPARAM end = static_cast<LPARAM>(GetWindowTextLengthA(child));
        SendMessageA(child, EM_SETSEL, static_cast<WPARAM>(end), end);
        SendMessageA(child, EM_SCROLLCARET, 0, 0);
    } else {
        SetWindowTextA(child, text.c_str());
    }
}

std::string Win32StationPlatform::text(Control control) const
{
    if (control == Control::txtReceive)
        return receivedText;
    HWND child = window.control(control);
    const int length = GetWindowTextLengthA(child);
    std::string text(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
    const int got = GetWindowTextA(child, &text[0], length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

void Win32StationPlatform::setTextColour(Control control, Colour colour) { window.setTextColour(control, colour); }

void Win32StationPlatform::redraw(Control control)
{
    RedrawWindow(window.control(control), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void Win32StationPlatform::setPortSettings(const std::string& settings)
{
    if (!port.setSettings(settings))
        std::fprintf(stderr, "flashstation: line settings \"%s\" not understood, kept the previous ones\n",
                     settings.c_str());
}

void Win32StationPlatform::setPortNumber(int16_t portNumber) { port.setPortNumber(portNumber); }

PortError Win32StationPlatform::openPort()
{
    const PortError result = port.open();
    if (result == PortError::none)
        SetTimer(window.handle(), Win32StationWindow::portPollTimerId, Win32ConsolePort::pollIntervalMs, nullptr);
    return result;
}

void Win32StationPlatform::closePort()
{
    KillTimer(window.handle(), Win32StationWindow::portPollTimerId);
    port.close();
}

void Win32StationPlatform::writePort(const std::string& text)
{
    if (!port.write(text))
        std::fprintf(stderr, "flashstation: the reply to the board was not sent in full\n");
}

std::string Win32StationPlatform::readPort() { return port.readAll(); }

void Win32StationPlatform::enableTimer(bool enabled) { timer1.enable(enabled); }

void Win32StationPlatform::setTimerInterval(uint32_t ms) { timer1.setInterval(ms); }

void Win32StationPlatform::runTimer(uint32_t periodMs)
{
    if (periodMs > 0)
        SetTimer(window.handle(), Win32StationWindow::timer1Id, periodMs, nullptr);
    else
        KillTimer(window.handle(), Win32StationWindow::timer1Id);
}

bool Win32StationPlatform::startProcess(const std::string& name)
{
    if (!job.start(name))
        return false;
    SetTimer(window.handle(), Win32StationWindow::jobPollTimerId, jobPollIntervalMs, nullptr);
    return true;
}

void Win32StationPlatform::pollJob()
{
    int exitStatus = 0;
    if (!job.poll(exitStatus))
        return;
    KillTimer(window.handle(), Win32StationWindow::jobPollTimerId);
    if (onJobEnded)
        onJobEnded(exitStatus);
}

void Win32StationPlatform::endJob() { job.terminate(); }

void Win32StationPlatform::sleep(uint32_t ms) { Sleep(timer1.scaled(ms)); }

void Win32StationPlatform::messageBox(const std::string& prompt, const std::string& title, bool criticalIcon)
{
    // The job's console window has the focus when the result comes.
    const UINT style = MB_OK | MB_SETFOREGROUND | (criticalIcon ? MB_ICONSTOP : 0u);
    MessageBoxA(window.isVisible() ? window.handle() : nullptr, prompt.c_str(), title.c_str(), style);
}

std::string Win32StationPlatform::nowText() const { return localDateTimeText(); }

int64_t Win32StationPlatform::wallClockMs() const { return ::wallClockMs(); }

bool Win32StationPlatform::fileModifiedMs(const std::string& name, int64_t& modifiedMs) const
{
    return ::fileModifiedMs(name, modifiedMs);
}

std::unique_ptr<TextInput> Win32StationPlatform::openTextFile(const std::string& name)
{
    return StdioTextInput::open(name);
}

void Win32StationPlatform::endProgram(int exitStatus)
{
    KillTimer(window.handle(), Win32StationWindow::timer1Id);
    closePort();
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(exitStatus));
}
