// The station's Win32 layer on Linux against recording Win32 fakes: the
// board's console port (device name, exclusive open, settings through
// BuildCommDCB, timeouts, event delivery, reads and writes), the start of
// run.bat, the clock and files, and the window's scaling and text rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "FakeWin32Station.h"
#include "Win32Clock.h"
#include "Win32ConsolePort.h"
#include "Win32EditText.h"
#include "Win32Job.h"
#include "Win32Scaling.h"

namespace {

using Calls = std::vector<std::string>;

class Win32Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = FakeWin32();
        stationFake = FakeWin32Station();
    }
};

// ---- the console port ----

class ConsolePortTest : public Win32Test {
protected:
    // Port 3 opened with the station's settings, the record of it cleared.
    void openPort()
    {
        port.setPortNumber(3);
        ASSERT_TRUE(port.setSettings("115200,N,8,1"));
        ASSERT_EQ(port.open(), PortError::none);
        fake.calls.clear();
    }

    Win32ConsolePort port;
};

TEST_F(ConsolePortTest, OpensTheComDeviceOfThePortExclusively)
{
    port.setPortNumber(3);
    ASSERT_EQ(port.open(), PortError::none);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(fake.createName, "\\\\.\\com3");
    EXPECT_EQ(fake.createAccess, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(fake.createShare, 0u) << "not shared: blockxfer and other programs are kept out";
    EXPECT_EQ(fake.createDisposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(fake.createAttributes, 0u) << "synchronous, not overlapped";
}

TEST_F(ConsolePortTest, PortNumbersBelowOneNameNoDevice)
{
    for (int16_t number : {int16_t{0}, int16_t{-1}, int16_t{-32768}}) {
        port.setPortNumber(number);
        EXPECT_EQ(port.open(), PortError::noDevice) << number;
    }
    EXPECT_EQ(fake.calls, Calls{});
}

TEST_F(ConsolePortTest, OpenFailuresAreMappedAndLeaveThePortClosed)
{
    const struct {
        DWORD error;
        PortError result;
    } cases[] = {{ERROR_FILE_NOT_FOUND, PortError::noDevice}, {ERROR_PATH_NOT_FOUND, PortError::noDevice},
                 {ERROR_ACCESS_DENIED, PortError::busy},      {ERROR_SHARING_VIOLATION, PortError::busy},
                 {ERROR_INVALID_PARAMETER, PortError::other}};
    for (const auto& c : cases) {
        fake = FakeWin32();
        fake.failCall = "CreateFileA";
        fake.failError = c.error;
        port.setPortNumber(4);
        EXPECT_EQ(port.open(), c.result) << "error " << c.error;
        EXPECT_FALSE(port.isOpen());
        EXPECT_TRUE(fake.closed.empty());
    }
}

TEST_F(ConsolePortTest, SetUpKeepsTheDriversStateAndOverridesWhatWindowsRequires)
{
    fake.driverDcb.DCBlength = sizeof(DCB);
    fake.driverDcb.XonChar = 0x11;
    fake.driverDcb.XoffLim = 512;
    fake.driverDcb.fNull = 1;
    port.setPortNumber(3);
    ASSERT_TRUE(port.setSettings("115200,N,8,1"));
    fake.calls.clear();
    stationFake.dcbDefinitions.clear();
    stationFake.dcbHandedToBuild.clear();
    ASSERT_EQ(port.open(), PortError::none);

    EXPECT_EQ(fake.calls, (Calls{"CreateFileA", "SetupComm", "GetCommState", "BuildCommDCBA", "SetCommState",
                                 "SetCommTimeouts", "PurgeComm"}));
    EXPECT_EQ(stationFake.setupIn, 4096u);
    EXPECT_EQ(stationFake.setupOut, 4096u);
    ASSERT_EQ(stationFake.dcbDefinitions, std::vector<std::string>{"115200,N,8,1"});
    EXPECT_EQ(stationFake.dcbHandedToBuild[0].XonChar, 0x11) << "BuildCommDCB works on the driver's state";
    EXPECT_EQ(fake.dcbSet.BaudRate, builtBaudRate);
    EXPECT_EQ(fake.dcbSet.XonChar, 0x11);
    EXPECT_EQ(fake.dcbSet.XoffLim, 512);
    EXPECT_EQ(fake.dcbSet.fDtrControl, 1u);
    EXPECT_EQ(fake.dcbSet.fBinary, 1u);
    EXPECT_EQ(fake.dcbSet.fAbortOnError, 0u) << "a line error must not block later reads";
    EXPECT_EQ(fake.dcbSet.fNull, 0u) << "NUL bytes are the board's";

    EXPECT_EQ(fake.timeoutsSet.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(fake.timeoutsSet.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(fake.timeoutsSet.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(fake.timeoutsSet.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(fake.timeoutsSet.WriteTotalTimeoutConstant, Win32ConsolePort::writeTimeoutMs);
    ASSERT_EQ(fake.purgeFlags.size(), 1u);
    EXPECT_EQ(fake.purgeFlags[0], PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

TEST_F(ConsolePortTest, SettingsRefusedByBuildCommDcbKeepThePreviousOnes)
{
    stationFake.refusedDefinitions.insert("115200,Q,8,1");
    ASSERT_TRUE(port.setSettings("57600,E,7,2"));
    EXPECT_FALSE(port.setSettings("115200,Q,8,1"));
    port.setPortNumber(3);
    stationFake.dcbDefinitions.clear();
    ASSERT_EQ(port.open(), PortError::none);
    EXPECT_EQ(stationFake.dcbDefinitions, std::vector<std::string>{"57600,E,7,2"});
}

TEST_F(ConsolePortTest, WithoutSettingsThePortOpensAtTheControlsDefault)
{
    port.setPortNumber(3);
    ASSERT_EQ(port.open(), PortError::none);
    EXPECT_EQ(stationFake.dcbDefinitions, std::vector<std::string>{"9600,N,8,1"});
}

TEST_F(ConsolePortTest, AFailedSetUpStepClosesTheHandleAgain)
{
    for (const char* step : {"SetupComm", "GetCommState", "BuildCommDCBA", "SetCommState", "SetCommTimeouts",
                             "PurgeComm"}) {
        fake = FakeWin32();
        fake.failCall = step;
        port.setPortNumber(3);
        EXPECT_EQ(port.open(), PortError::other) << step;
        EXPECT_FALSE(port.isOpen()) << step;
        EXPECT_EQ(fake.closed.size(), 1u) << step;
    }
}

TEST_F(ConsolePortTest, ReopeningClosesTheOldHandleFirst)
{
    openPort();
    ASSERT_EQ(port.open(), PortError::none);
    ASSERT_EQ(fake.calls.size(), 8u);
    EXPECT_EQ(fake.calls[0], "CloseHandle");
    EXPECT_EQ(fake.calls[1], "CreateFileA");
}

TEST_F(ConsolePortTest, CloseAndDestroyCloseTheHandleOnce)
{
    {
        Win32ConsolePort scoped;
        scoped.setPortNumber(2);
        ASSERT_EQ(scoped.open(), PortError::none);
        scoped.close();
        scoped.close();
    }
    EXPECT_EQ(fake.closed.size(), 1u);
    {
        Win32ConsolePort scoped;
        scoped.setPortNumber(2);
        ASSERT_EQ(scoped.open(), PortError::none);
    }
    EXPECT_EQ(fake.closed.size(), 2u);
}

// The window polls; a receive event is due exactly when input is queued.
TEST_F(ConsolePortTest, ReceiveIsDueWhenAtLeastOneCharacterWaits)
{
    EXPECT_FALSE(port.receiveWaiting()) << "closed";
    EXPECT_EQ(fake.calls, Calls{});
    openPort();
    stationFake.inQueue = 0;
    EXPECT_FALSE(port.receiveWaiting());
    stationFake.inQueue = 1;
    EXPECT_TRUE(port.receiveWaiting());
    stationFake.inQueue = 4000;
    EXPECT_TRUE(port.receiveWaiting());
    fake.failCall = "ClearCommError";
    fake.failOccurrence = 4;
    EXPECT_FALSE(port.receiveWaiting()) << "a failed status query delivers nothing";
}

TEST_F(ConsolePortTest, ReadAllTakesEverythingWaitingWithoutBlocking)
{
    EXPECT_EQ(port.readAll(), "") << "closed";
    openPort();
    fake.script = {{true, {'U', '-', 'B'}}, {true, {'o', 'o', 't'}}, {true, {}}, {true, {'x'}}};
    EXPECT_EQ(port.readAll(), "U-Boot");
    EXPECT_EQ(fake.calls, (Calls{"ReadFile", "ReadFile", "ReadFile"}));
    EXPECT_EQ(fake.transferCounts[0], 512u);
    EXPECT_EQ(port.readAll(), "x");
}

TEST_F(ConsolePortTest, ReadAllStopsAtAFailedRead)
{
    openPort();
    fake.script = {{true, {'o', 'k'}}, {false, {}}, {true, {'l', 'a', 't', 'e', 'r'}}};
    EXPECT_EQ(port.readAll(), "ok");
}

TEST_F(ConsolePortTest, WriteIsWholeOrFailed)
{
    EXPECT_FALSE(port.write("\r\r\n")) << "closed";
    openPort();
    fake.script = {{true, {0, 0, 0}}};
    EXPECT_TRUE(port.write("\r\r\n"));
    EXPECT_EQ(fake.transferCounts.back(), 3u);
    fake.script = {{true, {0, 0}}};
    EXPECT_FALSE(port.write("\r\r\n")) << "the write timed out after two characters";
    fake.script = {{false, {}}};
    EXPECT_FALSE(port.write("\r\r\n"));
}

// ---- run.bat ----

TEST_F(Win32Test, JobCommandLineRunsTheBatchFileThroughCmd)
{
    EXPECT_EQ(jobCommandLine("run.bat"), "cmd.exe /c run.bat");
    EXPECT_EQ(jobCommandLine("my job.bat"), "cmd.exe /c \"my job.bat\"");
}

TEST_F(Win32Test, InterpreterIsComSpecElseCmdOfTheSystemFolder)
{
    stationFake.environment["ComSpec"] = "D:\\Windows\\system32\\cmd.exe";
    EXPECT_EQ(commandInterpreterPath(), "D:\\Windows\\system32\\cmd.exe");
    stationFake.environment.clear();
    EXPECT_EQ(commandInterpreterPath(), "C:\\windows\\system32\\cmd.exe");
    stationFake.environment["ComSpec"] = std::string(MAX_PATH + 5, 'x');
    EXPECT_EQ(commandInterpreterPath(), "C:\\windows\\system32\\cmd.exe") << "too long for the buffer";
}

TEST_F(Win32Test, JobStartsInANewShownConsoleInsideAJobObject)
{
    stationFake.environment["ComSpec"] = "C:\\windows\\system32\\cmd.exe";
    stationFake.fileAttributes["run.bat"] = 0x20;  // archive
    Win32Job job;
    ASSERT_TRUE(job.start("run.bat"));
    ASSERT_EQ(stationFake.processes.size(), 1u);
    const FakeWin32Station::ProcessCall& call = stationFake.processes[0];
    EXPECT_EQ(call.application, "C:\\windows\\system32\\cmd.exe");
    EXPECT_EQ(call.commandLine, "cmd.exe /c run.bat");
    EXPECT_EQ(call.flags, static_cast<DWORD>(CREATE_NEW_CONSOLE | CREATE_SUSPENDED));
    EXPECT_EQ(call.inheritHandles, FALSE) << "the port and files stay the station's";
    EXPECT_TRUE(call.attributesNull);
    EXPECT_TRUE(call.environmentNull);
    EXPECT_TRUE(call.directoryNull) << "runs in the station's working folder";
    EXPECT_EQ(call.startup.cb, sizeof(STARTUPINFOA));
    EXPECT_EQ(call.startup.dwFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
    EXPECT_EQ(call.startup.wShowWindow, SW_SHOWNORMAL);
    // In the job before its first instruction, so that nothing it starts escapes.
    EXPECT_EQ(stationFake.jobCalls, (Calls{"CreateJobObjectA", "AssignProcessToJobObject 83 81", "ResumeThread 82"}));
    EXPECT_EQ(fake.closed, (std::vector<HANDLE>{stationFake.threadHandle}));
    EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "Sleep"), 0) << "nothing waits for the job";
    EXPECT_FALSE(job.start("run.bat")) << "one job at a time";
}

TEST_F(Win32Test, JobThatIsNoFileOrCannotBeCreatedDoesNotStart)
{
    Win32Job job;
    EXPECT_FALSE(job.start("run.bat")) << "missing";
    stationFake.fileAttributes["run.bat"] = FILE_ATTRIBUTE_DIRECTORY;
    EXPECT_FALSE(job.start("run.bat")) << "a folder";
    EXPECT_TRUE(stationFake.processes.empty());
    stationFake.fileAttributes["run.bat"] = 0x20;
    fake.failCall = "CreateProcessA";
    EXPECT_FALSE(job.start("run.bat"));
    EXPECT_EQ(fake.closed, (std::vector<HANDLE>{stationFake.jobHandle}));
    fake = FakeWin32();
    fake.failCall = "AssignProcessToJobObject";
    EXPECT_FALSE(job.start("run.bat"));
    EXPECT_EQ(fake.terminatedWith, (std::vector<UINT>{1})) << "not left suspended";
    EXPECT_FALSE(job.running());
}

TEST_F(Win32Test, JobEndsWhenItsLastProcessHasEnded)
{
    stationFake.fileAttributes["run.bat"] = 0x20;
    Win32Job job;
    ASSERT_TRUE(job.start("run.bat"));
    int status = 7;
    stationFake.activeProcesses = 1;  // cmd.exe has gone, blockxfer.exe still runs
    stationFake.processEnded = true;
    EXPECT_FALSE(job.poll(status));
    stationFake.activeProcesses = 0;
    stationFake.exitCode = static_cast<DWORD>(-102);
    ASSERT_TRUE(job.poll(status));
    EXPECT_EQ(status, -102) << "blockxfer's code through cmd.exe";
    EXPECT_FALSE(job.running());
    EXPECT_EQ(fake.closed, (std::vector<HANDLE>{stationFake.threadHandle, stationFake.processHandle,
                                                 stationFake.jobHandle}));

    // Without a count of the job's processes, cmd.exe's end is the job's.
    ASSERT_TRUE(job.start("run.bat"));
    stationFake.canCountProcesses = false;
    stationFake.processEnded = false;
    EXPECT_FALSE(job.poll(status));
    stationFake.processEnded = true;
    EXPECT_TRUE(job.poll(status));
}

TEST_F(Win32Test, EndingAJobSendsCtrlCThenForcesAfterTheGrace)
{
    stationFake.fileAttributes["run.bat"] = 0x20;
    Win32Job job;
    ASSERT_TRUE(job.start("run.bat"));
    stationFake.jobCalls.clear();
    stationFake.tickCount = 0xfffff000u;  // the tick count wraps during the grace
    stationFake.activeProcesses = 2;
    job.terminate();
    job.terminate();
    EXPECT_EQ(stationFake.jobCalls,
              (Calls{"FreeConsole", "AttachConsole 4242", "GenerateConsoleCtrlEvent 0 0", "FreeConsole"}));
    EXPECT_NE(fake.consoleHandler, nullptr) << "the Ctrl+C to the job's console would end the station too";
    int status = 0;
    stationFake.tickCount += Win32Job::killGraceMs - 1;
    EXPECT_FALSE(job.poll(status));
    stationFake.tickCount += 1;
    ASSERT_TRUE(job.poll(status));
    EXPECT_EQ(stationFake.jobCalls.back(), "TerminateJobObject 83 1");
}

// ---- clock and files ----

TEST_F(Win32Test, FileTimesBecomeMillisecondsSince1970)
{
    constexpr uint64_t at1970 = 116444736000000000ull;
    EXPECT_EQ(fileTimeToUnixMs(at1970), 0);
    EXPECT_EQ(fileTimeToUnixMs(at1970 + 10000), 1);
    EXPECT_EQ(fileTimeToUnixMs(at1970 + 9999), 0);
    EXPECT_EQ(fileTimeToUnixMs(at1970 - 1), -1) << "floor, not towards zero";
    EXPECT_EQ(fileTimeToUnixMs(0), -11644473600000);
    EXPECT_EQ(fileTimeToUnixMs(at1970 + 17967098440000000ull), 1796709844000);
}

TEST_F(Win32Test, WallClockAndModifiedTimeShareTheScale)
{
    stationFake.systemTime = 116444736000000000ull + 17967098441234567ull;
    EXPECT_EQ(wallClockMs(), 1796709844123);
    stationFake.lastWriteTimes["LOG"] = 116444736000000000ull + 17967098420000000ull;
    int64_t modified = 0;
    ASSERT_TRUE(fileModifiedMs("LOG", modified));
    EXPECT_EQ(modified, 1796709842000);
    EXPECT_FALSE(fileModifiedMs("missing", modified));
    EXPECT_EQ(modified, 1796709842000) << "untouched";
}

TEST_F(Win32Test, DateAndTimeComeFromTheUsersShortFormats)
{
    EXPECT_EQ(localDateTimeText(), "08.12.2026 06:04:04");
    ASSERT_EQ(stationFake.dateCalls.size(), 1u);
    EXPECT_EQ(stationFake.dateCalls[0].locale, static_cast<LCID>(LOCALE_USER_DEFAULT));
    EXPECT_EQ(stationFake.dateCalls[0].flags, static_cast<DWORD>(DATE_SHORTDATE));
    EXPECT_TRUE(stationFake.dateCalls[0].whenNull) << "now";
    EXPECT_TRUE(stationFake.dateCalls[0].formatNull) << "the locale's own format";
    ASSERT_EQ(stationFake.timeCalls.size(), 1u);
    EXPECT_EQ(stationFake.timeCalls[0].locale, static_cast<LCID>(LOCALE_USER_DEFAULT));
    EXPECT_EQ(stationFake.timeCalls[0].flags, 0u);
    EXPECT_TRUE(stationFake.timeCalls[0].whenNull);

    stationFake.dateText = "";
    stationFake.timeText = "6:04:04 AM";
    EXPECT_EQ(localDateTimeText(), "6:04:04 AM") << "no stray blank when a part fails";
}

// ---- the window's numbers and texts ----

TEST(Win32Scaling, TwipsFollowTheScreensDpi)
{
    EXPECT_EQ(twipsToPixels(9510, 96), 634);
    EXPECT_EQ(twipsToPixels(4590, 96), 306);
    EXPECT_EQ(twipsToPixels(15, 96), 1);
    EXPECT_EQ(twipsToPixels(9510, 120), 793);  // 792.5, rounded up
    EXPECT_EQ(twipsToPixels(9510, 144), 951);
    EXPECT_EQ(twipsToPixels(7, 96), 0);
    EXPECT_EQ(twipsToPixels(8, 96), 1);
}

TEST(Win32Scaling, FontHeightsAreCharacterHeightsInPixels)
{
    EXPECT_EQ(fontHeightForCreateFont(975, 96), -13);
    EXPECT_EQ(fontHeightForCreateFont(1125, 96), -15);
    EXPECT_EQ(fontHeightForCreateFont(1425, 96), -19);
    EXPECT_EQ(fontHeightForCreateFont(2925, 96), -39);
    EXPECT_EQ(fontHeightForCreateFont(1125, 120), -19);  // 18.75
    EXPECT_EQ(fontHeightForCreateFont(975, 144), -20);   // 19.5
}

TEST(Win32Scaling, TimeDivisorIsAWholeNumberUpToAThousandElseOne)
{
    EXPECT_EQ(timeDivisorFrom(nullptr), 1u);
    EXPECT_EQ(timeDivisorFrom(""), 1u);
    EXPECT_EQ(timeDivisorFrom("5"), 5u);
    EXPECT_EQ(timeDivisorFrom("1000"), 1000u);
    for (const char* bad : {"1001", "0", "-3", "5x", " 5", "+5", "99999999999999999999"})
        EXPECT_EQ(timeDivisorFrom(bad), 1u) << bad;
}

TEST(Win32EditText, EveryLineEndBecomesCrLf)
{
    EXPECT_EQ(withCrLfLineEnds(""), "");
    EXPECT_EQ(withCrLfLineEnds("a\r\nb"), "a\r\nb");
    EXPECT_EQ(withCrLfLineEnds("a\nb\rc"), "a\r\nb\r\nc");
    EXPECT_EQ(withCrLfLineEnds("\r\r\n"), "\r\n\r\n") << "CR then CR LF: two line ends";
    EXPECT_EQ(withCrLfLineEnds("\n\r"), "\r\n\r\n") << "LF CR is not one line end";
    EXPECT_EQ(withCrLfLineEnds("end\r"), "end\r\n");
}

}  // namespace
