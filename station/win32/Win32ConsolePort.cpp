#include "Win32ConsolePort.h"

#include <cstring>
#include <windows.h>

#include "WindowsSerialPort.h"

namespace {

// Big enough for a console's bursts between two polls at any baud rate.
constexpr DWORD queueSize = 4096;
constexpr DWORD purgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// BuildCommDCB changes only what the text names (and turns flow control
// off); everything else comes from the driver's current state.
bool buildDcb(HANDLE handle, const std::string& settings, DCB& dcb)
{
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (handle != nullptr && !GetCommState(handle, &dcb))
        return false;
    if (!BuildCommDCBA(settings.c_str(), &dcb))
        return false;
    // Windows supports binary transfers only; a line error must not stop
    // all later reads until it is cleared.
    dcb.fBinary = TRUE;
    dcb.fAbortOnError = FALSE;
    dcb.fNull = FALSE;
    return true;
}

}  // namespace

PortError portErrorFromLastError(uint32_t lastError)
{
    switch (lastError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return PortError::noDevice;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return PortError::busy;
    default:
        return PortError::other;
    }
}

Win32ConsolePort::~Win32ConsolePort() { close(); }

bool Win32ConsolePort::setSettings(const std::string& text)
{
    DCB scratch;
    if (!buildDcb(nullptr, text, scratch))
        return false;
    settings = text;
    return true;
}

PortError Win32ConsolePort::open()
{
    close();
    char name[kWindowsDeviceNameSize];
    if (portNumber <= 0 || !windowsDeviceName(static_cast<uint32_t>(portNumber), name))
        return PortError::noDevice;
    HANDLE opened = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return portErrorFromLastError(GetLastError());
    handle = opened;
    const PortError configured = configure();
    if (configured != PortError::none)
        close();
    return configured;
}

PortError Win32ConsolePort::configure()
{
    DCB dcb;
    if (!SetupComm(handle, queueSize, queueSize) || !buildDcb(handle, settings, dcb) || !SetCommState(handle, &dcb))
        return PortError::other;
    COMMTIMEOUTS timeouts;
    std::memset(&timeouts, 0, sizeof timeouts);
    timeouts.ReadIntervalTimeout = MAXDWORD;  // with the totals 0: return at once
    timeouts.WriteTotalTimeoutConstant = writeTimeoutMs;
    if (!SetCommTimeouts(handle, &timeouts) || !PurgeComm(handle, purgeAll))
        return PortError::other;
    return PortError::none;
}

void Win32ConsolePort::close()
{
    if (handle == nullptr)
        return;
    CloseHandle(handle);
    handle = nullptr;
}

bool Win32ConsolePort::write(const std::string& text)
{
    if (handle == nullptr)
        return false;
    DWORD written = 0;
    return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::string Win32ConsolePort::readAll()
{
    std::string waiting;
    if (handle == nullptr)
        return waiting;
    char buffer[512];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &got, nullptr) || got == 0)
            break;
        waiting.append(buffer, got);
    }
    return waiting;
}

bool Win32ConsolePort::receiveWaiting()
{
    if (handle == nullptr)
        return false;
    DWORD errors = 0;
    COMSTAT status;
    std::memset(&status, 0, sizeof status);
    // Also clears a line error (framing, overrun), which the station ignores.
    return ClearCommError(handle, &errors, &status) && status.cbInQue > 0;
}
