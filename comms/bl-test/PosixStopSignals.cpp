#include "StopSignals.h"

#include <csignal>
#include <unistd.h>

#include "StopRequest.h"

namespace {
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onStopSignal(int signal)
{
    if (stop::record(signal) != 0)
        _exit(stopExitStatus(signal));
}
}  // namespace

void catchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait that the signal breaks ends at once.
    action.sa_flags = 0;
    for (int signal : kStopSignals) {
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
}

const char* stopSignalName(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

int stopExitStatus(int signal)
{
    return 128 + signal;
}
