// The board's console port over a Win32 communications device: the serial
// control of the station's window on Windows.
//
// The port is "\\.\COM<n>", opened exclusively. Its line settings come from
// the control's settings text ("115200,N,8,1"), which BuildCommDCB parses
// itself; flow control is off, and the modem lines are as BuildCommDCB
// leaves them (DTR and RTS on). Reads return at once with what has arrived,
// so "read all waiting input" never blocks the window's thread.
//
// Arriving input is found by polling: the window asks receiveWaiting() on a
// short timer and delivers a receive event when it is true. Polling keeps
// the handle synchronous and the program on one thread, and it behaves the
// same on a UART, a USB adapter's driver and Wine's pty-backed COM ports,
// where WaitCommEvent's support varies; closing the port never races a
// waiting thread. The cost is a delay of one poll interval.
//
// No system header here, so that the decisions are tested anywhere; the
// handle is kept as the void* that a Win32 HANDLE is.
#pragma once
#include <cstdint>
#include <string>

#include "StationPlatform.h"

class Win32ConsolePort {
public:
    // Milliseconds between two looks for waiting input.
    static constexpr uint32_t pollIntervalMs = 20;
    // A write gives up after this long (a line held back by the driver must
    // not hang the window for ever).
    static constexpr uint32_t writeTimeoutMs = 2000;

    Win32ConsolePort() = default;
    ~Win32ConsolePort();
    Win32ConsolePort(const Win32ConsolePort&) = delete;
    Win32ConsolePort& operator=(const Win32ConsolePort&) = delete;

    // Keeps the text when BuildCommDCB takes it; false (old text kept) otherwise.
    bool setSettings(const std::string& settings);
    void setPortNumber(int16_t number) { portNumber = number; }

    PortError open();
    void close();
    bool isOpen() const { return handle != nullptr; }

    // Everything or nothing: false when the driver took less in time.
    bool write(const std::string& text);
    // All input waiting now; empty when none or the port is closed.
    std::string readAll();
    // True when at least one character is waiting.
    bool receiveWaiting();

private:
    PortError configure();

    std::string settings = "9600,N,8,1";
    int16_t portNumber = 0;
    void* handle = nullptr;  // null: closed
};

// GetLastError() after a failed CreateFileA of a COM device.
PortError portErrorFromLastError(uint32_t lastError);
