// A SerialPort in front of the real one when the line is a bootloader's
// console as well as the transfer's path: blockxfer types a command there,
// the console echoes it and answers in text, and may ask for the line's
// rate to be changed. Three jobs, each optional:
//
// - Typing a line: the first successful configure() writes the text and a
//   CR, once; the rate switches below set the port up again without it.
// - Screening the opening character: until the first write (the sender's
//   first frame) a read delivers nothing but an opening character ("C",
//   "G" or NAK) that stands alone: no text comes before it on its line
//   (the byte before it is a line end or another control byte, or the line
//   was quiet for kStandAloneMs), and no text follows it within
//   kStandAloneMs (a line end or silence does). Text is printable ASCII,
//   0x20 to 0x7E. So the "C" of an echoed "loady
//   0x4020000C" or of a banner's "Copyright" is not taken for a receiver's,
//   while a receiver's "C", sent on a line of its own and repeated about
//   once a second, is, kStandAloneMs after it came. Everything else is read
//   and dropped, as the sender's start wait would drop it.
// - Following a rate switch (SwitchPrompt): once the console has asked for
//   rate N, the port waits kSwitchSettleMs for the board to change its own
//   rate, sets itself to N and sends the key asked for (CR or ESC). A rate
//   the port refuses returns its code (-103) from that read, before the key
//   is sent. Reads that follow switches pass every byte on unchanged.
//
// Time is counted in the wrapped port's read timeouts, so a fake port with
// a virtual clock drives it as it drives the engines.
#pragma once
#include <cstdint>

#include "SerialPort.h"
#include "SwitchPrompt.h"
#include "TraceSink.h"

class ConsolePort : public SerialPort {
public:
    struct Settings {
        const char* line = nullptr;  // typed after set-up; null: nothing
        bool screenStart = false;    // a sender is about to wait for its opening character
        bool followSwitch = false;   // answer the console's rate-switch requests
    };

    static constexpr uint32_t kStandAloneMs = 100;
    static constexpr uint32_t kSwitchSettleMs = 150;
    // A request whose line has not ended is answered after this much quiet.
    static constexpr uint32_t kPromptQuietMs = 200;

    // What it typed and which switches it followed go to `trace`.
    ConsolePort(SerialPort& inner, const Settings& settings, TraceSink& trace = TraceSink::none());

    int32_t open(uint32_t portNumber) override;
    int32_t configure(uint32_t baudRate) override;
    int32_t write(const uint8_t* data, uint32_t count, uint32_t timeoutMs) override;
    int32_t read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override;
    void close() override;

    // The line runs at another rate than configure() set: a switch was
    // followed and the switch back has not come yet.
    bool switchedAway() const { return rate != setUpRate; }
    // Reads and drops what comes until the switch back has been followed,
    // or the line was quiet for quietMs. 0, or a result code.
    int32_t awaitSwitchBack(uint32_t quietMs);

private:
    int32_t typeLine();
    // Feeds received bytes to the prompt scanner; follows a request that
    // ends among them. 0 or a result code.
    int32_t scan(const uint8_t* bytes, uint32_t count);
    // Quiet for `ms`: follows a request whose line has not ended.
    int32_t quietFor(uint32_t ms);
    int32_t follow(const SwitchPrompt::Request& request);
    // Bytes read while screening; true when `deliver` holds an opening character.
    // quietBefore: how long the line was quiet before these bytes.
    bool screen(const uint8_t* bytes, uint32_t count, uint32_t quietBefore, uint8_t& deliver);

    SerialPort& inner;
    Settings settings;
    TraceSink& trace;
    SwitchPrompt prompt;
    bool lineTyped = false;
    bool screening;
    uint32_t setUpRate = 0;
    uint32_t rate = 0;
    uint32_t quietMs = 0;
    bool afterText = false;
    int32_t held = -1;  // an opening character waiting for its quiet
    uint32_t heldQuietMs = 0;
};
