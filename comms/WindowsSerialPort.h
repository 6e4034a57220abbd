// SerialPort over a Win32 communications device (COM port), for Windows.
//
// open() opens "\\.\comN" exclusively and synchronously; configure() sets
// the baud rate with 8N1, leaves every other line setting (flow control,
// modem lines) as the driver reports it, and makes reads return at once
// with whatever has arrived. The timeout of each read and write comes from
// the shared polling loop, which sleeps between attempts.
//
// No system header here: the handle is kept as the void* that a Win32
// HANDLE is, so that the naming and error rules below can be tested
// anywhere.
#pragma once
#include <cstdint>

#include "SerialPort.h"

// The name is built over the 15-byte template "\\.\com???.???": the digits
// go over the question marks and a terminator follows them, so three
// digits fit and the ".???" tail never shows.
constexpr uint32_t kWindowsDeviceNameSize = 15;

// Writes the device name of COM<portNumber> into `name`; false (and
// nothing written) for port numbers of 1000 or more.
bool windowsDeviceName(uint32_t portNumber, char (&name)[kWindowsDeviceNameSize]);

// GetLastError() after a failed CreateFileA: -101 no such device, -102
// access denied, -100 anything else.
int32_t openErrorCode(uint32_t lastError);

// GetLastError() after a failed SetCommState: -103 for an invalid
// parameter (the driver refused a setting, e.g. the rate), else -100.
int32_t settingsErrorCode(uint32_t lastError);

class WindowsSerialPort : public SerialPort {
public:
    // devicePath: when not null, the device to open, whatever port number.
    explicit WindowsSerialPort(const char* devicePath = nullptr);
    ~WindowsSerialPort() override;

    int32_t open(uint32_t portNumber) override;
    int32_t configure(uint32_t baudRate) override;
    int32_t write(const uint8_t* data, uint32_t count, uint32_t timeoutMs) override;
    int32_t read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override;
    void close() override;

    WindowsSerialPort(const WindowsSerialPort&) = delete;
    WindowsSerialPort& operator=(const WindowsSerialPort&) = delete;

private:
    int32_t openDevice(const char* name);

    const char* devicePath;
    void* handle = nullptr;  // null: closed
};
