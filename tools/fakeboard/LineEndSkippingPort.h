// A SerialPort in front of the board's own port that throws away the CR and
// LF bytes arriving before the upload starts. A bench console answers every
// line the board prints with line ends, and some of those are still on the
// way when the board begins to ask for the upload; to the receiver they
// would look like a broken frame and cost it a drain of a second or more.
// The first other byte (the sender's first frame) ends the skipping; from
// then on every byte passes unchanged.
#pragma once
#include "SerialPort.h"

class LineEndSkippingPort : public SerialPort {
public:
    explicit LineEndSkippingPort(SerialPort& inner);

    int32_t open(uint32_t portNumber) override;
    int32_t configure(uint32_t baudRate) override;
    int32_t write(const uint8_t* data, uint32_t count, uint32_t timeoutMs) override;
    // A read that brought only skipped bytes is made again with the same
    // timeout, so a wait may last longer than asked by the time that such
    // bytes took to come.
    int32_t read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override;
    void close() override;

    bool skipping() const { return skipLineEnds; }

private:
    SerialPort& inner;
    bool skipLineEnds = true;
};
