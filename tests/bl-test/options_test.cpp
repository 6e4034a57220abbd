// The command line: settings, quote stripping, messages and exit statuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Options.h"

namespace {

// argv as the program gets it: mutable strings that outlive the parse.
class Args {
public:
    Args(std::initializer_list<std::string> list) : storage(list)
    {
        storage.insert(storage.begin(), "blockxfer");
        for (std::string& s : storage)
            pointers.push_back(&s[0]);
        pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(storage.size()); }
    char** argv() { return pointers.data(); }

private:
    std::vector<std::string> storage;
    std::vector<char*> pointers;
};

struct OptionsTest : ::testing::Test {
    void SetUp() override { Options = Settings{}; }
    void parse(Args args)
    {
        Options = Settings{};
        held = std::move(args);
        parseCommandLine(held.argc(), held.argv());
    }
    Args held{};
};

const char kHint[] = "\nTry 'blockxfer -h' for more information.\n";

void expectUsageError(Args args, const std::string& message)
{
    Options = Settings{};
    EXPECT_EXIT(parseCommandLine(args.argc(), args.argv()), ::testing::ExitedWithCode(1),
                ::testing::HasSubstr(message + kHint));
}

TEST_F(OptionsTest, NoArgumentsKeepsDefaults)
{
    parse({});
    EXPECT_EQ(Options.portNumber, 1u);
    EXPECT_EQ(Options.baudRate, 115200u);
    EXPECT_EQ(Options.startTimeoutMs, 30000u);
    EXPECT_EQ(Options.logTimeoutMs, 10000u);
    EXPECT_FALSE(Options.sendMode || Options.receiveMode);
    EXPECT_EQ(Options.fileName, nullptr);
}

TEST_F(OptionsTest, NumbersAndTimeouts)
{
    parse({"-p3", "-b9600", "-t4294966", "-lt5"});
    EXPECT_EQ(Options.portNumber, 3u);
    EXPECT_EQ(Options.baudRate, 9600u);
    EXPECT_EQ(Options.startTimeoutMs, 4294966000u);
    EXPECT_EQ(Options.logTimeoutMs, 5000u);

    parse({"-t4294967", "-lt99999999999", "-p-1", "-b"});
    EXPECT_EQ(Options.startTimeoutMs, 4294967295u);
    EXPECT_EQ(Options.logTimeoutMs, 4294967295u);
    EXPECT_EQ(Options.portNumber, 4294967295u);
    EXPECT_EQ(Options.baudRate, 0u);

    parse({"-t0", "-p", "-lt", "-b+7"});
    EXPECT_EQ(Options.startTimeoutMs, 0u);
    EXPECT_EQ(Options.portNumber, 0u);
    EXPECT_EQ(Options.logTimeoutMs, 0u);
    EXPECT_EQ(Options.baudRate, 7u);
}

TEST(ParseNumber, BehavesLikeA32BitStrtoul)
{
    struct Case {
        const char* text;
        bool ok;
        uint32_t value;
    };
    for (Case c : {Case{"", true, 0}, Case{"0", true, 0}, Case{" 12", true, 12},
                   Case{"+5", true, 5}, Case{"-1", true, 4294967295u}, Case{"-4294967295", true, 1},
                   Case{"4294967295", true, 4294967295u}, Case{"4294967296", true, 4294967295u},
                   Case{"-4294967296", true, 4294967295u}, Case{"9600x", false, 0},
                   Case{"1.5", false, 0}, Case{" ", false, 0}, Case{"+ 7", false, 0}, Case{"-", false, 0},
                   Case{"x", false, 0}}) {
        uint32_t v = 12345;
        EXPECT_EQ(parseNumber(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST_F(OptionsTest, SeparateValueIsAFileArgument)
{
    parse({"-p", "3"});
    EXPECT_EQ(Options.portNumber, 0u);
    EXPECT_STREQ(Options.fileName, "3");
}

TEST_F(OptionsTest, ModeFlagsFollowTheLastOption)
{
    parse({"-sx", "-s"});
    EXPECT_TRUE(Options.sendMode);
    EXPECT_FALSE(Options.useXModem);

    parse({"-rc", "-s"});
    EXPECT_FALSE(Options.useXModem);
    EXPECT_TRUE(Options.xmodemCrc);

    parse({"-rg", "-r"});
    EXPECT_FALSE(Options.ymodemG);
    EXPECT_TRUE(Options.receiveMode);

    parse({"-sk"});
    EXPECT_TRUE(Options.useXModem && Options.xmodem1K);
    parse({"-sk", "-sx"});
    EXPECT_FALSE(Options.xmodem1K);

    parse({"-rc", "-rx"});
    EXPECT_TRUE(Options.useXModem);
    EXPECT_FALSE(Options.xmodemCrc);

    parse({"-s", "-ry"});
    EXPECT_TRUE(Options.sendMode && Options.receiveMode);
}

TEST_F(OptionsTest, LogOptions)
{
    std::string stop128(128, 's');
    parse({"-lfLOG", "-lefoo", ("-lx" + stop128)});
    EXPECT_STREQ(Options.logFileName, "LOG");
    EXPECT_TRUE(Options.logEcho);
    EXPECT_EQ(Options.logStopLength, 128u);

    parse({"-lx", "-lf"});
    EXPECT_STREQ(Options.logStopString, "");
    EXPECT_EQ(Options.logStopLength, 0u);
    EXPECT_STREQ(Options.logFileName, "");
}

TEST_F(OptionsTest, QuotesAreStrippedOncePerArgument)
{
    parse({"\"-p3\"", "\"my file\"", "\"abc"});
    EXPECT_EQ(Options.portNumber, 3u);
    EXPECT_STREQ(Options.fileName, "my file");
    EXPECT_STREQ(Options.destName, "\"abc");

    parse({"\"\"", ""});
    EXPECT_STREQ(Options.fileName, "");
    EXPECT_STREQ(Options.destName, "");

    parse({"\""});  // a lone quote stays as it is
    EXPECT_STREQ(Options.fileName, "\"");
}

TEST_F(OptionsTest, DevicePathAsPort)
{
    parse({"-p/dev/ttyUSB0"});
    EXPECT_STREQ(Options.portDevice, "/dev/ttyUSB0");
    parse({"-p/dev/ttyUSB0", "-p4"});
    EXPECT_EQ(Options.portDevice, nullptr);
    EXPECT_EQ(Options.portNumber, 4u);
}

TEST_F(OptionsTest, LongOptions)
{
    parse({"--send-line", "loady 0x40200000 921600", "--follow-baud-switch", "fw.bin"});
    EXPECT_STREQ(Options.sendLine, "loady 0x40200000 921600");
    EXPECT_TRUE(Options.followBaudSwitch);
    EXPECT_STREQ(Options.fileName, "fw.bin");

    // The value is the next argument whatever it looks like, quotes stripped.
    parse({"--send-line", "\"-sy\"", "--send-line=crc32 ${loadaddr} ${filesize}"});
    EXPECT_STREQ(Options.sendLine, "crc32 ${loadaddr} ${filesize}");
    EXPECT_EQ(Options.fileName, nullptr);
    EXPECT_FALSE(Options.sendMode);
    parse({"--send-line="});
    EXPECT_STREQ(Options.sendLine, "");
}

TEST(OptionErrors, MessagesHintAndStatus)
{
    expectUsageError({"a", "b", "c"}, "Too many file arguments");
    expectUsageError({"-b9600x"}, "Invalid BAUD argument");
    expectUsageError({"-p1.5"}, "Invalid PORT argument");
    expectUsageError({"-pCOM1"}, "Invalid PORT argument");
    expectUsageError({"-tx"}, "Invalid TIMEOUT argument");
    expectUsageError({"-lt1s"}, "Invalid LOGTIMEOUT argument");
    expectUsageError({"-lx" + std::string(129, 's')},
                     "String too long in -lx option. Max length is 128");
    for (const char* bad : {"-syx", "-sz", "-rk", "-rgx", "-S", "-", "--x", "-l", "-lz", "-q"})
        expectUsageError({bad}, std::string("Invalid option '") + bad + "'");
    expectUsageError({"\"-sz\""}, "Invalid option '-sz'");
    for (const char* bad : {"--", "--send-lines", "--follow-baud-switch=1", "--Help", "--h"})
        expectUsageError({bad}, std::string("Invalid option '") + bad + "'");
    expectUsageError({"-p3", "--send-line"}, "Missing TEXT argument of --send-line");
}

TEST(OptionErrors, ErrorBeforeHelpWins)
{
    expectUsageError({"-q", "-h"}, "Invalid option '-q'");
}

}  // namespace
