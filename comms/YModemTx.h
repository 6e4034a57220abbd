// The sending side of X-Modem, X-Modem-1K and Y-Modem (including Y-Modem G).
//
// The receiver's opening character picks the check and the pace: NAK for
// the 8-bit checksum, "C" for CRC-16 with every block acknowledged, "G" for
// CRC-16 streaming. The engine does no I/O of its own: bytes go through the
// SerialPort, data come from an InStream, decisions go to a TraceSink, and
// all waiting happens inside port calls, so a fake port with a virtual
// clock drives every timeout.
// The sender sends a cancel only when a stop was requested (rc::Interrupted
// from the port), and stops when the receiver cancels (two CAN in a row).
#pragma once
#include <cstdint>

#include "SerialPort.h"
#include "TraceSink.h"

class YModemTx {
public:
    // Source of the file's bytes.
    class InStream {
    public:
        // Next bytes into buffer: 1..maxCount, 0 at the normal end, <0 on failure.
        virtual int32_t read(uint8_t* buffer, uint32_t maxCount) = 0;
        virtual ~InStream() {}
    };

    // startTimeoutMs: the budget for the receiver's opening character
    // (never less than 11000 ms is used). The decisions go to `trace`.
    YModemTx(SerialPort& port, uint32_t startTimeoutMs, TraceSink& trace = TraceSink::none());

    // X-Modem only; a Y-Modem batch always allows 1024-byte blocks.
    void setAllow1K(bool allow) { allow1K = allow; }
    // Whether "G" opens the transfer (streaming). X-Modem receivers open
    // with NAK or "C" only, so for X-Modem a "G" is line noise, and taking
    // it would stream past every NAK and report a file that never arrived
    // whole as sent.
    void setAcceptStreaming(bool accept) { acceptStreaming = accept; }

    // X-Modem: the receiver's opening character (within the start budget),
    // then all of the source and EOT.
    int32_t waitForStart();
    int32_t sendStream(InStream& source);
    // A whole Y-Modem batch of one file announced as `name` of `fileSize` bytes.
    int32_t sendBatch(uint32_t fileSize, InStream& source, const char* name);

private:
    // Sends one frame holding the first bytes of data (EOT when length is 0);
    // returns the bytes consumed (0..1024) or a result code.
    int32_t sendBlock(const uint8_t* data, uint32_t length);
    // One byte 0..255, -200 when nothing came in time, or the port's code.
    int32_t readByte(uint32_t timeoutMs);
    // Silence: no answer within the reply wait, a failed transmission.
    enum class Reply { Complete, Accepted, Resend, SwitchToCrc, Silence };

    uint32_t buildFrameFor(uint8_t* frame, const uint8_t* data, uint32_t count, uint32_t n);
    // answerDue: the frame waits for an acknowledgement.
    int32_t writeFrame(const uint8_t* frame, uint32_t frameLength, bool answerDue, Reply& reply);
    uint32_t replyTimeout() const;
    int32_t awaitAck(uint32_t timeoutMs, Reply& reply);
    int32_t checkStreamingReply(bool isHeader, Reply& reply);
    int32_t countCancel(Reply& reply, Reply onFirst);
    int32_t awaitStartCharAgain();
    enum class Skipped { Silence, Ack, Cancel };
    // Drops what arrives, each read waiting readMs, until a read brings
    // nothing; stops early at an ACK when ackAnswers, and at a second CAN
    // in a row.
    Skipped skipInput(uint32_t readMs, bool ackAnswers);
    // On rc::Interrupted sends the cancel, once per transfer: after `rest`
    // (the part of a frame not yet written) and, when answerDue, after the
    // receiver's answer to that frame. Returns `result`.
    int32_t cancelIfStopped(int32_t result, const uint8_t* rest = nullptr, uint32_t restLength = 0,
                            bool answerDue = false);

    SerialPort& port;
    TraceSink& trace;
    uint32_t startTimeoutMs;
    uint32_t blockNumber = 0;
    bool useCrc = true;
    bool ackEachBlock = true;
    bool allow1K = false;
    bool acceptStreaming = true;
    uint8_t startChar = 0;
    uint32_t cancelCount = 0;
    bool cancelSent = false;
    // An opening character caught by the reply check right after a streamed
    // block 0; it belongs to the wait for the opening character that follows.
    int32_t heldByte = -1;
};
