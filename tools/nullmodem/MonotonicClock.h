// Nanoseconds of the monotonic clock since the clock object was made.
#pragma once
#include <cstdint>
#include <ctime>

class MonotonicClock {
public:
    MonotonicClock() : origin(raw()) {}
    int64_t nowNs() const { return raw() - origin; }

private:
    static int64_t raw()
    {
        struct timespec ts {};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }
    int64_t origin;
};
