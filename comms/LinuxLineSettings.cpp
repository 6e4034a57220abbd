// Line settings through termios2 (TCGETS2/TCSETS2). A rate with a speed
// constant of its own is set through that constant, so that stty and every
// program that reads the line with tcgetattr() sees it; any other integer
// rate the driver supports goes through BOTHER, which those programs cannot
// show. This file must not include <termios.h>: its struct termios and the
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

struct SpeedConstant {
    uint32_t baud;
    tcflag_t bits;
};

constexpr SpeedConstant kSpeedConstants[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// The speed bits for `baud`: its constant, or BOTHER with the rate itself
// in c_ospeed.
tcflag_t speedBits(uint32_t baud)
{
    for (const SpeedConstant& speed : kSpeedConstants)
        if (speed.baud == baud)
            return speed.bits;
    return BOTHER;
}

void makeRaw(struct termios2& tio, uint32_t baud)
{
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CBAUD | (CBAUD << IBSHIFT));
    const tcflag_t speed = speedBits(baud);
    tio.c_cflag |= static_cast<tcflag_t>(CS8 | CREAD | CLOCAL) | speed;
    // Input speed bits of 0 mean "as the output", which is how tcsetattr()
    // leaves them; BOTHER needs its own for the input rate.
    if (speed == BOTHER)
        tio.c_cflag |= static_cast<tcflag_t>(BOTHER << IBSHIFT);
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
    // The kernel fills c_ospeed from a speed constant too, so one check
    // serves both ways of setting the rate. A driver may round the divisor;
    // one that substitutes another rate altogether has refused the one
    // asked for.
    uint64_t got = check.c_ospeed;
    uint64_t tolerance = baud / 33u;
    if (got + tolerance < baud || got > baud + tolerance || (check.c_cflag & CSIZE) != CS8 ||
        (check.c_iflag & IXON) != 0)
        return rc::PortSettings;
    return flushBoth(fd) ? rc::Ok : rc::PortOther;
}
