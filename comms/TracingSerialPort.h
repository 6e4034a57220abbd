// A SerialPort that records every chunk it moves, and every failure of the
// port, in a LineTrace, and otherwise passes each call through unchanged:
// results, timeouts and codes are those of the port it wraps.
//
// "out" lines hold what the wrapped port took (a short write records only
// the bytes it moved), "in" lines what a read returned. Timeouts (0) leave
// no line: the engines say when a wait ran out and what it meant.
#pragma once
#include "LineTrace.h"
#include "SerialPort.h"

class TracingSerialPort : public SerialPort {
public:
    TracingSerialPort(SerialPort& port_, LineTrace& trace_) : port(port_), trace(trace_) {}

    int32_t open(uint32_t portNumber) override;
    int32_t configure(uint32_t baudRate) override;
    int32_t write(const uint8_t* data, uint32_t count, uint32_t timeoutMs) override;
    int32_t read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override;
    void close() override;

private:
    SerialPort& port;
    LineTrace& trace;
};
