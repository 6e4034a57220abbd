// A request to stop the transfer: a signal or a console control event.
//
// The handler only records it (record(); no allocation, no stdio). Every
// wait of the port's polling loop looks at it between its steps and, while
// it blocks the port, ends with rc::Interrupted instead of waiting on, so the
// engines see the request as a result code and pass it up like any other.
// Their one write after it, the cancel, goes out inside a CancelGoingOut,
// which lets the port's calls through again for its length.
#pragma once

namespace stop {

// Records `signal` (non-zero) unless a request is recorded already. Returns
// the signal recorded before, 0 when this is the first request. Safe in a
// signal handler and from another thread.
int record(int signal);
// The signal of the recorded request; 0 when there is none.
int requestedSignal();
// True while a request stands and no cancel is going out.
bool blocksPort();
// Forgets the request: for tests, which run many transfers in one process.
void clear();

// While it lives, the port's waits work as if nothing had been requested.
class CancelGoingOut {
public:
    CancelGoingOut();
    ~CancelGoingOut();
    CancelGoingOut(const CancelGoingOut&) = delete;
    CancelGoingOut& operator=(const CancelGoingOut&) = delete;

private:
    bool wasGoingOut;
};

}  // namespace stop
