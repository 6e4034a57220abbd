// Wire format: check values, frame layout and the header block's limits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Block.h"
#include "ResultCodes.h"

namespace {

std::vector<uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

struct CheckCase {
    const char* label;
    std::vector<uint8_t> data;
    uint16_t crc;
    int sum;  // -1 when not checked
};

class CheckValues : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckValues, MatchKnownVectors)
{
    const CheckCase& c = GetParam();
    EXPECT_EQ(crc16(c.data.data(), c.data.size()), c.crc);
    if (c.sum >= 0) {
        EXPECT_EQ(checksum8(c.data.data(), c.data.size()), c.sum);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, CheckValues,
    ::testing::Values(CheckCase{"digits", bytes("123456789"), 0x31C3, -1},
                      CheckCase{"abc", bytes("abc"), 0x9DD6, 0x26},
                      CheckCase{"zeros", std::vector<uint8_t>(128, 0), 0x0000, 0},
                      CheckCase{"sub", std::vector<uint8_t>(128, 0x1A), 0xF8B0, 0x00}),
    [](const auto& test) { return std::string(test.param.label); });

TEST(Frame, ShortBlockWithCrcAndChecksum)
{
    const uint8_t abc[] = {'a', 'b', 'c'};
    uint8_t frame[kMaxFrame];
    ASSERT_EQ(buildFrame(frame, 1, abc, 3, kShortBlock, true), 133u);
    EXPECT_EQ(frame[0], 0x01);
    EXPECT_EQ(frame[1], 0x01);
    EXPECT_EQ(frame[2], 0xFE);
    EXPECT_EQ(std::memcmp(frame + 3, "abc", 3), 0);
    for (int i = 6; i < 131; ++i)
        ASSERT_EQ(frame[i], 0x1A) << i;
    EXPECT_EQ(frame[131], 0x17);
    EXPECT_EQ(frame[132], 0x16);

    ASSERT_EQ(buildFrame(frame, 1, abc, 3, kShortBlock, false), 132u);
    EXPECT_EQ(frame[131], 0xD8);
}

TEST(Frame, LongBlockAndNumberWrap)
{
    std::vector<uint8_t> data(1024, 0x55);
    uint8_t frame[kMaxFrame];
    ASSERT_EQ(buildFrame(frame, 256, data.data(), 1024, kLongBlock, true), 1029u);
    EXPECT_EQ(frame[0], 0x02);
    EXPECT_EQ(frame[1], 0x00);  // block 256 goes out as 0
    EXPECT_EQ(frame[2], 0xFF);
    ASSERT_EQ(buildFrame(frame, 511, data.data(), 1024, kLongBlock, false), 1028u);
    EXPECT_EQ(frame[1], 0xFF);
    EXPECT_EQ(frame[2], 0x00);
}

TEST(Block0, NameIsLoweredAndSeparatorsTurned)
{
    uint8_t block[kShortBlock];
    ASSERT_EQ(makeBlock0(1500, block, "DIR\\FW.BIN"), rc::Ok);
    const char expected[] = "dir/fw.bin\0" "1500";
    EXPECT_EQ(std::memcmp(block, expected, sizeof expected - 1), 0);
    for (size_t i = sizeof expected - 1; i < kShortBlock; ++i)
        ASSERT_EQ(block[i], 0) << i;
    EXPECT_EQ(crc16(block, kShortBlock), 0xD7BF);
}

TEST(Block0, EmptyFileHasSizeZero)
{
    uint8_t block[kShortBlock];
    ASSERT_EQ(makeBlock0(0, block, "x"), rc::Ok);
    EXPECT_EQ(block[2], '0');
    EXPECT_EQ(block[3], 0);
}

TEST(Block0, FitsOnlyWithinTheFirst126Bytes)
{
    uint8_t block[kShortBlock];
    std::string name124(124, 'n');
    EXPECT_EQ(makeBlock0(9, block, name124.c_str()), rc::Ok);
    EXPECT_EQ(block[125], '9');
    EXPECT_EQ(block[126], 0);
    EXPECT_EQ(makeBlock0(10, block, name124.c_str()), rc::HeaderTooLong);
    for (size_t length : {125u, 126u, 127u, 200u}) {
        std::string name(length, 'n');
        EXPECT_EQ(makeBlock0(0, block, name.c_str()), rc::HeaderTooLong) << length;
    }
    std::string name115(115, 'n');  // 115 + NUL + 10 digits = 126
    EXPECT_EQ(makeBlock0(4294967295u, block, name115.c_str()), rc::Ok);
    std::string name116(116, 'n');
    EXPECT_EQ(makeBlock0(4294967295u, block, name116.c_str()), rc::HeaderTooLong);
}

}  // namespace
