// The timeout loop shared by every port implementation.
//
// One attempt moves whatever can be moved at once. Between attempts the loop
// waits in steps of at most 10 ms, and only these steps count against the
// timeout: a call with timeout T makes at most 1 + ceil(T / 10) attempts,
// and a timeout of 0 is exactly one attempt.
//
// The waiter may end a step early when the device becomes ready; if the
// attempt that follows still moves nothing, finishStep() must wait out the
// rest of the step, so that a descriptor that keeps reporting "ready"
// (a hung-up line) cannot make the loop spin.
//
// A stop request (StopRequest.h) ends the loop with rc::Interrupted before
// its first attempt and after any step, so no wait outlasts it by more
// than one step.
#pragma once
#include <cstdint>

#include "ResultCodes.h"
#include "StopRequest.h"

constexpr uint32_t kPollStepMs = 10;

// Attempt: int32_t() -> >0 bytes moved, 0 nothing, <0 result code.
// Waiter:  bool waitStep(uint32_t ms)  (true when it ended early, ready)
//          void finishStep()           (wait out the rest of that step)
template <typename Attempt, typename Waiter>
int32_t pollWithTimeout(uint32_t timeoutMs, Attempt attempt, Waiter& waiter)
{
    if (stop::blocksPort())
        return rc::Interrupted;
    uint32_t remaining = timeoutMs;
    int32_t moved = attempt();
    while (moved == 0 && remaining > 0) {
        uint32_t step = remaining < kPollStepMs ? remaining : kPollStepMs;
        bool early = waiter.waitStep(step);
        if (stop::blocksPort())
            return rc::Interrupted;
        moved = attempt();
        if (moved == 0 && early)
            waiter.finishStep();
        remaining -= step;
    }
    return moved;
}

// A wait that ends early because the first bytes of a read have come may
// gather the rest before the next attempt: the line cannot deliver the
// missing `wanted - available` bytes sooner than it carries them, so the
// waiter may sleep that long instead of waking for every piece a driver
// hands over (a UART's FIFO, a USB packet). The sleep ends kGatherMarginNs
// early, because the wake-up came some time after the bytes did; the tail
// is then waited for as usual, so a reply that depends on it is not
// delayed. Never longer than what is left of the step; 0 when there is
// nothing to gather (rate unknown, a single byte wanted, enough there).
constexpr uint64_t kGatherMarginNs = 200000;

inline uint64_t gatherSleepNs(uint32_t wanted, uint32_t available, uint64_t nsPerByte,
                              uint64_t stepLeftNs)
{
    if (nsPerByte == 0 || wanted <= 1 || available >= wanted)
        return 0;
    uint64_t rest = (wanted - available) * nsPerByte;
    if (rest <= kGatherMarginNs)
        return 0;
    uint64_t sleep = rest - kGatherMarginNs;
    return sleep < stepLeftNs ? sleep : stepLeftNs;
}
