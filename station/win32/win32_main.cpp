// flashstation.exe: the production bench's one-window program on Windows.
// It answers the board's console, hands the port to "run.bat" when the
// board is ready and shows from "LOG" whether the board was programmed.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "Station.h"
#include "StationLog.h"
#include "StationOptions.h"
#include "Win32Scaling.h"
#include "Win32StationPlatform.h"
#include "Win32StationWindow.h"

namespace {

// A windowed program has no console of its own: the text goes to standard
// output when that leads somewhere (a pipe or a file, or the console of the
// command that started it), else into a box.
void showText(const std::string& text, const char* title, UINT style)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
        out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (out != nullptr && out != INVALID_HANDLE_VALUE &&
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size())
        return;
    MessageBoxA(nullptr, text.c_str(), title, style);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // Positions are in twips: scaled by the program at the screen's real
    // dots per inch, not stretched as a bitmap by the system.
    SetProcessDPIAware();

    StationOptions stationOptions;
    std::string argumentError;
    switch (parseStationArguments(__argc, __argv, stationOptions, argumentError)) {
    case StationArgs::run:
        break;
    case StationArgs::help:
        showText(stationHelpText, "flashstation", MB_OK);
        return 0;
    case StationArgs::error:
        showText(argumentError + "\nTry 'flashstation --help' for more information.\n", "flashstation",
                 MB_OK | MB_ICONSTOP);
        return Station::failureExitStatus;
    }

    Win32StationWindow window(instance);
    if (!window.created()) {
        MessageBoxA(nullptr, "The window cannot be created.", "flashstation", MB_OK | MB_ICONSTOP);
        return Station::failureExitStatus;
    }
    Win32StationPlatform platform(window, timeDivisorFrom(std::getenv(timeDivisorVariable)));
    SystemRecordClock clock;
    StationLog record(StationLog::defaultPath, clock);
    Station station(platform, record, stationOptions.cycle());
    platform.onCommEvent = [&station] { station.MSCom_OnComm(); };
    platform.onJobEnded = [&station](int exitStatus) { station.Job_Ended(exitStatus); };
    window.events.jobPoll = [&platform] { platform.pollJob(); };
    window.events.tick = [&station] { station.Timer1_Timer(); };
    window.events.portPoll = [&platform] { platform.pollPort(); };
    window.events.exit = [&station] { station.Command1_Click(); };

    if (!station.Form_Load())
        return Station::failureExitStatus;
    window.show();

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (window.preTranslate(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
