// flashstation: the production bench's one-window program. It answers the
// board's console, hands the port to "run.bat" when the board is ready and
// shows from "LOG" whether the board was programmed.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "StationProgram.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QtPlatformOptions options;
    // EXIT and every failure end the program at once; the system releases
    // the port and the files.
    options.endProgram = [](int exitStatus) {
        std::fflush(nullptr);
        std::_Exit(exitStatus);
    };
    StationProgram program(options);
    if (!program.start())
        return Station::failureExitStatus;
    return QApplication::exec();
}
