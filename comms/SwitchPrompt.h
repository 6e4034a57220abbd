// Recognises a bootloader's request to change the line's rate, as U-Boot's
// "loady ADDR BAUD" and "loadx ADDR BAUD" print it:
//
//   ## Switch baudrate to 921600 bps and press ENTER ...   (before the load)
//   ## Switch baudrate to 115200 bps and press ESC ...     (after it)
//
// Bytes are fed one at a time, in any pieces. A request counts once its
// line has ended (CR or LF), or, through pendingRequest(), once the text up
// to the key's name has come and the line has then fallen quiet: the board
// may change its rate before the end of the line is out. Pure logic, no I/O.
#pragma once
#include <cstdint>

class SwitchPrompt {
public:
    struct Request {
        uint32_t rate;  // bits per second asked for
        uint8_t key;    // CR for ENTER, ESC for ESC
    };

    // True when this byte ended a line that held a request, given in `out`.
    bool feed(uint8_t byte, Request& out);
    // The request in the line not yet ended, if its text is complete.
    bool pendingRequest(Request& out) const;
    // Forgets the line so far (the request in it has been answered).
    void clear() { length = 0; }

private:
    static constexpr uint32_t kLineMax = 96;
    char line[kLineMax] = {};
    uint32_t length = 0;
};

// Parses one line of text (need not be terminated; `length` bytes).
bool parseSwitchRequest(const char* text, uint32_t length, SwitchPrompt::Request& out);
