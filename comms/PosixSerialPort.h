// SerialPort over a POSIX tty (termios), for Linux.
//
// open() takes the device exclusively: flock() against other programs that
// lock (a second blockxfer, picocom, minicom), TIOCEXCL against those that
// do not, and asks the driver for its low-latency mode while open
// (LowLatencyRequest). Reads and writes are non-blocking attempts; the
// timeout comes from the shared polling loop, whose waits end early when
// poll() reports the descriptor ready, and a read that has part of what it
// asked for then sleeps while the line brings most of the rest
// (gatherSleepNs). A read's timeout is lengthened by the time the line
// still needs for what was written (TransmitClock), unless the last write
// was cut short. close() first waits, for a bounded time, until the driver
// has sent what was written, then hands back the low-latency flag.
#pragma once
#include "LowLatency.h"
#include "SerialPort.h"
#include "TransmitClock.h"

class PosixSerialPort : public SerialPort {
public:
    // devicePath: when not null, the device to open, whatever port number.
    explicit PosixSerialPort(const char* devicePath = nullptr);
    ~PosixSerialPort() override;

    int32_t open(uint32_t portNumber) override;
    int32_t configure(uint32_t baudRate) override;
    int32_t write(const uint8_t* data, uint32_t count, uint32_t timeoutMs) override;
    int32_t read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override;
    void close() override;

    // Opens a device by path (the work of open() once the name is known).
    int32_t openDevice(const char* path);

private:
    // Beyond the line time the transmit clock expects for what is queued.
    static constexpr uint32_t kSendMarginMs = 500;
    void waitUntilSent();

    const char* devicePath;
    int fd = -1;
    TransmitClock transmitClock;
    bool lastWriteCutShort = false;
    uint64_t byteNs = 0;  // line time of one byte (8N1); 0 until configured
    LowLatencyRequest lowLatency;
};
