// The line trace: its file format, and the port wrapper that feeds it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "FakePort.h"
#include "LineTrace.h"
#include "ResultCodes.h"
#include "TracingSerialPort.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A trace file in a fresh temporary folder, read back line by line.
class TraceFileTest : public ::testing::Test {
protected:
    TraceFileTest()
    {
        char pattern[] = "/tmp/line-trace.XXXXXX";
        folder = mkdtemp(pattern);
        path = folder + "/trace";
    }
    ~TraceFileTest() override
    {
        trace.close();
        std::remove(path.c_str());
        rmdir(folder.c_str());
    }
    std::vector<std::string> lines() const
    {
        std::ifstream in(path);
        std::vector<std::string> all;
        for (std::string line; std::getline(in, line);)
            all.push_back(line);
        return all;
    }
    // The line without its time stamp, which must have six decimals.
    static std::string untimed(const std::string& line)
    {
        static const std::regex timed("^[0-9]+\\.[0-9]{6} (.*)$");
        std::smatch m;
        if (!std::regex_match(line, m, timed))
            return "(no time stamp) " + line;
        return m[1];
    }
    static std::string hexOf(const Bytes& bytes)
    {
        std::string hex;
        char pair[4];
        for (uint8_t b : bytes) {
            std::snprintf(pair, sizeof pair, " %02x", b);
            hex += pair;
        }
        return hex;
    }

    std::string folder;
    std::string path;
    LineTrace trace;
};

TEST_F(TraceFileTest, ChunksAndEventsAreOneLineEachWithTimeWordAndDetails)
{
    ASSERT_TRUE(trace.open(path.c_str()));
    const uint8_t frame[] = {0x01, 0xfe, 0x00, 0x1a};
    trace.chunk("out", frame, sizeof frame);
    const uint8_t reply = 0x15;
    trace.chunk("in", &reply, 1);
    trace.event("resend", "NAK %s block %u", "bad-crc", 7u);
    trace.event("timeout");
    char arg0[] = "blockxfer", arg1[] = "-sy", arg2[] = "my file.bin", arg3[] = "";
    char* argv[] = {arg0, arg1, arg2, arg3};
    trace.command(4, argv);
    trace.close();

    const std::vector<std::string> all = lines();
    ASSERT_EQ(all.size(), 6u);
    EXPECT_TRUE(std::regex_match(untimed(all[0]), std::regex("begin [0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z")))
        << all[0];
    EXPECT_EQ(untimed(all[1]), "out 01 fe 00 1a");
    EXPECT_EQ(untimed(all[2]), "in 15");
    EXPECT_EQ(untimed(all[3]), "resend NAK bad-crc block 7");
    EXPECT_EQ(untimed(all[4]), "timeout");
    EXPECT_EQ(untimed(all[5]), "command blockxfer -sy \"my file.bin\" \"\"");
}

TEST_F(TraceFileTest, ALongChunkStaysWholeOnOneLine)
{
    // Longer than the formatting pieces and than the largest frame.
    Bytes data(1152);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 37 + 11);
    ASSERT_TRUE(trace.open(path.c_str()));
    trace.chunk("in", data.data(), static_cast<uint32_t>(data.size()));
    trace.chunk("out", data.data(), 64);
    trace.close();

    const std::vector<std::string> all = lines();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(untimed(all[1]), "in" + hexOf(data));
    EXPECT_EQ(untimed(all[2]), "out" + hexOf(Bytes(data.begin(), data.begin() + 64)));
}

TEST_F(TraceFileTest, EachRunIsAppendedAndCountsItsOwnTime)
{
    ASSERT_TRUE(trace.open(path.c_str()));
    trace.event("result", "%d", -200);
    trace.close();
    ASSERT_TRUE(trace.open(path.c_str()));
    trace.event("result", "%d", 0);
    trace.close();

    const std::vector<std::string> all = lines();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(untimed(all[0]).substr(0, 6), "begin ");
    EXPECT_EQ(untimed(all[1]), "result -200");
    EXPECT_EQ(untimed(all[2]).substr(0, 6), "begin ");
    EXPECT_EQ(untimed(all[3]), "result 0");
    // The second run's clock starts again at its own open.
    EXPECT_LT(std::stod(all[2]), 1.0) << all[2];
}

TEST_F(TraceFileTest, AClosedOrUnopenableTraceWritesNothing)
{
    const std::string unreachable = folder + "/no/such/folder/trace";
    EXPECT_FALSE(trace.open(unreachable.c_str()));
    EXPECT_FALSE(trace.isOpen());
    const uint8_t byte = 0x43;
    trace.chunk("in", &byte, 1);
    trace.event("timeout");
    trace.event("result", "%d", 0);

    ASSERT_TRUE(trace.open(path.c_str()));
    trace.close();
    trace.chunk("in", &byte, 1);
    trace.event("timeout");
    EXPECT_EQ(lines().size(), 1u) << "only the begin line of the one open";
}

class TracingPortTest : public TraceFileTest {
protected:
    TracingPortTest() : traced(port, trace) {}
    FakePort port;
    TracingSerialPort traced;
};

TEST_F(TracingPortTest, RecordsExactlyWhatThePortMovedAndPassesResultsOn)
{
    ASSERT_TRUE(trace.open(path.c_str()));
    EXPECT_EQ(traced.open(3), 0);
    EXPECT_EQ(traced.configure(115200), 0);

    // A short write: only the bytes the port took are "out".
    port.writeLimit = 2;
    const uint8_t frame[] = {0xaa, 0xbb, 0xcc, 0xdd, 0xee};
    EXPECT_EQ(traced.write(frame, sizeof frame, 1000), 2);
    port.writeLimit = UINT32_MAX;
    EXPECT_EQ(traced.write(frame + 2, 3, 1000), 3);

    // A read returns what had arrived; one that times out leaves no line.
    port.deliver({0x06, 0x43}, 5);
    uint8_t buffer[16] = {};
    EXPECT_EQ(traced.read(buffer, sizeof buffer, 1000), 2);
    EXPECT_EQ(buffer[0], 0x06);
    EXPECT_EQ(traced.read(buffer, sizeof buffer, 1000), 0);

    // Failures keep their codes and leave a line.
    port.failReadAt = static_cast<int64_t>(port.readCalls);
    EXPECT_EQ(traced.read(buffer, sizeof buffer, 1000), rc::PortRead);
    port.failWriteAt = static_cast<int64_t>(port.writeCalls);
    port.failCode = rc::PortWrite;
    EXPECT_EQ(traced.write(frame, 1, 1000), rc::PortWrite);
    traced.close();
    trace.close();

    std::vector<std::string> seen;
    for (const std::string& line : lines())
        seen.push_back(untimed(line));
    const std::vector<std::string> expected = {
        seen.empty() ? "" : seen[0],  // begin
        "open port 3 -> 0",
        "configure 115200 baud -> 0",
        "out aa bb",
        "out cc dd ee",
        "in 06 43",
        "error read -> -105",
        "error write -> -104",
        "close",
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(port.allWritten(), Bytes({0xaa, 0xbb, 0xcc, 0xdd, 0xee}));
}

TEST_F(TracingPortTest, WithoutATraceThePortWorksAsBefore)
{
    const uint8_t frame[] = {0x01, 0x02};
    EXPECT_EQ(traced.write(frame, 2, 1000), 2);
    port.deliver({0x06});
    uint8_t byte = 0;
    EXPECT_EQ(traced.read(&byte, 1, 1000), 1);
    EXPECT_EQ(byte, 0x06);
    EXPECT_EQ(port.allWritten(), Bytes({0x01, 0x02}));
    EXPECT_TRUE(lines().empty());
}

}  // namespace
