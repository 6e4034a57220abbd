/* A serial driver's flags, faked at ioctl() for the port under test.
 *
 * Linked into a test program, serial_flags_fake.c defines ioctl() itself:
 * TIOCGSERIAL and TIOCSSERIAL are answered from `serialFlagsFake` and
 * recorded; every other request goes on to the C library. So a pty stands
 * in for a USB adapter whose driver has serial flags. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum { kSerialFlagsFakeMaxCalls = 16 };

struct SerialFlagsCall {
    char request;  /* 'G' for TIOCGSERIAL, 'S' for TIOCSSERIAL */
    int flags;     /* flags passed to TIOCSSERIAL, or returned by TIOCGSERIAL */
    char device[64];
};

struct SerialFlagsFake {
    int refuseErrno; /* non-zero: both requests fail with it (a pty: ENOTTY) */
    int setErrno;    /* non-zero: TIOCSSERIAL fails with it */
    int flags;       /* the driver's current flags */
    int callCount;
    struct SerialFlagsCall calls[kSerialFlagsFakeMaxCalls];
};

extern struct SerialFlagsFake serialFlagsFake;

/* A driver that supports the requests, with these flags; no calls yet. */
void serialFlagsFakeReset(int flags);

#ifdef __cplusplus
}
#endif
