// Port number to device path on POSIX systems, shared by both programs so
// that the bench program and the job it starts open the same device:
// port N is the device named by the environment variable COM<N> when it is
// set and not empty, otherwise /dev/ttyS<N-1> (COM1 is /dev/ttyS0).
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Writes the device path into `out`; false when port N names no device
// (port 0 without a COM0 variable) or the path does not fit.
inline bool posixDeviceForPort(uint32_t portNumber, char* out, size_t outSize)
{
    char variable[16];
    std::snprintf(variable, sizeof variable, "COM%u", static_cast<unsigned>(portNumber));
    const char* mapped = std::getenv(variable);
    int n;
    if (mapped != nullptr && mapped[0] != '\0')
        n = std::snprintf(out, outSize, "%s", mapped);
    else if (portNumber == 0)
        return false;
    else
        n = std::snprintf(out, outSize, "/dev/ttyS%u", static_cast<unsigned>(portNumber - 1));
    return n > 0 && static_cast<size_t>(n) < outSize;
}
