#include "TracingSerialPort.h"

int32_t TracingSerialPort::open(uint32_t portNumber)
{
    int32_t r = port.open(portNumber);
    trace.event("open", "port %u -> %d", static_cast<unsigned>(portNumber), static_cast<int>(r));
    return r;
}

int32_t TracingSerialPort::configure(uint32_t baudRate)
{
    int32_t r = port.configure(baudRate);
    trace.event("configure", "%u baud -> %d", static_cast<unsigned>(baudRate), static_cast<int>(r));
    return r;
}

int32_t TracingSerialPort::write(const uint8_t* data, uint32_t count, uint32_t timeoutMs)
{
    int32_t r = port.write(data, count, timeoutMs);
    if (r > 0)
        trace.chunk("out", data, static_cast<uint32_t>(r));
    else if (r < 0)
        trace.event("error", "write -> %d", static_cast<int>(r));
    return r;
}

int32_t TracingSerialPort::read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs)
{
    int32_t r = port.read(buffer, count, timeoutMs);
    if (r > 0)
        trace.chunk("in", buffer, static_cast<uint32_t>(r));
    else if (r < 0)
        trace.event("error", "read -> %d", static_cast<int>(r));
    return r;
}

void TracingSerialPort::close()
{
    port.close();
    trace.event("close");
}
