// Timer1's rule, kept once for every platform: the cycle's timer ticks only
// while it is enabled with an interval above 0, and any change of either
// starts its count anew, as the window's timer control does. The platform
// only runs a timer at the period this class gives it.
//
// A test may divide the station's time, to run whole cycles quickly; the
// product keeps a divisor of 1.
#pragma once
#include <cstdint>
#include <functional>

class CycleTimer {
public:
    // Runs the platform's timer every `periodMs` from now on (a running one
    // starts its count anew), or stops it when `periodMs` is 0.
    using Run = std::function<void(uint32_t periodMs)>;

    // A divisor of 0 counts as 1.
    explicit CycleTimer(Run run, uint32_t timeDivisor = 1);

    void enable(bool enabled);
    void setInterval(uint32_t intervalMs);

    bool enabled() const { return isEnabled; }
    uint32_t intervalMs() const { return interval; }
    // What `ms` of the station's time last on this platform.
    uint32_t scaled(uint32_t ms) const { return ms / timeDivisor; }

private:
    void apply();

    Run run;
    uint32_t timeDivisor;
    bool isEnabled = false;
    uint32_t interval = 0;
};
