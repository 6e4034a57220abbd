#include "StopRequest.h"

#include <atomic>

namespace {
// Lock-free atomics are safe in a signal handler; Windows runs its console
// handler on a thread of its own, which a sig_atomic_t would not cover.
std::atomic<int> requested {0};
std::atomic<bool> cancelGoingOut {false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the stop request must be safe to set from a signal handler");
}  // namespace

namespace stop {

int record(int signal)
{
    int before = 0;
    requested.compare_exchange_strong(before, signal);
    return before;
}

int requestedSignal()
{
    return requested.load();
}

bool blocksPort()
{
    return requested.load() != 0 && !cancelGoingOut.load();
}

void clear()
{
    requested.store(0);
    cancelGoingOut.store(false);
}

CancelGoingOut::CancelGoingOut() : wasGoingOut(cancelGoingOut.exchange(true)) {}

CancelGoingOut::~CancelGoingOut()
{
    cancelGoingOut.store(wasGoingOut);
}

}  // namespace stop
