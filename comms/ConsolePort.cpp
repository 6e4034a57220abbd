#include "ConsolePort.h"

#include <cstring>

#include "Block.h"
#include "ResultCodes.h"
#include "TraceSink.h"

namespace {
constexpr uint32_t kWriteTimeoutMs = 1000;
// Console text is short; a read while screening takes it in pieces of this
// size and gives up after kMaxScreenedPerRead bytes without an opening
// character, so that a board that never stops talking still lets the
// sender's start wait count its polls.
constexpr uint32_t kScreenChunk = 64;
constexpr uint32_t kMaxScreenedPerRead = 256;
// While the board changes its rate, what comes is noise; this many reads
// of it at most before the switch goes ahead anyway.
constexpr uint32_t kMaxSettleReads = 16;

bool isText(uint8_t byte)
{
    return byte >= 0x20 && byte <= 0x7E;
}

bool isOpening(uint8_t byte)
{
    return byte == ctl::CRC || byte == ctl::G || byte == ctl::NAK;
}
}  // namespace

ConsolePort::ConsolePort(SerialPort& inner_, const Settings& settings_, TraceSink& trace_)
    : inner(inner_), settings(settings_), trace(trace_), screening(settings_.screenStart)
{
}

int32_t ConsolePort::open(uint32_t portNumber)
{
    return inner.open(portNumber);
}

int32_t ConsolePort::configure(uint32_t baudRate)
{
    int32_t r = inner.configure(baudRate);
    if (r != rc::Ok)
        return r;
    setUpRate = rate = baudRate;
    if (settings.line == nullptr || lineTyped)
        return rc::Ok;
    lineTyped = true;
    return typeLine();
}

int32_t ConsolePort::typeLine()
{
    const auto* text = reinterpret_cast<const uint8_t*>(settings.line);
    const uint32_t length = static_cast<uint32_t>(std::strlen(settings.line));
    const uint8_t cr = '\r';
    for (uint32_t done = 0; done <= length;) {
        const bool textLeft = done < length;
        int32_t n = textLeft ? inner.write(text + done, length - done, kWriteTimeoutMs)
                             : inner.write(&cr, 1, kWriteTimeoutMs);
        if (n < 0)
            return n;
        if (n == 0)
            return rc::Timeout;
        done += static_cast<uint32_t>(n);
    }
    trace.event("console", "typed a line of %u bytes", static_cast<unsigned>(length));
    return rc::Ok;
}

int32_t ConsolePort::write(const uint8_t* data, uint32_t count, uint32_t timeoutMs)
{
    // The sender's first frame: its opening character has been taken.
    screening = false;
    held = -1;
    return inner.write(data, count, timeoutMs);
}

void ConsolePort::close()
{
    inner.close();
}

int32_t ConsolePort::follow(const SwitchPrompt::Request& request)
{
    prompt.clear();
    uint8_t noise[kScreenChunk];
    for (uint32_t reads = 0; reads < kMaxSettleReads; ++reads) {
        int32_t n = inner.read(noise, sizeof noise, kSwitchSettleMs);
        if (n < 0)
            return n;
        if (n == 0)
            break;
    }
    int32_t r = inner.configure(request.rate);
    if (r != rc::Ok) {
        trace.event("switch", "%u bps refused", static_cast<unsigned>(request.rate));
        return r;
    }
    rate = request.rate;
    int32_t w = inner.write(&request.key, 1, kWriteTimeoutMs);
    if (w < 0)
        return w;
    if (w == 0)
        return rc::Timeout;
    trace.event("switch", "now %u bps, answered %s", static_cast<unsigned>(rate),
                request.key == '\r' ? "CR" : "ESC");
    quietMs = 0;
    afterText = false;
    held = -1;
    return rc::Ok;
}

int32_t ConsolePort::scan(const uint8_t* bytes, uint32_t count)
{
    quietMs = 0;
    if (!settings.followSwitch)
        return rc::Ok;
    for (uint32_t i = 0; i < count; ++i) {
        SwitchPrompt::Request request {};
        if (prompt.feed(bytes[i], request)) {
            int32_t r = follow(request);
            if (r < 0)
                return r;
        }
    }
    return rc::Ok;
}

int32_t ConsolePort::quietFor(uint32_t ms)
{
    quietMs = ms > UINT32_MAX - quietMs ? UINT32_MAX : quietMs + ms;
    SwitchPrompt::Request request {};
    if (settings.followSwitch && quietMs >= kPromptQuietMs && prompt.pendingRequest(request))
        return follow(request);
    return rc::Ok;
}

bool ConsolePort::screen(const uint8_t* bytes, uint32_t count, uint32_t quietBefore, uint8_t& deliver)
{
    // A pause ends a line as well as a line end does: a receiver's "C"
    // repeated a second after text on the same line stands alone.
    if (quietBefore >= kStandAloneMs)
        afterText = false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        const bool text = isText(byte);
        if (held >= 0) {
            const uint8_t candidate = static_cast<uint8_t>(held);
            held = -1;
            if (!text) {
                deliver = candidate;
                afterText = false;
                return true;
            }
            trace.event("console", "%s inside text", byteName(candidate).text);
            afterText = isText(candidate);
        }
        if (isOpening(byte) && !afterText) {
            held = byte;
            heldQuietMs = 0;
        }
        afterText = text;
    }
    return false;
}

int32_t ConsolePort::read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs)
{
    if (count == 0)
        return inner.read(buffer, count, timeoutMs);
    uint32_t remaining = timeoutMs;
    uint32_t screened = 0;
    for (;;) {
        // Wake in time for a held character's quiet and a request's.
        uint32_t step = remaining;
        if (held >= 0 && kStandAloneMs - heldQuietMs < step)
            step = kStandAloneMs - heldQuietMs;
        SwitchPrompt::Request request {};
        if (settings.followSwitch && prompt.pendingRequest(request) && quietMs < kPromptQuietMs &&
            kPromptQuietMs - quietMs < step)
            step = kPromptQuietMs - quietMs;

        uint8_t scratch[kScreenChunk];
        uint8_t* into = screening ? scratch : buffer;
        const uint32_t wanted = screening ? static_cast<uint32_t>(sizeof scratch) : count;
        int32_t n = inner.read(into, wanted, step);
        if (n < 0)
            return n;
        if (n == 0) {
            int32_t r = quietFor(step);
            if (r < 0)
                return r;
            if (held >= 0 && (heldQuietMs += step) >= kStandAloneMs) {
                buffer[0] = static_cast<uint8_t>(held);
                held = -1;
                return 1;
            }
            if (step >= remaining)
                return 0;
            remaining -= step;
            continue;
        }
        const uint32_t got = static_cast<uint32_t>(n);
        const uint32_t quietBefore = quietMs;
        int32_t r = scan(into, got);
        if (r < 0)
            return r;
        if (!screening)
            return n;
        uint8_t opening = 0;
        if (screen(scratch, got, quietBefore, opening)) {
            buffer[0] = opening;
            return 1;
        }
        screened += got;
        if (screened >= kMaxScreenedPerRead)
            return 0;
    }
}

int32_t ConsolePort::awaitSwitchBack(uint32_t quietMs_)
{
    uint8_t drop[256];
    while (switchedAway()) {
        int32_t n = read(drop, sizeof drop, quietMs_);
        if (n <= 0)
            return n;
    }
    return rc::Ok;
}
