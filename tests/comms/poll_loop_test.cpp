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

// A stop request ends the loop at the next step without another attempt;
// one standing before the call allows none; a cancel going out is let through.
TEST(PollLoop, StopRequestEndsTheWaitAtTheNextStep)
{
    struct StoppingWaiter : RecordingWaiter {
        bool waitStep(uint32_t ms)
        {
            if (steps.size() == 2)
                stop::record(2);
            return RecordingWaiter::waitStep(ms);
        }
    } waiter;
    int attempts = 0;
    EXPECT_EQ(pollWithTimeout(1000, [&] { return ++attempts, 0; }, waiter), rc::Interrupted);
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(pollWithTimeout(1000, [&] { return ++attempts, 1; }, waiter), rc::Interrupted);
    EXPECT_EQ(attempts, 3);
    {
        stop::CancelGoingOut letThrough;
        EXPECT_EQ(pollWithTimeout(1000, [&] { return ++attempts, 1; }, waiter), 1);
    }
    EXPECT_EQ(pollWithTimeout(0, [&] { return ++attempts, 1; }, waiter), rc::Interrupted);
    stop::clear();
}

// At 3000000 baud a byte takes 3333 ns; at 115200, 86805 ns.
TEST(GatherSleep, SleepsUntilShortlyBeforeTheRestCanHaveArrived)
{
    const uint64_t step = 10000000;
    // 1029-byte frame, 300 bytes there: 729 more take 2.43 ms at 3 Mbaud.
    EXPECT_EQ(gatherSleepNs(1029, 300, 3333, step), 729u * 3333 - kGatherMarginNs);
    // Never beyond the step: at 115200 the same rest takes 63 ms.
    EXPECT_EQ(gatherSleepNs(1029, 300, 86805, step), step);
    EXPECT_EQ(gatherSleepNs(1029, 300, 86805, 1234), 1234u);
    // A step that is already over.
    EXPECT_EQ(gatherSleepNs(1029, 300, 86805, 0), 0u);
}

TEST(GatherSleep, NothingToGather)
{
    const uint64_t step = 10000000;
    EXPECT_EQ(gatherSleepNs(1029, 1029, 3333, step), 0u);  // all there
    EXPECT_EQ(gatherSleepNs(100, 4000, 3333, step), 0u);   // more than asked for
    EXPECT_EQ(gatherSleepNs(1, 0, 86805, step), 0u);       // an ACK is taken at once
    EXPECT_EQ(gatherSleepNs(1029, 0, 0, step), 0u);        // rate unknown
    // A rest shorter than the margin: the tail is waited for as usual.
    EXPECT_EQ(gatherSleepNs(1029, 1000, 3333, step), 0u);
    EXPECT_EQ(gatherSleepNs(1029, 969, 3333, step), 0u);   // exactly the margin
    EXPECT_EQ(gatherSleepNs(1029, 968, 3333, step), 61u * 3333 - kGatherMarginNs);
}

}  // namespace
