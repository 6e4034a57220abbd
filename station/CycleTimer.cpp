#include "CycleTimer.h"

#include <algorithm>

CycleTimer::CycleTimer(Run run_, uint32_t timeDivisor_)
    : run(std::move(run_)), timeDivisor(timeDivisor_ == 0 ? 1 : timeDivisor_)
{
}

void CycleTimer::enable(bool enabled)
{
    isEnabled = enabled;
    apply();
}

void CycleTimer::setInterval(uint32_t intervalMs)
{
    interval = intervalMs;
    apply();
}

void CycleTimer::apply()
{
    // A divided interval still ticks, however short.
    run(isEnabled && interval > 0 ? std::max<uint32_t>(1, scaled(interval)) : 0);
}
