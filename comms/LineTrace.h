// A record of what went over the line, for diagnosing a failed transfer.
//
// blockxfer opens its trace (runTrace(), comms/bl-test/RunTrace.h) when the
// variable BLOCKXFER_TRACE names a file, and appends to it one line per
// chunk moved through the port (TracingSerialPort) and one per decision of
// the engines, whose TraceSink it is:
//
//   <seconds>.<microseconds> in <hex bytes>       bytes read from the port
//   <seconds>.<microseconds> out <hex bytes>      bytes the port took
//   <seconds>.<microseconds> <word> [<details>]   an event (start, resend,
//                                                 timeout, cancel, result...)
//
// Times count from open(); hex bytes are two lower-case digits each,
// separated by blanks. Each run begins with a "begin" line holding the
// date and time (UTC), then a "command" line with the arguments.
//
// The stream is opened, and given a buffer of static storage, before the
// transfer starts; lines are written into that buffer piece by piece, so
// tracing allocates nothing during the transfer. Each line is flushed at
// once: a trace must hold the last bytes of a run that was killed.
// While no trace is open every call returns at once.
#pragma once
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "TraceSink.h"

class LineTrace : public TraceSink {
public:
    LineTrace() = default;
    ~LineTrace() override { close(); }
    LineTrace(const LineTrace&) = delete;
    LineTrace& operator=(const LineTrace&) = delete;

    // Opens `path` for appending and restarts the clock; false when it
    // cannot be opened (the trace then stays closed).
    bool open(const char* path);
    void close();
    bool isOpen() const { return file != nullptr; }

    // "<time> command <arguments...>", arguments with blanks in quotes.
    void command(int argc, char** argv);
    // direction: "in" or "out".
    void chunk(const char* direction, const uint8_t* data, uint32_t count);

protected:
    // A line "<time> <word>", or "<time> <word> <details>".
    void recordWord(const char* word) override;
    void recordEvent(const char* word, const char* format, va_list args) override
        __attribute__((format(printf, 3, 0)));

private:
    void beginLine();
    void endLine();

    std::FILE* file = nullptr;
    std::chrono::steady_clock::time_point start;
    // Big enough for the longest line (a 1152-byte read is 3.5 KB), so
    // that each line leaves in one write.
    char streamBuffer[8192];
};
