// The command-line parser fed arbitrary arguments.
//
// The input is split at NUL bytes into arguments behind "blockxfer".
// parseCommandLine ends the process on -h and on every error; the exit
// seam turns that into a return, and the status must then be 1. When it
// returns, Options must agree with the arguments as they were left (quote
// stripping rewrites them in place): at most two file arguments, taken in
// order (the argument after --send-line is its text, not a file); the
// last --send-line gives the console line; the last -b and -p decide the
// baud rate, port and device; the
// stop string's length is its strlen and at most 128; every stored text
// points into the arguments. Every argument and option value also goes
// through parseNumber, compared with strtoull cut to 32 bits as a 32-bit
// strtoul would.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ExitSeam.h"
#include "FuzzInput.h"
#include "Options.h"

namespace {

constexpr size_t kMaxInput = 2048;
constexpr int kMaxArgs = 24;

bool referenceNumber(const char* text, uint32_t& value)
{
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    const bool outOfRange = errno == ERANGE;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const bool negative = *p == '-';
    const unsigned long long magnitude = negative ? 0ull - v : v;
    if (outOfRange || magnitude > 0xFFFFFFFFull)
        value = 0xFFFFFFFFu;
    else
        value = negative ? 0u - static_cast<uint32_t>(magnitude) : static_cast<uint32_t>(magnitude);
    return *end == '\0';
}

void checkNumber(const char* text)
{
    uint32_t expected = 0;
    uint32_t got = 0;
    const bool expectedOk = referenceNumber(text, expected);
    FUZZ_CHECK(parseNumber(text, got) == expectedOk);
    FUZZ_CHECK(got == expected);
}

bool within(const char* p, const char* arena, size_t size)
{
    return p == nullptr || (p >= arena && p < arena + size);
}

void checkOptions(int argc, char** argv, const char* arena, size_t arenaSize)
{
    FUZZ_CHECK(Options.programName == argv[0]);
    FUZZ_CHECK(within(Options.fileName, arena, arenaSize));
    FUZZ_CHECK(within(Options.destName, arena, arenaSize));
    FUZZ_CHECK(within(Options.logFileName, arena, arenaSize));
    FUZZ_CHECK(within(Options.logStopString, arena, arenaSize));
    FUZZ_CHECK(within(Options.portDevice, arena, arenaSize));
    FUZZ_CHECK(within(Options.sendLine, arena, arenaSize));
    if (Options.logStopString != nullptr)
        FUZZ_CHECK(Options.logStopLength == std::strlen(Options.logStopString) &&
                   Options.logStopLength <= kMaxStopLength);
    else
        FUZZ_CHECK(Options.logStopLength == 0);

    const char* files[2] = {nullptr, nullptr};
    int fileCount = 0;
    const char* lastBaud = nullptr;
    const char* lastPort = nullptr;
    const char* lastPortNumber = nullptr;
    const char* lastSendLine = nullptr;
    bool sawSend = false;
    bool sawReceive = false;
    bool sawFollow = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] == '-' && arg[1] == '-') {
            // A run that returns has only these long options.
            if (std::strcmp(arg, "--send-line") == 0)
                lastSendLine = argv[++i];
            else if (std::strncmp(arg, "--send-line=", 12) == 0)
                lastSendLine = arg + 12;
            else
                sawFollow = std::strcmp(arg, "--follow-baud-switch") == 0 || sawFollow;
            continue;
        }
        if (arg[0] != '-') {
            FUZZ_CHECK(fileCount < 2);
            files[fileCount++] = arg;
            continue;
        }
        if (arg[1] == 'b')
            lastBaud = arg + 2;
        if (arg[1] == 'p') {
            lastPort = arg + 2;
            if (arg[2] != '/')
                lastPortNumber = arg + 2;
        }
        sawSend = sawSend || arg[1] == 's';
        sawReceive = sawReceive || arg[1] == 'r';
    }
    FUZZ_CHECK(Options.fileName == files[0] && Options.destName == files[1]);
    FUZZ_CHECK(Options.sendMode == sawSend && Options.receiveMode == sawReceive);
    FUZZ_CHECK(Options.sendLine == lastSendLine && Options.followBaudSwitch == sawFollow);
    uint32_t value = 0;
    if (lastBaud != nullptr) {
        FUZZ_CHECK(referenceNumber(lastBaud, value));
        FUZZ_CHECK(Options.baudRate == value);
    }
    if (lastPortNumber != nullptr) {
        FUZZ_CHECK(referenceNumber(lastPortNumber, value));
        FUZZ_CHECK(Options.portNumber == value);
    }
    const bool deviceNamed = lastPort != nullptr && lastPort[0] == '/';
    FUZZ_CHECK(Options.portDevice == (deviceNamed ? lastPort : nullptr));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput)
        return 0;
    static char program[] = "blockxfer";
    char arena[kMaxInput + 1];
    std::memcpy(arena, data, size);
    arena[size] = '\0';

    char* argv[kMaxArgs + 2] = {program};
    int argc = 1;
    for (size_t start = 0; start <= size && argc <= kMaxArgs; ++argc) {
        argv[argc] = arena + start;
        start += std::strlen(arena + start) + 1;
    }
    for (int i = 1; i < argc; ++i) {
        checkNumber(argv[i]);
        if (argv[i][0] != '\0' && argv[i][1] != '\0')
            checkNumber(argv[i] + 2);
    }

    Options = Settings{};
    int status = 0;
    if (runCatchingExit([&] { parseCommandLine(argc, argv); }, status))
        checkOptions(argc, argv, arena, sizeof arena);
    else
        FUZZ_CHECK(status == 1);
    return 0;
}
