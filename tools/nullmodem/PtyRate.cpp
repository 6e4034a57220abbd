// The rate a program has set on its end of the cable. Apart from PtyEnd.cpp
// because it needs the kernel's termios2 (TCGETS2, the rate as a number
// whether it was set through a speed constant or BOTHER), whose header
// cannot be included together with <termios.h>.
#include "PtyRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

uint32_t ptyLineRate(int fd)
{
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return 0;
    return tio.c_ospeed;
}
