// End to end: the real blockxfer sends through nullmodem (unthrottled) into
// the real fakeboard, and the board's report must match the file sent. Each
// test runs its own cable and board in a temporary folder; every wait is
// bounded, and the line is unthrottled wherever its speed does not matter.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Crc32.h"
#include "SerialPort.h"
#include "WholeFile.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void writeFile(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary);
    out << data;
}

// All 256 byte values in a scrambled order, control characters included.
std::string makeImage(size_t size)
{
    std::string data(size, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = static_cast<char>(x >> 23);
    }
    return data;
}

std::string crcText(const std::string& data)
{
    Crc32 crc;
    crc.update(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(crc.value()));
    return text;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    Clock::time_point end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A program started with its output in files; killed when still running
// at the end of the test.
class Child {
public:
    Child(const std::vector<std::string>& args, const std::string& outPath,
          const std::vector<std::string>& extraEnv = {}, const std::string& workDir = "")
        : stdoutPath(outPath)
    {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<std::string> envStore(extraEnv);
        std::vector<char*> envp;
        for (std::string& e : envStore)
            envp.push_back(&e[0]);
        for (char** e = environ; *e != nullptr; ++e)
            envp.push_back(*e);
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string errPath = outPath + ".err";
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (!workDir.empty())
            posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() { stop(); }

    bool started() const { return pid > 0; }
    std::string output() const { return readWholeFile(stdoutPath); }
    std::string errors() const { return readWholeFile(stdoutPath + ".err"); }

    // The exit status as a shell sees it, or -1 when it was still running
    // after `limit` (it is then killed).
    int waitExit(std::chrono::milliseconds limit)
    {
        int status = 0;
        bool ended = waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit);
        if (!ended) {
            stop();
            return -1;
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    void stop()
    {
        if (pid <= 0)
            return;
        kill(pid, SIGTERM);
        int status = 0;
        if (!waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(3))) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        pid = -1;
    }

private:
    std::string stdoutPath;
    pid_t pid = -1;
};

struct ProgramRun {
    int status;
    std::string out;
    std::string err;
};

class FakeboardEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/fakeboard-e2e.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        hostEnd = dir + "/host";
        boardEnd = dir + "/board";
    }

    void TearDown() override
    {
        board.reset();
        line.reset();
        std::string cmd = "rm -rf '" + dir + "'";
        if (std::system(cmd.c_str()) != 0)
            ADD_FAILURE() << "cannot remove " << dir;
    }

    // The cable, then the board on its far end, each once it is ready.
    void startBoard(std::vector<std::string> boardOptions)
    {
        startLine();
        if (!HasFatalFailure())
            startBoardOnly(boardOptions);
    }

    void startLine()
    {
        line = std::make_unique<Child>(std::vector<std::string> {FAKEBOARD_E2E_NULLMODEM, "--a", hostEnd, "--b",
                                                                  boardEnd, "--max-seconds", "60"},
                                       dir + "/line.out");
        ASSERT_TRUE(waitFor([&] { return line->output() == "ready\n"; }, std::chrono::seconds(5)))
            << line->errors();
    }

    void startBoardOnly(std::vector<std::string> boardOptions)
    {
        std::vector<std::string> args {FAKEBOARD_E2E_BOARD, "--port", boardEnd, "--max-seconds", "40"};
        args.insert(args.end(), boardOptions.begin(), boardOptions.end());
        board = std::make_unique<Child>(args, dir + "/board.out");
        ASSERT_TRUE(waitFor([&] { return board->output().rfind("ready\n", 0) == 0; }, std::chrono::seconds(5)))
            << board->errors();
    }

    // blockxfer on port 7, mapped to the host end, run in the test folder.
    ProgramRun blockxfer(std::vector<std::string> options, std::chrono::seconds limit = std::chrono::seconds(20))
    {
        std::vector<std::string> args {FAKEBOARD_E2E_BLOCKXFER, "-p7"};
        args.insert(args.end(), options.begin(), options.end());
        Child run(args, dir + "/blockxfer.out", {"COM7=" + hostEnd}, dir);
        int status = run.waitExit(limit);
        return {status, run.output(), run.errors()};
    }

    std::string log() const { return readWholeFile(dir + "/LOG"); }

    std::string dir;
    std::string hostEnd;
    std::string boardEnd;
    std::unique_ptr<Child> line;
    std::unique_ptr<Child> board;
};

struct Upload {
    const char* boardProtocol;
    const char* sendOption;
    size_t size;
    const char* name;
};

class FakeboardUpload : public FakeboardEndToEnd, public ::testing::WithParamInterface<Upload> {};

TEST_P(FakeboardUpload, TheBoardReportsTheCrc32OfTheFileSent)
{
    const Upload& u = GetParam();
    std::string image = makeImage(u.size);
    writeFile(dir + "/fw.bin", image);
    startBoard({"--protocol", u.boardProtocol});

    ProgramRun r = blockxfer({u.sendOption, "fw.bin", "-lfLOG", "-lt5", "-lx=> "});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\nSent OK\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Log capture termination string found.\n"), std::string::npos) << r.out;

    std::string report = log();
    EXPECT_NE(report.find("## Size: " + std::to_string(u.size) + " bytes\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("## CRC-32: " + crcText(image) + "\r\n"), std::string::npos) << report;
    ASSERT_GE(report.size(), 3u);
    EXPECT_EQ(report.substr(report.size() - 3), "=> ");
    EXPECT_NE(board->output().find("upload ok: " + std::to_string(u.size) + " bytes, crc32 " + crcText(image)),
              std::string::npos);
}

// X-Modem sizes are whole blocks: X-Modem declares no size, so the board's
// image keeps the fill of a short last block.
INSTANTIATE_TEST_SUITE_P(
    Protocols, FakeboardUpload,
    ::testing::Values(Upload {"ymodem", "-sy", 70001, "YModem"},      // 1K blocks and a 128-byte tail
                      Upload {"ymodem-g", "-sy", 30000, "YModemG"},
                      Upload {"xmodem", "-sx", 8192, "XModemChecksum"},
                      Upload {"xmodem-crc", "-sk", 9216, "XModem1K"},
                      Upload {"ymodem", "-sy", 0, "EmptyFile"}),
    [](const ::testing::TestParamInfo<Upload>& p) { return std::string(p.param.name); });

// The board refuses a block once 2048 bytes are in and cancels with five
// CAN. blockxfer counts the first CAN, purges the rest with its 500 ms
// reads, resends, and meets silence: a timeout, not a cancel.
TEST_F(FakeboardEndToEnd, ACancelMidTransferEndsBlockxferWithTheCancelCode)
{
    writeFile(dir + "/fw.bin", makeImage(20000));
    startBoard({"--cancel-after", "2048"});

    // The board's cancel ends the send at once, before the block is sent
    // again into its console.
    ProgramRun r = blockxfer({"-sy", "fw.bin", "-lfLOG", "-lt1"});
    EXPECT_EQ(r.status, 512 - 302) << r.out << r.err;
    EXPECT_EQ(r.err, "Error during file transfer. Error -302\n");
    EXPECT_EQ(r.out.find("Sent OK"), std::string::npos);
    EXPECT_EQ(log(), "");
    EXPECT_TRUE(waitFor([&] { return board->output().find("upload failed: error -400\n") != std::string::npos; },
                        std::chrono::seconds(2)))
        << board->output();
}

TEST_F(FakeboardEndToEnd, ASilentBoardLeavesAnEmptyLogAfterTheCaptureTimeout)
{
    std::string image = makeImage(3000);
    writeFile(dir + "/fw.bin", image);
    startBoard({"--silent-after"});

    ProgramRun r = blockxfer({"-sy", "fw.bin", "-lfLOG", "-lt1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\nSent OK\nCapturing log to LOG...\nLog capture timeout.\n"), std::string::npos) << r.out;
    EXPECT_EQ(log(), "");
    // The upload itself was fine; the board only kept quiet about it.
    EXPECT_NE(board->output().find("upload ok: 3000 bytes, crc32 " + crcText(image)), std::string::npos);
}

TEST_F(FakeboardEndToEnd, LinesAfterThePromptAreCapturedUntilTheLineFallsSilent)
{
    writeFile(dir + "/fw.bin", makeImage(1500));
    startBoard({"--report-delay-ms", "300", "--after-lines", "3", "--after-interval-ms", "200"});

    ProgramRun r = blockxfer({"-sy", "fw.bin", "-lfLOG", "-lt1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Log capture timeout.\n"), std::string::npos) << r.out;
    std::string captured = log();
    size_t prompt = captured.find("\r\n=> ");
    ASSERT_NE(prompt, std::string::npos) << captured;
    EXPECT_EQ(captured.substr(prompt + 5),
              "\r\napp: running, line 1 of 3\r\napp: running, line 2 of 3\r\napp: running, line 3 of 3\r\n");
}

// What a bench console does: hold the port open while the board boots,
// answer each piece of the banner with CR CR LF until the trigger text has
// come, then let go of the port; then the job uploads.
TEST_F(FakeboardEndToEnd, LineEndsFromABenchConsoleBeforeTheUploadAreIgnored)
{
    std::string image = makeImage(5000);
    writeFile(dir + "/fw.bin", image);
    startLine();
    ASSERT_FALSE(HasFatalFailure());
    {
        std::unique_ptr<SerialPort> console = createSerialPort(hostEnd.c_str());
        ASSERT_EQ(console->open(0), 0);
        ASSERT_EQ(console->configure(115200), 0);
        startBoardOnly({"--banner-line-delay-ms", "20"});
        ASSERT_FALSE(HasFatalFailure());
        std::string seen;
        uint8_t buffer[256];
        for (int reads = 0; reads < 50 && seen.find("h...") == std::string::npos; ++reads) {
            int32_t n = console->read(buffer, sizeof buffer, 3000);
            ASSERT_GT(n, 0) << seen;
            seen.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
            const uint8_t reply[] = {'\r', '\r', '\n'};
            ASSERT_EQ(console->write(reply, sizeof reply, 1000), 3);
        }
        EXPECT_NE(seen.find("Waiting for flash...\r\n"), std::string::npos) << seen;
        console->close();
    }
    ProgramRun r = blockxfer({"-sy", "fw.bin", "-lfLOG", "-lt5", "-lx=> "});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(log().find("## CRC-32: " + crcText(image) + "\r\n"), std::string::npos) << log();
}

TEST_F(FakeboardEndToEnd, TheConsoleAnswersEachLineEndWithANewPrompt)
{
    writeFile(dir + "/fw.bin", makeImage(1000));
    startBoard({});
    ProgramRun r = blockxfer({"-sy", "fw.bin", "-lfLOG", "-lt5", "-lx=> "});
    ASSERT_EQ(r.status, 0) << r.err;

    std::unique_ptr<SerialPort> console = createSerialPort(hostEnd.c_str());
    ASSERT_EQ(console->open(0), 0);
    ASSERT_EQ(console->configure(115200), 0);
    const std::string typed = "\r\r\nver\r";
    ASSERT_EQ(console->write(reinterpret_cast<const uint8_t*>(typed.data()), static_cast<uint32_t>(typed.size()), 1000),
              static_cast<int32_t>(typed.size()));
    const std::string expected = "\r\n=> \r\n=> ver\r\nUnknown command 'ver' - try 'help'\r\n=> ";
    std::string seen;
    uint8_t buffer[256];
    while (seen.size() < expected.size()) {
        int32_t n = console->read(buffer, sizeof buffer, 2000);
        ASSERT_GT(n, 0) << seen;
        seen.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
    }
    EXPECT_EQ(seen, expected);
}

// The sender's wait for the opening character lasts at least 11 s whatever
// -t says, so this is the slowest case here.
TEST_F(FakeboardEndToEnd, ABoardThatNeverStartsEndsBlockxferWithTheTimeoutCode)
{
    writeFile(dir + "/fw.bin", makeImage(1000));
    startBoard({"--never-start"});

    ProgramRun r = blockxfer({"-sy", "fw.bin", "-t0", "-lfLOG", "-lt1"}, std::chrono::seconds(25));
    EXPECT_EQ(r.status, 256 - 200) << r.out << r.err;
    EXPECT_EQ(r.err, "Error during file transfer. Error -200\n");
    EXPECT_EQ(log(), "");
}

}  // namespace
