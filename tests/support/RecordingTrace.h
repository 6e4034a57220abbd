// A TraceSink that keeps each event as the line a trace file would hold
// without its time ("resend NAK bad-crc block 1"), for tests of what the
// engines decided.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "TraceSink.h"

class RecordingTrace : public TraceSink {
public:
    std::vector<std::string> events;

protected:
    void recordWord(const char* word) override { events.emplace_back(word); }
    void recordEvent(const char* word, const char* format, va_list args) override
        __attribute__((format(printf, 3, 0)))
    {
        // A header name is at most a block long.
        char details[2048];
        std::vsnprintf(details, sizeof details, format, args);
        events.push_back(std::string(word) + " " + details);
    }
};
