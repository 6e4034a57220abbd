// The console control handler and the port's waits on Windows, against the
// recording Win32 fakes: each event is recorded and named, a close event
// holds its thread while the main thread ends the process, a second event
// ends it at once, and a request ends a read at the next sleep.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "FakeWin32.h"
#include "ResultCodes.h"
#include "StopRequest.h"
#include "StopSignals.h"
#include "WindowsSerialPort.h"

namespace {

constexpr UINT kControlCExit = 0xC000013Au;

struct StopTest : ::testing::Test {
    void SetUp() override
    {
        fake = FakeWin32();
        stop::clear();
    }
    void TearDown() override { stop::clear(); }
};

TEST_F(StopTest, EachEventIsRecordedOnceAndASecondEndsTheProcess)
{
    const struct {
        DWORD event;
        const char* name;
        bool holdsItsThread;
    } events[] = {{CTRL_C_EVENT, "Ctrl+C", false},
                  {CTRL_BREAK_EVENT, "Ctrl+Break", false},
                  {CTRL_CLOSE_EVENT, "closing the console", true}};
    for (const auto& e : events) {
        SetUp();
        catchStopSignals();
        ASSERT_NE(fake.consoleHandler, nullptr);
        EXPECT_TRUE(fake.consoleHandler(e.event)) << e.name;
        EXPECT_EQ(std::string(stopSignalName(stop::requestedSignal())), e.name);
        EXPECT_TRUE(stop::blocksPort());
        EXPECT_EQ(std::count(fake.sleeps.begin(), fake.sleeps.end(), INFINITE), e.holdsItsThread ? 1 : 0);
        EXPECT_TRUE(fake.terminatedWith.empty());

        fake.consoleHandler(CTRL_C_EVENT);
        EXPECT_EQ(fake.terminatedWith, std::vector<UINT>{kControlCExit}) << e.name;
        EXPECT_EQ(static_cast<UINT>(stopExitStatus(stop::requestedSignal())), kControlCExit);
    }
}

TEST_F(StopTest, LogOffIsLeftToTheDefaultHandler)
{
    catchStopSignals();
    EXPECT_FALSE(fake.consoleHandler(CTRL_LOGOFF_EVENT));
    EXPECT_EQ(stop::requestedSignal(), 0);
}

TEST_F(StopTest, ARequestEndsAReadAtTheNextSleep)
{
    WindowsSerialPort port;
    ASSERT_EQ(port.open(3), rc::Ok);
    fake.calls.clear();
    fake.stopAtSleep = 2;
    uint8_t buffer[8];
    EXPECT_EQ(port.read(buffer, sizeof buffer, 1000), rc::Interrupted);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"ReadFile", "Sleep", "ReadFile", "Sleep"}));
    EXPECT_EQ(port.write(buffer, 1, 1000), rc::Interrupted);
    EXPECT_EQ(fake.calls.size(), 4u);
}

}  // namespace
