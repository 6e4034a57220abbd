#include <gtest/gtest.h>

#include <string>

#include "CommSettings.h"
#include "FakeStationPlatform.h"
#include "ReadLastField.h"
#include "Station.h"

namespace {

struct FieldCase {
    const char* name;
    const char* content;
    const char* lastField;
};

class ReadLastFieldTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(ReadLastFieldTest, GivesTheLastField)
{
    FakeStationPlatform platform;
    platform.files["f"] = GetParam().content;
    std::string field = "stale";
    ASSERT_TRUE(readLastField(platform, "f", field));
    EXPECT_EQ(field, GetParam().lastField);
    EXPECT_EQ(platform.openFiles, 0) << "the file must be closed right after reading";
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadLastFieldTest,
    ::testing::Values(FieldCase{"Empty", "", ""},
                      FieldCase{"OneLineCrLf", "blockxfer -p3 -sy fw.bin -lfLOG\r\n", "blockxfer -p3 -sy fw.bin -lfLOG"},
                      FieldCase{"OneLineNoEnd", "blockxfer -p3 -sy fw.bin", "blockxfer -p3 -sy fw.bin"},
                      FieldCase{"LoneLineFeeds", "echo start\nblockxfer -p4 -sy a\n", "blockxfer -p4 -sy a"},
                      FieldCase{"LoneCarriageReturns", "one\rtwo\r", "two"},
                      FieldCase{"WordAfterIt", "blockxfer -p3 -sy fw.bin\r\npause\r\n", "pause"},
                      FieldCase{"BlankLineAfterIt", "blockxfer -p3 -sy fw.bin\r\n\r\n", ""},
                      FieldCase{"BlanksOnlyLineAfterIt", "blockxfer -p3\n   \n", ""},
                      FieldCase{"LeadingBlanksSkipped", "   \tblockxfer -p3", "blockxfer -p3"},
                      FieldCase{"TextAfterLastComma", "a,b, blockxfer -p5 -sy x\r\n", "blockxfer -p5 -sy x"},
                      FieldCase{"TrailingComma", "a,b,", ""},
                      FieldCase{"QuotedHoldsComma", "x,\"Flash, verified\"\r\n", "Flash, verified"},
                      FieldCase{"QuotedHoldsLineEnd", "\"two\r\nlines\"", "two\r\nlines"},
                      FieldCase{"TextAfterClosingQuoteDropped", "\"ok\" junk\r\n", "ok"},
                      FieldCase{"UnterminatedQuote", "\"runs to the end", "runs to the end"},
                      FieldCase{"EmptyQuotes", "text\r\n\"\"\r\n", ""}),
    [](const ::testing::TestParamInfo<FieldCase>& p) { return std::string(p.param.name); });

TEST(ReadLastField, MissingFileIsReported)
{
    FakeStationPlatform platform;
    std::string field;
    EXPECT_FALSE(readLastField(platform, "LOG", field));
}

struct DigitCase {
    const char* field;
    int16_t port;
};

class PortDigitTest : public ::testing::TestWithParam<DigitCase> {};

TEST_P(PortDigitTest, ThirteenthCharacterIsThePort)
{
    EXPECT_EQ(portNumberFromField(GetParam().field), GetParam().port) << GetParam().field;
}

INSTANTIATE_TEST_SUITE_P(Fields, PortDigitTest,
                         ::testing::Values(DigitCase{"blockxfer -p3 -sy fw.bin -lfLOG", 3},
                                           DigitCase{"blockxfer -p9", 9}, DigitCase{"blockxfer -p1", 1},
                                           DigitCase{"blockxfer -p0 -sy x", 0}, DigitCase{"blockxfer -pX", 0},
                                           DigitCase{"blockxfer -p", 0}, DigitCase{"pause", 0},
                                           DigitCase{"", 0}, DigitCase{"blockxfer -p12", 1}));

TEST(TriggerSearch, FindsAnywhereIgnoringCase)
{
    EXPECT_TRUE(containsIgnoringCase("Hit h... to stop", "h..."));
    EXPECT_TRUE(containsIgnoringCase("H...", "h..."));
    EXPECT_FALSE(containsIgnoringCase("h..", "h..."));
    EXPECT_FALSE(containsIgnoringCase("h.,.", "h..."));
    EXPECT_FALSE(containsIgnoringCase("", "h..."));
}

TEST(CommSettings, ParsesTheSerialControlForm)
{
    CommSettings s;
    ASSERT_TRUE(parseCommSettings("115200,N,8,1", s));
    EXPECT_EQ(s.baudRate, 115200u);
    EXPECT_EQ(s.parity, 'N');
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopBits, 1);
    ASSERT_TRUE(parseCommSettings("9600,e,7,2", s));
    EXPECT_EQ(s.baudRate, 9600u);
    EXPECT_EQ(s.parity, 'E');
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopBits, 2);
}

TEST(CommSettings, RefusesMalformedText)
{
    for (const char* bad : {"", "115200,N,8", "115200,N,8,1,", "115200,X,8,1", "fast,N,8,1", "0,N,8,1",
                            "115200,N,9,1", "115200,N,4,1", "115200,N,8,3", "115200,NN,8,1", "-5,N,8,1",
                            "115200,,8,1", "99999999999,N,8,1"}) {
        CommSettings s;
        s.baudRate = 42;
        EXPECT_FALSE(parseCommSettings(bad, s)) << bad;
        EXPECT_EQ(s.baudRate, 42u) << bad;
    }
}

}  // namespace
