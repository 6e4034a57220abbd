// The real window and Qt platform against a pty as the board's console,
// with the cycle's timer and pause divided by 100 (a cycle takes 1.1 s).
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "QtStationHarness.h"
#include "StationOptions.h"
#include "QtStationPlatform.h"
#include "QtStationProgram.h"
#include "WindowLayout.h"

namespace {

constexpr int patienceMs = 5000;
// X11 has no desktop colour; the window takes Windows' default.
const QColor desktopBlue(58, 110, 165);

class QtStationTest : public ::testing::Test {
protected:
    QtStationTest() { setenv("COM3", board.devicePath().c_str(), 1); }
    ~QtStationTest() override { unsetenv("COM3"); }

    QtStationProgram& program()
    {
        if (!station) {
            QtPlatformOptions options;
            options.timeDivisor = timeDivisor;
            options.endProgram = [this](int status) { exitStatus = status; };
            station = std::make_unique<QtStationProgram>(options, cycle);
        }
        return *station;
    }

    void startWithJob(const std::string& jobBody)
    {
        dir.write("run.bat", fakeJobScript(jobBody));
        ASSERT_TRUE(program().start());
        ASSERT_TRUE(waitUntil([&] { return board.portIsOpenAtStation(); }, patienceMs));
    }

    // The board prints `text`; true once the station has answered CR CR LF.
    bool boardPrintsAndIsAnswered(const std::string& text)
    {
        board.print(text);
        std::string answer;
        waitUntil([&] { return (answer += board.takeReceived()).size() >= 3; }, patienceMs);
        return answer == "\r\r\n";
    }

    std::string shown(QLabel* label) const { return label->text().toStdString(); }
    QColor text2Colour() const { return station->window.Text2->palette().color(QPalette::Text); }

    ScratchDir dir;
    PtyBoard board;
    uint32_t timeDivisor = 100;
    CycleOptions cycle;
    std::unique_ptr<QtStationProgram> station;
    int exitStatus = -1;
};

TEST_F(QtStationTest, WindowMatchesTheLayoutTable)
{
    startWithJob("");
    QtStationWindow& w = program().window;
    EXPECT_EQ(w.windowTitle().toStdString(), "Program Update Firmware Rev.00");
    EXPECT_EQ(w.size(), QSize(634, 306));
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(255, 255, 192));
    EXPECT_EQ(w.windowIcon().pixmap(48, 48).size(), QSize(48, 48));
    ASSERT_FALSE(w.Picture1->pixmap().isNull());
    EXPECT_EQ(w.Picture1->pixmap().size(), QSize(57, 57));

    // Every control by its name, where the layout table puts it.
    for (const ControlLayout& c : frmmain.controls) {
        const QWidget* control = w.findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(control, nullptr) << c.name;
        EXPECT_EQ(control->geometry(), QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15)) << c.name;
    }

    EXPECT_EQ(w.Label3->text().toStdString(), "Com. Port :");
    EXPECT_EQ(w.Label4->text().toStdString(), "3");
    EXPECT_EQ(w.Command1->text().toStdString(), "EXIT");
    EXPECT_EQ(w.Label1->text().toStdString(), "Please Insert Main Board");
    EXPECT_EQ(w.Time1->text().toStdString(), " ");
    EXPECT_TRUE(w.Label2->text().isEmpty());
    EXPECT_TRUE(w.Text2->text().isEmpty());
    EXPECT_TRUE(w.txtReceive->toPlainText().isEmpty());

    // 9.75, 11.25, 14.25 and 29.25 points at 96 dpi.
    EXPECT_EQ(w.Label3->font().pixelSize(), 13);
    EXPECT_TRUE(w.Label3->font().bold());
    EXPECT_EQ(w.txtReceive->font().pixelSize(), 15);
    EXPECT_EQ(w.Command1->font().pixelSize(), 19);
    EXPECT_FALSE(w.Command1->font().bold());
    EXPECT_EQ(w.Text2->font().pixelSize(), 19);
    EXPECT_TRUE(w.Text2->font().bold());
    EXPECT_EQ(w.Label2->font().pixelSize(), 39);
    if (access("/usr/share/wine/fonts/tahoma.ttf", R_OK) == 0) {
        EXPECT_EQ(QFontInfo(w.Label1->font()).family().toStdString(), "Tahoma");
    }

    EXPECT_EQ(w.Text2->palette().color(QPalette::Base), QColor(192, 255, 255));
    EXPECT_EQ(text2Colour(), desktopBlue);
    EXPECT_EQ(w.Label4->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(w.txtReceive->palette().color(QPalette::Base), QColor(191, 205, 219)) << "inactive title bar";
}

TEST_F(QtStationTest, FocusStartsInTheBoardTextAndFollowsTheOrder)
{
    startWithJob("");
    QtStationWindow& w = program().window;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(QApplication::focusWidget(), w.txtReceive);
    QWidget* order[] = {w.Text2, w.Command1, w.Picture1, w.txtReceive};
    for (QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
}

TEST_F(QtStationTest, GoodBoardRunsAWholeCycleAndTheNextBoardIsHeard)
{
    startWithJob("  printf 'Sent OK\\r\\nBoard: flash verified\\r\\n' > LOG");
    QtStationWindow& w = program().window;

    ASSERT_TRUE(boardPrintsAndIsAnswered("U-Boot 2024.01\r\nDRAM: 256 MiB\r\n"));
    ASSERT_TRUE(waitUntil([&] { return w.txtReceive->toPlainText().contains("DRAM: 256 MiB"); }, patienceMs));
    EXPECT_EQ(shown(w.Label1), "Don't remove before finish");
    EXPECT_TRUE(w.Text2->text().isEmpty());

    bool portClosedDuringBox = false;
    QColor colourDuringBox;
    std::string text2DuringBox, label1DuringBox, time1DuringBox;
    int countDuringBox = 0;
    BoxWatcher watcher([&](QMessageBox&) {
        portClosedDuringBox = !board.portIsOpenAtStation();
        colourDuringBox = text2Colour();
        text2DuringBox = w.Text2->text().toStdString();
        label1DuringBox = shown(w.Label1);
        time1DuringBox = shown(w.Time1);
        countDuringBox = w.Label2->text().toInt();
    });

    // The answer to the trigger goes out before the pause and the hand-over.
    ASSERT_TRUE(boardPrintsAndIsAnswered("Hit h... to stop autoboot\r\n"));
    ASSERT_TRUE(waitUntil([&] { return !board.portIsOpenAtStation(); }, patienceMs)) << "port not released";
    ASSERT_TRUE(waitUntil([&] { return dir.exists("job-started"); }, patienceMs)) << "run.bat not started";
    EXPECT_EQ(dir.read("job-started"), dir.path() + " -p3 -sy fw.bin -lfLOG\n");
    EXPECT_EQ(w.Text2->text().toStdString(), "Writing Program...");
    EXPECT_EQ(text2Colour(), desktopBlue);
    EXPECT_TRUE(program().platform.timerIsActive());
    EXPECT_EQ(program().platform.timerIntervalMs(), 11);
    ASSERT_TRUE(waitUntil([&] { return w.Label2->text() == "50"; }, patienceMs));

    ASSERT_TRUE(waitUntil([&] { return !watcher.seen().empty(); }, patienceMs));
    EXPECT_EQ(watcher.seen()[0].title.toStdString(), "PROGRAM COMPLETE...!!!");
    EXPECT_EQ(watcher.seen()[0].text.toStdString(), "Click for restart.");
    EXPECT_EQ(watcher.seen()[0].icon, QMessageBox::NoIcon);
    EXPECT_TRUE(portClosedDuringBox);
    EXPECT_EQ(text2DuringBox, "Program Success...");
    EXPECT_EQ(colourDuringBox, QColor(0, 128, 0));
    EXPECT_EQ(label1DuringBox, "Please remove Main Board");
    EXPECT_GT(time1DuringBox.size(), 8u) << "no date and time: '" << time1DuringBox << "'";
    EXPECT_GE(countDuringBox, 100);

    // The reset after the box.
    ASSERT_TRUE(waitUntil([&] { return board.portIsOpenAtStation(); }, patienceMs)) << "port not reopened";
    EXPECT_EQ(shown(w.Label1), "Please Insert Main Board");
    EXPECT_TRUE(w.Label2->text().isEmpty());
    EXPECT_TRUE(w.Text2->text().isEmpty());
    EXPECT_TRUE(w.Time1->text().isEmpty());
    EXPECT_TRUE(w.txtReceive->toPlainText().isEmpty());
    EXPECT_FALSE(program().platform.timerIsActive());
    EXPECT_EQ(exitStatus, -1);
    const std::string record = dir.read("stationlog.csv");
    EXPECT_NE(record.find(",3,PASS,"), std::string::npos) << record;
    EXPECT_NE(record.find(",Board: flash verified,0,"), std::string::npos) << record;

    ASSERT_TRUE(boardPrintsAndIsAnswered("next board\r\n"));
    ASSERT_TRUE(waitUntil([&] { return w.txtReceive->toPlainText() == "next board\n"; }, patienceMs));
    EXPECT_EQ(watcher.seen().size(), 1u);
}

TEST_F(QtStationTest, EmptyLogShowsTheErrorInRed)
{
    startWithJob("  : > LOG");
    QtStationWindow& w = program().window;
    QColor colourDuringBox;
    std::string text2DuringBox, label1DuringBox;
    BoxWatcher watcher([&](QMessageBox&) {
        colourDuringBox = text2Colour();
        text2DuringBox = w.Text2->text().toStdString();
        label1DuringBox = shown(w.Label1);
    });
    ASSERT_TRUE(boardPrintsAndIsAnswered("Press H..."));
    ASSERT_TRUE(waitUntil([&] { return !watcher.seen().empty(); }, patienceMs));
    EXPECT_EQ(watcher.seen()[0].title.toStdString(), "PROGRAM ERROR");
    EXPECT_EQ(watcher.seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(text2DuringBox, "Program Error !!!!!!!! ");
    EXPECT_EQ(colourDuringBox, QColor(255, 0, 0));
    EXPECT_EQ(label1DuringBox, "Please Check Mainbord");
    ASSERT_TRUE(waitUntil([&] { return board.portIsOpenAtStation(); }, patienceMs));
    EXPECT_NE(dir.read("stationlog.csv").find(",3,FAIL,"), std::string::npos);
    EXPECT_EQ(exitStatus, -1);
}

TEST_F(QtStationTest, LogLeftByAnEarlierBoardIsAnError)
{
    // The job fails before it gets to LOG (blockxfer opens the port first),
    // so LOG stays as an earlier board left it.
    dir.write("LOG", "Sent OK\r\nBoard: flash verified\r\n");
    const timespec tenMinutesAgo[2] = {{time(nullptr) - 600, 0}, {time(nullptr) - 600, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, "LOG", tenMinutesAgo, 0), 0);
    startWithJob("  exit 1");
    BoxWatcher watcher;
    ASSERT_TRUE(boardPrintsAndIsAnswered("Hit h..."));
    ASSERT_TRUE(waitUntil([&] { return !watcher.seen().empty(); }, patienceMs));
    EXPECT_EQ(watcher.seen()[0].title.toStdString(), "PROGRAM ERROR");
    EXPECT_TRUE(dir.exists("job-started"));
    ASSERT_TRUE(waitUntil([&] { return board.portIsOpenAtStation(); }, patienceMs));
    EXPECT_NE(dir.read("stationlog.csv").find(",3,FAIL,"), std::string::npos);
}

TEST_F(QtStationTest, TriggerSplitOverTwoChunksArmsOnTheSecond)
{
    startWithJob("  echo ok > LOG");
    ASSERT_TRUE(boardPrintsAndIsAnswered("Hit h."));
    EXPECT_TRUE(board.portIsOpenAtStation());
    EXPECT_FALSE(dir.exists("job-started"));
    ASSERT_TRUE(boardPrintsAndIsAnswered(".."));
    EXPECT_TRUE(waitUntil([&] { return dir.exists("job-started"); }, patienceMs));
}

// ---- the job's end decides when ----

struct JobRun {
    const char* name;
    bool earlyResult;
    uint32_t jobLimitSeconds;
    const char* jobBody;
    const char* box;
    const char* recorded;  // what stationlog.csv says of the job
};

void PrintTo(const JobRun& run, std::ostream* out) { *out << run.name; }

class QtJobTest : public QtStationTest, public ::testing::WithParamInterface<JobRun> {};

// The cycle is 1.1 s long here; every job outlasts or undercuts it by far.
TEST_P(QtJobTest, TheResultComesOnlyOnceTheJobHasEnded)
{
    const JobRun& run = GetParam();
    timeDivisor = run.earlyResult ? 10 : 100;
    cycle = StationOptions{run.earlyResult, run.jobLimitSeconds}.cycle();
    startWithJob(run.jobBody);
    bool jobWasGone = false;
    BoxWatcher watcher([&](QMessageBox&) {
        // The job's shell was the leader of its group: none of the group is left.
        const pid_t group = static_cast<pid_t>(std::atol(dir.read("job-pid").c_str()));
        jobWasGone = !program().platform.jobIsRunning() && group > 0 && kill(-group, 0) != 0;
    });
    QElapsedTimer sinceTrigger;
    ASSERT_TRUE(boardPrintsAndIsAnswered("h..."));
    sinceTrigger.start();
    ASSERT_TRUE(waitUntil([&] { return !watcher.seen().empty(); }, 15000));
    const qint64 boxAfterMs = sinceTrigger.elapsed();
    EXPECT_EQ(watcher.seen()[0].title.toStdString(), run.box);
    EXPECT_TRUE(jobWasGone) << "decided while the job ran";
    if (run.earlyResult) {
        EXPECT_LT(boxAfterMs, 5000) << "not early: the cycle of 100 ticks takes 11 s here";
    }
    ASSERT_TRUE(waitUntil([&] { return board.portIsOpenAtStation(); }, patienceMs)) << "port not reopened";
    const std::string record = dir.read("stationlog.csv");
    EXPECT_NE(record.find(run.recorded), std::string::npos) << record;
    EXPECT_EQ(exitStatus, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, QtJobTest,
    ::testing::Values(
        // The shell is gone at once; what it left behind writes LOG 2 s later.
        JobRun{"OutlivedByItsChild", false, 1800,
               "  echo $$ > job-pid; (sleep 2; echo ok > LOG) > /dev/null 2>&1 &",
               "PROGRAM COMPLETE...!!!", ",ok,0,2."},
        JobRun{"EarlyResult", true, 1800, "  echo $$ > job-pid; sleep 0.3; echo ok > LOG", "PROGRAM COMPLETE...!!!", ",ok,0,0."},
        // Deaf to SIGTERM, so it takes the SIGKILL that follows.
        JobRun{"EndedAtItsLimit", false, 3, "  echo $$ > job-pid; echo ok > LOG; trap '' TERM; sleep 60",
               "PROGRAM ERROR", ",,job did not end,3."}),
    [](const ::testing::TestParamInfo<JobRun>& p) { return std::string(p.param.name); });

// Run by ctest under xvfb-run with the fake terminal of fake_terminal/ first
// on the PATH; skipped offscreen, where no terminal is used.
TEST_F(QtStationTest, ATerminalThatReturnsAtOnceOnlyShowsTheJob)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs a display; ctest runs it as station_terminal_job";
    ASSERT_TRUE(terminalAvailable()) << "no x-terminal-emulator on the PATH";
    const std::string shown = dir.path() + "/terminal-showed";
    setenv("FAKE_TERMINAL_OUTPUT", shown.c_str(), 1);
    startWithJob("  echo $$ > job-pid; echo 'progress of the job'; sleep 2; echo ok > LOG");
    bool jobWasGone = false;
    BoxWatcher watcher([&](QMessageBox&) {
        const pid_t group = static_cast<pid_t>(std::atol(dir.read("job-pid").c_str()));
        jobWasGone = group > 0 && kill(-group, 0) != 0;
    });
    ASSERT_TRUE(boardPrintsAndIsAnswered("h..."));
    ASSERT_TRUE(waitUntil([&] { return !watcher.seen().empty(); }, 10000));
    EXPECT_EQ(watcher.seen()[0].title.toStdString(), "PROGRAM COMPLETE...!!!");
    EXPECT_TRUE(jobWasGone) << "the terminal's return was taken for the job's end";
    EXPECT_NE(dir.read("terminal-showed").find("progress of the job"), std::string::npos) << dir.read("terminal-showed");
    unsetenv("FAKE_TERMINAL_OUTPUT");
}

// ---- failures that end the program ----

class QtStationFailureTest : public QtStationTest {
protected:
    // Runs start-up that must fail; returns the box's text.
    std::string startMustFail()
    {
        BoxWatcher watcher;
        EXPECT_FALSE(program().start());
        EXPECT_FALSE(program().window.isVisible());
        EXPECT_GT(exitStatus, 0);
        if (watcher.seen().size() != 1)
            return "(no box)";
        EXPECT_EQ(watcher.seen()[0].icon, QMessageBox::Critical);
        return watcher.seen()[0].text.toStdString();
    }
};

TEST_F(QtStationFailureTest, NoRunBat)
{
    EXPECT_NE(startMustFail().find("run.bat"), std::string::npos);
}

TEST_F(QtStationFailureTest, PortDigitZero)
{
    dir.write("run.bat", "blockxfer -p0 -sy fw.bin -lfLOG\n");
    EXPECT_NE(startMustFail().find("Port 0"), std::string::npos);
}

TEST_F(QtStationFailureTest, NoSuchDevice)
{
    dir.write("run.bat", "blockxfer -p3 -sy fw.bin -lfLOG\n");
    setenv("COM3", "/dev/no-such-tty", 1);
    EXPECT_NE(startMustFail().find("Port 3 names no serial port"), std::string::npos);
}

TEST_F(QtStationFailureTest, PortHeldByAnotherProgram)
{
    dir.write("run.bat", "blockxfer -p3 -sy fw.bin -lfLOG\n");
    const int holder = open(board.devicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_NE(startMustFail().find("held by another program"), std::string::npos);
    close(holder);
}

TEST_F(QtStationFailureTest, LogMissingOnTheHundredthTick)
{
    startWithJob("  rm -f LOG");
    BoxWatcher watcher;
    ASSERT_TRUE(boardPrintsAndIsAnswered("h..."));
    ASSERT_TRUE(waitUntil([&] { return exitStatus >= 0; }, patienceMs));
    EXPECT_GT(exitStatus, 0);
    ASSERT_EQ(watcher.seen().size(), 1u);
    EXPECT_NE(watcher.seen()[0].text.toStdString().find("LOG"), std::string::npos);
    EXPECT_FALSE(program().platform.timerIsActive());
}

TEST_F(QtStationFailureTest, PortStillHeldAtTheReset)
{
    startWithJob("  echo ok > LOG");
    int holder = -1;
    // The job "forgets" to release the port: lock it while the station has let go.
    BoxWatcher watcher([&](QMessageBox& box) {
        if (box.windowTitle() == "PROGRAM COMPLETE...!!!") {
            holder = open(board.devicePath().c_str(), O_RDWR | O_NOCTTY);
            flock(holder, LOCK_EX | LOCK_NB);
        }
    });
    ASSERT_TRUE(boardPrintsAndIsAnswered("h..."));
    ASSERT_TRUE(waitUntil([&] { return exitStatus >= 0; }, patienceMs));
    EXPECT_GT(exitStatus, 0);
    ASSERT_EQ(watcher.seen().size(), 2u);
    EXPECT_NE(watcher.seen()[1].text.toStdString().find("cannot be reopened"), std::string::npos);
    close(holder);
}

TEST_F(QtStationTest, ExitEndsTheProgramWithStatusZero)
{
    startWithJob("");
    program().window.Command1->click();
    EXPECT_EQ(exitStatus, 0);
    EXPECT_FALSE(board.portIsOpenAtStation());
}

}  // namespace
