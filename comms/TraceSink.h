// Where the engines say what they decided: the opening character taken,
// each resend and why, a wait that ran out, a cancel. One event at a time,
// a word and, for most, details made from a printf-style format.
//
// The engines own no file and no clock: they are handed a sink as they
// are handed a port. blockxfer connects them to its trace file (LineTrace),
// the tests to a recording sink; the default, none(), records nothing.
#pragma once
#include <cstdarg>
#include <cstdint>

class TraceSink {
public:
    virtual ~TraceSink() = default;

    // "<word>", or "<word> <details>".
    void event(const char* word) { recordWord(word); }
    void event(const char* word, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void eventv(const char* word, const char* format, va_list args) __attribute__((format(printf, 3, 0)))
    {
        recordEvent(word, format, args);
    }

    // The sink that records nothing, for an engine given none.
    static TraceSink& none();

protected:
    // What a sink does with an event; the base class drops it.
    virtual void recordWord(const char* /*word*/) {}
    virtual void recordEvent(const char* /*word*/, const char* /*format*/, va_list /*args*/) {}
};

// A byte as a trace names it: the protocol's control characters by name
// ("ACK", "NAK", "C", "G", "CAN", "EOT", "SOH", "STX"), others as "0x41".
struct ByteName {
    char text[8];
};
ByteName byteName(uint8_t byte);
