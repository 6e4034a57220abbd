// blockxfer: one X-Modem or Y-Modem transfer over a serial port per run,
// optionally followed by a capture of what the device prints.
//
// How it fits together (start here):
// - main (this file) parses the command line (Options.cpp), creates the
//   port for this platform (createSerialPort: PosixSerialPort.cpp over
//   termios, WindowsSerialPort.cpp over Win32, chosen by the build), opens
//   and configures it, and runs one flow.
// - The flows, receiveFile (ReceiveFile.cpp), sendFile (SendFile.cpp) and
//   captureLog (CaptureLog.cpp), own the file endpoints (FileEndpoints.cpp:
//   InFile, OutFile) and the engines on their stack. They are the only code
//   that prints or ends the process (fatalError in Fatal.cpp, usageError in
//   Options.cpp).
// - The engines, YModemTx (sending) and YModemRx (receiving), frame and
//   check blocks with Block.cpp and move bytes only through SerialPort's
//   read and write. They own no clock: every wait is a read or write
//   timeout, so tests drive them through a fake port in virtual time.
// - All waiting happens in the port's polling loop (PollLoop.h), which
//   both platform ports share.
// - Every failure is a negative result code (ResultCodes.h), passed up
//   unchanged from where it arises to fatalError, which makes it the exit
//   status.
// - --send-line and --follow-baud-switch put a ConsolePort in front of the
//   port: it types the line, keeps the console's text from being taken for
//   the receiver's opening character, and follows the console's requests
//   to change the line's rate.
// - SIGINT, SIGTERM, SIGHUP (Ctrl+C, Ctrl+Break, closing the console on
//   Windows) are recorded by StopSignals.h's handler; the port's waits
//   then return rc::Interrupted, the engine sends its cancel and the flow
//   ends through interruptedExit with the signal's status.
// - BLOCKXFER_TRACE opens the run's trace (RunTrace.h, a LineTrace), wraps
//   the port in TracingSerialPort and hands the trace to the engines and
//   the console port as their TraceSink; they own no file and no clock.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "ConsolePort.h"
#include "Fatal.h"
#include "Flows.h"
#include "Options.h"
#include "ResultCodes.h"
#include "RunTrace.h"
#include "SerialPort.h"
#include "StopSignals.h"
#include "TracingSerialPort.h"

// Owned at file scope so that the fatal paths, which leave through exit(),
// still close and free the port. The wrappers are declared after what they
// wrap, so they go first.
static std::unique_ptr<SerialPort> device;
static std::optional<TracingSerialPort> tracedDevice;
static std::optional<ConsolePort> console;

namespace {
// The trace named by BLOCKXFER_TRACE, opened before anything touches the
// port. One that cannot be opened costs the trace, not the run.
void openTrace(int argc, char** argv)
{
    const char* path = std::getenv("BLOCKXFER_TRACE");
    if (path == nullptr || path[0] == '\0')
        return;
    if (!runTrace().open(path)) {
        std::fprintf(stderr, "Warning: can't open trace file '%s' (%s); no trace is written\n", path,
                     std::strerror(errno));
        return;
    }
    runTrace().command(argc, argv);
}

bool sends()
{
    return !Options.receiveMode && (Options.sendMode || Options.fileName != nullptr);
}

SerialPort* withConsole(SerialPort* port)
{
    if (Options.sendLine == nullptr && !Options.followBaudSwitch)
        return port;
    ConsolePort::Settings settings;
    settings.line = Options.sendLine;
    settings.screenStart = sends();
    settings.followSwitch = Options.followBaudSwitch;
    return &console.emplace(*port, settings, runTrace());
}

// Without a log capture nothing reads after the transfer, yet a console
// that switched for it waits for its key at the first rate again.
void followSwitchBack()
{
    if (!console || !console->switchedAway())
        return;
    int32_t r = console->awaitSwitchBack(Options.logTimeoutMs);
    if (r < 0)
        fatalError(r, "Error during file transfer");
}
}  // namespace

int main(int argc, char** argv)
{
#ifdef SIGXFSZ
    // Past a file-size limit (ulimit -f) a write should fail and be reported
    // with the output file's code, not kill the process without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    parseCommandLine(argc, argv);
    openTrace(argc, argv);
    catchStopSignals();

    device = createSerialPort(Options.portDevice);
    if (device == nullptr)
        fatalError(rc::NoPortObject, "Can't create port");
    SerialPort* port = device.get();
    if (runTrace().isOpen())
        port = &tracedDevice.emplace(*device, runTrace());
    port = withConsole(port);

    int32_t r = port->open(Options.portNumber);
    if (r != 0)
        fatalError(r, "Can't open port");
    r = port->configure(Options.baudRate);
    if (r != 0)
        fatalError(r, "Can't initialise port");

    if (Options.receiveMode) {
        receiveFile(*port);
    } else {
        if (Options.logFileName != nullptr) {
            Options.logFile = std::fopen(Options.logFileName, "w+b");
            if (Options.logFile == nullptr)
                fatalError(rc::LogFile, "Can't create LogFile file '%s'", Options.logFileName);
        }
        if (sends())
            sendFile(*port);
        if (Options.logFileName != nullptr)
            captureLog(*port);
        else
            followSwitchBack();
    }

    port->close();
    console.reset();
    tracedDevice.reset();
    device.reset();
    return 0;
}
