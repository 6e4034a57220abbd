// The console control handler, against the recording Win32 fakes: each
// event is recorded and named, a close event holds its thread while the
// main thread ends the process, and a second event ends it at once. (The
// port's waits share the polling loop, tested in poll_loop_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "FakeWin32.h"
#include "StopRequest.h"
#include "StopSignals.h"

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

}  // namespace
