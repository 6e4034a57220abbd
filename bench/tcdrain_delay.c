/* Preloaded into the lrzsz programs by the benchmark. They end with
 * tcdrain() and then tcflush(); on a pty tcdrain() returns before the relay
 * has read the last bytes, so the flush often throws away the final ACK and
 * the peer waits out its timeouts. A short pause after tcdrain() on a pty
 * gives the relay time to take them, as a real UART's drain would. */
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
        struct timespec pause = {0, 30 * 1000 * 1000};
        nanosleep(&pause, NULL);
    }
    return result;
}
