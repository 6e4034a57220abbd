#pragma once
#include <cstdint>

// Prints the message (with ". Error %d" for a negative code) and a newline
// on standard error and ends the process with `code` as its status.
[[noreturn]] void fatalError(int32_t code, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
