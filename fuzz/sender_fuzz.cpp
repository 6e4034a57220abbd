// The sender engine with the real file source, fed arbitrary replies.
//
// Input: a configuration byte (protocol, partial writes, a file that
// shrinks, port fault, start budget), the file size, the announced name,
// then reply segments that the far end plays as the sender writes. Every
// frame the sender writes is checked against the file: well formed, a
// valid check, numbered in order, holding the file's bytes at the right
// offset with SUB fill, resent unchanged; block 0 as the layout says. The
// result must be a documented code, and a success must have sent all of
// the file and its ending.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Block.h"
#include "FakePort.h"
#include "FileEndpoints.h"
#include "FuzzInput.h"
#include "ResultCodes.h"
#include "ScriptedPeer.h"
#include "YModemTx.h"

namespace {

enum Protocol : uint8_t { XModem, XModem1K, YModem };

uint8_t fileByte(uint32_t offset)
{
    return static_cast<uint8_t>((offset * 131u + (offset >> 8)) ^ 0x5Au);
}

// The file on "disk": `present` bytes of a fixed pattern.
struct SourceFile {
    uint32_t present = 0;
    uint32_t offset = 0;

    static ssize_t read(void* cookie, char* buffer, size_t n)
    {
        auto* self = static_cast<SourceFile*>(cookie);
        size_t i = 0;
        for (; i < n && self->offset < self->present; ++i)
            buffer[i] = static_cast<char>(fileByte(self->offset++));
        return static_cast<ssize_t>(i);
    }
};

std::vector<uint8_t> expectedHeader(const std::string& name, uint32_t size)
{
    std::vector<uint8_t> field(kShortBlock, 0);
    size_t at = 0;
    for (char c : name) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c == '\\')
            c = '/';
        field[at++] = static_cast<uint8_t>(c);
    }
    ++at;
    for (char digit : std::to_string(size))
        field[at++] = static_cast<uint8_t>(digit);
    return field;
}

// Follows the frames the sender writes, one per write call.
class FrameChecker {
public:
    // fileSize is announced; dataSize bytes are really there to send.
    FrameChecker(uint32_t fileSize_, uint32_t dataSize_, const std::string& name_)
        : fileSize(fileSize_), dataSize(dataSize_), name(name_) {}

    void check(const std::vector<uint8_t>& frame)
    {
        if (frame.size() == 1) {
            FUZZ_CHECK(frame[0] == ctl::EOT);
            FUZZ_CHECK(dataEnd() == fileSize);
            eotSent = true;
            return;
        }
        const uint32_t blockSize = frame[0] == ctl::STX ? kLongBlock : kShortBlock;
        FUZZ_CHECK(frame[0] == ctl::STX || frame[0] == ctl::SOH);
        FUZZ_CHECK(frame.size() == 3 + blockSize + 1 || frame.size() == 3 + blockSize + 2);
        FUZZ_CHECK(frame[2] == static_cast<uint8_t>(0xFF - frame[1]));
        const uint8_t* field = frame.data() + 3;
        if (frame.size() == 3 + blockSize + 2) {
            const uint16_t crc = crc16(field, blockSize);
            FUZZ_CHECK(field[blockSize] == crc >> 8 && field[blockSize + 1] == (crc & 0xFF));
            crcSeen = true;
        } else {
            // Once switched to CRC-16 the sender never goes back.
            FUZZ_CHECK(!crcSeen);
            FUZZ_CHECK(field[blockSize] == checksum8(field, blockSize));
        }
        std::vector<uint8_t> payload(field, field + blockSize);
        if (frame[1] == 0 && blockSize == kShortBlock && (dataBlocks == 0 || eotSent)) {
            checkHeader(payload);
            return;
        }
        checkData(frame[1], blockSize, payload);
    }

    uint32_t fileSize;
    uint32_t dataSize;
    std::string name;
    bool eotSent = false;
    bool headerSent = false;
    bool endOfBatchSent = false;

private:
    uint32_t dataEnd() const { return lastOffset + lastCount; }

    void checkHeader(const std::vector<uint8_t>& payload)
    {
        if (!eotSent) {
            FUZZ_CHECK(payload == expectedHeader(name, fileSize));
            headerSent = true;
        } else {
            FUZZ_CHECK(payload == std::vector<uint8_t>(kShortBlock, 0));
            endOfBatchSent = true;
        }
    }

    void checkData(uint8_t number, uint32_t blockSize, const std::vector<uint8_t>& payload)
    {
        FUZZ_CHECK(!eotSent);
        if (dataBlocks > 0 && number == lastNumber) {
            FUZZ_CHECK(payload == lastPayload);  // a resend is the same block
            return;
        }
        FUZZ_CHECK(number == static_cast<uint8_t>(dataBlocks + 1));
        const uint32_t offset = dataEnd();
        FUZZ_CHECK(offset < dataSize);
        const uint32_t left = dataSize - offset;
        const uint32_t count = left < blockSize ? left : blockSize;
        // 1024-byte blocks only from whole 1024-byte chunks of the file.
        if (blockSize == kLongBlock)
            FUZZ_CHECK(count == kLongBlock && offset % kLongBlock == 0);
        for (uint32_t i = 0; i < blockSize; ++i)
            FUZZ_CHECK(payload[i] == (i < count ? fileByte(offset + i) : ctl::SUB));
        ++dataBlocks;
        lastNumber = number;
        lastOffset = offset;
        lastCount = count;
        lastPayload = payload;
    }

    bool crcSeen = false;
    uint32_t dataBlocks = 0;
    uint8_t lastNumber = 0;
    uint32_t lastOffset = 0;
    uint32_t lastCount = 0;
    std::vector<uint8_t> lastPayload;
};

std::vector<uint8_t> replyBytes(FuzzInput& in, uint8_t kind)
{
    switch (kind) {
    case 0: {
        std::vector<uint8_t> bytes(in.byte());
        bytes.resize(in.take(bytes.data(), bytes.size()));
        return bytes;
    }
    case 1:
        return {ctl::ACK};
    case 2:
        return {ctl::NAK};
    case 3:
        return {ctl::CRC};
    case 4:
        return {ctl::G};
    case 5:
        return {ctl::CAN};
    case 6:
        return {ctl::ACK, ctl::CRC};
    default: {
        const uint8_t byte = in.byte();
        return std::vector<uint8_t>(in.byte() % 32u, byte);
    }
    }
}

bool isDocumented(int32_t r, Protocol protocol, bool shrinks, bool portFault)
{
    switch (r) {
    case rc::Ok:
    case rc::Timeout:
    case rc::TooManyRetries:
    case rc::Cancelled:
        return true;
    case rc::SourceFile:
        return shrinks;
    case rc::BadStartChar:
    case rc::HeaderTooLong:
        return protocol == YModem;
    case rc::PortRead:
    case rc::PortWrite:
        return portFault;
    default:
        return false;
    }
}

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
    const auto protocol = static_cast<Protocol>((config & 3u) % 3u);
    const bool partialWrites = (config & 4u) != 0;
    const bool shrinks = (config & 8u) != 0;
    const bool portFault = (config & 16u) != 0;
    static const uint32_t kBudgets[4] = {0, 10990, 11000, 30000};
    const uint32_t budgetMs = kBudgets[(config >> 5) & 3u];

    const uint32_t fileSize = in.u16() % 5000u;
    std::string name(in.byte() % 140u, 'x');
    for (char& c : name)
        c = static_cast<char>(in.byte() % 95u + 32u);  // printable: no NUL inside

    FakePort port;
    if (partialWrites)
        port.writeLimit = in.byte() % 200u + 1u;
    if (portFault) {
        const uint8_t which = in.byte();
        (which & 1u ? port.failReadAt : port.failWriteAt) = which >> 1;
    }
    ScriptedPeer peer;
    while (!in.empty()) {
        const uint8_t op = in.byte();
        peer.add({(op & 0x80u) != 0, ScriptedPeer::delayFor(op),
                  replyBytes(in, static_cast<uint8_t>((op >> 4) & 7u))});
    }
    peer.attach(port);

    SourceFile disk;
    disk.present = shrinks ? fileSize / 2 : fileSize;
    cookie_io_functions_t io = {&SourceFile::read, nullptr, nullptr, nullptr};
    FILE* file = fopencookie(&disk, "rb", io);
    FUZZ_CHECK(file != nullptr);
    InFile source(file, fileSize);

    YModemTx sender(port, budgetMs);
    int32_t r = 0;
    if (protocol == YModem) {
        r = sender.sendBatch(fileSize, source, name.c_str());
    } else {
        sender.setAllow1K(protocol == XModem1K);
        r = sender.waitForStart();
        if (r == 0)
            r = sender.sendStream(source);
    }
    std::fclose(file);
    traceOutcome("result", r);
    traceOutcome("writes", static_cast<long>(port.writes.size()));

    FUZZ_CHECK(isDocumented(r, protocol, shrinks, portFault));
    const bool tooLong = name.size() + 1 + std::to_string(fileSize).size() > 126;
    FUZZ_CHECK((r == rc::HeaderTooLong) == (protocol == YModem && tooLong));
    if (r == rc::HeaderTooLong)
        FUZZ_CHECK(port.writes.empty());
    if (partialWrites)
        return 0;  // frames are split across writes; only the result is checked
    FrameChecker frames(fileSize, disk.present, name);
    for (const FakePort::Write& w : port.writes)
        frames.check(w.bytes);
    if (r == rc::Ok) {
        FUZZ_CHECK(!shrinks || fileSize == 0);
        FUZZ_CHECK(frames.eotSent);
        if (protocol == YModem)
            FUZZ_CHECK(frames.headerSent && frames.endOfBatchSent);
    }
    return 0;
}
