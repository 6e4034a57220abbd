// blockxfer: one X-Modem or Y-Modem transfer over a serial port per run,
// optionally followed by a capture of what the device prints.
#include <csignal>
#include <cstdio>
#include <memory>

#include "Fatal.h"
#include "Flows.h"
#include "Options.h"
#include "ResultCodes.h"
#include "SerialPort.h"

// Owned at file scope so that the fatal paths, which leave through exit(),
// still close and free the port.
static std::unique_ptr<SerialPort> port;

int main(int argc, char** argv)
{
#ifdef SIGXFSZ
    // Past a file-size limit (ulimit -f) a write should fail and be reported
    // with the output file's code, not kill the process without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    parseCommandLine(argc, argv);

    port.reset(createSerialPort(Options.portDevice));
    if (port == nullptr)
        fatalError(rc::NoPortObject, "Can't create port");
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
        if (Options.sendMode || Options.fileName != nullptr)
            sendFile(*port);
        if (Options.logFileName != nullptr)
            captureLog(*port);
    }

    port->close();
    port.reset();
    return 0;
}
