// The three top-level flows of blockxfer. Each takes the open, configured
// port and its settings from Options, owns its engine, file endpoint and
// buffers on its own stack, and returns only on success: every failure ends
// the process through fatalError or usageError with its message and code.
#pragma once
#include "SerialPort.h"

void sendFile(SerialPort& port);
void receiveFile(SerialPort& port);
// Writes what the device prints into Options.logFile (and closes it) until
// the line is silent for Options.logTimeoutMs or the stop string arrives.
void captureLog(SerialPort& port);
