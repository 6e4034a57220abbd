// Line settings as the serial control takes them: "baud,parity,data,stop",
// as "115200,N,8,1". Parity is one of N, E, O, M, S (either case).
#pragma once
#include <cstdint>
#include <string>

struct CommSettings {
    uint32_t baudRate = 9600;
    char parity = 'N';  // upper case
    uint8_t dataBits = 8;
    uint8_t stopBits = 1;  // 1 or 2
};

// False, leaving `settings` unchanged, when the text is not of that form or
// a value is out of range (data bits 5 to 8, stop bits 1 or 2).
bool parseCommSettings(const std::string& text, CommSettings& settings);
