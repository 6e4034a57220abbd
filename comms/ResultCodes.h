// Result codes of the transfer tool. Every operation below the top-level
// flows returns an int32_t: 0 or a positive count is success, a negative
// value is one of these, passed upward unchanged and finally used as the
// process exit status.
#pragma once
#include <cstdint>

namespace rc {
constexpr int32_t Ok = 0;
constexpr int32_t PortOther = -100;       // any other failure opening or setting up the port
constexpr int32_t PortNoDevice = -101;    // port number 1000 or more, or no such device
constexpr int32_t PortDenied = -102;      // the port is held by another program, or not permitted
constexpr int32_t PortSettings = -103;    // the driver refused the line settings (baud rate)
constexpr int32_t PortWrite = -104;       // the write call failed
constexpr int32_t PortRead = -105;        // the read call failed
constexpr int32_t Timeout = -200;         // nothing arrived, or nothing could be written, in time
constexpr int32_t TooManyRetries = -201;  // ten attempts at one block failed
constexpr int32_t SourceFile = -300;      // the file to send cannot be opened, measured or read
constexpr int32_t BadStartChar = -301;    // Y-Modem: another byte than the opening character
constexpr int32_t Cancelled = -302;       // the other side cancelled (two CAN in a row)
constexpr int32_t HeaderTooLong = -303;   // name and size do not fit into block 0
constexpr int32_t OutputFile = -400;      // the output file cannot be created or written, or ended short
constexpr int32_t BadHeader = -403;       // malformed or unsafe Y-Modem header block
constexpr int32_t SecondFile = -404;      // a second file's header inside one batch
constexpr int32_t NoPortObject = -500;    // the port object cannot be created
constexpr int32_t LogFile = -501;         // the log file cannot be created or written
// A signal or console control event asked blockxfer to stop (StopRequest.h).
// Never an exit status: the program then ends with the signal's own.
constexpr int32_t Interrupted = -600;
}  // namespace rc
