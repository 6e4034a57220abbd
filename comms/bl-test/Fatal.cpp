#include "Fatal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "RunTrace.h"
#include "StopRequest.h"
#include "StopSignals.h"

void fatalError(int32_t code, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list forTrace;
    va_copy(forTrace, args);
    std::vfprintf(stderr, format, args);
    va_end(args);
    if (code < 0)
        std::fprintf(stderr, ". Error %d", code);
    std::fprintf(stderr, "\n");
    runTrace().eventv("fatal", format, forTrace);
    va_end(forTrace);
    runTrace().event("result", "%d", static_cast<int>(code));
    std::exit(code);
}

void interruptedExit(const char* activity)
{
    const int signal = stop::requestedSignal();
    std::fprintf(stderr, "%s interrupted by %s\n", activity, stopSignalName(signal));
    runTrace().event("interrupted", "%s", stopSignalName(signal));
    runTrace().event("result", "%d", stopExitStatus(signal));
    std::exit(stopExitStatus(signal));
}
