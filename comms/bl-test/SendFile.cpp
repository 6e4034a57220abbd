#include <cstdio>

#include "Fatal.h"
#include "FileEndpoints.h"
#include "Flows.h"
#include "Options.h"
#include "ResultCodes.h"
#include "RunTrace.h"
#include "YModemTx.h"

namespace {
// Opens and measures the file; null when either fails.
FILE* openMeasured(const char* name, uint32_t& size)
{
    FILE* file = std::fopen(name, "rb");
    if (file == nullptr)
        return nullptr;
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        length = std::ftell(file);
    // A length beyond 32 bits cannot be announced or counted.
    if (length < 0 || static_cast<unsigned long>(length) > 0xFFFFFFFFul ||
        std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return nullptr;
    }
    size = static_cast<uint32_t>(length);
    return file;
}
}  // namespace

void sendFile(SerialPort& port)
{
    if (Options.fileName == nullptr)
        usageError("File argument missing");
    if (Options.destName == nullptr)
        Options.destName = Options.fileName;

    uint32_t size = 0;
    FILE* file = openMeasured(Options.fileName, size);
    if (file == nullptr)
        fatalError(rc::SourceFile, "Can't open file '%s'", Options.fileName);
    InFile source(file, size);
    std::printf("Sending %s...\n", Options.fileName);

    YModemTx sender(port, Options.startTimeoutMs, runTrace());
    int32_t result;
    if (Options.useXModem) {
        sender.setAllow1K(Options.xmodem1K);
        sender.setAcceptStreaming(false);
        result = sender.waitForStart();
        if (result == rc::Interrupted)
            interruptedExit("File transfer");
        if (result < 0)
            fatalError(result, "Error during file transfer");
        result = sender.sendStream(source);
    } else {
        result = sender.sendBatch(size, source, Options.destName);
    }
    if (result == rc::Interrupted)
        interruptedExit("File transfer");
    if (result != 0)
        fatalError(result, "Error during file transfer");
    std::printf("\nSent OK\n");
    runTrace().event("result", "0 sent");
    std::fclose(file);
}
