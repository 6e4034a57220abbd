// TIOCGSERIAL/TIOCSSERIAL live in their own file: <linux/serial.h> is a
// kernel header, kept apart from the termios code as the termios2 one is.
#include "LowLatency.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

void LowLatencyRequest::apply(int fd)
{
    applied = false;
    struct serial_struct serial {};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & static_cast<int>(ASYNC_LOW_LATENCY)) != 0)
        return;
    serial.flags |= static_cast<int>(ASYNC_LOW_LATENCY);
    applied = ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

void LowLatencyRequest::undo(int fd)
{
    if (!applied)
        return;
    applied = false;
    // Read again rather than write back an old copy: only our bit goes back.
    struct serial_struct serial {};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return;
    serial.flags &= ~static_cast<int>(ASYNC_LOW_LATENCY);
    ioctl(fd, TIOCSSERIAL, &serial);
}
