// flashstation.exe: the production bench's one-window program on Windows.
// It answers the board's console, hands the port to "run.bat" when the
// board is ready and shows from "LOG" whether the board was programmed.
#include <windows.h>

#include <cstdlib>

#include "Station.h"
#include "StationLog.h"
#include "Win32Scaling.h"
#include "Win32StationPlatform.h"
#include "Win32StationWindow.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // Positions are in twips: scaled by the program at the screen's real
    // dots per inch, not stretched as a bitmap by the system.
    SetProcessDPIAware();

    Win32StationWindow window(instance);
    if (!window.created()) {
        MessageBoxA(nullptr, "The window cannot be created.", "flashstation", MB_OK | MB_ICONSTOP);
        return Station::failureExitStatus;
    }
    Win32StationPlatform platform(window, timeDivisorFrom(std::getenv(timeDivisorVariable)));
    SystemRecordClock clock;
    StationLog record(StationLog::defaultPath, clock);
    Station station(platform, record);
    platform.onCommEvent = [&station] { station.MSCom_OnComm(); };
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
