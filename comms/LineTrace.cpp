#include "LineTrace.h"

#include <cstring>
#include <ctime>

bool LineTrace::open(const char* path)
{
    close();
    file = std::fopen(path, "ab");
    if (file == nullptr)
        return false;
    std::setvbuf(file, streamBuffer, _IOFBF, sizeof streamBuffer);
    start = std::chrono::steady_clock::now();
    char date[32];
    const std::time_t now = std::time(nullptr);
    if (std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now)) == 0)
        std::strcpy(date, "?");
    event("begin", "%s", date);
    return true;
}

void LineTrace::close()
{
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
    }
}

void LineTrace::beginLine()
{
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
    std::fprintf(file, "%lld.%06lld", static_cast<long long>(us / 1000000), static_cast<long long>(us % 1000000));
}

void LineTrace::endLine()
{
    std::fputc('\n', file);
    std::fflush(file);
}

void LineTrace::command(int argc, char** argv)
{
    if (file == nullptr)
        return;
    beginLine();
    std::fputs(" command", file);
    for (int i = 0; i < argc; ++i) {
        const bool quote = argv[i][0] == '\0' || std::strpbrk(argv[i], " \t") != nullptr;
        std::fprintf(file, quote ? " \"%s\"" : " %s", argv[i]);
    }
    endLine();
}

void LineTrace::chunk(const char* direction, const uint8_t* data, uint32_t count)
{
    if (file == nullptr)
        return;
    static const char digits[] = "0123456789abcdef";
    beginLine();
    std::fprintf(file, " %s", direction);
    // In pieces through a small stack buffer; the stream's own buffer
    // gathers the line.
    char piece[3 * 64];
    uint32_t used = 0;
    for (uint32_t i = 0; i < count; ++i) {
        piece[used++] = ' ';
        piece[used++] = digits[data[i] >> 4];
        piece[used++] = digits[data[i] & 0x0Fu];
        if (used == sizeof piece) {
            std::fwrite(piece, 1, used, file);
            used = 0;
        }
    }
    std::fwrite(piece, 1, used, file);
    endLine();
}

void LineTrace::recordWord(const char* word)
{
    if (file == nullptr)
        return;
    beginLine();
    std::fprintf(file, " %s", word);
    endLine();
}

void LineTrace::recordEvent(const char* word, const char* format, va_list args)
{
    if (file == nullptr)
        return;
    beginLine();
    std::fprintf(file, " %s ", word);
    std::vfprintf(file, format, args);
    endLine();
}
