// Reads a fuzz input front to back. Past the end every read yields zero
// bytes, so a short input is still a complete, if dull, scenario.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }

    uint8_t byte() { return empty() ? 0 : data_[pos_++]; }

    uint16_t u16()
    {
        uint16_t high = byte();
        return static_cast<uint16_t>((high << 8) | byte());
    }

    // Copies up to `count` bytes; returns how many were left to copy.
    size_t take(uint8_t* out, size_t count)
    {
        size_t left = size_ - pos_;
        size_t n = count < left ? count : left;
        if (n > 0)
            std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        return n;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Aborts with the failed condition; libFuzzer then saves the input.
#define FUZZ_CHECK(cond)                                                          \
    do {                                                                          \
        if (!(cond)) {                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, \
                         #cond);                                                  \
            std::abort();                                                         \
        }                                                                         \
    } while (0)

// For triage: with BLOCKXFER_FUZZ_TRACE set, each run prints its outcome.
inline void traceOutcome(const char* what, long value)
{
    static const bool on = std::getenv("BLOCKXFER_FUZZ_TRACE") != nullptr;
    if (on)
        std::fprintf(stderr, "%s %ld\n", what, value);
}

inline void traceBytes(const char* what, const uint8_t* bytes, size_t count)
{
    static const bool on = std::getenv("BLOCKXFER_FUZZ_TRACE") != nullptr;
    if (!on)
        return;
    std::fprintf(stderr, "%s", what);
    for (size_t i = 0; i < count && i < 16; ++i)
        std::fprintf(stderr, " %02x", bytes[i]);
    std::fprintf(stderr, count > 16 ? " ... (%zu)\n" : "\n", count);
}
