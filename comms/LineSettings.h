// Low-level line control of a POSIX serial device, kept apart because the
// arbitrary-baud interface (termios2 with BOTHER) needs the kernel's
// <asm/termbits.h>, which cannot be included together with <termios.h>.
#pragma once
#include <cstdint>

// Waits for pending output, discards both queues, sets `baud` (through its
// speed constant when it has one, so tcgetattr() and stty report it) with
// 8N1 and a raw line (every byte passes unchanged, no software flow control, CREAD and
// CLOCAL set; RTS/CTS and the modem lines untouched), reads the settings
// back, then discards both queues again. 0, -103 (rate refused) or -100.
int32_t applyLineSettings(int fd, uint32_t baud);
