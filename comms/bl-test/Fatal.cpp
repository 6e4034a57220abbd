#include "Fatal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void fatalError(int32_t code, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    if (code < 0)
        std::fprintf(stderr, ". Error %d", code);
    std::fprintf(stderr, "\n");
    std::exit(code);
}
