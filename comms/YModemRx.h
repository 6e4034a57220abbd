// The receiving side of X-Modem (checksum or CRC-16), Y-Modem and Y-Modem G.
//
// The receiver asks the sender to begin by sending its start character once
// a cycle, accepts 128- and 1024-byte blocks in every variant, answers bad
// blocks with its resend character and cancels a failed or interrupted
// transfer with the cancel sequence (CancelSequence.h); two CAN where a
// block should begin are the sender's cancel (-302). Data go to an
// OutStream, bytes only through the SerialPort, decisions to a TraceSink.
#pragma once
#include <cstdint>

#include "Block.h"
#include "SerialPort.h"
#include "TraceSink.h"

class YModemRx {
public:
    // Sink of the received file.
    class OutStream {
    public:
        // Begin the file; 0 or a result code.
        virtual int open(const char* name, uint32_t declaredSize) = 0;
        // One block of data (count 0 and null data at EOT); bytes stored or <0.
        virtual int write(const uint8_t* data, uint32_t count) = 0;
        virtual ~OutStream() {}
    };

    // Captures a Y-Modem header block instead of writing a file.
    class OutBlock0 : public OutStream {
    public:
        int open(const char* name, uint32_t declaredSize) override;
        int write(const uint8_t* data, uint32_t count) override;
        // Name (NUL-terminated, inside the buffer) and size; 0 or -403.
        int32_t parseHeader(const char*& name, uint32_t& size);

        uint8_t buffer[kLongBlock] = {};
        uint32_t length = 0;
    };

    // The decisions (each resend and why, timeouts, the cancel) go to `trace`.
    YModemRx(SerialPort& port, uint32_t startTimeoutMs, TraceSink& trace = TraceSink::none());

    int32_t receiveXModem(OutStream& out, bool crc);
    int32_t receiveYModem(OutStream& out, bool streaming);

private:
    // The start character once a cycle until a block (or EOT) comes or the
    // start budget is spent.
    int32_t awaitFirstBlock(OutStream& out);
    // 128 or 1024 for an accepted block, 0 when an EOT ended the file
    // (the result of the end-of-file write), or a result code.
    int32_t receiveBlock(OutStream& out);
    void cancel();

    enum class Frame { Complete, Broken, Eot };

    // Up to ten attempts at one block. In the start phase silence ends
    // the call at once (the caller's cycle asks again).
    int32_t receiveAttempts(OutStream& out, bool startPhase);
    int32_t readFrame(uint8_t* frame, uint32_t& frameLength, Frame& kind);
    bool frameIsValid(const uint8_t* frame, uint32_t blockSize, uint32_t number) const;
    // What is wrong with a complete frame, as the trace says it; null when nothing.
    const char* frameFault(const uint8_t* frame, uint32_t blockSize, uint32_t number) const;
    bool isRepeatOfLastBlock(const uint8_t* frame, uint32_t blockSize) const;
    int32_t acceptBlock(OutStream& out, const uint8_t* frame, uint32_t blockSize);
    int32_t repeatLastAnswer();
    // Parses and opens a header: 1 when its file is open and the data may
    // come, 0 at the end of the batch, or a result code (cancelled where due).
    int32_t takeHeader(OutStream& out, OutBlock0& header, bool fileDone);
    int32_t sendByte(uint8_t byte);
    void drain();

    SerialPort& port;
    TraceSink& trace;
    uint32_t startTimeoutMs;
    uint32_t blockNumber = 0;
    bool useCrc = true;
    bool ackEachBlock = true;
    uint8_t startChar = ctl::CRC;
    uint8_t resendChar = ctl::CRC;
    // Sent when nothing at all came for a while in the data phase.
    uint8_t silenceChar = ctl::CRC;
    bool eotEndsFile = true;
    // What the block accepted last was answered with; a repeat of that
    // block gets the same answer. Length 0: nothing accepted yet.
    uint8_t lastAnswer[2] = {};
    uint32_t lastAnswerLength = 0;
};

// A header name the receiver may use as a path: relative, no drive prefix,
// no ".." component, no control characters. Both separators count, since
// the sender may come from either world.
bool isSafeReceivedName(const char* name);
