// The fuzz targets' own statement of where a received file may go: a
// relative name that stays below the working folder. Written apart from
// the receiver's check on purpose, so that one can catch the other.
#pragma once

inline bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline bool staysBelowWorkingFolder(const char* name)
{
    if (name[0] == '\0' || name[0] == '/' || name[0] == '\\')
        return false;
    if (isLetter(name[0]) && name[1] == ':')
        return false;
    const char* start = name;
    for (const char* p = name;; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        const bool separator = c == '/' || c == '\\' || c == '\0';
        if (separator) {
            if (p - start == 2 && start[0] == '.' && start[1] == '.')
                return false;
            if (c == '\0')
                return true;
            start = p + 1;
        } else if (c < 0x20 || c == 0x7F) {
            return false;
        }
    }
}
