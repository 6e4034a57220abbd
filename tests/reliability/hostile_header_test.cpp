// Hostile Y-Modem headers through the whole receive flow, into a scratch
// folder: the documented code and message, and exactly which files exist
// afterwards, anywhere below the folder's parent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakePort.h"
#include "Flows.h"
#include "HostileLine.h"
#include "Options.h"
#include "ResultCodes.h"

namespace {

using namespace std::string_literals;

struct HeaderCase {
    const char* label;
    std::string field;   // the header's data field, NULs included
    int32_t result;      // 0: received
    std::string created; // the one file expected below the root, or ""
    size_t bytes = 0;     // its length
};

// The test name shows the case's label.
std::ostream& operator<<(std::ostream& os, const HeaderCase& c)
{
    return os << c.label;
}

// Three blocks: 384 bytes on the line, 300 of them data.
const Bytes kData = filePattern(300);

struct ReceiveFlow {
    FakePort port;
    ScriptedYModemSender sender;

    explicit ReceiveFlow(const std::string& field) : sender(field, kData)
    {
        Options = Settings{};
        Options.receiveMode = true;
        sender.attach(port);
    }
};

class HostileHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HostileHeader, GetsItsCodeAndWritesOnlyWhereAllowed)
{
    const HeaderCase& c = GetParam();
    ScratchFolder folder;
    std::string field = c.field;
    // An absolute name is made to point into the scratch root, so that an
    // escape would show up in the listing below.
    if (field.rfind("<root>", 0) == 0)
        field = folder.root() + field.substr(6);
    ReceiveFlow flow(field);
    if (c.result == 0) {
        testing::internal::CaptureStdout();
        receiveFile(flow.port);
        EXPECT_NE(testing::internal::GetCapturedStdout().find("\nReceived OK\n"), std::string::npos);
    } else {
        const std::string message = "Error during file transfer. Error " + std::to_string(c.result);
        EXPECT_EXIT(receiveFile(flow.port), ::testing::ExitedWithCode(c.result & 0xFF), message);
    }
    const std::vector<std::string> expected =
        c.created.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.created};
    EXPECT_EQ(folder.files(), expected);
    if (!c.created.empty()) {
        const Bytes got = folder.contents(c.created);
        ASSERT_EQ(got.size(), c.bytes);
        EXPECT_TRUE(std::equal(kData.begin(), kData.end(), got.begin()));
    }
}

const std::string k127(127, 'n');

INSTANTIATE_TEST_SUITE_P(
    Names, HostileHeader,
    ::testing::Values(
        HeaderCase{"plain", "plain.bin\0" "300"s, 0, "work/plain.bin", 300},
        HeaderCase{"absolute", "<root>/abs.bin\0" "300"s, rc::BadHeader, ""},
        HeaderCase{"parent", "../up.bin\0" "300"s, rc::BadHeader, ""},
        HeaderCase{"parentInside", "sub/../../up.bin\0" "300"s, rc::BadHeader, ""},
        HeaderCase{"parentBackslash", "..\\up.bin\0" "300"s, rc::BadHeader, ""},
        HeaderCase{"drive", "c:boot.ini\0" "300"s, rc::BadHeader, ""},
        HeaderCase{"driveUpper", "C:\\boot.ini\0" "300"s, rc::BadHeader, ""},
        HeaderCase{"uncPath", "\\\\server\\share\0" "300"s, rc::BadHeader, ""},
        HeaderCase{"tab", "a\tb.bin\0" "300"s, rc::BadHeader, ""},
        HeaderCase{"escape", "\x1b[2Jx.bin\0" "300"s, rc::BadHeader, ""},
        HeaderCase{"delete", "x\x7f.bin\0" "300"s, rc::BadHeader, ""},
        // On Linux a backslash is an ordinary byte of a name in this folder.
        HeaderCase{"backslash", "dir\\name.bin\0" "300"s, 0, "work/dir\\name.bin", 300},
        // A sub-folder that does not exist cannot be created into.
        HeaderCase{"missingFolder", "nosuch/x.bin\0" "300"s, rc::OutputFile, ""},
        // 127 name bytes and a NUL: a name, no size, so the fill is kept.
        HeaderCase{"name127", k127 + "\0"s, 0, "work/" + k127, 384},
        HeaderCase{"noNul", k127 + "n", rc::BadHeader, ""}),
    [](const ::testing::TestParamInfo<HeaderCase>& test) { return std::string(test.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Sizes, HostileHeader,
    ::testing::Values(
        HeaderCase{"above32Bits", "s.bin\0" "4294967296"s, rc::BadHeader, ""},
        HeaderCase{"far above", "s.bin\0" "99999999999999999999"s, rc::BadHeader, ""},
        HeaderCase{"junk", "s.bin\0" "12a"s, rc::BadHeader, ""},
        HeaderCase{"sign", "s.bin\0" "+300"s, rc::BadHeader, ""},
        HeaderCase{"hex", "s.bin\0" "0x12C"s, rc::BadHeader, ""},
        HeaderCase{"spaceThenText", "s.bin\0" "300 0 100644"s, 0, "work/s.bin", 300},
        // The size is taken as is; the data ends long before it, so the run
        // fails and keeps what came.
        HeaderCase{"largest", "s.bin\0" "4294967295"s, rc::OutputFile, "work/s.bin", 384}),
    [](const ::testing::TestParamInfo<HeaderCase>& test) {
        std::string name = test.param.label;
        for (char& ch : name)
            if (ch == ' ')
                ch = '_';
        return name;
    });

}  // namespace
