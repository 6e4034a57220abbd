// Building blocks of the hostile-input tests: a file pattern, a scripted
// sender, a line that never falls silent, and a scratch folder to
// receive into, so that what lands on disk (and where) can be checked.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Block.h"
#include "FakePort.h"
#include "Frames.h"
#include "SerialPort.h"

Bytes filePattern(size_t n, uint8_t seed = 3);

// A Y-Modem sender that answers what the receiver writes on a FakePort:
// block 0 on the first opening character, the data after the second, each
// block again on NAK or "C", EOT, then the end-of-batch block. Knobs make
// it hostile: a header of any content, every block sent as block 1, one
// block damaged, or (streaming) all blocks back to back as in Y-Modem G.
class ScriptedYModemSender {
public:
    ScriptedYModemSender(std::string headerField_, Bytes data_)
        : headerField(std::move(headerField_)), data(std::move(data_)) {}

    void attach(FakePort& port);

    bool streaming = false;
    bool repeatFirstBlock = false;
    // Block number (from 1) whose first transmission is damaged; 0: none.
    uint32_t damagedBlock = 0;
    // Block number (from 1) whose first transmission follows `noise`.
    uint32_t noisyBlock = 0;
    Bytes noise;
    // The receiver's bytes before this virtual time go unanswered.
    uint64_t deafUntilMs = 0;
    uint64_t replyDelayMs = 2;

private:
    enum class State { Start, HeaderSent, AwaitDataStart, Data, EotSent, AwaitEndStart, Done };

    void onByte(FakePort& port, uint8_t byte);
    Bytes block(uint32_t index) const;  // index from 0
    uint32_t blockCount() const { return static_cast<uint32_t>((data.size() + 127) / 128); }

    std::string headerField;
    Bytes data;
    State state = State::Start;
    uint32_t current = 0;
    bool damageDone = false;
    bool noiseDone = false;
};

// A line on which a device keeps printing: byte i of `text` (repeated)
// arrives at i byte times of 115200 baud, in virtual time; each read
// returns what has arrived, waiting within its timeout for the next byte.
// Writes always succeed and take their byte times. After `limit` bytes a
// read fails with -105, so that an engine that would wait for silence
// forever ends with that code instead of hanging the test.
class EndlessTextPort : public SerialPort {
public:
    EndlessTextPort(std::string text_, uint64_t limit_) : text(std::move(text_)), limit(limit_) {}

    int32_t open(uint32_t) override { return 0; }
    int32_t configure(uint32_t) override { return 0; }
    void close() override {}
    int32_t write(const uint8_t* data, uint32_t count, uint32_t timeoutMs) override;
    int32_t read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override;

    // Bytes sent before the text starts (an opening character, say).
    Bytes prefix;
    Bytes written;
    uint64_t bytesRead = 0;
    uint64_t nowNs = 0;
    uint64_t nowMs() const { return nowNs / 1000000; }

private:
    uint8_t byteAt(uint64_t index) const;

    std::string text;
    uint64_t limit;
};

// A fresh folder <tmp>/hostile.XXXXXX/work made the current directory for
// the life of the object; the parent stays empty unless something escapes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& root() const { return rootPath; }
    // Every file below the root, as paths relative to it, sorted.
    std::vector<std::string> files() const;
    Bytes contents(const std::string& relativePath) const;

private:
    std::string rootPath;
    std::string previous;
};
