// The settings of one run of blockxfer, filled once from the command line.
#pragma once
#include <cstdint>
#include <cstdio>

struct Settings {
    uint32_t portNumber = 1;
    uint32_t baudRate = 115200;
    uint32_t startTimeoutMs = 30000;
    uint32_t logTimeoutMs = 10000;
    const char* programName = nullptr;
    // Linux convenience: -p/dev/ttyUSB0 names the device itself.
    const char* portDevice = nullptr;
    bool useXModem = false;
    bool xmodemCrc = false;
    bool xmodem1K = false;
    bool ymodemG = false;
    bool sendMode = false;
    bool receiveMode = false;
    bool logEcho = false;
    const char* fileName = nullptr;
    const char* destName = nullptr;
    const char* logFileName = nullptr;
    const char* logStopString = nullptr;
    uint32_t logStopLength = 0;
    FILE* logFile = nullptr;
    // Long options: a console line typed after the port set-up, and
    // following the console's requests to change the line's rate.
    const char* sendLine = nullptr;
    bool followBaudSwitch = false;
};

extern Settings Options;

constexpr uint32_t kMaxStopLength = 128;

// Fills Options; may rewrite argument strings in place (quote stripping).
// Ends the process on -h and --help (status 1) and on any command-line error.
void parseCommandLine(int argc, char** argv);

// Prints the message and the hint line on standard error, exits with 1.
[[noreturn]] void usageError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The conversions of -b/-p/-t/-lt, exposed for their own tests.
// strtoul of a 32-bit unsigned long: sign and leading blanks accepted,
// out of range gives 4294967295; false when text is left over.
bool parseNumber(const char* text, uint32_t& value);
uint32_t secondsToMs(uint32_t seconds);
