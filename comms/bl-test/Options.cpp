#include "Options.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "RunTrace.h"

Settings Options;

namespace {

// The usage text is the tool's own, spelling included: scripts and the
// end-to-end tests compare it byte for byte, so keep it as it stands.
const char kUsage[] =
    "Usage: %s [OPTION]... FILE [DST-FILE]\n"
    "Tranfer a file using X-Modem or Y-Modem protocols\n"
    "\n"
    "  -s[y|x|k]       Send file.\n"
    "                  If 'y' is specifieied Y-Modem protocol is used. (Default)\n"
    "                  If 'x' is specifieied X-Modem protocol is used.\n"
    "                  If 'k' is specifieied X-Modem 1K protocol is used.\n"
    "  -r[y|g|x|c]     Receive file.\n"
    "                  If 'y' is specifieied Y-Modem protocol is used. (Default)\n"
    "                  If 'g' is specifieied Y-Modem G protocol is used.\n"
    "                  If 'x' is specifieied X-Modem protocol is used.\n"
    "                  If 'c' is specifieied X-Modem CRC protocol is used.\n"
    "  -pPORT          Use communications port PORT. Default is 1\n"
    "  -bBAUD          Set baud rate for port to BAUD. Default is 115200\n"
    "  -tTIMEOUT       Set timeout for transfer start (in seconds). Default is 30\n"
    "  -lfLOG          Capture log after transfer and write it to file LOG\n"
    "  -le             Echo the captured log to STDOUT.\n"
    "  -ltLOGTIMEOUT   Timeout for log capture (in seconds). Default is 10\n"
    "  -lxSTRING       End log capture when STRING is received\n"
    "\n"
    "FILE is optional when receiving a file by Y-Modem: options -ry or -rg\n"
    "DST-FILE is the name sent to receiver when using Y-Modem. Default is FILE.\n";

// --help: the usage text above, then the long options, which have no
// place in it (its 22 lines are compared as they stand).
const char kLongOptions[] =
    "\n"
    "Long options:\n"
    "  --send-line TEXT      Once the port is set up, type TEXT and a carriage\n"
    "                        return (a console command such as 'loady'), before\n"
    "                        the transfer or the log capture. A sender then takes\n"
    "                        only an opening character that stands alone, not a\n"
    "                        'C' inside the echo or the console's answer.\n"
    "  --follow-baud-switch  When the console asks \"## Switch baudrate to N bps\n"
    "                        and press ENTER\" (or ESC), set the port to N and\n"
    "                        press that key; the transfer runs at N, and the log\n"
    "                        capture goes on at the first rate once the console\n"
    "                        has asked to switch back.\n"
    "  --help                Print this text.\n"
    "TEXT may also follow an equals sign: --send-line=TEXT.\n";

constexpr uint32_t kSecondsLimit = 4294966;

[[noreturn]] void invalidOption(const char* arg)
{
    usageError("Invalid option '%s'", arg);
}

// Strips one pair of enclosing double quotes in place. A lone quote is left
// as it is: it would otherwise be both the first and the last character.
char* stripQuotes(char* arg)
{
    size_t length = std::strlen(arg);
    if (length >= 2 && arg[0] == '"' && arg[length - 1] == '"') {
        arg[length - 1] = '\0';
        return arg + 1;
    }
    return arg;
}

void takeFileArgument(const char* arg)
{
    if (Options.destName != nullptr)
        usageError("Too many file arguments");
    if (Options.fileName == nullptr)
        Options.fileName = arg;
    else
        Options.destName = arg;
}

uint32_t numberOrError(const char* text, const char* message)
{
    uint32_t value = 0;
    if (!parseNumber(text, value))
        usageError("%s", message);
    return value;
}

void parseSendOption(const char* arg)
{
    Options.sendMode = true;
    Options.useXModem = false;
    char letter = arg[2];
    if (letter != '\0' && arg[3] != '\0')
        invalidOption(arg);
    switch (letter) {
    case '\0':
    case 'y':
        break;
    case 'x':
        Options.useXModem = true;
        Options.xmodem1K = false;
        break;
    case 'k':
        Options.useXModem = true;
        Options.xmodem1K = true;
        break;
    default:
        invalidOption(arg);
    }
}

void parseReceiveOption(const char* arg)
{
    Options.receiveMode = true;
    Options.useXModem = false;
    Options.ymodemG = false;
    char letter = arg[2];
    if (letter != '\0' && arg[3] != '\0')
        invalidOption(arg);
    switch (letter) {
    case '\0':
    case 'y':
        break;
    case 'g':
        Options.ymodemG = true;
        break;
    case 'x':
        Options.xmodemCrc = false;
        Options.useXModem = true;
        break;
    case 'c':
        Options.xmodemCrc = true;
        Options.useXModem = true;
        break;
    default:
        invalidOption(arg);
    }
}

void parseLogOption(const char* arg)
{
    const char* value = arg + 3;
    switch (arg[2]) {
    case 'e':
        Options.logEcho = true;
        break;
    case 'f':
        Options.logFileName = value;
        break;
    case 't':
        Options.logTimeoutMs = secondsToMs(numberOrError(value, "Invalid LOGTIMEOUT argument"));
        break;
    case 'x': {
        size_t length = std::strlen(value);
        if (length > kMaxStopLength)
            usageError("String too long in -lx option. Max length is 128");
        Options.logStopString = value;
        Options.logStopLength = static_cast<uint32_t>(length);
        break;
    }
    default:
        invalidOption(arg);
    }
}

void parseOption(const char* arg)
{
    const char* value = arg + 2;
    switch (arg[1]) {
    case 'b':
        Options.baudRate = numberOrError(value, "Invalid BAUD argument");
        break;
    case 'h':
        std::printf(kUsage, Options.programName);
        std::exit(1);
    case 'l':
        parseLogOption(arg);
        break;
    case 'p':
        if (value[0] == '/')
            Options.portDevice = value;
        else {
            Options.portNumber = numberOrError(value, "Invalid PORT argument");
            Options.portDevice = nullptr;
        }
        break;
    case 't':
        Options.startTimeoutMs = secondsToMs(numberOrError(value, "Invalid TIMEOUT argument"));
        break;
    case 's':
        parseSendOption(arg);
        break;
    case 'r':
        parseReceiveOption(arg);
        break;
    default:
        invalidOption(arg);
    }
}

// The few settings without a letter of their own. Returns the index of
// the last argument used: a value may be the next argument.
int parseLongOption(int argc, char** argv, int index)
{
    const char* arg = argv[index];
    static constexpr char kSendLine[] = "--send-line";
    static constexpr size_t kSendLineLength = sizeof kSendLine - 1;
    if (std::strcmp(arg, "--help") == 0) {
        std::printf(kUsage, Options.programName);
        std::fputs(kLongOptions, stdout);
        std::exit(1);
    }
    if (std::strcmp(arg, "--follow-baud-switch") == 0) {
        Options.followBaudSwitch = true;
        return index;
    }
    if (std::strncmp(arg, kSendLine, kSendLineLength) == 0 && arg[kSendLineLength] == '=') {
        Options.sendLine = arg + kSendLineLength + 1;
        return index;
    }
    if (std::strcmp(arg, kSendLine) != 0)
        invalidOption(arg);
    if (index + 1 >= argc)
        usageError("Missing TEXT argument of --send-line");
    argv[index + 1] = stripQuotes(argv[index + 1]);
    Options.sendLine = argv[index + 1];
    return index + 1;
}

}  // namespace

bool parseNumber(const char* text, uint32_t& value)
{
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    const char* digits = p;
    uint64_t magnitude = 0;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
        if (magnitude > 0xFFFFFFFFull) {
            overflow = true;
            magnitude = 0xFFFFFFFFull;
        }
    }
    // Like strtoul: with no digits nothing is converted and the end is the
    // start of the text, so only an empty text is accepted (as 0).
    const char* end = p == digits ? text : p;
    uint32_t result = static_cast<uint32_t>(magnitude);
    if (overflow)
        value = 0xFFFFFFFFu;
    else
        value = negative ? static_cast<uint32_t>(0u - result) : result;
    return *end == '\0';
}

uint32_t secondsToMs(uint32_t seconds)
{
    return seconds <= kSecondsLimit ? seconds * 1000u : 0xFFFFFFFFu;
}

void usageError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\nTry '%s -h' for more information.\n", Options.programName);
    runTrace().event("result", "1 command line");
    std::exit(1);
}

void parseCommandLine(int argc, char** argv)
{
    Options.programName = argv[0];
    for (int i = 1; i < argc; ++i) {
        argv[i] = stripQuotes(argv[i]);
        const char* arg = argv[i];
        if (arg[0] != '-')
            takeFileArgument(arg);
        else if (arg[1] == '-')
            i = parseLongOption(argc, argv, i);
        else
            parseOption(arg);
    }
}
