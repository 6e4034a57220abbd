#pragma once
#include <cstdint>

// Prints the message (with ". Error %d" for a negative code) and a newline
// on standard error and ends the process with `code` as its status.
[[noreturn]] void fatalError(int32_t code, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// After an interrupt (rc::Interrupted, the cancel already sent): prints
// "<activity> interrupted by <signal>" on standard error and ends the
// process with the signal's exit status (StopSignals.h). exit() closes the
// open files, a partly received one included, and the port.
[[noreturn]] void interruptedExit(const char* activity);
