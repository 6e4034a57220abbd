// The bench end to end: the simulated cable (nullmodem) with the simulated
// board (fakeboard) on one end and the station on the other, and a run.bat
// that runs the real blockxfer over the station's port. The station's timer
// runs at its real pace in one test and four times as fast in the other.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "QtStationHarness.h"
#include "StationOptions.h"
#include "QtStationProgram.h"

extern char** environ;

namespace {

// A helper program run for the length of a test, its output in a file.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& outputPath)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    bool started() const { return pid > 0; }

private:
    pid_t pid = -1;
};

struct BenchResult {
    std::vector<BoxWatcher::Seen> boxes;
    std::string text2;
    QColor text2Colour;
    std::string time1;
    std::string label1;
    bool reopened = false;
    std::string log;
    std::string boardSays;
};

// One board through the station: returns what the operator saw.
BenchResult runBench(ScratchDir& dir, uint32_t timeDivisor, const std::vector<std::string>& boardOptions,
                     CycleOptions cycle = CycleOptions())
{
    BenchResult result;
    const std::string line = dir.path() + "/com3";
    const std::string boardEnd = dir.path() + "/board";
    Child cable({NULLMODEM_PATH, "--a", line, "--b", boardEnd, "--baud", "115200", "--max-seconds", "300"},
                dir.path() + "/nullmodem.out");
    EXPECT_TRUE(cable.started());
    if (!waitUntil([&] { return dir.read("nullmodem.out").find("ready") != std::string::npos; }, 5000)) {
        ADD_FAILURE() << "nullmodem did not start: " << dir.read("nullmodem.out");
        return result;
    }
    setenv("COM3", line.c_str(), 1);

    std::string image(20000, '\0');
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>((i * 7919u) >> 3);
    dir.write("fw.bin", image);
    // The EXIT trap marks the moment the job has ended and released the
    // port, with blockxfer's status; the TERM trap keeps the shell to the
    // end when the station ends the job (a trapped signal, unlike an
    // ignored one, is blockxfer's own again).
    dir.write("run.bat", "trap 'echo term > job-signal' TERM\n"
                         "trap 'echo $? > job-done' EXIT\n"
                         "blockxfer -p3 -sy fw.bin -lfLOG 2> job.err\n");

    QtPlatformOptions options;
    options.timeDivisor = timeDivisor;
    options.endProgram = [](int status) { ADD_FAILURE() << "station ended with " << status; };
    QtStationProgram station(options, cycle);
    if (!station.start()) {
        ADD_FAILURE() << "station did not start";
        return result;
    }

    BoxWatcher watcher([&](QMessageBox&) {
        result.text2 = station.window.Text2->text().toStdString();
        result.text2Colour = station.window.Text2->palette().color(QPalette::Text);
        result.time1 = station.window.Time1->text().toStdString();
        result.label1 = station.window.Label1->text().toStdString();
        // The operator closes the box only after the job is done with the port.
        EXPECT_TRUE(waitUntil([&] { return dir.exists("job-done"); }, 30000)) << "blockxfer still running";
    });
    std::vector<std::string> boardArgs = {FAKEBOARD_PATH, "--port", boardEnd, "--banner-line-delay-ms", "50",
                                          "--max-seconds", "300"};
    boardArgs.insert(boardArgs.end(), boardOptions.begin(), boardOptions.end());
    Child board(boardArgs, dir.path() + "/fakeboard.out");

    const int cycleMs = static_cast<int>(5000 / timeDivisor + 110500 / timeDivisor);
    EXPECT_TRUE(waitUntil([&] { return station.window.Text2->text() == "Writing Program..."; }, 10000))
        << "no trigger; the station saw: " << station.window.txtReceive->toPlainText().toStdString();
    waitUntil([&] { return !watcher.seen().empty(); }, cycleMs + 20000);
    result.boxes = watcher.seen();
    result.reopened = waitUntil([&] { return station.platform.portIsOpen(); }, 5000);
    result.log = dir.read("LOG");
    result.boardSays = dir.read("fakeboard.out");
    return result;
}

class BenchTest : public ::testing::Test {
protected:
    BenchTest()
    {
        const std::string path = std::string(BLOCKXFER_DIR) + ":" + std::getenv("PATH");
        setenv("PATH", path.c_str(), 1);
    }
    ~BenchTest() override { unsetenv("COM3"); }
    ScratchDir dir;
};

TEST_F(BenchTest, GoodBoardIsProgrammedInRealTime)
{
    const BenchResult r = runBench(dir, 1, {});
    ASSERT_EQ(r.boxes.size(), 1u) << "LOG: " << r.log << "\nboard: " << r.boardSays;
    EXPECT_EQ(r.boxes[0].title.toStdString(), "PROGRAM COMPLETE...!!!");
    EXPECT_EQ(r.text2, "Program Success...");
    EXPECT_EQ(r.text2Colour, QColor(0, 128, 0));
    EXPECT_EQ(r.label1, "Please remove Main Board");
    EXPECT_GT(r.time1.size(), 8u) << r.time1;
    EXPECT_NE(r.boardSays.find("upload ok: 20000 bytes"), std::string::npos) << r.boardSays;
    EXPECT_NE(r.log.find("## CRC-32"), std::string::npos) << r.log;
    EXPECT_TRUE(r.reopened);
    EXPECT_NE(dir.read("stationlog.csv").find(",3,PASS,115."), std::string::npos) << dir.read("stationlog.csv");
}

TEST_F(BenchTest, SilentBoardIsAnError)
{
    const BenchResult r = runBench(dir, 4, {"--silent-after"});
    ASSERT_EQ(r.boxes.size(), 1u) << "LOG: " << r.log << "\nboard: " << r.boardSays;
    EXPECT_EQ(r.boxes[0].title.toStdString(), "PROGRAM ERROR");
    EXPECT_EQ(r.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(r.text2, "Program Error !!!!!!!! ");
    EXPECT_EQ(r.text2Colour, QColor(255, 0, 0));
    EXPECT_EQ(r.label1, "Please Check Mainbord");
    EXPECT_NE(r.boardSays.find("upload ok: 20000 bytes"), std::string::npos) << "the transfer itself worked";
    EXPECT_EQ(r.log, "");
    EXPECT_TRUE(r.reopened);
}

// The station's limit ends a blockxfer that waits for a board that never
// asks: by SIGTERM, on which blockxfer ends at once and frees the port.
TEST_F(BenchTest, AJobPastItsLimitIsEndedAndThePortIsFreeAgain)
{
    const uint32_t divisor = 4;
    const CycleOptions cycle = StationOptions{false, 40}.cycle();
    const BenchResult r = runBench(dir, divisor, {"--never-start"}, cycle);
    ASSERT_EQ(r.boxes.size(), 1u) << "board: " << r.boardSays;
    EXPECT_EQ(r.boxes[0].title.toStdString(), "PROGRAM ERROR");
    EXPECT_TRUE(r.reopened);
    EXPECT_EQ(dir.read("job-done"), "143\n") << "blockxfer's status for SIGTERM";
    EXPECT_NE(dir.read("job.err").find("interrupted by SIGTERM"), std::string::npos) << dir.read("job.err");
    const std::string record = dir.read("stationlog.csv");
    const size_t last = record.rfind(',');
    ASSERT_NE(record.find(",job did not end,"), std::string::npos) << record;
    // Ended by the SIGTERM at the limit, not by the SIGKILL 3 s after it.
    const double limitSeconds = static_cast<double>(cycle.jobLimitTick) * (Station::tickIntervalMs / divisor) / 1000.0;
    EXPECT_LT(std::atof(record.c_str() + last + 1), limitSeconds + 2.0) << record;
}

}  // namespace
