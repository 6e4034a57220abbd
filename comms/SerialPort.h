// The serial line as the transfer tool sees it: synchronous reads and writes
// of raw bytes, each with its own timeout in milliseconds.
//
// open(port) -> configure(baud) -> read/write ... -> close(), then delete.
// read/write return the number of bytes moved (at least 1), 0 when the
// timeout ran out with nothing moved, or a negative result code
// (rc::PortWrite / rc::PortRead). A single call never waits for its full
// count: it returns as soon as one attempt moves something.
//
// One implementation per operating system, chosen by the build; this header
// includes no system header so that the engines stay portable.
#pragma once
#include <cstdint>
#include <memory>

class SerialPort {
public:
    SerialPort() = default;
    // A port owns its device: a copy would close it twice.
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    virtual int32_t open(uint32_t portNumber) = 0;     // 0, -100, -101, -102
    virtual int32_t configure(uint32_t baudRate) = 0;  // 0, -100, -103
    virtual int32_t write(const uint8_t* data, uint32_t count, uint32_t timeoutMs) = 0;
    virtual int32_t read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) = 0;
    virtual void close() = 0;
    virtual ~SerialPort() {}
};

// Highest port number plus one: the device name has room for three digits.
constexpr uint32_t kPortNumberLimit = 1000;

// Creates the port implementation of this platform. `devicePath`, when not
// null, names the device directly and the port number passed to open() is
// then not used to find it. Empty only when memory ran out.
std::unique_ptr<SerialPort> createSerialPort(const char* devicePath);
