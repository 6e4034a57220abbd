// How long the line still needs for what was written, in virtual time.
#include <gtest/gtest.h>

#include "TransmitClock.h"

namespace {

constexpr uint64_t kMs = 1000000;

TEST(TransmitClock, AFrameTakesItsAirTimeAtTenBitsPerByte)
{
    TransmitClock clock;
    clock.setBaudRate(9600);
    clock.wrote(1029, 0);  // a 1K frame
    EXPECT_EQ(clock.msUntilIdle(0), 1072u);
    EXPECT_EQ(clock.msUntilIdle(1000 * kMs), 72u);
    EXPECT_EQ(clock.msUntilIdle(1072 * kMs), 0u);
    EXPECT_EQ(clock.msUntilIdle(5000 * kMs), 0u);
}

TEST(TransmitClock, WritesQueueBehindEachOtherButNotBehindIdleTime)
{
    TransmitClock clock;
    clock.setBaudRate(9600);
    clock.wrote(96, 0);
    clock.wrote(96, 50 * kMs);  // the first is still on the wire
    EXPECT_EQ(clock.msUntilIdle(50 * kMs), 150u);
    clock.wrote(96, 900 * kMs);  // the line was idle meanwhile
    EXPECT_EQ(clock.msUntilIdle(900 * kMs), 100u);
}

TEST(TransmitClock, NeverRunsFurtherAheadThanADriverBuffer)
{
    TransmitClock clock;
    clock.setBaudRate(115200);
    for (int i = 0; i < 1000; ++i)
        clock.wrote(1029, 0);  // a pty swallows all of it at once
    EXPECT_EQ(clock.msUntilIdle(0), 712u);  // 8192 bytes at 11520 bytes/s
}

TEST(TransmitClock, OffUntilABaudRateIsSetAndAfterAFailedOne)
{
    TransmitClock clock;
    clock.wrote(1029, 0);
    EXPECT_EQ(clock.msUntilIdle(0), 0u);
    clock.setBaudRate(9600);
    clock.wrote(1029, 0);
    clock.setBaudRate(0);
    EXPECT_EQ(clock.msUntilIdle(0), 0u);
}

}  // namespace
