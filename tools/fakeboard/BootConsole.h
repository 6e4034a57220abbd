// The board's command line after an upload, as a bootloader's looks from
// the other end of the line: typed characters are echoed, a line end (CR,
// LF, or CR LF taken as one) prints a new prompt, and a line with text in
// it is first answered as an unknown command, unless a Commands handler
// takes it. Output goes to the port.
#pragma once
#include <cstdint>

#include "SerialPort.h"

class BootConsole {
public:
    // Runs a typed line (at most 79 characters), printing its own output
    // lines; false when it is no command of the handler's.
    class Commands {
    public:
        virtual bool run(const char* line) = 0;
        virtual ~Commands() {}
    };

    BootConsole(SerialPort& port, const char* prompt, Commands* commands = nullptr);

    // Answers typed bytes; 0 or the port's result code.
    int32_t feed(const uint8_t* bytes, uint32_t count);

private:
    int32_t endLine();

    SerialPort& port;
    const char* prompt;
    Commands* commands;
    char line[80] = {};
    uint32_t lineLength = 0;
    bool afterCr = false;
};

// Writes all of `text`, 1000 ms per write call; 0, -200 when the line takes
// nothing, or the port's result code.
int32_t sendText(SerialPort& port, const char* text);
int32_t sendBytes(SerialPort& port, const uint8_t* data, uint32_t count);
