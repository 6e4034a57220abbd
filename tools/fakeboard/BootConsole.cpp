#include "BootConsole.h"

#include <cstdio>
#include <cstring>

#include "ResultCodes.h"

namespace {
constexpr uint8_t kBackspace = 0x08;
constexpr uint8_t kDelete = 0x7F;
constexpr uint32_t kWriteTimeoutMs = 1000;
}  // namespace

int32_t sendBytes(SerialPort& port, const uint8_t* data, uint32_t count)
{
    uint32_t done = 0;
    while (done < count) {
        int32_t n = port.write(data + done, count - done, kWriteTimeoutMs);
        if (n < 0)
            return n;
        if (n == 0)
            return rc::Timeout;
        done += static_cast<uint32_t>(n);
    }
    return rc::Ok;
}

int32_t sendText(SerialPort& port, const char* text)
{
    return sendBytes(port, reinterpret_cast<const uint8_t*>(text),
                     static_cast<uint32_t>(std::strlen(text)));
}

BootConsole::BootConsole(SerialPort& port_, const char* prompt_, Commands* commands_)
    : port(port_), prompt(prompt_), commands(commands_)
{
}

int32_t BootConsole::feed(const uint8_t* bytes, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t b = bytes[i];
        bool lfOfCrLf = b == '\n' && afterCr;
        afterCr = b == '\r';
        int32_t r = rc::Ok;
        if (lfOfCrLf)
            continue;
        if (b == '\r' || b == '\n') {
            r = endLine();
        } else if (b == kBackspace || b == kDelete) {
            if (lineLength > 0) {
                --lineLength;
                r = sendText(port, "\b \b");
            }
        } else if (b >= 0x20 && b < 0x7F && lineLength + 1 < sizeof line) {
            // A full line takes no more characters, and echoes none.
            line[lineLength++] = static_cast<char>(b);
            r = sendBytes(port, &b, 1);
        }
        if (r != rc::Ok)
            return r;
    }
    return rc::Ok;
}

int32_t BootConsole::endLine()
{
    char reply[sizeof line + 64];
    line[lineLength] = '\0';
    const bool typed = lineLength > 0;
    lineLength = 0;
    int32_t r = sendText(port, "\r\n");
    if (r == rc::Ok && typed && (commands == nullptr || !commands->run(line))) {
        std::snprintf(reply, sizeof reply, "Unknown command '%s' - try 'help'\r\n", line);
        r = sendText(port, reply);
    }
    return r == rc::Ok ? sendText(port, prompt) : r;
}
