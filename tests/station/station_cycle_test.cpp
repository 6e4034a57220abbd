#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CycleTimer.h"
#include "FakeStationPlatform.h"
#include "Station.h"
#include "StationOptions.h"

namespace {

constexpr const char* goodJob = "echo programming\r\nblockxfer -p3 -sy fw.bin -lfLOG\r\n";
constexpr uint64_t cycleMs = 100 * 1105;

std::string textEntry(Control control, const std::string& text)
{
    return "text:" + std::to_string(static_cast<int>(control)) + ":" + text;
}

// What the operator is shown at a result: the box, and the window behind it.
struct ResultShown {
    const char* title;
    bool critical;
    const char* label1;
    const char* text2;
    Colour text2Colour;
    const char* time1;  // the fake's date and time on success
};

const ResultShown passedShown = {"PROGRAM COMPLETE...!!!", false, "Please remove Main Board", "Program Success...",
                                 Colour::rgb(0, 128, 0), "12/8/2026 6:04:04 AM"};
const ResultShown failedShown = {"PROGRAM ERROR", true, "Please Check Mainbord", "Program Error !!!!!!!! ",
                                 Colour::rgb(255, 0, 0), " "};

const char* resultTitle(bool passed) { return (passed ? passedShown : failedShown).title; }

// The one result box of the cycle and what the window showed while it was open.
void expectResultBox(const FakeStationPlatform& platform, const ResultShown& expected)
{
    ASSERT_EQ(platform.boxes.size(), 1u);
    const FakeStationPlatform::Box& box = platform.boxes[0];
    EXPECT_EQ(box.title, expected.title);
    EXPECT_EQ(box.prompt, "Click for restart.");
    EXPECT_EQ(box.critical, expected.critical);
    EXPECT_EQ(box.texts.at(Control::Label1), expected.label1);
    EXPECT_EQ(box.texts.at(Control::Text2), expected.text2);
    EXPECT_EQ(box.text2Colour, expected.text2Colour);
    EXPECT_EQ(box.texts.at(Control::Time1), expected.time1) << "a date and time only on success";
}

class StationTest : public ::testing::Test {
protected:
    StationTest() : station(platform, recorder) { platform.files["run.bat"] = goodJob; }

    void load() { ASSERT_TRUE(station.Form_Load()); }

    // A failure that ends the program: one critical box naming `named`, a
    // non-zero exit, no port.
    void expectProgramEnded(const std::string& named)
    {
        ASSERT_EQ(platform.boxes.size(), 1u);
        EXPECT_TRUE(platform.boxes[0].critical);
        EXPECT_NE(platform.boxes[0].prompt.find(named), std::string::npos) << platform.boxes[0].prompt;
        EXPECT_GT(platform.exitStatus, 0);
        EXPECT_FALSE(platform.portIsOpen);
    }

    void expectStartFailure(const std::string& named)
    {
        EXPECT_FALSE(station.Form_Load());
        expectProgramEnded(named);
    }

    // Loaded, and the board has printed the trigger: the cycle is armed.
    uint64_t armed()
    {
        load();
        platform.boardSends(station, "U-Boot 2024.01\r\nHit h... to stop autoboot\r\n");
        return platform.nowMs;
    }

    FakeStationPlatform platform;
    FakeRecorder recorder;
    Station station;
};

// ---- start-up ----

TEST_F(StationTest, StartUpShowsThePortOfRunBatAndOpensIt)
{
    load();
    EXPECT_EQ(platform.texts[Control::Label4], "3");
    EXPECT_EQ(platform.portSettings, "115200,N,8,1");
    EXPECT_EQ(platform.portNumber, 3);
    EXPECT_TRUE(platform.portIsOpen);
    EXPECT_LT(platform.logIndex("settings:115200,N,8,1"), platform.logIndex("open"));
    EXPECT_LT(platform.logIndex("port:3"), platform.logIndex("open"));
    EXPECT_EQ(platform.openFiles, 0) << "run.bat stays open";
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_FALSE(platform.timer1.enabled());
    EXPECT_EQ(platform.texts[Control::Label1], "Please Insert Main Board");
    EXPECT_EQ(platform.texts[Control::Time1], " ");
    EXPECT_EQ(platform.exitStatus, -1);
}

TEST_F(StationTest, StartUpTakesTheDigitAfterTheLastComma)
{
    platform.files["run.bat"] = "set A=1,  blockxfer -p5 -sy fw.bin\r\n";
    load();
    EXPECT_EQ(platform.portNumber, 5);
    EXPECT_EQ(platform.texts[Control::Label4], "5");
}

TEST_F(StationTest, StartUpFailsOnALineAfterTheJob)
{
    platform.files["run.bat"] = "blockxfer -p3 -sy fw.bin -lfLOG\r\npause\r\n";
    expectStartFailure("Port 0");
    EXPECT_EQ(platform.texts[Control::Label4], "0");
}

TEST_F(StationTest, StartUpFailsOnABlankLineAfterTheJob)
{
    platform.files["run.bat"] = "blockxfer -p3 -sy fw.bin -lfLOG\r\n\r\n";
    expectStartFailure("Port 0");
}

TEST_F(StationTest, StartUpFailsOnPortDigitZero)
{
    platform.files["run.bat"] = "blockxfer -p0 -sy fw.bin -lfLOG\r\n";
    expectStartFailure("Port 0");
    EXPECT_EQ(platform.logIndex("open"), -1);
}

TEST_F(StationTest, StartUpFailsWithoutRunBat)
{
    platform.files.clear();
    expectStartFailure("run.bat");
    EXPECT_EQ(platform.logIndex("open"), -1);
}

TEST_F(StationTest, StartUpNamesAPortThatDoesNotExist)
{
    platform.openResult = PortError::noDevice;
    expectStartFailure("Port 3 names no serial port");
}

TEST_F(StationTest, StartUpNamesABusyPort)
{
    platform.openResult = PortError::busy;
    expectStartFailure("held by another program");
}

TEST_F(StationTest, ExitEndsAtOnceEvenWhileProgramming)
{
    armed();
    platform.advance(station, 30 * 1105);
    station.Command1_Click();
    EXPECT_EQ(platform.exitStatus, 0);
    EXPECT_TRUE(platform.boxes.empty());
}

// ---- the board talking ----

TEST_F(StationTest, EventsOtherThanReceiveAreIgnored)
{
    load();
    const size_t before = platform.log.size();
    platform.boardSends(station, "abc", commEvent::send);
    EXPECT_EQ(platform.log.size(), before);
    EXPECT_EQ(platform.sentToBoard, "");
    EXPECT_EQ(platform.texts[Control::txtReceive], "");
}

TEST_F(StationTest, EachChunkIsAnsweredBeforeItIsReadAndCollected)
{
    load();
    platform.texts[Control::Text2] = "stale";
    platform.boardSends(station, "DRAM: 256 MiB\r\n");
    const long write = platform.logIndex("write:\r\r\n");
    ASSERT_GE(write, 0);
    EXPECT_LT(write, platform.logIndex("read"));
    EXPECT_EQ(platform.sentToBoard, "\r\r\n");
    EXPECT_EQ(platform.texts[Control::Label1], "Don't remove before finish");
    EXPECT_EQ(platform.texts[Control::Text2], "");

    platform.boardSends(station, "NAND: 512 MiB\r\n");
    EXPECT_EQ(platform.sentToBoard, "\r\r\n\r\r\n");
    EXPECT_EQ(platform.texts[Control::txtReceive], "DRAM: 256 MiB\r\nNAND: 512 MiB\r\n");
    EXPECT_EQ(recorder.armedCount, 0);
    EXPECT_TRUE(platform.portIsOpen);
}

TEST_F(StationTest, TriggerSplitOverTwoEventsIsFoundOnTheSecond)
{
    load();
    platform.boardSends(station, "Hit h.");
    EXPECT_TRUE(platform.started.empty());
    EXPECT_TRUE(platform.portIsOpen);
    platform.boardSends(station, "..");
    EXPECT_EQ(platform.started, std::vector<std::string>{"run.bat"});
    EXPECT_EQ(platform.texts[Control::Text2], "Writing Program...");
}

TEST_F(StationTest, TriggerInCapitalsArmsTheCycle)
{
    load();
    platform.boardSends(station, "Press H... now");
    EXPECT_EQ(platform.started.size(), 1u);
}

TEST_F(StationTest, TriggerRepliesThenPausesWithThePortOpenThenHandsItOver)
{
    load();
    const uint64_t t0 = platform.nowMs;
    platform.boardSends(station, "h...");
    EXPECT_EQ(platform.sentToBoard, "\r\r\n");
    EXPECT_EQ(platform.colours[Control::Text2], Colour::systemDesktop());
    const long sleep = platform.logIndex("sleep:5000@open");
    const long close = platform.logIndex("close@" + std::to_string(t0 + 5000));
    const long start = platform.logIndex("start:run.bat@" + std::to_string(t0 + 5000));
    const long timerOn = platform.logIndex("timer:on");
    const long interval = platform.logIndex("interval:1105");
    ASSERT_GE(sleep, 0);
    EXPECT_LT(platform.logIndex(textEntry(Control::Text2, "Writing Program...")), sleep);
    EXPECT_LT(sleep, close);
    EXPECT_LT(close, start);
    EXPECT_LT(start, timerOn);
    EXPECT_LT(timerOn, interval);
    EXPECT_FALSE(platform.portIsOpen);
    EXPECT_EQ(recorder.armedCount, 1);
}

TEST_F(StationTest, JobThatCannotStartEndsTheProgram)
{
    load();
    platform.canStartProcess = false;
    platform.boardSends(station, "h...");
    expectProgramEnded("run.bat cannot be started");
    EXPECT_FALSE(platform.timer1.enabled());
}

TEST_F(StationTest, ChatterWithoutTriggerKeepsOnlyTheLatestText)
{
    load();
    const std::string chunk(4096, 'x');
    for (int i = 0; i < 20; ++i)
        platform.boardSends(station, chunk);
    EXPECT_EQ(platform.texts[Control::txtReceive].size(), Station::receiveTextLimit);
    platform.boardSends(station, "end h.");
    EXPECT_EQ(platform.texts[Control::txtReceive].substr(Station::receiveTextLimit - 6), "end h.");
    platform.boardSends(station, "..");
    EXPECT_EQ(platform.started.size(), 1u);
}

TEST_F(StationTest, TriggerEarlyInAHugeChunkStillArms)
{
    load();
    platform.boardSends(station, "h..." + std::string(Station::receiveTextLimit, 'x'));
    EXPECT_EQ(platform.started.size(), 1u);
}

// ---- programming and the result ----

TEST_F(StationTest, HundredthTickComes110500msAfterArming)
{
    platform.files["LOG"] = "Flash verified\r\n";
    const uint64_t armedAt = armed();
    platform.advance(station, cycleMs - 1);
    EXPECT_EQ(station.ticks(), 99);
    EXPECT_EQ(platform.texts[Control::Label2], "99");
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(platform.logIndex("file:LOG"), -1);
    platform.advance(station, 1);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].atMs, armedAt + cycleMs);
    EXPECT_EQ(platform.boxes[0].texts[Control::Label2], "100");

    std::vector<std::string> counts = platform.logged(textEntry(Control::Label2, ""));
    ASSERT_EQ(counts.size(), 101u);
    for (size_t i = 0; i < 100; ++i)
        EXPECT_EQ(counts[i], textEntry(Control::Label2, std::to_string(i + 1)));
    EXPECT_EQ(counts[100], textEntry(Control::Label2, ""));
}

TEST_F(StationTest, LogWithTextIsSuccessShownUntilTheBoxCloses)
{
    platform.files["LOG"] = "Sent OK\r\nBoard: flash verified\r\n";
    armed();
    platform.advance(station, cycleMs);
    expectResultBox(platform, passedShown);
    EXPECT_EQ(platform.openFiles, 0) << "LOG stays open";
    ASSERT_EQ(recorder.results.size(), 1u);
    EXPECT_TRUE(recorder.results[0].passed);
    EXPECT_EQ(recorder.results[0].portNumber, 3);
    EXPECT_EQ(recorder.results[0].lastField, "Board: flash verified");
}

struct FailingLog {
    const char* name;
    const char* content;
};

class FailingLogTest : public StationTest, public ::testing::WithParamInterface<FailingLog> {};

TEST_P(FailingLogTest, EmptyLastFieldIsFailure)
{
    platform.files["LOG"] = GetParam().content;
    armed();
    platform.advance(station, cycleMs);
    expectResultBox(platform, failedShown);
    ASSERT_EQ(recorder.results.size(), 1u);
    EXPECT_FALSE(recorder.results[0].passed);
    EXPECT_EQ(platform.exitStatus, -1);
    EXPECT_TRUE(platform.portIsOpen) << "reset after the box";
}

INSTANTIATE_TEST_SUITE_P(Logs, FailingLogTest,
                         ::testing::Values(FailingLog{"Empty", ""}, FailingLog{"BlankLastLine", "Flash OK\r\n\r\n"},
                                           FailingLog{"TrailingComma", "Flash,"}),
                         [](const ::testing::TestParamInfo<FailingLog>& p) { return std::string(p.param.name); });

TEST_F(StationTest, MissingLogEndsTheProgram)
{
    armed();
    platform.advance(station, cycleMs);
    expectProgramEnded("LOG");
    EXPECT_TRUE(recorder.results.empty());
}

// ---- a LOG left by an earlier board ----

TEST_F(StationTest, StaleLogWithASuccessLineIsAnError)
{
    platform.files["LOG"] = "Sent OK\r\nBoard: flash verified\r\n";
    armed();
    platform.modified["LOG"] = platform.wallClockMs() - 60000;
    platform.advance(station, cycleMs);
    expectResultBox(platform, failedShown);
    ASSERT_EQ(recorder.results.size(), 1u);
    EXPECT_FALSE(recorder.results[0].passed);
    EXPECT_EQ(recorder.results[0].lastField, "") << "the earlier board's field is not this board's";
    EXPECT_EQ(platform.exitStatus, -1);
    EXPECT_TRUE(platform.portIsOpen) << "reset after the box, as for any failure";
}

TEST_F(StationTest, FirstBoardsLogDoesNotPassTheNextBoard)
{
    platform.files["LOG"] = "Flash verified";
    armed();
    platform.advance(station, cycleMs);
    // The first job wrote LOG during its cycle; the second job fails before
    // it gets to LOG, the third writes it again.
    platform.modified["LOG"] = platform.wallClockMs() - 20000;
    platform.boardSends(station, "h...");
    platform.advance(station, cycleMs);
    platform.modified.erase("LOG");
    platform.boardSends(station, "h...");
    platform.advance(station, cycleMs);
    ASSERT_EQ(platform.boxes.size(), 3u);
    EXPECT_EQ(platform.boxes[0].title, resultTitle(true));
    EXPECT_EQ(platform.boxes[1].title, resultTitle(false));
    EXPECT_EQ(platform.boxes[2].title, resultTitle(true));
    EXPECT_EQ(platform.started.size(), 3u);
}

TEST_F(StationTest, LogWhoseTimeCannotBeReadEndsTheProgram)
{
    platform.files["LOG"] = "Flash verified";
    platform.canReadModifiedTimes = false;
    armed();
    platform.advance(station, cycleMs);
    expectProgramEnded("LOG");
    EXPECT_TRUE(recorder.results.empty());
}

// The job starts 1300 ms into a 2 s step of the wall clock. A file system
// that stamps in 2 s steps, rounding down, stamps a LOG written just after
// the start with the beginning of that step.
struct Stamp {
    const char* name;
    int64_t fromStartMs;
    bool fresh;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Stamp& stamp, std::ostream* out) { *out << stamp.name; }

class LogStampTest : public StationTest, public ::testing::WithParamInterface<Stamp> {};

TEST_P(LogStampTest, LogCountsOnlyWhenStampedInOrAfterTheStartsStep)
{
    platform.files["LOG"] = "Flash verified";
    armed();
    const int64_t startedMs = platform.wallClockMs();
    ASSERT_EQ((startedMs % 2000), 1300) << "the fake's clock no longer puts the start where this test needs it";
    platform.modified["LOG"] = startedMs + GetParam().fromStartMs;
    platform.advance(station, cycleMs);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].title, resultTitle(GetParam().fresh));
}

INSTANTIATE_TEST_SUITE_P(Stamps, LogStampTest,
                         ::testing::Values(Stamp{"LaterInTheCycle", 90000, true}, Stamp{"AtTheStart", 0, true},
                                           Stamp{"RoundedDownToTheStartsStep", -1300, true},
                                           Stamp{"JustBeforeTheStartsStep", -1301, false},
                                           Stamp{"OneStepEarlier", -2000, false},
                                           Stamp{"PreviousCycle", -115500, false}),
                         [](const ::testing::TestParamInfo<Stamp>& p) { return std::string(p.param.name); });

TEST(WrittenSince, GridStepsAreFloorsOnBothSidesOfTheEpoch)
{
    EXPECT_TRUE(writtenSince(10000, 10000, 2000)) << "start on a step";
    EXPECT_FALSE(writtenSince(9999, 10000, 2000));
    EXPECT_TRUE(writtenSince(10000, 11999, 2000));
    EXPECT_FALSE(writtenSince(9999, 11999, 2000));
    EXPECT_TRUE(writtenSince(-2000, -1, 2000)) << "before 1970 the step is still a floor";
    EXPECT_FALSE(writtenSince(-2001, -1, 2000));
    EXPECT_FALSE(writtenSince(-1, 0, 1)) << "a grain of 1 ms compares exactly";
}

TEST_F(StationTest, ResetReopensThePortShownAndClearsEverything)
{
    platform.files["LOG"] = "ok";
    armed();
    platform.texts[Control::Label4] = "7";
    platform.advance(station, cycleMs);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_TRUE(platform.portIsOpen);
    EXPECT_EQ(platform.portNumber, 7);
    EXPECT_FALSE(platform.timer1.enabled());
    EXPECT_EQ(platform.timer1.intervalMs(), 1105u);
    EXPECT_EQ(station.ticks(), 0);
    EXPECT_EQ(platform.texts[Control::Label2], "");
    EXPECT_EQ(platform.texts[Control::txtReceive], "");
    EXPECT_GT(platform.logIndex("redraw:" + std::to_string(static_cast<int>(Control::txtReceive))),
              platform.logIndex("box:PROGRAM COMPLETE...!!!"));
    EXPECT_EQ(platform.texts[Control::Time1], "");
    EXPECT_EQ(platform.texts[Control::Text2], "");
    EXPECT_EQ(platform.texts[Control::Label1], "Please Insert Main Board");

    platform.advance(station, 10 * cycleMs);
    EXPECT_EQ(station.ticks(), 0) << "no ticks while waiting for the next board";
}

TEST_F(StationTest, NextBoardRunsAFreshCycle)
{
    platform.files["LOG"] = "ok";
    armed();
    platform.advance(station, cycleMs);
    platform.boardSends(station, "second board\r\n");
    EXPECT_EQ(platform.started.size(), 1u) << "the first board's trigger is gone";
    platform.files["LOG"] = "";
    platform.boardSends(station, "h...");
    platform.advance(station, cycleMs);
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(platform.boxes[1].title, resultTitle(false));
    EXPECT_EQ(platform.started.size(), 2u);
}

TEST_F(StationTest, PortThatCannotBeReopenedEndsTheProgram)
{
    platform.files["LOG"] = "ok";
    armed();
    platform.openResult = PortError::busy;
    platform.advance(station, cycleMs);
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_NE(platform.boxes[1].prompt.find("cannot be reopened"), std::string::npos);
    EXPECT_TRUE(platform.boxes[1].critical);
    EXPECT_GT(platform.exitStatus, 0);
}

TEST_F(StationTest, TicksWhileTheBoxIsOpenOnlyCount)
{
    platform.files["LOG"] = "ok";
    armed();
    platform.onMessageBox = [this] {
        platform.onMessageBox = nullptr;
        platform.advance(station, 250 * 1105);
    };
    platform.advance(station, cycleMs);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.logged("file:LOG").size(), 1u);
    EXPECT_EQ(platform.logged(textEntry(Control::Label2, "350")).size(), 1u);
    EXPECT_EQ(station.ticks(), 0);
    EXPECT_TRUE(platform.portIsOpen);
}

TEST_F(StationTest, TickCountDoesNotOverflowWhileTheBoxStaysOpen)
{
    platform.files["LOG"] = "ok";
    armed();
    platform.onMessageBox = [this] {
        platform.onMessageBox = nullptr;
        platform.advance(station, 70000ull * 1105);
        EXPECT_EQ(station.ticks(), INT16_MAX);
    };
    platform.advance(station, cycleMs);
    EXPECT_EQ(platform.boxes.size(), 1u) << "the count came round to 100 again";
    EXPECT_EQ(platform.logged("file:LOG").size(), 1u);
}

// ---- the job's end decides when, LOG decides what ----

constexpr uint64_t never = FakeStationPlatform::neverEnds;

struct JobCase {
    const char* name;
    bool earlyResult;
    uint32_t jobLimitSeconds;
    uint64_t jobRunsMs;
    int exitStatus;
    const char* log;
    int64_t logStampFromStartMs;  // 0: written by the job
    uint64_t decidedAfterMs;      // from the job's start
    bool passed;
    bool ended;                   // ended by itself, or by the station
};

void PrintTo(const JobCase& c, std::ostream* out) { *out << c.name; }

class JobEndTest : public ::testing::TestWithParam<JobCase> {};

TEST_P(JobEndTest, TheResultWaitsForTheJob)
{
    const JobCase& c = GetParam();
    FakeStationPlatform platform;
    FakeRecorder recorder;
    StationOptions options;
    options.earlyResult = c.earlyResult;
    options.jobLimitSeconds = c.jobLimitSeconds;
    Station station(platform, recorder, options.cycle());
    platform.files["run.bat"] = goodJob;
    platform.files["LOG"] = c.log;
    platform.jobRunsMs = c.jobRunsMs;
    platform.jobExitStatus = c.exitStatus;
    ASSERT_TRUE(station.Form_Load());
    platform.boardSends(station, "h...");
    const uint64_t startedAt = platform.nowMs;
    if (c.logStampFromStartMs != 0)
        platform.modified["LOG"] = platform.wallClockMs() + c.logStampFromStartMs;
    std::string labelWhileWaiting;
    platform.onMessageBox = [&] { labelWhileWaiting = platform.texts[Control::Label1]; };

    platform.advance(station, c.decidedAfterMs - 1);
    EXPECT_TRUE(platform.boxes.empty()) << "decided too early";
    EXPECT_EQ(platform.texts[Control::Label1], "Don't remove before finish");
    platform.advance(station, 1);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].atMs - startedAt, c.decidedAfterMs);
    EXPECT_EQ(platform.boxes[0].title, resultTitle(c.passed));
    EXPECT_EQ(platform.boxes[0].texts.at(Control::Label2),
              std::to_string(std::max<uint64_t>(c.decidedAfterMs / 1105, c.earlyResult ? 0 : 100)));
    EXPECT_EQ(platform.logged("endJob@").size(), c.ended ? 0u : 1u);
    EXPECT_FALSE(platform.jobRunning) << "decided while the job still runs";
    EXPECT_TRUE(platform.portIsOpen) << "not reset for the next board";
    ASSERT_EQ(recorder.results.size(), 1u);
    EXPECT_EQ(recorder.results[0].job.ended, c.ended);
    EXPECT_EQ(recorder.results[0].job.exitStatus, c.ended ? c.exitStatus : 0);
    EXPECT_EQ(recorder.jobsEnded, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, JobEndTest,
    ::testing::Values(
        // name, early, limit s, runs ms, exit, LOG, stamp, decided after, passed, ended
        JobCase{"ShortJobAtTheHundredthTick", false, 1800, 30000, 0, "ok", 0, cycleMs, true, true},
        JobCase{"ShortJobEarly", true, 1800, 30000, 0, "ok", 0, 30000, true, true},
        JobCase{"LongJobWhenItEnds", false, 1800, 150000, 0, "ok", 0, 150000, true, true},
        JobCase{"LongJobEarly", true, 1800, 150000, 0, "ok", 0, 150000, true, true},
        JobCase{"FailedJobRecordsItsStatus", true, 1800, 9000, 154, "", 0, 9000, false, true},
        JobCase{"StaleLogEarly", true, 1800, 2000, 1, "Sent OK", -60000, 2000, false, true},
        JobCase{"StaleLogAfterALongJob", false, 1800, 130000, 1, "Sent OK", -60000, 130000, false, true},
        // 1629 ticks of 1105 ms: the first tick at or after 30 minutes.
        JobCase{"EndlessJobEndedAtThirtyMinutes", false, 1800, never, 0, "ok", 0, 1629 * 1105 + 1500, false,
                false},
        JobCase{"EndlessJobEndedAtItsLimitEarly", true, 200, never, 0, "ok", 0, 181 * 1105 + 1500, false, false}),
    [](const ::testing::TestParamInfo<JobCase>& p) { return std::string(p.param.name); });

TEST(CycleTimer, TicksOnlyWhenEnabledWithAnIntervalAndRestartsOnEveryChange)
{
    std::vector<uint32_t> runs;
    CycleTimer timer([&](uint32_t periodMs) { runs.push_back(periodMs); }, 100);
    timer.enable(true);
    timer.setInterval(1105);
    timer.setInterval(1105);
    timer.setInterval(0);
    timer.setInterval(50);
    timer.enable(false);
    EXPECT_EQ(runs, (std::vector<uint32_t>{0, 11, 11, 0, 1, 0})) << "divided by 100, never below 1 ms";
    EXPECT_FALSE(timer.enabled());
    EXPECT_EQ(timer.intervalMs(), 50u);
    EXPECT_EQ(timer.scaled(5000), 50u);
    EXPECT_EQ(CycleTimer([](uint32_t) {}, 0).scaled(5000), 5000u) << "a divisor of 0 counts as 1";
}

TEST(StationOptions, ParsesTheCycleOptions)
{
    struct Case {
        std::vector<const char*> args;
        StationArgs expected;
        bool early;
        uint32_t limit;
    };
    const Case cases[] = {
        {{}, StationArgs::run, false, 1800},
        {{"--early-result"}, StationArgs::run, true, 1800},
        {{"--job-limit", "90", "--early-result"}, StationArgs::run, true, 90},
        {{"--job-limit=36000"}, StationArgs::run, false, 36000},
        {{"--job-limit", "0"}, StationArgs::error, false, 1800},
        {{"--job-limit=36001"}, StationArgs::error, false, 1800},
        {{"--job-limit"}, StationArgs::error, false, 1800},
        {{"--job-limit", "9x"}, StationArgs::error, false, 1800},
        {{"--early"}, StationArgs::error, false, 1800},
        {{"--early-result", "--help"}, StationArgs::help, true, 1800},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"flashstation"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        StationOptions options;
        std::string message;
        const StationArgs got = parseStationArguments(static_cast<int>(argv.size()), argv.data(), options, message);
        const std::string line = argv.size() > 1 ? argv[1] : "(none)";
        EXPECT_EQ(got, c.expected) << line;
        EXPECT_EQ(got == StationArgs::error, !message.empty()) << line;
        if (got == StationArgs::run) {
            EXPECT_EQ(options.earlyResult, c.early) << line;
            EXPECT_EQ(options.jobLimitSeconds, c.limit) << line;
        }
    }
    EXPECT_EQ(jobLimitTickFor(1800), 1629);
    EXPECT_EQ(jobLimitTickFor(1), 1);
}

}  // namespace
