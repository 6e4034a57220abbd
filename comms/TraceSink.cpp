#include "TraceSink.h"

#include <cstdio>

#include "Block.h"

void TraceSink::event(const char* word, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    recordEvent(word, format, args);
    va_end(args);
}

TraceSink& TraceSink::none()
{
    static TraceSink silent;
    return silent;
}

ByteName byteName(uint8_t byte)
{
    ByteName name {};
    const char* known = nullptr;
    switch (byte) {
    case ctl::SOH: known = "SOH"; break;
    case ctl::STX: known = "STX"; break;
    case ctl::EOT: known = "EOT"; break;
    case ctl::ACK: known = "ACK"; break;
    case ctl::NAK: known = "NAK"; break;
    case ctl::CAN: known = "CAN"; break;
    case ctl::CRC: known = "C"; break;
    case ctl::G: known = "G"; break;
    default: break;
    }
    if (known != nullptr)
        std::snprintf(name.text, sizeof name.text, "%s", known);
    else
        std::snprintf(name.text, sizeof name.text, "0x%02x", static_cast<unsigned>(byte));
    return name;
}
