/* LD_PRELOAD shim for lrzsz peers in tests. lrzsz ends with tcdrain() and
 * then tcflush(); on a pty tcdrain() returns before the other side has read
 * anything, so the flush throws away the program's final ACK about half the
 * time. A real UART drains first. Waiting a little on a pty gives the
 * reader the time a real line would. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

int tcdrain(int fd)
{
    static int (*real_tcdrain)(int);
    if (!real_tcdrain)
        real_tcdrain = (int (*)(int))dlsym(RTLD_NEXT, "tcdrain");
    int result = real_tcdrain(fd);
    char name[64];
    if (ttyname_r(fd, name, sizeof name) == 0 && strncmp(name, "/dev/pts/", 9) == 0)
        usleep(50 * 1000);
    return result;
}
