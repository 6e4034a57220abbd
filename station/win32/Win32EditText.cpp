#include "Win32EditText.h"

std::string withCrLfLineEnds(const std::string& text)
{
    std::string shown;
    shown.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            shown += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            shown.push_back(c);
        }
    }
    return shown;
}
