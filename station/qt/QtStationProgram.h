// The whole bench program put together: the window, its Qt platform, the
// station log and the logic, with the window's events routed to the
// logic's handlers. main() makes one; the tests make one with test options.
#pragma once
#include "QtStationPlatform.h"
#include "Station.h"
#include "StationLog.h"
#include "QtStationWindow.h"

class QtStationProgram {
public:
    explicit QtStationProgram(QtPlatformOptions options, CycleOptions cycle = CycleOptions());

    // Form_Load, then shows the window; false (window not shown) when it failed.
    bool start();

private:
    SystemRecordClock clock;
    StationLog record;

public:
    QtStationWindow window;
    QtStationPlatform platform;
    Station station;
};
