// Lets a fuzz target call code that ends the process (usageError, -h,
// fatalError) and carry on with the next input.
//
// The target is linked with -Wl,--wrap=exit. Inside runCatchingExit, a
// call of exit(status) throws ProcessExit instead of ending the process;
// at any other time (libFuzzer's own exits) it is the real exit. The code
// under test is C++ built with exceptions, and each of its exits comes
// after its C library calls have returned, so the unwinding only passes
// through its own frames. Nothing is flushed or run at exit, as nothing
// needs to be.
#pragma once

struct ProcessExit {
    int status;
};

void beginCatchingExit();
void endCatchingExit();

// Runs f(); true when it returned, false when it called exit (status set).
template <class Function>
bool runCatchingExit(Function f, int& status)
{
    beginCatchingExit();
    try {
        f();
    } catch (const ProcessExit& e) {
        status = e.status;
        return false;
    }
    endCatchingExit();
    return true;
}
