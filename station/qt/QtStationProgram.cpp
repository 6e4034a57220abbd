#include "QtStationProgram.h"

#include <QPushButton>

QtStationProgram::QtStationProgram(QtPlatformOptions options, CycleOptions cycle)
    : record(StationLog::defaultPath, clock), platform(window, std::move(options)), station(platform, record, cycle)
{
    platform.onCommEvent = [this] { station.MSCom_OnComm(); };
    platform.onTick = [this] { station.Timer1_Timer(); };
    platform.onJobEnded = [this](int exitStatus) { station.Job_Ended(exitStatus); };
    QObject::connect(window.Command1, &QPushButton::clicked, [this] { station.Command1_Click(); });
}

bool QtStationProgram::start()
{
    if (!station.Form_Load())
        return false;
    window.show();
    window.activateWindow();
    return true;
}
