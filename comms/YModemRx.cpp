#include "YModemRx.h"

#include <cstring>

#include "CancelSequence.h"
#include "ResultCodes.h"
#include "TraceSink.h"

namespace {
constexpr uint32_t kPortTimeoutMs = 1000;
constexpr uint32_t kMaxAttempts = 10;
constexpr uint32_t kStartCycleMs = 1000;
// A line that never falls silent (a console stuck printing) would hold a
// drain for ever. Eight of the largest frames is far more than a sender
// that waits for the answer can have on the way; past that the attempt
// counter decides.
constexpr uint32_t kMaxDrainBytes = 8 * kMaxFrame;
}  // namespace

// --- OutBlock0 -------------------------------------------------------------

int YModemRx::OutBlock0::open(const char*, uint32_t)
{
    return rc::OutputFile;
}

int YModemRx::OutBlock0::write(const uint8_t* data, uint32_t count)
{
    if (count > sizeof buffer)
        count = sizeof buffer;
    if (count > 0)
        std::memcpy(buffer, data, count);
    length = count;
    return 0;
}

int32_t YModemRx::OutBlock0::parseHeader(const char*& name, uint32_t& size)
{
    uint32_t pos = 0;
    while (pos < length && buffer[pos] != 0)
        ++pos;
    if (pos == length)
        return rc::BadHeader;  // no NUL behind the name
    ++pos;

    uint64_t value = 0;
    for (; pos < length && buffer[pos] != 0 && buffer[pos] != ' '; ++pos) {
        uint8_t c = buffer[pos];
        if (c < '0' || c > '9')
            return rc::BadHeader;
        value = value * 10 + (c - '0');
        if (value > 0xFFFFFFFFull)
            return rc::BadHeader;
    }
    name = reinterpret_cast<const char*>(buffer);
    size = static_cast<uint32_t>(value);
    return rc::Ok;
}

bool isSafeReceivedName(const char* name)
{
    if (name[0] == '/' || name[0] == '\\')
        return false;
    if (((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z')) &&
        name[1] == ':')
        return false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '/' || c == '\\' || c == '\0') {
            if (p - component == 2 && component[0] == '.' && component[1] == '.')
                return false;
            if (c == '\0')
                return true;
            component = p + 1;
        } else if (c < 0x20 || c == 0x7F) {
            return false;
        }
    }
}

// --- engine ----------------------------------------------------------------

YModemRx::YModemRx(SerialPort& port_, uint32_t startTimeoutMs_, TraceSink& trace_)
    : port(port_), trace(trace_), startTimeoutMs(startTimeoutMs_)
{
}

int32_t YModemRx::sendByte(uint8_t byte)
{
    int32_t r = port.write(&byte, 1, kPortTimeoutMs);
    return r == 0 ? rc::Timeout : (r < 0 ? r : rc::Ok);
}

void YModemRx::cancel()
{
    sendCancel(port, trace);
}

void YModemRx::drain()
{
    uint8_t byte = 0;
    for (uint32_t drained = 0; drained < kMaxDrainBytes; ++drained)
        if (port.read(&byte, 1, kPortTimeoutMs) <= 0)
            return;
}

int32_t YModemRx::readFrame(uint8_t* frame, uint32_t& frameLength, Frame& kind)
{
    const uint32_t trailer = useCrc ? 2 : 1;
    frameLength = 3 + kShortBlock + trailer;
    bool longBlock = false;
    uint32_t got = 0;
    while (got < frameLength) {
        int32_t r = port.read(frame + got, frameLength - got, kPortTimeoutMs);
        if (r < 0)
            return r;
        if (r == 0) {
            if (got == 0)
                return rc::Timeout;
            kind = Frame::Broken;
            return rc::Ok;
        }
        got += static_cast<uint32_t>(r);
        // Where a block should begin, two CAN are the sender's cancel.
        if (got >= 2 && frame[0] == ctl::CAN && frame[1] == ctl::CAN) {
            trace.event("cancel", "CAN CAN from the sender");
            return rc::Cancelled;
        }
        if (frame[0] == ctl::EOT) {
            kind = Frame::Eot;
            return rc::Ok;
        }
        if (frame[0] == ctl::STX && !longBlock) {
            longBlock = true;
            frameLength += kLongBlock - kShortBlock;
        }
    }
    kind = Frame::Complete;
    return rc::Ok;
}

bool YModemRx::frameIsValid(const uint8_t* frame, uint32_t blockSize, uint32_t number) const
{
    return frameFault(frame, blockSize, number) == nullptr;
}

const char* YModemRx::frameFault(const uint8_t* frame, uint32_t blockSize, uint32_t number) const
{
    if (frame[0] != (blockSize == kLongBlock ? ctl::STX : ctl::SOH))
        return "bad-start";
    if (frame[1] != static_cast<uint8_t>(0xFFu - frame[2]))
        return "bad-number";
    if (frame[1] != static_cast<uint8_t>(number & 0xFFu))
        return "wrong-number";
    const uint8_t* field = frame + 3;
    if (useCrc) {
        uint16_t crc = crc16(field, blockSize);
        return field[blockSize] == (crc >> 8) && field[blockSize + 1] == (crc & 0xFFu) ? nullptr : "bad-crc";
    }
    return field[blockSize] == checksum8(field, blockSize) ? nullptr : "bad-checksum";
}

bool YModemRx::isRepeatOfLastBlock(const uint8_t* frame, uint32_t blockSize) const
{
    return ackEachBlock && lastAnswerLength > 0 && frameIsValid(frame, blockSize, blockNumber - 1);
}

int32_t YModemRx::acceptBlock(OutStream& out, const uint8_t* frame, uint32_t blockSize)
{
    int32_t r = out.write(frame + 3, blockSize);
    if (r < 0)
        return r;
    if (ackEachBlock) {
        r = sendByte(ctl::ACK);
        if (r < 0)
            return r;
        lastAnswer[0] = ctl::ACK;
        lastAnswerLength = 1;
    }
    silenceChar = resendChar;
    ++blockNumber;
    return static_cast<int32_t>(blockSize);
}

int32_t YModemRx::repeatLastAnswer()
{
    // The sender missed our answer and sent the block again: answer it the
    // same way, and keep the data we already have.
    int32_t r = port.write(lastAnswer, lastAnswerLength, kPortTimeoutMs);
    return r == 0 ? rc::Timeout : (r < 0 ? r : rc::Ok);
}

int32_t YModemRx::receiveBlock(OutStream& out)
{
    return receiveAttempts(out, false);
}

int32_t YModemRx::receiveAttempts(OutStream& out, bool startPhase)
{
    uint8_t frame[kMaxFrame];
    uint32_t silentAttempts = 0;
    for (uint32_t attempt = 1;; ++attempt) {
        uint32_t frameLength = 0;
        Frame kind = Frame::Broken;
        int32_t r = readFrame(frame, frameLength, kind);
        if (r < 0 && r != rc::Timeout)
            return r;
        if (r == rc::Timeout) {
            trace.event("timeout", "no block %u", static_cast<unsigned>(blockNumber));
            // In the start phase the caller's cycle asks again; a streaming
            // sender never sends a block again, so silence there is final.
            // Otherwise the sender may be waiting for an answer we sent and
            // it never got: asking again is how the two find each other.
            if (startPhase || !ackEachBlock)
                return r;
            ++silentAttempts;
            r = sendByte(silenceChar);
        } else if (kind == Frame::Eot && eotEndsFile && (ackEachBlock || attempt == 1)) {
            // Streaming, the sender never sends a block again: after a bad
            // attempt an EOT would close a file with a hole in it, so it only
            // counts as one more bad attempt.
            trace.event("eot", "end of file");
            r = sendByte(ctl::ACK);
            if (r < 0)
                return r;
            return out.write(nullptr, 0);
        } else {
            const uint32_t blockSize = frameLength > 3 + kShortBlock + 2 ? kLongBlock : kShortBlock;
            const bool complete = kind == Frame::Complete;
            if (complete && frameIsValid(frame, blockSize, blockNumber))
                return acceptBlock(out, frame, blockSize);
            if (complete && isRepeatOfLastBlock(frame, blockSize)) {
                trace.event("repeat", "block %u again, answered as before", static_cast<unsigned>(blockNumber - 1));
                r = repeatLastAnswer();
            } else {
                trace.event("resend", "%s %s block %u", byteName(resendChar).text,
                            kind == Frame::Eot ? "eot-not-taken" : complete ? frameFault(frame, blockSize, blockNumber) : "short-frame",
                            static_cast<unsigned>(blockNumber));
                drain();
                r = sendByte(resendChar);
            }
        }
        if (r < 0)
            return r;
        if (attempt == kMaxAttempts) {
            trace.event("retries", "block %u: %u attempts", static_cast<unsigned>(blockNumber), static_cast<unsigned>(attempt));
            return silentAttempts == kMaxAttempts ? rc::Timeout : rc::TooManyRetries;
        }
    }
}

int32_t YModemRx::awaitFirstBlock(OutStream& out)
{
    uint32_t budgetMs = startTimeoutMs;
    for (;;) {
        trace.event("ask", "%s", byteName(startChar).text);
        int32_t w = sendByte(startChar);
        if (w < 0 && w != rc::Timeout)
            return w;
        if (w == rc::Ok) {
            int32_t r = receiveAttempts(out, true);
            if (r != rc::Timeout)
                return r;
        }
        if (budgetMs < kStartCycleMs)
            return rc::Timeout;
        budgetMs -= kStartCycleMs;
    }
}

int32_t YModemRx::receiveXModem(OutStream& out, bool crc)
{
    useCrc = crc;
    startChar = resendChar = silenceChar = crc ? ctl::CRC : ctl::NAK;
    ackEachBlock = true;
    eotEndsFile = true;
    lastAnswerLength = 0;
    blockNumber = 1;
    int32_t r = awaitFirstBlock(out);
    if (r == rc::Timeout)
        return r;
    while (r > 0)
        r = receiveBlock(out);
    if (r < 0)
        cancel();
    return r;
}

int32_t YModemRx::receiveYModem(OutStream& out, bool streaming)
{
    useCrc = true;
    ackEachBlock = !streaming;
    startChar = resendChar = silenceChar = streaming ? ctl::G : ctl::CRC;
    bool fileDone = false;
    uint32_t repeatedEots = 0;
    for (;;) {
        OutBlock0 header;
        blockNumber = 0;
        lastAnswerLength = 0;
        // Before the first file an EOT can only be line noise; after it,
        // an EOT is the sender repeating its end because our ACK was lost.
        eotEndsFile = fileDone;
        int32_t r = awaitFirstBlock(header);
        if (r == rc::Timeout && !fileDone)
            return r;  // nobody came: nothing to cancel
        if (r == rc::Timeout && repeatedEots > 0)
            return rc::Ok;  // the file ended twice; no closing header followed
        if (r < 0) {
            cancel();
            return r;
        }
        if (r == 0) {
            trace.event("eot", "repeated, acknowledged again");
            // Acknowledged again; the sender goes on to the closing header.
            if (++repeatedEots == kMaxAttempts) {
                cancel();
                return rc::TooManyRetries;
            }
            continue;
        }
        r = takeHeader(out, header, fileDone);
        if (r <= 0)
            return r;
        eotEndsFile = true;
        do
            r = receiveBlock(out);
        while (r > 0);
        if (r < 0) {
            cancel();
            return r;
        }
        fileDone = true;
    }
}

int32_t YModemRx::takeHeader(OutStream& out, OutBlock0& header, bool fileDone)
{
    const char* name = nullptr;
    uint32_t size = 0;
    if (header.parseHeader(name, size) < 0) {
        trace.event("header", "malformed");
        cancel();
        return rc::BadHeader;
    }
    trace.event("header", "\"%s\" %u bytes", name, static_cast<unsigned>(size));
    if (name[0] == '\0')
        return rc::Ok;
    if (fileDone)
        return rc::SecondFile;
    // The sender's name becomes a path: it must stay below this folder.
    if (!isSafeReceivedName(name)) {
        cancel();
        return rc::BadHeader;
    }
    int32_t r = out.open(name, size);
    if (r < 0) {
        cancel();
        return r;
    }
    resendChar = ctl::NAK;
    r = sendByte(startChar);
    if (r < 0) {
        cancel();
        return r;
    }
    // Until block 1 comes, the sender may still be waiting for this "C":
    // silence is answered with it, and a repeated header with ACK and it.
    lastAnswer[0] = ctl::ACK;
    lastAnswer[1] = startChar;
    lastAnswerLength = ackEachBlock ? 2 : 0;
    silenceChar = startChar;
    return 1;
}
