#define _GNU_SOURCE
#include "serial_flags_fake.h"

#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

struct SerialFlagsFake serialFlagsFake;

void serialFlagsFakeReset(int flags)
{
    memset(&serialFlagsFake, 0, sizeof serialFlagsFake);
    serialFlagsFake.flags = flags;
}

static void record(int fd, char request, int flags)
{
    if (serialFlagsFake.callCount == kSerialFlagsFakeMaxCalls)
        return;
    struct SerialFlagsCall* call = &serialFlagsFake.calls[serialFlagsFake.callCount++];
    call->request = request;
    call->flags = flags;
    if (ttyname_r(fd, call->device, sizeof call->device) != 0)
        call->device[0] = '\0';
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);

    if (request != TIOCGSERIAL && request != TIOCSSERIAL) {
        static int (*realIoctl)(int, unsigned long, ...);
        if (!realIoctl)
            realIoctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
        return realIoctl(fd, request, argument);
    }
    struct serial_struct* serial = argument;
    if (request == TIOCGSERIAL) {
        record(fd, 'G', serialFlagsFake.flags);
        if (serialFlagsFake.refuseErrno != 0) {
            errno = serialFlagsFake.refuseErrno;
            return -1;
        }
        memset(serial, 0, sizeof *serial);
        serial->flags = serialFlagsFake.flags;
        serial->xmit_fifo_size = 4096;
        return 0;
    }
    record(fd, 'S', serial->flags);
    int refusal = serialFlagsFake.refuseErrno != 0 ? serialFlagsFake.refuseErrno : serialFlagsFake.setErrno;
    if (refusal != 0) {
        errno = refusal;
        return -1;
    }
    serialFlagsFake.flags = serial->flags;
    return 0;
}
