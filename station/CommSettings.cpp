#include "CommSettings.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Parses an unsigned decimal that runs exactly up to `end`.
bool parseNumber(const char* begin, const char* end, unsigned long& value)
{
    if (begin == end || !std::isdigit(static_cast<unsigned char>(*begin)))
        return false;
    char* stop = nullptr;
    errno = 0;
    value = std::strtoul(begin, &stop, 10);
    return errno == 0 && stop == end;
}

}  // namespace

bool parseCommSettings(const std::string& text, CommSettings& settings)
{
    const char* fields[4];
    const char* ends[4];
    const char* p = text.c_str();
    for (int i = 0; i < 4; ++i) {
        fields[i] = p;
        const char* comma = std::strchr(p, ',');
        ends[i] = comma != nullptr ? comma : p + std::strlen(p);
        if ((comma == nullptr) != (i == 3))
            return false;
        p = ends[i] + (comma != nullptr ? 1 : 0);
    }
    unsigned long baud = 0;
    unsigned long data = 0;
    unsigned long stop = 0;
    if (!parseNumber(fields[0], ends[0], baud) || baud == 0 || baud > UINT32_MAX)
        return false;
    if (ends[1] - fields[1] != 1 || std::strchr("NEOMS", std::toupper(static_cast<unsigned char>(*fields[1]))) == nullptr)
        return false;
    if (!parseNumber(fields[2], ends[2], data) || data < 5 || data > 8)
        return false;
    if (!parseNumber(fields[3], ends[3], stop) || (stop != 1 && stop != 2))
        return false;
    settings.baudRate = static_cast<uint32_t>(baud);
    settings.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(*fields[1])));
    settings.dataBits = static_cast<uint8_t>(data);
    settings.stopBits = static_cast<uint8_t>(stop);
    return true;
}
