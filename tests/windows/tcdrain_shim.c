/* LD_PRELOAD shim for lrzsz on ptys. lrzsz ends with tcdrain() and then
 * tcflush(): on a pty tcdrain() returns before the other side has read the
 * last bytes, so the flush throws away the final ACK about half the time.
 * Waiting a little after tcdrain() on a pty lets the relay take them. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

int tcdrain(int fd)
{
    static int (*realTcdrain)(int);
    if (realTcdrain == NULL)
        realTcdrain = (int (*)(int))dlsym(RTLD_NEXT, "tcdrain");
    int result = realTcdrain(fd);
    char name[64];
    if (ttyname_r(fd, name, sizeof name) == 0 && strncmp(name, "/dev/pts/", 9) == 0) {
        struct timespec pause = {0, 40 * 1000 * 1000};
        nanosleep(&pause, NULL);
    }
    return result;
}
