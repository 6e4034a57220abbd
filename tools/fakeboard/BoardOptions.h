// Command line of fakeboard: which board to play and how it misbehaves.
#pragma once
#include <cstdint>

enum class UploadProtocol { YModem, YModemG, XModemChecksum, XModemCrc };

struct BoardOptions {
    const char* portPath = nullptr;
    uint32_t baudRate = 115200;
    UploadProtocol protocol = UploadProtocol::YModem;
    uint32_t bootDelayMs = 0;         // after opening the port, before the banner
    uint32_t bannerLineDelayMs = 0;   // between banner lines (0: one write)
    uint32_t startTimeoutMs = 60000;  // for the sender's first block
    uint32_t reportDelayMs = 0;       // between the upload and the report
    uint32_t afterLines = 0;          // lines printed after the prompt
    uint32_t afterIntervalMs = 100;   // before each of those lines
    uint32_t cancelAfterBytes = 0;    // 0: never cancel
    bool neverStart = false;
    bool silentAfter = false;
    // Plays a stock U-Boot: autoboot countdown, then a console that loads
    // on loady/loadx (with their rate switch) and answers crc32.
    bool uboot = false;
    const char* prompt = "=> ";
    uint32_t maxSeconds = 300;
};

// The names the --protocol option takes, as printed in the banner.
const char* protocolName(UploadProtocol protocol);

enum class ParseResult { Run, Help, Error };

// Fills `options`; on Error a message has gone to standard error.
ParseResult parseBoardOptions(int argc, char** argv, BoardOptions& options);
void printBoardHelp(const char* programName);
