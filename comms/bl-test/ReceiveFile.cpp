#include <cstdio>

#include "Fatal.h"
#include "FileEndpoints.h"
#include "Flows.h"
#include "Options.h"
#include "ResultCodes.h"
#include "RunTrace.h"
#include "YModemRx.h"

void receiveFile(SerialPort& port)
{
    YModemRx receiver(port, Options.startTimeoutMs, runTrace());
    OutFile out;
    if (Options.useXModem && Options.fileName == nullptr)
        usageError("File argument missing");
    if (Options.fileName != nullptr) {
        int r = out.open(Options.fileName, 0);
        if (r != 0)
            fatalError(r, "Can't create file '%s'", Options.fileName);
    }

    int32_t result = Options.useXModem ? receiver.receiveXModem(out, Options.xmodemCrc)
                                       : receiver.receiveYModem(out, Options.ymodemG);
    if (result == rc::Interrupted)
        interruptedExit("File transfer");
    if (result != 0)
        fatalError(result, "Error during file transfer");
    // Data still buffered could fail to reach the disk here: that is a
    // failed transfer, not a success.
    if (out.file != nullptr && std::fclose(out.file) != 0)
        fatalError(rc::OutputFile, "Error during file transfer");
    std::printf("\nReceived OK\n");
    runTrace().event("result", "0 received");
}
