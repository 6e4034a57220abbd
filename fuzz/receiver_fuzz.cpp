// The receiver engine with the real file endpoint, fed an arbitrary line.
//
// Input: a configuration byte (variant, FILE named or not, port fault,
// full disk, start budget), then segments for the far end: raw bytes,
// well-formed data frames and header blocks with a correct check, damaged
// and cut frames, EOT. The target plays receiveFile: an OutFile, opened up
// front when a FILE is named, writing into a counting sink instead of the
// disk. After every run it checks that
//  - any name the engine opens stays below the working folder;
//  - nothing reaches the disk beyond a declared size;
//  - the result is one of the receiver's documented codes (a sender's
//    cancel, two CAN where a block begins, included);
//  - failures that cancel leave the cancel (five CAN, five backspaces) as
//    the last thing sent, and a success leaves an ACK.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Block.h"
#include "CancelSequence.h"
#include "FakePort.h"
#include "FileEndpoints.h"
#include "FuzzInput.h"
#include "ResultCodes.h"
#include "SafeName.h"
#include "ScriptedPeer.h"
#include "YModemRx.h"

namespace {

enum Variant : uint8_t { XChecksum, XCrc, YModem, YModemG };

// An OutFile whose "disk" is a counter, so any name is safe to try.
class GuardedOutFile : public OutFile {
public:
    int open(const char* name, uint32_t size) override
    {
        FUZZ_CHECK(staysBelowWorkingFolder(name));
        if (file == nullptr) {
            cookie_io_functions_t io = {nullptr, &GuardedOutFile::diskWrite, nullptr, nullptr};
            file = fopencookie(this, "w+b", io);
            FUZZ_CHECK(file != nullptr);
        }
        return OutFile::open(name, size);
    }

    uint64_t onDisk = 0;
    uint64_t capacity = UINT64_MAX;

private:
    static ssize_t diskWrite(void* cookie, const char*, size_t n)
    {
        auto* self = static_cast<GuardedOutFile*>(cookie);
        if (self->onDisk + n > self->capacity)
            return 0;  // full disk: stdio reports the short write
        self->onDisk += n;
        if (self->declaredSize != 0)
            FUZZ_CHECK(self->onDisk <= self->declaredSize);
        return static_cast<ssize_t>(n);
    }
};

std::vector<uint8_t> dataFrame(FuzzInput& in, uint32_t blockSize, bool crc)
{
    const uint8_t number = in.byte();
    const uint32_t count = (blockSize == kLongBlock ? in.u16() : in.byte()) % (blockSize + 1);
    uint8_t data[kLongBlock];
    const size_t got = in.take(data, count);
    std::vector<uint8_t> frame(kMaxFrame);
    frame.resize(buildFrame(frame.data(), number, data, static_cast<uint32_t>(got), blockSize, crc));
    return frame;
}

std::vector<uint8_t> headerFrame(FuzzInput& in, uint32_t blockSize)
{
    const uint32_t count = (blockSize == kLongBlock ? in.u16() : in.byte()) % (blockSize + 1);
    uint8_t field[kLongBlock] = {};
    in.take(field, count);
    std::vector<uint8_t> frame(kMaxFrame);
    // The whole field goes in, so it is zero behind the chosen bytes, as a
    // header is.
    const uint32_t length = buildFrame(frame.data(), 0, field, blockSize, blockSize, true);
    frame.resize(length);
    return frame;
}

std::vector<uint8_t> segmentBytes(FuzzInput& in, uint8_t kind, bool crc)
{
    std::vector<uint8_t> bytes;
    switch (kind) {
    case 0: {
        bytes.resize(in.byte());
        bytes.resize(in.take(bytes.data(), bytes.size()));
        break;
    }
    case 1:
        return dataFrame(in, kShortBlock, crc);
    case 2:
        return dataFrame(in, kLongBlock, crc);
    case 3:
        return headerFrame(in, kShortBlock);
    case 4:
        return headerFrame(in, kLongBlock);
    case 5: {
        bytes = dataFrame(in, kShortBlock, crc);
        const size_t at = in.byte() % bytes.size();
        bytes[at] = static_cast<uint8_t>(bytes[at] ^ (in.byte() | 1u));
        break;
    }
    case 6:
        bytes.push_back(ctl::EOT);
        break;
    default: {
        bytes = dataFrame(in, kShortBlock, crc);
        bytes.resize(in.byte() % bytes.size());
        break;
    }
    }
    return bytes;
}

bool isDocumented(int32_t r, Variant variant, bool portFault)
{
    switch (r) {
    case rc::Ok:
    case rc::Timeout:
    case rc::TooManyRetries:
    case rc::OutputFile:
    case rc::Cancelled:
        return true;
    case rc::BadHeader:
    case rc::SecondFile:
        return variant == YModem || variant == YModemG;
    case rc::PortRead:
    case rc::PortWrite:
        return portFault;
    default:
        return false;
    }
}

bool lastWriteIs(const FakePort& port, const std::vector<uint8_t>& bytes)
{
    return !port.writes.empty() && port.writes.back().bytes == bytes;
}

// Our last ACK (that of the sender's repeated EOT) followed only by "C"
// once a cycle, and NAK for noise, waiting for a closing header that never
// came.
bool onlyAskingAfterTheLastAck(const FakePort& port)
{
    bool asked = false;
    for (auto w = port.writes.rbegin(); w != port.writes.rend(); ++w) {
        if (w->bytes == std::vector<uint8_t>{ctl::ACK})
            return asked;
        if (w->bytes != std::vector<uint8_t>{ctl::CRC} && w->bytes != std::vector<uint8_t>{ctl::NAK})
            return false;
        asked = true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The progress lines are of no interest here.
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t config = in.byte();
    const auto variant = static_cast<Variant>(config & 3u);
    const bool fileNamed = (config & 4u) != 0 || variant == XChecksum || variant == XCrc;
    const bool portFault = (config & 8u) != 0;
    const bool diskFills = (config & 16u) != 0;
    static const uint32_t kBudgets[4] = {0, 1000, 3000, 30000};
    const uint32_t budgetMs = kBudgets[(config >> 5) & 3u];

    FakePort port;
    if (portFault) {
        const uint8_t which = in.byte();
        (which & 1u ? port.failReadAt : port.failWriteAt) = which >> 1;
    }
    GuardedOutFile out;
    if (diskFills)
        out.capacity = in.u16();

    ScriptedPeer peer;
    const bool crc = variant != XChecksum;
    while (!in.empty()) {
        const uint8_t op = in.byte();
        peer.add({(op & 0x80u) != 0, ScriptedPeer::delayFor(op),
                  segmentBytes(in, static_cast<uint8_t>((op >> 4) & 7u), crc)});
    }
    peer.attach(port);

    if (fileNamed)
        FUZZ_CHECK(out.open("received.bin", 0) == 0);
    YModemRx receiver(port, budgetMs);
    int32_t r = 0;
    switch (variant) {
    case XChecksum:
    case XCrc:
        r = receiver.receiveXModem(out, variant == XCrc);
        break;
    default:
        r = receiver.receiveYModem(out, variant == YModemG);
        break;
    }
    if (out.file != nullptr)
        std::fclose(out.file);
    for (const FakePort::Write& w : port.writes)
        traceBytes("wrote", w.bytes.data(), w.bytes.size());
    traceOutcome("result", r);
    traceOutcome("on disk", static_cast<long>(out.onDisk));

    FUZZ_CHECK(isDocumented(r, variant, portFault));
    if (!portFault) {
        const std::vector<uint8_t> cancel(kCancelSequence, kCancelSequence + kCancelLength);
        if (r == rc::TooManyRetries || r == rc::BadHeader || r == rc::OutputFile)
            FUZZ_CHECK(lastWriteIs(port, cancel));
        if (r == rc::SecondFile)
            FUZZ_CHECK(!lastWriteIs(port, cancel));
        // A success ends with our ACK; in Y-Modem also with a "C" that no
        // closing header answered, after an EOT the sender repeated.
        if (r == rc::Ok && variant != YModemG)
            FUZZ_CHECK(lastWriteIs(port, {ctl::ACK}) ||
                       (variant == YModem && onlyAskingAfterTheLastAck(port)));
    }
    return 0;
}
