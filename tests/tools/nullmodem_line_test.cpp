// The cable's schedule, faults and command line, in virtual time.
#include <gtest/gtest.h>

#include <vector>

#include "FaultInjector.h"
#include "LineDirection.h"
#include "NullModemOptions.h"

namespace {
constexpr int64_t kByteNs115200 = 86805;  // 10 bits at 115200 baud
constexpr int64_t kMs = 1000000;

std::vector<uint8_t> arrivedBy(const LineDirection& line, int64_t nowNs)
{
    std::vector<uint8_t> out(line.queuedBytes());
    out.resize(line.peekArrived(nowNs, out.data(), out.size()));
    return out;
}

TEST(LineDirection, EachByteArrivesOneByteTimeAfterThePrevious)
{
    LineDirection line(115200, 0);
    const uint8_t data[4] = {1, 2, 3, 4};
    line.enter(data, 4, 0);
    EXPECT_EQ(line.nextArrivalNs(), kByteNs115200);
    EXPECT_EQ(line.lastArrivalNs(), 4 * kByteNs115200);
    EXPECT_TRUE(arrivedBy(line, kByteNs115200 - 1).empty());
    EXPECT_EQ(arrivedBy(line, kByteNs115200), (std::vector<uint8_t>{1}));
    EXPECT_EQ(arrivedBy(line, 3 * kByteNs115200 + 10), (std::vector<uint8_t>{1, 2, 3}));
    line.consume(2);
    EXPECT_EQ(line.nextArrivalNs(), 3 * kByteNs115200);
    EXPECT_EQ(arrivedBy(line, 4 * kByteNs115200), (std::vector<uint8_t>{3, 4}));
}

TEST(LineDirection, BytesWrittenWhileTheLineIsBusyWaitForIt)
{
    LineDirection line(38400, 0);
    const int64_t byteNs = 10 * 1000000000LL / 38400;
    const uint8_t first[3] = {1, 2, 3};
    const uint8_t second[1] = {9};
    line.enter(first, 3, 0);
    line.enter(second, 1, byteNs);  // line still busy with byte 2
    EXPECT_EQ(line.lastArrivalNs(), 4 * byteNs);
    line.consume(3);
    EXPECT_EQ(line.nextArrivalNs(), 4 * byteNs);
    // After an idle gap a byte starts when it is written.
    line.consume(1);
    line.enter(second, 1, 100 * kMs);
    EXPECT_EQ(line.nextArrivalNs(), 100 * kMs + byteNs);
}

TEST(LineDirection, LatencyDelaysArrivalButNotThroughput)
{
    LineDirection line(115200, 16);
    std::vector<uint8_t> data(1000, 0x55);
    line.enter(data.data(), data.size(), 5 * kMs);
    EXPECT_EQ(line.nextArrivalNs(), 5 * kMs + kByteNs115200 + 16 * kMs);
    EXPECT_EQ(line.lastArrivalNs(), 5 * kMs + 1000 * kByteNs115200 + 16 * kMs);
}

TEST(LineDirection, OnlyBytesNotYetSentCountAgainstTheTransmitBuffer)
{
    LineDirection line(115200, 16);
    std::vector<uint8_t> data(1000, 0x55);
    line.enter(data.data(), data.size(), 0);
    EXPECT_EQ(line.unsentBytes(0), 1000u);
    EXPECT_EQ(line.unsentBytes(400 * kByteNs115200), 600u);
    // Sent, but all still within the 16 ms of latency: nothing left to send.
    EXPECT_EQ(line.unsentBytes(1000 * kByteNs115200), 0u);
    EXPECT_EQ(line.queuedBytes(), 1000u);
    int64_t low = line.unsentBelowNs(256);
    EXPECT_EQ(line.unsentBytes(low - 1), 256u);
    EXPECT_EQ(line.unsentBytes(low), 255u);
    // Unthrottled, the queue itself is what is unsent.
    LineDirection fast(0, 1);
    fast.enter(data.data(), data.size(), 0);
    EXPECT_EQ(fast.unsentBytes(10 * kMs), 1000u);
}

TEST(LineDirection, UnthrottledBytesArriveTogetherAfterTheLatency)
{
    LineDirection line(0, 1);
    std::vector<uint8_t> data(5000, 0xAA);
    line.enter(data.data(), data.size(), 0);
    EXPECT_TRUE(arrivedBy(line, kMs - 1).empty());
    EXPECT_EQ(arrivedBy(line, kMs).size(), 5000u);
}

TEST(LineDirection, PeekStopsAtTheCallersLimitAcrossSegments)
{
    LineDirection line(0, 0);
    const uint8_t a[3] = {1, 2, 3};
    const uint8_t b[3] = {4, 5, 6};
    line.enter(a, 3, 0);
    line.enter(b, 3, 0);
    uint8_t out[4];
    ASSERT_EQ(line.peekArrived(0, out, 4), 4u);
    EXPECT_EQ(out[3], 4);
    line.consume(4);
    EXPECT_EQ(arrivedBy(line, 0), (std::vector<uint8_t>{5, 6}));
}

TEST(LineDirection, BytesKeepThePaceTheyEnteredWithAcrossARateChange)
{
    LineDirection line(115200, 0);
    const uint8_t slow[2] = {1, 2};
    const uint8_t fast[2] = {3, 4};
    const int64_t fastNs = 10 * 1000000000LL / 921600;
    line.enter(slow, 2, 0);
    line.setBaud(921600);
    line.enter(fast, 2, 0);
    // The fast bytes queue behind the slow ones, then go out at their own pace.
    EXPECT_EQ(line.lastArrivalNs(), 2 * kByteNs115200 + 2 * fastNs);
    EXPECT_EQ(arrivedBy(line, 2 * kByteNs115200 + fastNs), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(FaultInjector, GarbleChangesEveryByteWhateverTheFaults)
{
    FaultInjector off(DirectionFaults{}, 7);
    std::vector<uint8_t> bytes(4096);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> garbled = bytes;
    off.garble(garbled.data(), garbled.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        ASSERT_NE(garbled[i], bytes[i]) << i;
}

TEST(FaultInjector, CutPassesExactlyNBytesOverManyChunks)
{
    DirectionFaults faults;
    faults.hasCut = true;
    faults.cutAfterBytes = 1000;
    FaultInjector injector(faults, 1);
    size_t passed = 0;
    for (int i = 0; i < 30; ++i)
        passed += injector.passCut(37);
    EXPECT_EQ(passed, 1000u);
    EXPECT_EQ(injector.passCut(1), 0u);
}

TEST(FaultInjector, SameSeedSameDamageOtherSeedOther)
{
    DirectionFaults faults;
    faults.flipRate = 0.01;
    faults.dropRate = 0.01;
    faults.dupRate = 0.01;
    std::vector<uint8_t> in(20000);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<uint8_t>(i);
    auto run = [&](uint64_t seed) {
        FaultInjector injector(faults, seed);
        std::vector<uint8_t> out(2 * in.size());
        out.resize(injector.damage(in.data(), in.size(), out.data()));
        return out;
    };
    EXPECT_EQ(run(7), run(7));
    EXPECT_NE(run(7), run(8));
}

TEST(FaultInjector, AFlipChangesExactlyOneBit)
{
    DirectionFaults faults;
    faults.flipRate = 1.0;
    FaultInjector injector(faults, 3);
    std::vector<uint8_t> in(256, 0x00);
    std::vector<uint8_t> out(512);
    ASSERT_EQ(injector.damage(in.data(), in.size(), out.data()), 256u);
    for (size_t i = 0; i < 256; ++i)
        EXPECT_EQ(__builtin_popcount(out[i]), 1) << i;
}

struct Argv {
    explicit Argv(std::vector<std::string> args) : strings(std::move(args))
    {
        for (std::string& s : strings)
            pointers.push_back(&s[0]);
    }
    int argc() const { return static_cast<int>(pointers.size()); }
    char** argv() { return pointers.data(); }
    std::vector<std::string> strings;
    std::vector<char*> pointers;
};

TEST(NullModemOptions, ParsesEveryOption)
{
    Argv args({"nullmodem", "--a", "/tmp/a", "--b", "/tmp/b", "--baud", "115200", "--latency-ms", "16",
               "--trace", "t.txt", "--seed", "42", "--flip-ab", "1e-4", "--drop-ba", "0.5", "--dup-ab",
               "0.25", "--noise-ba", "1500:64", "--cut-ab", "4096", "--max-seconds", "30"});
    NullModemOptions o;
    std::string error;
    ASSERT_TRUE(parseNullModemOptions(args.argc(), args.argv(), o, error)) << error;
    EXPECT_EQ(o.baud, 115200u);
    EXPECT_FALSE(o.followRates);
    EXPECT_EQ(o.latencyMs, 16u);
    EXPECT_EQ(o.tracePath, "t.txt");
    EXPECT_EQ(o.seed, 42u);
    EXPECT_DOUBLE_EQ(o.ab.flipRate, 1e-4);
    EXPECT_DOUBLE_EQ(o.ba.dropRate, 0.5);
    EXPECT_DOUBLE_EQ(o.ab.dupRate, 0.25);
    EXPECT_EQ(o.ba.dupRate, 0.0);
    EXPECT_TRUE(o.ba.hasNoise);
    EXPECT_EQ(o.ba.noiseAtMs, 1500u);
    EXPECT_EQ(o.ba.noiseCount, 64u);
    EXPECT_FALSE(o.ab.hasNoise);
    EXPECT_TRUE(o.ab.hasCut);
    EXPECT_EQ(o.ab.cutAfterBytes, 4096u);
    EXPECT_FALSE(o.ba.hasCut);
    EXPECT_EQ(o.maxSeconds, 30u);
}

TEST(NullModemOptions, BaudFollowTakesTheEndsRates)
{
    Argv args({"nullmodem", "--a", "/tmp/a", "--b", "/tmp/b", "--baud", "follow"});
    NullModemOptions o;
    std::string error;
    ASSERT_TRUE(parseNullModemOptions(args.argc(), args.argv(), o, error)) << error;
    EXPECT_TRUE(o.followRates);
}

TEST(NullModemOptions, RefusesBadCommandLines)
{
    const std::vector<std::vector<std::string>> bad = {
        {"nullmodem", "--a", "/tmp/a"},
        {"nullmodem", "--a", "/tmp/a", "--b", "/tmp/a"},
        {"nullmodem", "--a", "/tmp/a", "--b", "/tmp/b", "--baud"},
        {"nullmodem", "--a", "/tmp/a", "--b", "/tmp/b", "--baud", "-1"},
        {"nullmodem", "--a", "/tmp/a", "--b", "/tmp/b", "--flip-ab", "1.5"},
        {"nullmodem", "--a", "/tmp/a", "--b", "/tmp/b", "--noise-ab", "100"},
        {"nullmodem", "--a", "/tmp/a", "--b", "/tmp/b", "--cut-ba", "12k"},
        {"nullmodem", "--a", "/tmp/a", "--b", "/tmp/b", "--speed", "9600"},
    };
    for (const auto& line : bad) {
        Argv args(line);
        NullModemOptions o;
        std::string error;
        EXPECT_FALSE(parseNullModemOptions(args.argc(), args.argv(), o, error)) << args.argc();
        EXPECT_FALSE(error.empty());
    }
}
}  // namespace
