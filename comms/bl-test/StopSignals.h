// The requests to stop blockxfer from outside: SIGINT, SIGTERM and SIGHUP
// on Linux; Ctrl+C, Ctrl+Break and closing the console window on Windows.
// One implementation per system, chosen by the build.
//
// The handler records the first request (stop::record) and nothing else;
// the transfer notices it at its next poll step, cancels, and the flow ends
// the process through interruptedExit (Fatal.h). A second request ends the
// process at once, wherever it is.
#pragma once

// Installs the handler. On Linux a signal that was ignored when blockxfer
// started (nohup, a background job of a script) stays ignored.
void catchStopSignals();
// How a request is named in the message: "SIGINT", "Ctrl+C", ...
const char* stopSignalName(int signal);
// The exit status after a request: 128 + the signal's number on Linux,
// STATUS_CONTROL_C_EXIT on Windows.
int stopExitStatus(int signal);
