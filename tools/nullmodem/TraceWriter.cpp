#include "TraceWriter.h"

#include <cerrno>
#include <cstring>

TraceWriter::~TraceWriter()
{
    if (file != nullptr)
        std::fclose(file);
}

bool TraceWriter::open(const std::string& path, std::string& error)
{
    file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = "cannot create trace " + path + ": " + std::strerror(errno);
        return false;
    }
    std::fputs("# nullmodem trace: <microseconds> <ab|ba> <count> <hex bytes>\n", file);
    dirty = true;
    return true;
}

void TraceWriter::record(int64_t micros, const char* direction, const uint8_t* data, size_t count)
{
    if (file == nullptr || count == 0)
        return;
    static const char digits[] = "0123456789abcdef";
    std::fprintf(file, "%lld %s %zu ", static_cast<long long>(micros), direction, count);
    char hex[512];
    size_t used = 0;
    for (size_t i = 0; i < count; ++i) {
        hex[used++] = digits[data[i] >> 4];
        hex[used++] = digits[data[i] & 0x0Fu];
        if (used == sizeof hex) {
            std::fwrite(hex, 1, used, file);
            used = 0;
        }
    }
    hex[used++] = '\n';
    std::fwrite(hex, 1, used, file);
    dirty = true;
}

void TraceWriter::flush()
{
    if (file != nullptr && dirty) {
        std::fflush(file);
        dirty = false;
    }
}
