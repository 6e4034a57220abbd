// The trace file: what crossed the cable, one line per chunk delivered.
//
// Format (text, one record per line; lines starting with '#' are comments):
//
//   <microseconds> <direction> <count> <hex>
//
//   microseconds  monotonic time since nullmodem started, when the chunk
//                 was handed to the far end
//   direction     "ab" (written at end A, read at end B) or "ba"
//   count         number of bytes in the chunk, decimal
//   hex           the bytes, two lower-case hex digits each, no spaces
//
// Example: "1523904 ab 3 01fe02". Bytes appear exactly as delivered, faults
// and noise included, in order per direction.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class TraceWriter {
public:
    TraceWriter() = default;
    ~TraceWriter();
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;

    // Creates the file and writes the header; false with `error` set.
    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return file != nullptr; }
    void record(int64_t micros, const char* direction, const uint8_t* data, size_t count);
    // Makes everything recorded so far visible to readers of the file.
    void flush();

private:
    FILE* file = nullptr;
    bool dirty = false;
};
