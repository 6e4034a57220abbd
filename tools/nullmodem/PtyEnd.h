// One end of the cable: a pty pair whose slave is published under a path.
//
// The relay works the master; programs open the slave through the link.
// The end keeps a slave descriptor of its own open for its whole life, so
// that the master never sees a hang-up when a program closes the slave, and
// bytes sent to an end that nobody has opened yet wait in the slave's input
// queue until somebody does.
#pragma once
#include <cstdint>
#include <string>

class PtyEnd {
public:
    PtyEnd() = default;
    ~PtyEnd();
    PtyEnd(const PtyEnd&) = delete;
    PtyEnd& operator=(const PtyEnd&) = delete;

    // Opens the pair and makes the slave raw. False with a reason in `error`.
    bool open(std::string& error);
    // Points `linkPath` at the slave, replacing an older symbolic link there
    // (never another kind of file). False with a reason in `error`.
    bool publish(const std::string& linkPath, std::string& error);
    // Removes the link if it still points at this end's slave.
    void unpublish();

    int masterFd() const { return master; }
    // The rate the program on this end has set (the pty's own default
    // before one has); 0 when it cannot be read.
    uint32_t lineRate() const;
    // Stops or restarts what programs write to the slave: a pty takes tens
    // of KiB at once, a UART only what its transmit buffer holds.
    void holdOutput(bool hold);
    // Readable when a program has closed the slave; then call clientClosed().
    int closeWatchFd() const { return closeWatch; }
    void clientClosed();
    const std::string& slavePath() const { return slaveName; }

private:
    int master = -1;
    int heldSlave = -1;
    int closeWatch = -1;
    std::string slaveName;
    std::string published;
};
