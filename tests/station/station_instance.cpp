// One bench station as its own process, for the test that runs several at
// once: the real window, platform and cycle of flashstation in the working
// folder it is started in, with two things only a test has. Its timers and
// sleeps run --time-divisor times faster, and an automatic operator closes
// each result box once the job has left --job-done behind (so the port is
// free again), as the operator of a real bench waits for the job's window
// to close.
//
//   station_instance --time-divisor N --job-done FILE [--cycles N]
//                    [--early-result] [--job-limit SECONDS]
//
// The last two are the station's own options. After the given number of
// cycles, with the port open again, it prints what the operator saw and the
// CPU time it used itself, and exits 0; on a start-up failure, or when the
// cycles do not end within a time limit, it exits non-zero.
#include <QApplication>
#include <algorithm>
#include <QLineEdit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "QtStationHarness.h"
#include "StationOptions.h"
#include "QtStationProgram.h"

namespace {
constexpr int kJobLimitMs = 60000;

bool fileExists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}
}  // namespace

int main(int argc, char** argv)
{
    uint32_t divisor = 1;
    int cycles = 1;
    std::string jobDone;
    std::vector<const char*> stationArgs = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--time-divisor") == 0 && hasValue)
            divisor = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (std::strcmp(argv[i], "--cycles") == 0 && hasValue)
            cycles = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--job-done") == 0 && hasValue)
            jobDone = argv[++i];
        else if (std::strcmp(argv[i], "--job-limit") == 0 && hasValue) {
            stationArgs.push_back(argv[i]);
            stationArgs.push_back(argv[++i]);
        } else
            stationArgs.push_back(argv[i]);
    }
    StationOptions stationOptions;
    std::string message;
    if (divisor == 0 || cycles < 1 || jobDone.empty() ||
        parseStationArguments(static_cast<int>(stationArgs.size()), stationArgs.data(), stationOptions, message) !=
            StationArgs::run) {
        std::fprintf(stderr,
                     "%s\nusage: %s --time-divisor N --job-done FILE [--cycles N] [--early-result] "
                     "[--job-limit SECONDS]\n",
                     message.c_str(), argv[0]);
        return 2;
    }

    QApplication app(argc, argv);
    QtPlatformOptions options;
    options.timeDivisor = divisor;
    options.endProgram = [](int status) {
        std::printf("station ended with status %d\n", status);
        std::fflush(nullptr);
        std::_Exit(status == 0 ? 3 : status);
    };
    QtStationProgram station(options, stationOptions.cycle());
    bool started = false;
    // Watches from the start: a start-up failure shows its box too.
    BoxWatcher watcher([&](QMessageBox& box) {
        std::printf("box \"%s\", Text2 \"%s\"\n", box.windowTitle().toLocal8Bit().constData(),
                    station.window.Text2->text().toLocal8Bit().constData());
        if (started && !waitUntil([&] { return fileExists(jobDone); }, kJobLimitMs))
            std::printf("the job did not end\n");
        std::remove(jobDone.c_str());
        std::fflush(stdout);
    });
    if (!station.start())
        return 1;
    started = true;
    std::printf("port %s open\n", station.platform.portIsOpen() ? "is" : "is not");
    std::fflush(stdout);

    // A job may outlast the 100 ticks up to its limit.
    const int cycleMs = static_cast<int>((5000 + std::max<uint64_t>(110500, stationOptions.jobLimitSeconds * 1000ull)) /
                                         divisor);
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const size_t boxesBefore = watcher.seen().size();
        // The board may take its time to talk; the cycle then has its length.
        if (!waitUntil([&] { return watcher.seen().size() > boxesBefore; }, kJobLimitMs + cycleMs)) {
            std::printf("cycle %d: no result\n", cycle);
            return 4;
        }
        const bool reopened = waitUntil([&] { return station.platform.portIsOpen(); }, 5000);
        std::printf("cycle %d: port %s\n", cycle, reopened ? "reopened" : "not reopened");
        std::fflush(stdout);
        if (!reopened)
            return 5;
    }
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("cpu %.3f s\n", static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6);
    return 0;
}
