// The shared timeout loop: attempt counts, sleep accounting, no spinning.
#include <gtest/gtest.h>

#include <vector>

#include "PollLoop.h"
#include "ResultCodes.h"

namespace {

struct RecordingWaiter {
    std::vector<uint32_t> steps;
    bool reportReady = false;
    int finished = 0;
    bool waitStep(uint32_t ms)
    {
        steps.push_back(ms);
        return reportReady;
    }
    void finishStep() { ++finished; }
};

TEST(PollLoop, NothingMovedTakesTheWholeTimeoutInTenMsSteps)
{
    RecordingWaiter waiter;
    int attempts = 0;
    EXPECT_EQ(pollWithTimeout(25, [&] { return ++attempts, 0; }, waiter), 0);
    EXPECT_EQ(attempts, 4);
    EXPECT_EQ(waiter.steps, (std::vector<uint32_t>{10, 10, 5}));
}

TEST(PollLoop, ZeroTimeoutIsExactlyOneAttempt)
{
    RecordingWaiter waiter;
    int attempts = 0;
    EXPECT_EQ(pollWithTimeout(0, [&] { return ++attempts, 0; }, waiter), 0);
    EXPECT_EQ(attempts, 1);
    EXPECT_TRUE(waiter.steps.empty());
}

TEST(PollLoop, ReturnsAsSoonAsSomethingMoves)
{
    RecordingWaiter waiter;
    int attempts = 0;
    EXPECT_EQ(pollWithTimeout(1000, [&] { return ++attempts == 3 ? 7 : 0; }, waiter), 7);
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(waiter.steps.size(), 2u);
}

TEST(PollLoop, FailureAfterEmptyAttemptsEndsTheLoop)
{
    RecordingWaiter waiter;
    int attempts = 0;
    EXPECT_EQ(pollWithTimeout(1000, [&] { return ++attempts == 3 ? rc::PortRead : 0; }, waiter),
              rc::PortRead);
    EXPECT_EQ(attempts, 3);
}

TEST(PollLoop, ReadyButNothingMovedWaitsOutEveryStep)
{
    RecordingWaiter waiter;
    waiter.reportReady = true;
    int attempts = 0;
    EXPECT_EQ(pollWithTimeout(30, [&] { return ++attempts, 0; }, waiter), 0);
    EXPECT_EQ(attempts, 4);
    EXPECT_EQ(waiter.finished, 3);
}

}  // namespace
