/* LD_PRELOAD shim for lrzsz peers in tests. lrzsz ends with tcdrain() and
 * then tcflush(); on a pty tcdrain() returns before the other side has read
 * anything, so the flush throws away the program's final ACK about half the
 * time. A real UART drains first. Waiting a little on a pty gives the
 * reader the time a real line would, and on a loaded machine even that can
 * be too short, so on a pty the flush leaves the output alone: after
 * tcdrain() a real line's output queue is empty anyway. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

static int isPty(int fd)
{
    char name[64];
    return ttyname_r(fd, name, sizeof name) == 0 && strncmp(name, "/dev/pts/", 9) == 0;
}

int tcflush(int fd, int queue)
{
    static int (*real_tcflush)(int, int);
    if (!real_tcflush)
        real_tcflush = (int (*)(int, int))dlsym(RTLD_NEXT, "tcflush");
    if (isPty(fd) && queue != TCIFLUSH) {
        if (queue == TCOFLUSH)
            return 0;
        queue = TCIFLUSH;
    }
    return real_tcflush(fd, queue);
}

int tcdrain(int fd)
{
    static int (*real_tcdrain)(int);
    if (!real_tcdrain)
        real_tcdrain = (int (*)(int))dlsym(RTLD_NEXT, "tcdrain");
    int result = real_tcdrain(fd);
    if (isPty(fd))
        usleep(50 * 1000);
    return result;
}
