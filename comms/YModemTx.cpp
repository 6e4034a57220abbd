#include "YModemTx.h"

#include <cstring>

#include "Block.h"
#include "CancelSequence.h"
#include "ResultCodes.h"
#include "StopRequest.h"
#include "TraceSink.h"

namespace {
constexpr uint32_t kMinStartBudgetMs = 11000;
// The engines' polling step: while waiting for the opening character, and
// the look for a reply between two parts of a frame.
constexpr uint32_t kPollStepMs = 10;
constexpr uint32_t kWriteTimeoutMs = 1000;
// How long an acknowledged frame (block 0, data, EOT) waits for its answer
// once it has left. A receiver answers a good frame at once, but a damaged
// or cut one only when its line has been quiet for a while: ours, lrzsz's
// rx/rb and U-Boot's loady all answer a cut frame 2.0 s after its last
// byte (lrzsz also confirms an EOT only after a second of silence). A third
// second is margin for a loaded machine. Ten silent waits still end within
// about 30 s.
constexpr uint32_t kReplyTimeoutMs = 3000;
// A streaming sender has no acknowledgement to pace it: when it sends EOT,
// the driver's and the line's buffers may still hold tens of KiB (a pty
// holds 64 KiB, which is 5.7 s at 115200 baud), and the receiver answers
// only after all of it has arrived.
constexpr uint32_t kStreamingEotReplyTimeoutMs = 11000;
constexpr uint32_t kPurgeReadMs = 500;
constexpr uint32_t kMaxTransmissions = 10;
constexpr uint32_t kStartCharAgainMs = 11000;
// U-Boot's loady answers EOT with ACK, ACK, "C": extra ACKs before the
// opening character are skipped, but only a few, so a line that floods ACK
// still ends the wait.
constexpr uint32_t kMaxSkippedAcks = 8;
// A line that never falls silent would hold a purge for ever; a receiver
// answers a frame with a byte or two, so eight frames' worth is plenty,
// and past that the transmission counter decides.
constexpr uint32_t kMaxPurgeBytes = 8 * kMaxFrame;
// On a stop, how long the answer to a frame already out is awaited before
// the cancel goes (counted, on Linux, from when the frame has left).
constexpr uint32_t kAnswerBeforeCancelMs = 200;
}  // namespace

YModemTx::YModemTx(SerialPort& port_, uint32_t startTimeoutMs_, TraceSink& trace_)
    : port(port_), trace(trace_), startTimeoutMs(startTimeoutMs_)
{
}

int32_t YModemTx::readByte(uint32_t timeoutMs)
{
    if (heldByte >= 0) {
        int32_t held = heldByte;
        heldByte = -1;
        return held;
    }
    uint8_t byte = 0;
    int32_t r = port.read(&byte, 1, timeoutMs);
    if (r < 0)
        return r;
    return r == 0 ? rc::Timeout : byte;
}

int32_t YModemTx::waitForStart()
{
    uint32_t budget = startTimeoutMs < kMinStartBudgetMs ? kMinStartBudgetMs : startTimeoutMs;
    uint8_t byte = 0;
    while (port.read(&byte, 1, 0) > 0) {
        // Leftovers of an earlier exchange are not an opening character.
    }
    cancelCount = 0;
    heldByte = -1;
    for (;;) {
        int32_t r = port.read(&byte, 1, kPollStepMs);
        if (r < 0)
            return cancelIfStopped(r);
        if (r > 0) {
            if ((byte == ctl::G && acceptStreaming) || byte == ctl::CRC || byte == ctl::NAK) {
                useCrc = byte != ctl::NAK;
                ackEachBlock = byte != ctl::G;
                startChar = byte;
                trace.event("start", "%s", byteName(byte).text);
                return rc::Ok;
            }
        }
        // The budget is counted in polls: a stray byte still costs a poll.
        if (budget < kPollStepMs) {
            trace.event("timeout", "no opening character");
            return rc::Timeout;
        }
        budget -= kPollStepMs;
    }
}

uint32_t YModemTx::buildFrameFor(uint8_t* frame, const uint8_t* data, uint32_t count, uint32_t n)
{
    if (count == 0) {
        frame[0] = ctl::EOT;
        return 1;
    }
    return buildFrame(frame, blockNumber, data, count, n, useCrc);
}

int32_t YModemTx::countCancel(Reply& reply, Reply onFirst)
{
    trace.event("cancel", "CAN %u of 2 received", static_cast<unsigned>(cancelCount + 1));
    if (cancelCount != 0)
        return rc::Cancelled;
    cancelCount = 1;
    reply = onFirst;
    return rc::Ok;
}

int32_t YModemTx::writeFrame(const uint8_t* frame, uint32_t frameLength, bool answerDue, Reply& reply)
{
    uint32_t sent = 0;
    while (sent < frameLength) {
        int32_t w = port.write(frame + sent, frameLength - sent, kWriteTimeoutMs);
        if (w < 0)
            return sent == 0 ? cancelIfStopped(w) : cancelIfStopped(w, frame + sent, frameLength - sent, answerDue);
        if (w == 0)
            return rc::Timeout;
        sent += static_cast<uint32_t>(w);
        if (sent == frameLength)
            break;
        uint8_t byte = 0;
        int32_t r = port.read(&byte, 1, kPollStepMs);
        if (r < 0)
            return cancelIfStopped(r, frame + sent, frameLength - sent, answerDue);
        if (r == 0)
            continue;
        if (byte == ctl::ACK) {
            cancelCount = 0;
            continue;
        }
        if (byte == ctl::CAN)
            return countCancel(reply, Reply::Resend);
        cancelCount = 0;
        reply = Reply::Resend;
        trace.event("resend", "%s while the frame went out", byteName(byte).text);
        return rc::Ok;
    }
    reply = Reply::Complete;
    return rc::Ok;
}

int32_t YModemTx::awaitAck(uint32_t timeoutMs, Reply& reply)
{
    uint8_t byte = 0;
    int32_t r = port.read(&byte, 1, timeoutMs);
    if (r < 0)
        return cancelIfStopped(r, nullptr, 0, true);
    if (r == 0) {
        reply = Reply::Silence;
        trace.event("timeout", "no answer in %u ms", static_cast<unsigned>(timeoutMs));
        return rc::Ok;
    }
    if (byte == ctl::CAN)
        return countCancel(reply, Reply::Resend);
    cancelCount = 0;
    if (byte == ctl::ACK)
        reply = Reply::Accepted;
    else if (byte == ctl::CRC && !useCrc)
        reply = Reply::SwitchToCrc;
    else
        reply = Reply::Resend;
    if (reply != Reply::Accepted)
        trace.event("resend", "%s instead of ACK", byteName(byte).text);
    return rc::Ok;
}

int32_t YModemTx::checkStreamingReply(bool isHeader, Reply& reply)
{
    reply = Reply::Accepted;
    uint8_t byte = 0;
    int32_t r = port.read(&byte, 1, 0);
    if (r <= 0)
        return r;
    if (byte == ctl::CAN)
        return countCancel(reply, Reply::Accepted);
    cancelCount = 0;
    // A fast receiver may already have answered the header with its "G".
    if (isHeader && byte == startChar)
        heldByte = byte;
    return rc::Ok;
}

YModemTx::Skipped YModemTx::skipInput(uint32_t readMs, bool ackAnswers)
{
    uint8_t byte = 0;
    for (uint32_t skipped = 0; skipped < kMaxPurgeBytes; ++skipped) {
        if (port.read(&byte, 1, readMs) <= 0)
            return Skipped::Silence;
        if (ackAnswers && byte == ctl::ACK)
            return Skipped::Ack;
        // The receiver's cancel is a burst of CAN: the second in a row ends
        // the send at once rather than after a resend met silence.
        cancelCount = byte == ctl::CAN ? cancelCount + 1 : 0;
        if (cancelCount == 2) {
            trace.event("cancel", "CAN 2 of 2 received");
            return Skipped::Cancel;
        }
    }
    return Skipped::Silence;
}

uint32_t YModemTx::replyTimeout() const
{
    return ackEachBlock ? kReplyTimeoutMs : kStreamingEotReplyTimeoutMs;
}

int32_t YModemTx::sendBlock(const uint8_t* data, uint32_t length)
{
    const bool isEot = length == 0;
    const bool waitsForAck = ackEachBlock || isEot;
    const bool isHeader = blockNumber == 0;
    const uint32_t n = (allow1K && length >= kLongBlock) ? kLongBlock : kShortBlock;
    const uint32_t count = length < n ? length : n;

    uint8_t frame[kMaxFrame];
    uint32_t frameLength = buildFrameFor(frame, data, count, n);
    uint32_t silentWaits = 0;
    // A reply byte can only answer a frame once the frame is out: whatever
    // waits now is left over (a doubled ACK, noise) and would be taken as
    // the answer to the frame about to go out; a cancel still counts.
    if (ackEachBlock && skipInput(0, false) == Skipped::Cancel)
        return rc::Cancelled;
    for (uint32_t transmissions = 1;; ++transmissions) {
        Reply reply = Reply::Complete;
        int32_t r = writeFrame(frame, frameLength, waitsForAck, reply);
        if (r < 0)
            return r;
        if (reply == Reply::Complete) {
            r = waitsForAck ? awaitAck(replyTimeout(), reply) : checkStreamingReply(isHeader, reply);
            if (r < 0)
                return r;
        }
        if (reply == Reply::Accepted) {
            ++blockNumber;
            return static_cast<int32_t>(count);
        }
        if (reply == Reply::Silence) {
            // A streaming sender has nothing to recover with, and silence
            // right after a CAN is a receiver that has cancelled and stopped.
            if (!ackEachBlock || cancelCount != 0)
                return rc::Timeout;
            ++silentWaits;
            // Nothing else is outstanding, so an ACK that comes while the
            // line is purged after a silent wait answers this frame: a
            // loaded receiver can take longer than the wait, and sending
            // the frame again would leave that ACK to be read as the
            // answer to the next one.
            Skipped late = skipInput(kPurgeReadMs, true);
            if (late == Skipped::Cancel)
                return rc::Cancelled;
            if (late == Skipped::Ack) {
                ++blockNumber;
                return static_cast<int32_t>(count);
            }
        }
        if (transmissions == kMaxTransmissions) {
            trace.event("retries", "block %u sent %u times", static_cast<unsigned>(blockNumber),
                        static_cast<unsigned>(transmissions));
            return silentWaits == kMaxTransmissions ? rc::Timeout : rc::TooManyRetries;
        }
        if (reply == Reply::SwitchToCrc) {
            useCrc = true;
            frameLength = buildFrameFor(frame, data, count, n);
            continue;
        }
        if (reply != Reply::Silence && skipInput(kPurgeReadMs, false) == Skipped::Cancel)
            return rc::Cancelled;
    }
}

int32_t YModemTx::cancelIfStopped(int32_t result, const uint8_t* rest, uint32_t restLength, bool answerDue)
{
    if (result != rc::Interrupted || cancelSent)
        return result;
    cancelSent = true;
    stop::CancelGoingOut letThrough;
    // Every receiver we know looks for a cancel only where a block should
    // begin and takes it as block data anywhere else: a frame cut short is
    // finished first. lrzsz's receivers also drop their input right after
    // they answer a frame, so a cancel that arrived with the frame's tail
    // would be dropped with it: a frame already out gets its answer first.
    if (restLength > 0) {
        trace.event("cancel", "finishing the frame (%u bytes)", static_cast<unsigned>(restLength));
        if (!writeAll(port, rest, restLength, kWriteTimeoutMs))
            return result;
    }
    uint8_t answer = 0;
    if (answerDue)
        port.read(&answer, 1, kAnswerBeforeCancelMs);
    sendCancel(port, trace);
    return result;
}

int32_t YModemTx::sendStream(InStream& source)
{
    blockNumber = 1;
    uint8_t chunk[kLongBlock];
    for (;;) {
        int32_t got = source.read(chunk, kLongBlock);
        if (got < 0)
            return rc::SourceFile;
        const uint32_t chunkLength = static_cast<uint32_t>(got);
        uint32_t done = 0;
        do {
            int32_t r = sendBlock(chunk + done, chunkLength - done);
            if (r < 0)
                return cancelIfStopped(r);
            done += static_cast<uint32_t>(r);
        } while (done < chunkLength);
        if (chunkLength == 0)
            return rc::Ok;
    }
}

int32_t YModemTx::awaitStartCharAgain()
{
    for (uint32_t skipped = 0;; ++skipped) {
        int32_t c = readByte(kStartCharAgainMs);
        if (c == rc::Timeout)
            trace.event("timeout", "no %s again in %u ms", byteName(startChar).text, static_cast<unsigned>(kStartCharAgainMs));
        if (c < 0)
            return c;
        if (c == startChar)
            return rc::Ok;
        if (c != ctl::ACK || skipped == kMaxSkippedAcks) {
            trace.event("bad-start", "%s instead of %s", byteName(static_cast<uint8_t>(c)).text, byteName(startChar).text);
            return rc::BadStartChar;
        }
    }
}

int32_t YModemTx::sendBatch(uint32_t fileSize, InStream& source, const char* name)
{
    allow1K = true;
    uint8_t header[kShortBlock];
    int32_t r = makeBlock0(fileSize, header, name);
    if (r < 0)
        return r;
    r = waitForStart();
    if (r < 0)
        return r;

    blockNumber = 0;
    r = sendBlock(header, kShortBlock);
    if (r < 0)
        return cancelIfStopped(r);
    r = awaitStartCharAgain();
    if (r < 0)
        return cancelIfStopped(r);

    r = sendStream(source);
    if (r < 0)
        return r;
    r = awaitStartCharAgain();
    if (r < 0)
        return cancelIfStopped(r);

    std::memset(header, 0, sizeof header);
    blockNumber = 0;
    r = sendBlock(header, kShortBlock);
    return r < 0 ? cancelIfStopped(r) : rc::Ok;
}
