// Log capture over the fake port: endings, stop string across reads, echo.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "FakePort.h"
#include "Flows.h"
#include "Options.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct CaptureTest : ::testing::Test {
    FakePort port;
    std::string path;
    std::string stop;

    void SetUp() override
    {
        Options = Settings{};
        path = std::string(::testing::TempDir()) + "capture_" + std::to_string(getpid());
        Options.logFileName = path.c_str();
        Options.logFile = std::fopen(path.c_str(), "w+b");
        ASSERT_NE(Options.logFile, nullptr);
    }
    void TearDown() override { unlink(path.c_str()); }
    void stopAt(const std::string& s)
    {
        stop = s;
        Options.logStopString = stop.c_str();
        Options.logStopLength = static_cast<uint32_t>(stop.size());
    }
    // Runs the capture; returns what it printed on standard output.
    std::string run()
    {
        testing::internal::CaptureStdout();
        captureLog(port);
        return testing::internal::GetCapturedStdout();
    }
    std::string logContents() const
    {
        std::string s;
        FILE* f = std::fopen(path.c_str(), "rb");
        int c;
        while ((c = std::fgetc(f)) != EOF)
            s.push_back(static_cast<char>(c));
        std::fclose(f);
        return s;
    }
};

TEST_F(CaptureTest, SilenceEndsTheCaptureAfterTheLogTimeout)
{
    Options.logTimeoutMs = 10000;
    port.deliver(text("line one\r\n"), 100);
    port.deliver(text("line two\r\n"), 9000);
    std::string out = run();
    EXPECT_EQ(out, "Capturing log to " + path + "...\nLog capture timeout.\n");
    EXPECT_EQ(logContents(), "line one\r\nline two\r\n");
    EXPECT_EQ(port.now(), 9000u + 10000u);  // the last bytes, then the whole timeout
    EXPECT_EQ(Options.logFile, nullptr);
}

TEST_F(CaptureTest, StopStringSplitAcrossManyReadsIsFound)
{
    stopAt("=> ");
    Options.logTimeoutMs = 1000;
    port.deliver(text("CRC ok\r\n="), 10);
    port.deliver(text(">"), 50);
    port.deliver(text(" tail"), 50);
    port.deliver(text("never read"), 5000);
    std::string out = run();
    EXPECT_NE(out.find("Log capture termination string found.\n"), std::string::npos);
    // The whole of the last read is in the log, bytes after the stop included.
    EXPECT_EQ(logContents(), "CRC ok\r\n=> tail");
}

TEST_F(CaptureTest, StopStringMustBeWhole)
{
    stopAt("done");
    Options.logTimeoutMs = 500;
    port.deliver(text("don"), 10);
    port.deliver(text("e?"), 2000);  // too late: silence came first
    std::string out = run();
    EXPECT_NE(out.find("Log capture timeout.\n"), std::string::npos);
    EXPECT_EQ(logContents(), "don");
}

TEST_F(CaptureTest, OneByteStopStringAndBytesAcrossTheBufferSize)
{
    stopAt("#");
    Options.logTimeoutMs = 1000;
    std::string big(3000, 'x');
    port.deliver(text(big), 1);
    port.deliver(text("#"), 10);
    run();
    EXPECT_EQ(logContents(), big + "#");
}

TEST_F(CaptureTest, LongStopStringSurvivesFullBuffers)
{
    std::string s(128, 'k');
    s[0] = '<';
    s[127] = '>';
    stopAt(s);
    Options.logTimeoutMs = 1000;
    std::string noise(2000, 'n');
    // Delivered one byte at a time, the stop string straddles many reads.
    port.deliver(text(noise + s), 1, 0);
    run();
    EXPECT_EQ(logContents(), noise + s);
}

TEST_F(CaptureTest, EchoDropsCarriageReturnsButTheLogKeepsThem)
{
    Options.logEcho = true;
    Options.logTimeoutMs = 100;
    port.deliver(text("a\r\nb\r\n"), 1);
    std::string out = run();
    EXPECT_NE(out.find("...\na\nb\nLog capture timeout.\n"), std::string::npos);
    EXPECT_EQ(logContents(), "a\r\nb\r\n");
}

TEST_F(CaptureTest, ZeroTimeoutEndsAtTheFirstEmptyRead)
{
    Options.logTimeoutMs = 0;
    port.deliver(text("now"));
    port.deliver(text("later"), 1);
    run();
    EXPECT_EQ(logContents(), "now");
}

TEST_F(CaptureTest, ReadErrorIsFatalWithItsCode)
{
    port.failReadAt = 1;
    port.deliver(text("partial"));
    EXPECT_EXIT(
        {
            captureLog(port);
        },
        ::testing::ExitedWithCode(256 - 105), "Error during log capture. Error -105\n");
    // The bytes read before the failure were written and flushed.
    EXPECT_EQ(logContents(), "partial");
}

}  // namespace
