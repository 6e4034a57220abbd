#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "FakeStationPlatform.h"
#include "Station.h"
#include "StationLog.h"
#include "WholeFile.h"

namespace {

struct FakeRecordClock : RecordClock {
    std::time_t wallNow() const override { return wall; }
    uint64_t steadyMs() const override { return steady; }
    std::time_t wall = 0;
    uint64_t steady = 0;
};

class StationLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/stationlog-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        path = dir + "/stationlog.csv";
        setenv("TZ", "XYZ-2", 1);  // two hours east of UTC
        tzset();
    }
    void TearDown() override
    {
        std::remove(path.c_str());
        rmdir(dir.c_str());
        unsetenv("TZ");
        tzset();
    }

    std::string dir;
    std::string path;
    FakeRecordClock clock;
};

TEST(CsvField, QuotesOnlyWhatCsvRequires)
{
    EXPECT_EQ(csvField("Flash verified"), "Flash verified");
    EXPECT_EQ(csvField(""), "");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"ok\""), "\"say \"\"ok\"\"\"");
    EXPECT_EQ(csvField("two\r\nlines"), "\"two\r\nlines\"");
    EXPECT_EQ(csvField(" padded"), "\" padded\"");
}

TEST_F(StationLogTest, IsoTimeCarriesTheOffset) { EXPECT_EQ(isoLocalTime(0), "1970-01-01T02:00:00+02:00"); }

TEST_F(StationLogTest, IsoTimeWestOfUtcWithHalfHours)
{
    setenv("TZ", "XYZ+3:30", 1);  // POSIX counts west as positive
    tzset();
    EXPECT_EQ(isoLocalTime(1796709844), "2026-12-08T02:34:04-03:30");
}

TEST_F(StationLogTest, AppendsOneLinePerResultAfterAHeader)
{
    StationLog log(path, clock);
    clock.wall = 1796709844;  // 2026-12-08T06:04:04Z
    clock.steady = 1000;
    log.armed();
    clock.steady += 5000;
    log.jobStarted();
    clock.steady += 31260;
    log.jobEnded();
    clock.steady += 79263;
    log.result(3, true, "Board: flash verified, 2 MiB", {true, 0});
    clock.steady += 20000;
    log.armed();
    clock.steady += 5000;
    log.jobStarted();
    clock.steady += 140000;
    log.jobEnded();
    log.result(3, false, "", {true, 154});
    log.armed();
    clock.steady += 5000;
    log.jobStarted();
    clock.steady += 1803100;
    log.jobEnded();
    log.result(3, false, "", JobOutcome());
    EXPECT_EQ(readWholeFile(path), "time,port,result,seconds,log,job exit,job seconds\r\n"
                              "2026-12-08T08:04:04+02:00,3,PASS,115.5,\"Board: flash verified, 2 MiB\",0,31.2\r\n"
                              "2026-12-08T08:04:04+02:00,3,FAIL,145.0,,154,140.0\r\n"
                              "2026-12-08T08:04:04+02:00,3,FAIL,1808.1,,job did not end,1803.1\r\n");
}

TEST_F(StationLogTest, AWriteFailureIsReportedAndTheCycleGoesOn)
{
    const std::string badPath = dir + "/no/such/dir/stationlog.csv";
    std::FILE* errors = std::tmpfile();
    ASSERT_NE(errors, nullptr);
    StationLog log(badPath, clock, errors);

    FakeStationPlatform platform;
    platform.files["run.bat"] = "blockxfer -p2 -sy fw.bin -lfLOG\r\n";
    platform.files["LOG"] = "ok";
    Station station(platform, log);
    ASSERT_TRUE(station.Form_Load());
    platform.boardSends(station, "h...");
    platform.advance(station, 100 * 1105);

    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].title, "PROGRAM COMPLETE...!!!");
    EXPECT_TRUE(platform.portIsOpen);
    EXPECT_EQ(platform.texts[Control::Label1], "Please Insert Main Board");
    std::rewind(errors);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, errors), nullptr);
    EXPECT_NE(std::string(line).find("stationlog.csv: cannot record the result"), std::string::npos) << line;
    std::fclose(errors);
}

}  // namespace
