#include "ExitSeam.h"

namespace {
bool catching = false;
}

extern "C" [[noreturn]] void __real_exit(int status);

extern "C" [[noreturn]] void __wrap_exit(int status)
{
    if (catching) {
        catching = false;
        throw ProcessExit{status};
    }
    __real_exit(status);
}

void beginCatchingExit()
{
    catching = true;
}

void endCatchingExit()
{
    catching = false;
}
