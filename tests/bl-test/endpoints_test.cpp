// File endpoints: progress lines, size cuts, the open rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "FileEndpoints.h"
#include "ResultCodes.h"
#include "WholeFile.h"

namespace {

std::string tempPath(const char* tag)
{
    return std::string(::testing::TempDir()) + "endpoints_" + tag + "_" + std::to_string(getpid());
}

TEST(InFile, ProgressBeforeEachReadAndFinalLine)
{
    std::string path = tempPath("in");
    std::vector<uint8_t> data(3000, 'd');
    FILE* w = std::fopen(path.c_str(), "wb");
    std::fwrite(data.data(), 1, data.size(), w);
    std::fclose(w);

    FILE* f = std::fopen(path.c_str(), "rb");
    InFile in(f, 3000);
    uint8_t buf[1024];
    testing::internal::CaptureStdout();
    EXPECT_EQ(in.read(buf, 1024), 1024);
    EXPECT_EQ(in.read(buf, 1024), 1024);
    EXPECT_EQ(in.read(buf, 1024), 952);
    EXPECT_EQ(in.read(buf, 1024), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "       0 bytes of 3000 -   0%\r"
              "    1024 bytes of 3000 -  34%\r"
              "    2048 bytes of 3000 -  68%\r"
              "    3000 bytes of 3000 - 100%\r");
    std::fclose(f);
    unlink(path.c_str());
}

TEST(InFile, EmptyFileAndAFileThatShrank)
{
    std::string path = tempPath("empty");
    std::fclose(std::fopen(path.c_str(), "wb"));
    FILE* f = std::fopen(path.c_str(), "rb");
    uint8_t buf[1024];
    testing::internal::CaptureStdout();
    InFile empty(f, 0);
    EXPECT_EQ(empty.read(buf, 1024), 0);
    InFile shrunk(f, 10);  // measured 10 bytes, finds none
    EXPECT_EQ(shrunk.read(buf, 1024), rc::SourceFile);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.substr(0, 27), "       0 bytes of 0 -   0%\r");
    std::fclose(f);
    unlink(path.c_str());
}

TEST(InFile, PercentageDoesNotOverflow)
{
    testing::internal::CaptureStdout();
    printProgress(4000000000u, 4294967295u, true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "4000000000 bytes of 4294967295 -  93%\r");
}

TEST(OutFile, DeclaredSizeCutsTheFill)
{
    std::string path = tempPath("cut");
    OutFile out;
    testing::internal::CaptureStdout();
    ASSERT_EQ(out.open(path.c_str(), 1000), rc::Ok);
    std::vector<uint8_t> block(128, 'b');
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(out.write(block.data(), 128), 128);
    EXPECT_EQ(out.write(block.data(), 128), 104);
    EXPECT_EQ(out.write(block.data(), 128), 0);
    EXPECT_EQ(out.write(nullptr, 0), 0);
    std::string text = testing::internal::GetCapturedStdout();
    std::fclose(out.file);
    EXPECT_EQ(readWholeFile(path).size(), 1000u);
    EXPECT_EQ(text.find("Receiving " + path + "...\n"), 0u);
    EXPECT_NE(text.find("    1000 bytes of 1000 - 100%\r"), std::string::npos);
    unlink(path.c_str());
}

TEST(OutFile, EndBeforeTheDeclaredSizeFails)
{
    std::string path = tempPath("short");
    OutFile out;
    testing::internal::CaptureStdout();
    ASSERT_EQ(out.open(path.c_str(), 1000), rc::Ok);
    std::vector<uint8_t> block(128, 'b');
    EXPECT_EQ(out.write(block.data(), 128), 128);
    EXPECT_EQ(out.write(nullptr, 0), rc::OutputFile);
    testing::internal::GetCapturedStdout();
    std::fclose(out.file);
    EXPECT_EQ(readWholeFile(path), std::string(block.begin(), block.end()));  // what arrived stays for a look
    unlink(path.c_str());
}

TEST(OutFile, UnknownSizeKeepsEverythingAndShortLine)
{
    std::string path = tempPath("nosize");
    OutFile out;
    testing::internal::CaptureStdout();
    ASSERT_EQ(out.open(path.c_str(), 0), rc::Ok);
    std::vector<uint8_t> block(128, 0x1A);
    block[0] = 'x';
    EXPECT_EQ(out.write(block.data(), 128), 128);
    EXPECT_EQ(out.write(nullptr, 0), 0);
    std::string text = testing::internal::GetCapturedStdout();
    std::fclose(out.file);
    EXPECT_EQ(readWholeFile(path), std::string(block.begin(), block.end()));
    EXPECT_NE(text.find("       0 bytes\r     128 bytes\r"), std::string::npos);
    unlink(path.c_str());
}

TEST(OutFile, OpenRules)
{
    std::string first = tempPath("first"), second = tempPath("second");
    OutFile out;
    uint8_t byte = 'q';
    EXPECT_EQ(out.write(&byte, 1), rc::OutputFile);  // nothing open yet
    testing::internal::CaptureStdout();
    ASSERT_EQ(out.open(first.c_str(), 0), rc::Ok);
    ASSERT_EQ(out.open(second.c_str(), 5), rc::Ok);  // only takes the size
    EXPECT_EQ(out.declaredSize, 5u);
    EXPECT_EQ(out.write(&byte, 1), 1);
    EXPECT_EQ(out.open(second.c_str(), 5), rc::OutputFile);
    std::string text = testing::internal::GetCapturedStdout();
    std::fclose(out.file);
    EXPECT_EQ(readWholeFile(first), "q");
    EXPECT_NE(access(second.c_str(), F_OK), 0);
    EXPECT_EQ(text.find("Receiving"), text.rfind("Receiving"));
    unlink(first.c_str());

    OutFile bad;
    EXPECT_EQ(bad.open("/nonexistent-dir/x", 0), rc::OutputFile);
    EXPECT_EQ(bad.file, nullptr);
}

TEST(OutFile, FullDiskFailsTheBlock)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    OutFile out;
    testing::internal::CaptureStdout();
    ASSERT_EQ(out.open("/dev/full", 0), rc::Ok);
    std::vector<uint8_t> block(128, 'f');
    EXPECT_EQ(out.write(block.data(), 128), rc::OutputFile);
    testing::internal::GetCapturedStdout();
    std::fclose(out.file);
}

}  // namespace
