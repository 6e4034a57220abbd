#include "PosixPortLock.h"

#include <sys/file.h>

// QSerialPort keeps others out with TIOCEXCL and a lock file only, and
// TIOCEXCL does not hold against root. blockxfer also locks the device with
// flock, so the station takes the same lock: then each program sees the
// other's hold on the port whoever runs them.
bool lockPortExclusively(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }
