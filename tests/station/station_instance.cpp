// One bench station as its own process, for the test that runs several at
// once: the real window, platform and cycle of flashstation in the working
// folder it is started in, with two things only a test has. Its timers and
// sleeps run --time-divisor times faster, and an automatic operator closes
// each result box once the job has left --job-done behind (so the port is
// free again), as the operator of a real bench waits for the job's window
// to close.
//
//   station_instance --time-divisor N --job-done FILE [--cycles N]
//
// After the given number of cycles, with the port open again, it prints
// what the operator saw and exits 0; on a start-up failure, or when the
// cycles do not end within a time limit, it exits non-zero.
#include <QApplication>
#include <QLineEdit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "QtStationHarness.h"
#include "StationProgram.h"

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
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--time-divisor") == 0)
            divisor = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        else if (std::strcmp(argv[i], "--cycles") == 0)
            cycles = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--job-done") == 0)
            jobDone = argv[i + 1];
    }
    if (divisor == 0 || cycles < 1 || jobDone.empty()) {
        std::fprintf(stderr, "usage: %s --time-divisor N --job-done FILE [--cycles N]\n", argv[0]);
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
    StationProgram station(options);
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

    const int cycleMs = static_cast<int>((5000 + 110500) / divisor);
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
    return 0;
}
