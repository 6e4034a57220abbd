#define _GNU_SOURCE
#include "serial_flags_fake.h"

#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
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

static void loadFlags(void)
{
    const char* path = getenv("SERIAL_FLAGS_FAKE_FILE");
    FILE* file = path ? fopen(path, "r") : NULL;
    if (!file)
        return;
    if (fscanf(file, "%d", &serialFlagsFake.flags) != 1)
        serialFlagsFake.flags = 0;
    fclose(file);
}

static void saveFlags(void)
{
    const char* path = getenv("SERIAL_FLAGS_FAKE_FILE");
    FILE* file = path ? fopen(path, "w") : NULL;
    if (!file)
        return;
    fprintf(file, "%d\n", serialFlagsFake.flags);
    fclose(file);
}

static int outputQueue(int fd, unsigned long request, void* argument)
{
    if (request == TIOCOUTQ) {
        record(fd, 'Q', serialFlagsFake.queued);
        *(int*)argument = serialFlagsFake.queued;
        serialFlagsFake.queued -= serialFlagsFake.queued < serialFlagsFake.sentPerCall
                                      ? serialFlagsFake.queued : serialFlagsFake.sentPerCall;
        return 0;
    }
    record(fd, 'F', (int)(long)argument);
    if ((long)argument == TCOFLUSH || (long)argument == TCIOFLUSH)
        serialFlagsFake.queued = 0;
    return 0;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);

    if (serialFlagsFake.fakeOutputQueue && (request == TIOCOUTQ || request == TCFLSH))
        return outputQueue(fd, request, argument);
    if (request != TIOCGSERIAL && request != TIOCSSERIAL) {
        static int (*realIoctl)(int, unsigned long, ...);
        if (!realIoctl)
            realIoctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
        return realIoctl(fd, request, argument);
    }
    loadFlags();
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
    saveFlags();
    return 0;
}
