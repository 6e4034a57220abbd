// One session of the simulated board: boot banner, upload through the
// project's receiver engine, report, then the console until the time limit.
//
// Timing of the board's own behaviour (delays, the lines printed after the
// prompt, the time limit) uses the system clock; everything the upload
// needs waits inside the engine's port calls, as in blockxfer itself.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "BoardOptions.h"
#include "BootConsole.h"
#include "SerialPort.h"

class ImageSink;

class Board {
public:
    Board(SerialPort& port, const BoardOptions& options);
    // The program's exit status: 0 after a complete upload, else 1.
    int run();

private:
    using Clock = std::chrono::steady_clock;

    void printBanner();
    int32_t receiveUpload(ImageSink& sink);
    void reportUpload(const ImageSink& sink);
    void reportFailure(int32_t code);
    void waitForQuiet(uint32_t quietMs);
    void serveConsole(bool answer, BootConsole::Commands* commands = nullptr);
    int runUBoot();
    // True when a key came within the countdown.
    bool autobootStopped();

    SerialPort& port;
    const BoardOptions& options;
    Clock::time_point deadline;
};

// The banner text, its lines ended by CR LF, the last one holding
// "Waiting for flash...". It never holds a byte that a sender would take for
// a receiver's opening character ('C', 'G', NAK): whatever part of it is
// still on the line when the sender starts must not start the transfer.
// Returns the text's length, or 0 when it does not fit.
size_t formatBanner(char* out, size_t outSize, UploadProtocol protocol, uint32_t baudRate);
