// fakeboard: a simulated board with a bootloader on one end of a serial
// line, for running blockxfer and the bench program without hardware.
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "Board.h"
#include "BoardOptions.h"
#include "SerialPort.h"

namespace {
// Beyond --max-seconds the board is ended by the alarm, whatever it does:
// a test that forgets it cannot leave it running.
constexpr unsigned kAlarmGraceSeconds = 5;
}  // namespace

int main(int argc, char** argv)
{
    BoardOptions options;
    switch (parseBoardOptions(argc, argv, options)) {
    case ParseResult::Help: printBoardHelp(argv[0]); return 0;
    case ParseResult::Error: return 2;
    case ParseResult::Run: break;
    }
    alarm(options.maxSeconds + kAlarmGraceSeconds);

    std::unique_ptr<SerialPort> port = createSerialPort(options.portPath);
    if (!port)
        return 3;
    int32_t r = port->open(0);
    if (r == 0)
        r = port->configure(options.baudRate);
    if (r != 0) {
        std::fprintf(stderr, "%s: can't open port '%s'. Error %d\n", argv[0], options.portPath, static_cast<int>(r));
        return 3;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    int status = Board(*port, options).run();
    port->close();
    return status;
}
