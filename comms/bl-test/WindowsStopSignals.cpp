#include "StopSignals.h"

#include <windows.h>

#include "StopRequest.h"

namespace {
// What cmd shows for any console program that Ctrl+C ended (-1073741510),
// so a script tests blockxfer as it tests the rest.
constexpr DWORD kControlCExit = 0xC000013Au;

// The events are recorded under the C library's numbers for them
// (SIGINT 2, SIGBREAK 21); closing the console, which has none, under
// SIGHUP's (1), the Linux signal of a closed terminal.
enum : int { kCtrlC = 2, kCtrlBreak = 21, kConsoleClosed = 1 };

int requestFor(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT: return kCtrlC;
    case CTRL_BREAK_EVENT: return kCtrlBreak;
    case CTRL_CLOSE_EVENT: return kConsoleClosed;
    default: return 0;
    }
}

// Runs on a thread of its own that Windows starts for each event.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    const int request = requestFor(event);
    if (request == 0)
        return FALSE;  // log-off, shut-down: the default handling
    if (stop::record(request) != 0)
        TerminateProcess(GetCurrentProcess(), kControlCExit);
    // Windows ends the process as soon as the handler of a close event
    // returns, and at the latest after 5 s: wait here while the transfer
    // cancels and the main thread ends the process.
    if (event == CTRL_CLOSE_EVENT)
        Sleep(INFINITE);
    return TRUE;
}
}  // namespace

void catchStopSignals()
{
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

const char* stopSignalName(int signal)
{
    switch (signal) {
    case kCtrlC: return "Ctrl+C";
    case kCtrlBreak: return "Ctrl+Break";
    case kConsoleClosed: return "closing the console";
    default: return "a console event";
    }
}

int stopExitStatus(int)
{
    return static_cast<int>(kControlCExit);
}
