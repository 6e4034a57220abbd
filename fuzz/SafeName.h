// The fuzz targets' own statement of where a received file may go: a
// relative name that stays below the working folder. It walks the name as
// a path, component by component, counting how deep it is, so it states
// the rule differently from the receiver's check and the two can catch
// each other (the receiver refuses every ".." outright; this only asks
// that the walk never climbs above its start).
#pragma once
#include <cctype>
#include <string>

inline bool staysBelowWorkingFolder(const char* name)
{
    const std::string path(name);
    if (path.empty() || path[0] == '/' || path[0] == '\\')
        return false;  // nothing, or rooted
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])))
        return false;  // a drive, as Windows reads "c:name"
    int depth = 0;
    std::string component;
    for (size_t i = 0; i <= path.size(); ++i) {
        const char c = i < path.size() ? path[i] : '/';
        if (c != '/' && c != '\\') {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                return false;  // no file name on a bench holds these
            component += c;
            continue;
        }
        if (component == "..")
            --depth;
        else if (!component.empty() && component != ".")
            ++depth;
        if (depth < 0)
            return false;
        component.clear();
    }
    return true;
}
