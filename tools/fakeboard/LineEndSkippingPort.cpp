#include "LineEndSkippingPort.h"

#include <cstring>

namespace {
bool isLineEnd(uint8_t byte)
{
    return byte == '\r' || byte == '\n';
}
}  // namespace

LineEndSkippingPort::LineEndSkippingPort(SerialPort& inner_) : inner(inner_) {}

int32_t LineEndSkippingPort::open(uint32_t portNumber)
{
    return inner.open(portNumber);
}

int32_t LineEndSkippingPort::configure(uint32_t baudRate)
{
    return inner.configure(baudRate);
}

int32_t LineEndSkippingPort::write(const uint8_t* data, uint32_t count, uint32_t timeoutMs)
{
    return inner.write(data, count, timeoutMs);
}

int32_t LineEndSkippingPort::read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs)
{
    for (;;) {
        int32_t n = inner.read(buffer, count, timeoutMs);
        if (n <= 0 || !skipLineEnds)
            return n;
        uint32_t moved = static_cast<uint32_t>(n);
        uint32_t skipped = 0;
        while (skipped < moved && isLineEnd(buffer[skipped]))
            ++skipped;
        if (skipped < moved) {
            skipLineEnds = false;
            std::memmove(buffer, buffer + skipped, moved - skipped);
            return static_cast<int32_t>(moved - skipped);
        }
    }
}

void LineEndSkippingPort::close()
{
    inner.close();
}
