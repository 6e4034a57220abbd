// The log capture fed an arbitrary device output in arbitrary pieces.
//
// Input: a configuration byte (echo, a failing read or a failing log
// write), the read timeout, the stop string, then chunks of output (raw
// bytes or a slice of the stop string), each arriving some time after the
// one before. Checked against a naive search
// over the whole stream:
//  - with a stop string present, the capture ends at the end of the first
//    read that completes its first occurrence, and not before;
//  - otherwise it ends at the first silence longer than the timeout;
//  - the log holds exactly the bytes read, in order, once each;
//  - the log is closed on every way out, and a failure ends the process
//    with the read's code or -501.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ExitSeam.h"
#include "FakePort.h"
#include "Flows.h"
#include "FuzzInput.h"
#include "Options.h"
#include "ResultCodes.h"

namespace {

// Keeps where each read ended in the stream.
class RecordingPort : public FakePort {
public:
    int32_t read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override
    {
        // The capture never asks for less than it could hold.
        FUZZ_CHECK(count >= 1025 && count <= 1152);
        int32_t r = FakePort::read(buffer, count, timeoutMs);
        lastResult = r;
        if (r > 0) {
            consumed += static_cast<size_t>(r);
            boundaries.push_back(consumed);
        }
        return r;
    }

    size_t consumed = 0;
    std::vector<size_t> boundaries;
    int32_t lastResult = 1;
};

struct LogSink {
    std::string bytes;
    size_t capacity = SIZE_MAX;
    bool closed = false;

    static ssize_t write(void* cookie, const char* data, size_t n)
    {
        auto* self = static_cast<LogSink*>(cookie);
        if (self->bytes.size() + n > self->capacity)
            return 0;
        self->bytes.append(data, n);
        return static_cast<ssize_t>(n);
    }
    static int close(void* cookie)
    {
        static_cast<LogSink*>(cookie)->closed = true;
        return 0;
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t config = in.byte();
    static const uint32_t kTimeouts[4] = {0, 1, 1000, 10000};
    const uint32_t timeoutMs = kTimeouts[in.byte() & 3u];
    static char stop[kMaxStopLength];
    const uint32_t stopLength = static_cast<uint32_t>(in.take(
        reinterpret_cast<uint8_t*>(stop), in.byte() % (kMaxStopLength + 1)));

    RecordingPort port;
    LogSink sink;
    const bool readFails = (config & 2u) != 0;
    const bool logFails = (config & 4u) != 0;
    if (readFails)
        port.failReadAt = in.byte() % 16u;
    if (logFails)
        sink.capacity = in.u16();

    // Chunks arrive gap by gap. The capture falls silent at the first
    // chunk that comes more than the timeout after the bytes before it
    // (its first read starts at time 0).
    std::string stream;
    size_t beforeSilence = SIZE_MAX;
    uint64_t at = 0;
    uint64_t lastArrival = 0;
    while (!in.empty()) {
        static const uint64_t kGaps[8] = {0, 1, 2, 999, 1000, 1001, 10000, 10001};
        const uint8_t kind = in.byte();
        at += kGaps[kind & 7u];
        std::vector<uint8_t> chunk;
        if ((kind & 8u) != 0 && stopLength > 0) {
            // A piece of the stop string itself, so splits come easily.
            const uint32_t from = in.byte() % (stopLength + 1);
            const uint32_t to = from + in.byte() % (stopLength + 1 - from);
            chunk.assign(stop + from, stop + to);
        } else {
            chunk.resize(in.u16() % 3000u);
            chunk.resize(in.take(chunk.data(), chunk.size()));
        }
        if (chunk.empty())
            continue;
        if (at - lastArrival > timeoutMs && beforeSilence == SIZE_MAX)
            beforeSilence = stream.size();
        lastArrival = at;
        port.deliver(chunk, at);
        stream.append(chunk.begin(), chunk.end());
    }
    if (beforeSilence == SIZE_MAX)
        beforeSilence = stream.size();

    Options = Settings{};
    Options.logFileName = "LOG";
    Options.logTimeoutMs = timeoutMs;
    Options.logEcho = (config & 1u) != 0;
    Options.logStopString = stopLength > 0 ? stop : nullptr;
    Options.logStopLength = stopLength;
    cookie_io_functions_t io = {nullptr, &LogSink::write, nullptr, &LogSink::close};
    Options.logFile = fopencookie(&sink, "w+b", io);
    FUZZ_CHECK(Options.logFile != nullptr);

    int status = 0;
    const bool returned = runCatchingExit([&] { captureLog(port); }, status);

    traceOutcome(returned ? "returned, read" : "exit status", returned ? static_cast<long>(port.consumed) : status);
    FUZZ_CHECK(sink.closed);
    const size_t firstEnd = stopLength == 0 ? std::string::npos
                          : stream.find(std::string(stop, stopLength));
    const size_t stopEnd = firstEnd == std::string::npos ? SIZE_MAX : firstEnd + stopLength;
    if (!returned) {
        FUZZ_CHECK(readFails || logFails);
        FUZZ_CHECK(status == rc::PortRead || status == rc::LogFile);
        // It failed before it could have seen the stop string.
        FUZZ_CHECK(port.consumed < stopEnd || status == rc::LogFile);
        if (status == rc::PortRead)
            FUZZ_CHECK(sink.bytes == stream.substr(0, port.consumed));
        else
            FUZZ_CHECK(stream.compare(0, sink.bytes.size(), sink.bytes) == 0);
        return 0;
    }
    FUZZ_CHECK(sink.bytes == stream.substr(0, port.consumed));
    if (stopEnd <= beforeSilence) {
        // Found at the end of the read that completed it.
        auto first = std::lower_bound(port.boundaries.begin(), port.boundaries.end(), stopEnd);
        FUZZ_CHECK(first != port.boundaries.end() && port.consumed == *first);
        FUZZ_CHECK(port.lastResult > 0);
    } else {
        FUZZ_CHECK(port.lastResult == 0);
        FUZZ_CHECK(port.consumed == beforeSilence);
    }
    return 0;
}
