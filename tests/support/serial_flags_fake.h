/* A serial driver's flags, faked at ioctl() for the port under test.
 *
 * Linked into a test program, serial_flags_fake.c defines ioctl() itself:
 * TIOCGSERIAL and TIOCSSERIAL are answered from `serialFlagsFake` and
 * recorded; every other request goes on to the C library. So a pty stands
 * in for a USB adapter whose driver has serial flags. With fakeOutputQueue
 * it also answers TIOCOUTQ and TCFLSH, as a driver whose queue empties at
 * its own pace.
 *
 * Preloaded into a program (LD_PRELOAD) instead, the flags live in the
 * file that SERIAL_FLAGS_FAKE_FILE names (a decimal number): read before
 * each request, written after each change, so that a script can set them
 * before a run and read them back after it. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum { kSerialFlagsFakeMaxCalls = 128 };

struct SerialFlagsCall {
    char request;  /* 'G' TIOCGSERIAL, 'S' TIOCSSERIAL, 'Q' TIOCOUTQ, 'F' TCFLSH */
    int flags;     /* flags passed to TIOCSSERIAL, or returned by TIOCGSERIAL */
    char device[64];
};

struct SerialFlagsFake {
    int refuseErrno; /* non-zero: both requests fail with it (a pty: ENOTTY) */
    int setErrno;    /* non-zero: TIOCSSERIAL fails with it */
    int flags;       /* the driver's current flags */
    int fakeOutputQueue; /* non-zero: TIOCOUTQ and TCFLSH are answered here */
    int queued;          /* what TIOCOUTQ reports... */
    int sentPerCall;     /* ...less this much at each call; TCOFLUSH empties it */
    int callCount;
    struct SerialFlagsCall calls[kSerialFlagsFakeMaxCalls];
};

extern struct SerialFlagsFake serialFlagsFake;

/* A driver that supports the requests, with these flags; no calls yet. */
void serialFlagsFakeReset(int flags);

#ifdef __cplusplus
}
#endif
