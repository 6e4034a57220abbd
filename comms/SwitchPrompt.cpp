#include "SwitchPrompt.h"

#include <cstring>

namespace {
constexpr char kLead[] = "## Switch baudrate to ";
constexpr char kMiddle[] = " bps and press ";
constexpr uint8_t kEsc = 0x1B;
// A rate has at most ten digits in 32 bits.
constexpr uint32_t kMaxDigits = 10;

// Where `needle` first starts in text[0..length), or -1.
long find(const char* text, uint32_t length, const char* needle)
{
    const uint32_t n = static_cast<uint32_t>(std::strlen(needle));
    for (uint32_t i = 0; i + n <= length; ++i)
        if (std::memcmp(text + i, needle, n) == 0)
            return static_cast<long>(i);
    return -1;
}

bool startsWith(const char* text, uint32_t length, const char* word)
{
    const uint32_t n = static_cast<uint32_t>(std::strlen(word));
    return length >= n && std::memcmp(text, word, n) == 0;
}
}  // namespace

bool parseSwitchRequest(const char* text, uint32_t length, SwitchPrompt::Request& out)
{
    long lead = find(text, length, kLead);
    if (lead < 0)
        return false;
    uint32_t at = static_cast<uint32_t>(lead) + sizeof kLead - 1;
    uint64_t rate = 0;
    uint32_t digits = 0;
    for (; at < length && text[at] >= '0' && text[at] <= '9' && digits < kMaxDigits; ++at, ++digits)
        rate = rate * 10 + static_cast<uint32_t>(text[at] - '0');
    if (digits == 0 || rate == 0 || rate > 0xFFFFFFFFu || !startsWith(text + at, length - at, kMiddle))
        return false;
    at += sizeof kMiddle - 1;
    const char* key = text + at;
    const uint32_t left = length - at;
    // The key's name must be whole: "EN" could still become anything.
    if (startsWith(key, left, "ENTER"))
        out.key = '\r';
    else if (startsWith(key, left, "ESC"))
        out.key = kEsc;
    else
        return false;
    out.rate = static_cast<uint32_t>(rate);
    return true;
}

bool SwitchPrompt::feed(uint8_t byte, Request& out)
{
    if (byte == '\r' || byte == '\n') {
        bool found = parseSwitchRequest(line, length, out);
        length = 0;
        return found;
    }
    // A line longer than any request is not one; its tail may still start one.
    if (length == kLineMax)
        length = 0;
    line[length++] = static_cast<char>(byte);
    return false;
}

bool SwitchPrompt::pendingRequest(Request& out) const
{
    return parseSwitchRequest(line, length, out);
}
