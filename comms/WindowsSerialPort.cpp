#include "WindowsSerialPort.h"

#include <cstring>
#include <new>
#include <windows.h>

#include "PollLoop.h"
#include "ResultCodes.h"

namespace {

// The names of the Win32 devices, digits written from the eighth character.
const char kDeviceNameTemplate[kWindowsDeviceNameSize] = "\\\\.\\com???.???";
constexpr uint32_t kFirstDigit = 7;

// Ends pending reads and writes and discards both queues.
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// The device gives no readiness to wait for: each step is a plain sleep,
// and it never ends early, so there is nothing left to wait out.
class SleepWaiter {
public:
    bool waitStep(uint32_t ms)
    {
        Sleep(ms);
        return false;
    }
    void finishStep() {}
};

}  // namespace

bool windowsDeviceName(uint32_t portNumber, char (&name)[kWindowsDeviceNameSize])
{
    if (portNumber >= kPortNumberLimit)
        return false;
    std::memcpy(name, kDeviceNameTemplate, sizeof name);
    char digits[4];
    uint32_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + portNumber % 10);
        portNumber /= 10;
    } while (portNumber != 0);
    uint32_t at = kFirstDigit;
    while (count > 0)
        name[at++] = digits[--count];
    name[at] = '\0';
    return true;
}

int32_t openErrorCode(uint32_t lastError)
{
    switch (lastError) {
    case ERROR_FILE_NOT_FOUND:
        return rc::PortNoDevice;
    case ERROR_ACCESS_DENIED:
        return rc::PortDenied;
    default:
        return rc::PortOther;
    }
}

int32_t settingsErrorCode(uint32_t lastError)
{
    return lastError == ERROR_INVALID_PARAMETER ? rc::PortSettings : rc::PortOther;
}

std::unique_ptr<SerialPort> createSerialPort(const char* devicePath)
{
    return std::unique_ptr<SerialPort>(new (std::nothrow) WindowsSerialPort(devicePath));
}

WindowsSerialPort::WindowsSerialPort(const char* devicePath_) : devicePath(devicePath_) {}

WindowsSerialPort::~WindowsSerialPort()
{
    close();
}

int32_t WindowsSerialPort::open(uint32_t portNumber)
{
    if (devicePath != nullptr)
        return openDevice(devicePath);
    char name[kWindowsDeviceNameSize];
    if (!windowsDeviceName(portNumber, name))
        return rc::PortNoDevice;
    return openDevice(name);
}

int32_t WindowsSerialPort::openDevice(const char* name)
{
    // The port in use stays open until the new one is.
    HANDLE opened = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return openErrorCode(GetLastError());
    close();
    handle = opened;
    return rc::Ok;
}

int32_t WindowsSerialPort::configure(uint32_t baudRate)
{
    if (!FlushFileBuffers(handle) || !PurgeComm(handle, kPurgeAll))
        return rc::PortOther;

    // Only the rate and the frame format are ours to set; flow control and
    // the modem lines stay as the driver (or the user's setup) has them.
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    if (!GetCommState(handle, &dcb))
        return rc::PortOther;
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!SetCommState(handle, &dcb))
        return settingsErrorCode(GetLastError());

    // A read returns at once with what has arrived; a write has no time
    // limit of its own. The polling loop makes every timeout.
    COMMTIMEOUTS timeouts;
    std::memset(&timeouts, 0, sizeof timeouts);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!SetCommTimeouts(handle, &timeouts) || !PurgeComm(handle, kPurgeAll))
        return rc::PortOther;
    return rc::Ok;
}

int32_t WindowsSerialPort::write(const uint8_t* data, uint32_t count, uint32_t timeoutMs)
{
    auto attempt = [&]() -> int32_t {
        DWORD moved = 0;
        if (!WriteFile(handle, data, count, &moved, nullptr))
            return rc::PortWrite;
        return static_cast<int32_t>(moved);
    };
    SleepWaiter waiter;
    return pollWithTimeout(timeoutMs, attempt, waiter);
}

int32_t WindowsSerialPort::read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs)
{
    auto attempt = [&]() -> int32_t {
        DWORD moved = 0;
        if (!ReadFile(handle, buffer, count, &moved, nullptr))
            return rc::PortRead;
        return static_cast<int32_t>(moved);
    };
    SleepWaiter waiter;
    return pollWithTimeout(timeoutMs, attempt, waiter);
}

void WindowsSerialPort::close()
{
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}
