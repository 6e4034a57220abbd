// Advisory lock on an open serial device, the same kind blockxfer takes.
#pragma once

// Takes an exclusive flock on `fd` without waiting; false when another open
// of the device holds one.
bool lockPortExclusively(int fd);
