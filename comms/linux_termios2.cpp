// Line settings through termios2 (TCGETS2/TCSETS2 with BOTHER), so that any
// integer baud rate the driver supports can be set, not only the B* table.
// This file must not include <termios.h>: its struct termios and the
// kernel's clash.
#include "LineSettings.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

#include "ResultCodes.h"

namespace {
bool flushBoth(int fd)
{
    return ioctl(fd, TCFLSH, TCIOFLUSH) == 0;
}

void makeRaw(struct termios2& tio, uint32_t baud)
{
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= static_cast<tcflag_t>(CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT));
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}
}  // namespace

int32_t applyLineSettings(int fd, uint32_t baud)
{
    // TCSBRK with a non-zero argument is tcdrain().
    if (ioctl(fd, TCSBRK, 1) != 0 || !flushBoth(fd))
        return rc::PortOther;
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return rc::PortOther;
    // Rate 0 would hang up the line instead of setting a speed.
    if (baud == 0)
        return rc::PortSettings;
    makeRaw(tio, baud);
    if (ioctl(fd, TCSETS2, &tio) != 0)
        return errno == EINVAL ? rc::PortSettings : rc::PortOther;

    struct termios2 check {};
    if (ioctl(fd, TCGETS2, &check) != 0)
        return rc::PortOther;
    // A driver may round the divisor; one that substitutes another rate
    // altogether has refused the one asked for.
    uint64_t got = check.c_ospeed;
    uint64_t tolerance = baud / 33u;
    if (got + tolerance < baud || got > baud + tolerance || (check.c_cflag & CSIZE) != CS8 ||
        (check.c_iflag & IXON) != 0)
        return rc::PortSettings;
    return flushBoth(fd) ? rc::Ok : rc::PortOther;
}
