#include <cstdio>
#include <cstring>

#include "Fatal.h"
#include "Flows.h"
#include "Options.h"
#include "ResultCodes.h"
#include "RunTrace.h"

namespace {
constexpr uint32_t kCaptureBuffer = 1152;

void closeLog()
{
    std::fclose(Options.logFile);
    Options.logFile = nullptr;
}

void echo(const uint8_t* bytes, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        if (bytes[i] != '\r')
            std::putchar(bytes[i]);
    std::fflush(stdout);
}

// True when the stop string lies wholly within the held bytes.
bool containsStop(const uint8_t* held, uint32_t heldCount)
{
    const uint32_t length = Options.logStopLength;
    const auto* stop = reinterpret_cast<const uint8_t*>(Options.logStopString);
    for (uint32_t start = 0; start + length <= heldCount; ++start)
        if (held[start] == stop[0] && std::memcmp(held + start + 1, stop + 1, length - 1) == 0)
            return true;
    return false;
}
}  // namespace

void captureLog(SerialPort& port)
{
    std::printf("Capturing log to %s...\n", Options.logFileName);
    std::fflush(stdout);

    uint8_t buffer[kCaptureBuffer];
    uint32_t held = 0;
    for (;;) {
        int32_t n = port.read(buffer + held, kCaptureBuffer - held, Options.logTimeoutMs);
        if (n == 0) {
            closeLog();
            std::printf("Log capture timeout.\n");
            runTrace().event("result", "0 log silence");
            return;
        }
        if (n < 0) {
            closeLog();
            if (n == rc::Interrupted)
                interruptedExit("Log capture");
            fatalError(n, "Error during log capture");
        }
        const uint32_t count = static_cast<uint32_t>(n);
        uint8_t* fresh = buffer + held;
        if (std::fwrite(fresh, 1, count, Options.logFile) < count || std::fflush(Options.logFile) != 0) {
            closeLog();
            fatalError(rc::LogFile, "File error during log capture");
        }
        if (Options.logEcho)
            echo(fresh, count);
        if (Options.logStopLength == 0)
            continue;

        held += count;
        if (containsStop(buffer, held)) {
            closeLog();
            std::printf("Log capture termination string found.\n");
            runTrace().event("result", "0 log stop-string");
            return;
        }
        // Keep a tail one byte shorter than the stop string, so that one
        // split across reads is still found.
        uint32_t keep = held < Options.logStopLength ? held : Options.logStopLength - 1;
        std::memmove(buffer, buffer + held - keep, keep);
        held = keep;
    }
}
