// flashstation: the production bench's one-window program. It answers the
// board's console, hands the port to "run.bat" when the board is ready and
// shows from "LOG" whether the board was programmed.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "StationOptions.h"
#include "QtStationProgram.h"

int main(int argc, char** argv)
{
    // Before Qt, which needs a display: --help is read where there is none.
    StationOptions stationOptions;
    std::string message;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(stationHelpText, stdout);
            return 0;
        }
    QApplication app(argc, argv);
    // Qt has taken its own options out of argv by now.
    if (parseStationArguments(argc, argv, stationOptions, message) != StationArgs::run) {
        std::fprintf(stderr, "flashstation: %s\nTry 'flashstation --help' for more information.\n", message.c_str());
        return Station::failureExitStatus;
    }
    QtPlatformOptions options;
    // EXIT and every failure end the program at once; the system releases
    // the port and the files.
    options.endProgram = [](int exitStatus) {
        std::fflush(nullptr);
        std::_Exit(exitStatus);
    };
    QtStationProgram program(options, stationOptions.cycle());
    if (!program.start())
        return Station::failureExitStatus;
    return QApplication::exec();
}
