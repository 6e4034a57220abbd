// The settings of one run of blockxfer, filled once from the command line.
#pragma once
#include <cstdint>
#include <cstdio>

// Each field: what sets it (an option, through parseCommandLine in
// Options.cpp, unless said otherwise), then what reads it.
struct Settings {
    uint32_t portNumber = 1;             // -pN; main opens that port
    uint32_t baudRate = 115200;          // -b; main configures the port with it
    uint32_t startTimeoutMs = 30000;     // -t; the engines' start budget (sendFile, receiveFile)
    uint32_t logTimeoutMs = 10000;       // -lt; captureLog's silence, main's wait for a switch back
    const char* programName = nullptr;   // argv[0]; the usage text and usageError's hint
    const char* portDevice = nullptr;    // -pPATH, a device named directly; main's createSerialPort
    bool useXModem = false;              // -sx, -sk, -rx, -rc; sendFile, receiveFile
    bool xmodemCrc = false;              // -rc; receiveFile
    bool xmodem1K = false;               // -sk; sendFile
    bool ymodemG = false;                // -rg; receiveFile
    bool sendMode = false;               // -s*; main (whether a send comes before the log)
    bool receiveMode = false;            // -r*; main (receive instead of send and log)
    bool logEcho = false;                // -le; captureLog
    const char* fileName = nullptr;      // the first plain argument; sendFile, receiveFile, main
    const char* destName = nullptr;      // the second plain argument (else sendFile sets FILE); sendFile
    const char* logFileName = nullptr;   // -lf; main creates the log, captureLog names it
    const char* logStopString = nullptr; // -lx; captureLog
    uint32_t logStopLength = 0;          // -lx (its length, at most kMaxStopLength); captureLog
    FILE* logFile = nullptr;             // main opens logFileName; captureLog writes and closes it
    const char* sendLine = nullptr;      // --send-line; main's ConsolePort types it
    bool followBaudSwitch = false;       // --follow-baud-switch; main's ConsolePort (follows the switches)
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
