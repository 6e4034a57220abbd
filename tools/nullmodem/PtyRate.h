// The output rate set on a tty (a pty slave shares it with every program
// that has it open); 0 when it cannot be read.
#pragma once
#include <cstdint>

uint32_t ptyLineRate(int fd);
