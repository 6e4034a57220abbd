// nullmodem: a simulated null-modem cable between two pty ends, with the
// timing of a real line and optional faults. See kNullModemUsage.
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/resource.h>

#include "MonotonicClock.h"
#include "NullModemOptions.h"
#include "PtyEnd.h"
#include "Relay.h"
#include "TraceWriter.h"

namespace {
volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t faultsRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

void toggleFaults(int)
{
    faultsRequested = !faultsRequested;
}

// The stop signals stay blocked except inside ppoll, so that one arriving
// between two loop passes still ends the next wait at once.
bool catchStopSignals(sigset_t& pollMask)
{
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) {
        sigaddset(&stopSignals, signal);
        action.sa_handler = signal == SIGUSR1 ? toggleFaults : requestStop;
        if (sigaction(signal, &action, nullptr) != 0)
            return false;
    }
    std::signal(SIGPIPE, SIG_IGN);
    return sigprocmask(SIG_BLOCK, &stopSignals, &pollMask) == 0;
}

double seconds(const struct timeval& tv)
{
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

void reportCpu(const MonotonicClock& clock)
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    double cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    double wall = static_cast<double>(clock.nowNs()) / 1e9;
    std::fprintf(stderr, "nullmodem: %.3f s CPU in %.3f s (%.2f %% of one core)\n", cpu, wall,
                 wall > 0 ? 100.0 * cpu / wall : 0.0);
}
}  // namespace

int main(int argc, char** argv)
{
    MonotonicClock clock;
    NullModemOptions options;
    std::string error;
    if (!parseNullModemOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "nullmodem: %s\n%s", error.c_str(), kNullModemUsage);
        return 2;
    }
    // The kernel may otherwise end each timed wait up to 50 us late, which
    // adds up over the two waits of every acknowledged block.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    sigset_t pollMask;
    if (!catchStopSignals(pollMask)) {
        std::perror("nullmodem: signals");
        return 1;
    }
    TraceWriter trace;
    PtyEnd a;
    PtyEnd b;
    if ((!options.tracePath.empty() && !trace.open(options.tracePath, error)) || !a.open(error) ||
        !b.open(error) || !a.publish(options.pathA, error) || !b.publish(options.pathB, error)) {
        std::fprintf(stderr, "nullmodem: %s\n", error.c_str());
        return 1;
    }
    std::fputs("ready\n", stdout);
    std::fflush(stdout);

    Relay relay(options, a, b, trace);
    int status = relay.run(stopRequested, faultsRequested, pollMask);
    a.unpublish();
    b.unpublish();
    reportCpu(clock);
    return status;
}
