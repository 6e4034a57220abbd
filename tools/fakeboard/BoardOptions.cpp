#include "BoardOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

namespace {
constexpr size_t kMaxPromptLength = 32;

struct ProtocolEntry {
    const char* name;
    UploadProtocol protocol;
};

constexpr ProtocolEntry kProtocols[] = {
    {"ymodem", UploadProtocol::YModem},
    {"ymodem-g", UploadProtocol::YModemG},
    {"xmodem", UploadProtocol::XModemChecksum},
    {"xmodem-crc", UploadProtocol::XModemCrc},
};

bool parseNumber(const char* text, uint32_t& value)
{
    if (text == nullptr || *text < '0' || *text > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFul)
        return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool parseSeconds(const char* text, uint32_t& ms)
{
    uint32_t seconds = 0;
    if (!parseNumber(text, seconds) || seconds > 0xFFFFFFFFu / 1000u)
        return false;
    ms = seconds * 1000u;
    return true;
}

bool parseProtocol(const char* text, UploadProtocol& protocol)
{
    for (const ProtocolEntry& entry : kProtocols) {
        if (std::strcmp(text, entry.name) == 0) {
            protocol = entry.protocol;
            return true;
        }
    }
    return false;
}

enum OptionId {
    kPort = 1000, kBaud, kProtocol, kXModem, kBootDelay, kBannerLineDelay, kStartTimeout,
    kReportDelay, kAfterLines, kAfterInterval, kCancelAfter, kNeverStart, kSilentAfter,
    kPrompt, kMaxSeconds, kUBoot, kHelp
};

constexpr option kLongOptions[] = {
    {"port", required_argument, nullptr, kPort},
    {"baud", required_argument, nullptr, kBaud},
    {"protocol", required_argument, nullptr, kProtocol},
    {"xmodem", no_argument, nullptr, kXModem},
    {"boot-delay-ms", required_argument, nullptr, kBootDelay},
    {"banner-line-delay-ms", required_argument, nullptr, kBannerLineDelay},
    {"start-timeout", required_argument, nullptr, kStartTimeout},
    {"report-delay-ms", required_argument, nullptr, kReportDelay},
    {"after-lines", required_argument, nullptr, kAfterLines},
    {"after-interval-ms", required_argument, nullptr, kAfterInterval},
    {"cancel-after", required_argument, nullptr, kCancelAfter},
    {"never-start", no_argument, nullptr, kNeverStart},
    {"silent-after", no_argument, nullptr, kSilentAfter},
    {"prompt", required_argument, nullptr, kPrompt},
    {"max-seconds", required_argument, nullptr, kMaxSeconds},
    {"uboot", no_argument, nullptr, kUBoot},
    {"help", no_argument, nullptr, kHelp},
    {nullptr, 0, nullptr, 0},
};

bool applyOption(int id, const char* value, BoardOptions& o)
{
    switch (id) {
    case kPort: o.portPath = value; return *value != '\0';
    case kBaud: return parseNumber(value, o.baudRate) && o.baudRate != 0;
    case kProtocol: return parseProtocol(value, o.protocol);
    case kXModem: o.protocol = UploadProtocol::XModemCrc; return true;
    case kBootDelay: return parseNumber(value, o.bootDelayMs);
    case kBannerLineDelay: return parseNumber(value, o.bannerLineDelayMs);
    case kStartTimeout: return parseSeconds(value, o.startTimeoutMs);
    case kReportDelay: return parseNumber(value, o.reportDelayMs);
    case kAfterLines: return parseNumber(value, o.afterLines);
    case kAfterInterval: return parseNumber(value, o.afterIntervalMs);
    case kCancelAfter: return parseNumber(value, o.cancelAfterBytes) && o.cancelAfterBytes != 0;
    case kNeverStart: o.neverStart = true; return true;
    case kSilentAfter: o.silentAfter = true; return true;
    case kUBoot: o.uboot = true; return true;
    case kPrompt: o.prompt = value; return std::strlen(value) <= kMaxPromptLength;
    case kMaxSeconds: return parseNumber(value, o.maxSeconds) && o.maxSeconds != 0;
    default: return false;
    }
}
}  // namespace

const char* protocolName(UploadProtocol protocol)
{
    for (const ProtocolEntry& entry : kProtocols) {
        if (entry.protocol == protocol)
            return entry.name;
    }
    return "?";
}

ParseResult parseBoardOptions(int argc, char** argv, BoardOptions& options)
{
    optind = 1;
    opterr = 0;
    int id;
    int longIndex = -1;
    while ((id = getopt_long(argc, argv, "h", kLongOptions, &longIndex)) != -1) {
        if (id == 'h' || id == kHelp)
            return ParseResult::Help;
        if (id == '?' || id == ':') {
            std::fprintf(stderr, "%s: unknown option or missing value: '%s'\n", argv[0],
                         argv[optind - 1]);
            return ParseResult::Error;
        }
        if (!applyOption(id, optarg, options)) {
            std::fprintf(stderr, "%s: invalid value '%s' for --%s\n", argv[0],
                         optarg != nullptr ? optarg : "", kLongOptions[longIndex].name);
            return ParseResult::Error;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "%s: unexpected argument '%s'\n", argv[0], argv[optind]);
        return ParseResult::Error;
    }
    if (options.portPath == nullptr) {
        std::fprintf(stderr, "%s: --port PATH is required (try --help)\n", argv[0]);
        return ParseResult::Error;
    }
    return ParseResult::Run;
}

void printBoardHelp(const char* programName)
{
    std::printf(
        "Usage: %s --port PATH [OPTION]...\n"
        "Plays a board whose bootloader waits for a firmware upload on a serial line.\n"
        "\n"
        "The board opens PATH, prints a short boot banner whose last line is\n"
        "\"Waiting for flash...\", then asks for the upload once a second. CR and LF\n"
        "bytes that arrive before the sender's first block are ignored. After a\n"
        "complete upload it prints\n"
        "    ## Upload complete: 'NAME'      (Y-Modem only)\n"
        "    ## Size: N bytes\n"
        "    ## CRC-32: 0xXXXXXXXX\n"
        "and the prompt. The CRC-32 is the usual zlib/IEEE one, the value of crc32(1)\n"
        "and of Python's zlib.crc32. With a Y-Modem size the image ends at that size;\n"
        "X-Modem has none, so its image includes the fill of the last block.\n"
        "A failed upload prints \"## Upload failed. Error N\" and the prompt, after the\n"
        "line has been quiet for 2 s. The board then answers its console: typed\n"
        "characters are echoed and a line end (CR, LF or CR LF) gives a new prompt.\n"
        "Whatever the board prints before the program at the other end has opened\n"
        "and set up its port may be thrown away by that set-up (blockxfer and most\n"
        "terminal programs discard pending input); --boot-delay-ms gives it time.\n"
        "\n"
        "  --port PATH               device or pty end of the board's console (required)\n"
        "  --baud N                  line speed set on the port (default 115200)\n"
        "  --protocol NAME           ymodem (default), ymodem-g, xmodem (8-bit checksum)\n"
        "                            or xmodem-crc\n"
        "  --xmodem                  the same as --protocol xmodem-crc\n"
        "  --boot-delay-ms N         wait N ms after opening the port before the banner\n"
        "  --banner-line-delay-ms N  write the banner line by line, N ms apart\n"
        "  --start-timeout S         seconds to ask for the upload (default 60)\n"
        "  --report-delay-ms N       wait N ms between the upload and the report\n"
        "  --after-lines N           after the prompt, print N more lines\n"
        "  --after-interval-ms N     N ms before each of those lines (default 100);\n"
        "                            after them the board falls silent\n"
        "  --prompt TEXT             console prompt, up to 32 bytes (default \"=> \")\n"
        "  --max-seconds N           end the program N s after its start (default 300)\n"
        "  --uboot                   play a stock U-Boot instead: \"Hit any key to stop\n"
        "                            autoboot\" for 3 s (no key: it boots and ignores the\n"
        "                            console), then the prompt; the console answers\n"
        "                            loady/loadx [ADDR [BAUD]] with U-Boot's texts and,\n"
        "                            for a BAUD other than --baud, its rate switch\n"
        "                            (\"## Switch baudrate to N bps and press ENTER ...\",\n"
        "                            CR at N; after the load \"... press ESC ...\", ESC at\n"
        "                            the first rate), and crc32 ADDR SIZE over the image\n"
        "                            (${loadaddr} and ${filesize} are expanded)\n"
        "\n"
        "Failing on purpose:\n"
        "  --never-start             print the banner, then never ask for the upload\n"
        "  --cancel-after N          cancel the upload with five CAN bytes when a block\n"
        "                            would take the image past N bytes\n"
        "  --silent-after            print nothing after the upload, not even the report,\n"
        "                            and ignore the console\n"
        "  -h, --help                print this text and exit\n"
        "\n"
        "Standard output: \"ready\" once the port is open and set up, then one line\n"
        "\"upload ok: N bytes, crc32 0xXXXXXXXX\", \"upload failed: error N\" or\n"
        "\"upload failed: never started, on purpose\".\n"
        "Exit status: 0 after a complete upload, 1 when there was none (also on\n"
        "purpose), 2 on a command-line error, 3 when the port cannot be opened.\n"
        "The board ends on SIGTERM, or after --max-seconds.\n",
        programName);
}
