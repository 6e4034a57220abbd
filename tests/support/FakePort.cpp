#include "FakePort.h"

#include <algorithm>
#include <csignal>

#include "ResultCodes.h"
#include "StopRequest.h"

void FakePort::requestStop()
{
    if (stop::record(SIGINT) == 0)
        writesBeforeStop = writes.size();
}

int32_t FakePort::configure(uint32_t baudRate)
{
    if (refusedRate != 0 && baudRate == refusedRate)
        return rc::PortSettings;
    rate = baudRate;
    rates.push_back(baudRate);
    return 0;
}

int32_t FakePort::write(const uint8_t* data, uint32_t count, uint32_t timeoutMs)
{
    uint64_t index = writeCalls++;
    if (nowMs >= stopAtMs)
        requestStop();
    if (stop::blocksPort())
        return rc::Interrupted;
    if (static_cast<int64_t>(index) == failWriteAt)
        return failCode != 0 ? failCode : rc::PortWrite;
    if (count == 0 || static_cast<int64_t>(index) == stallWriteAt) {
        nowMs += timeoutMs;
        return 0;
    }
    uint32_t moved = count < writeLimit ? count : writeLimit;
    writes.push_back({nowMs, std::vector<uint8_t>(data, data + moved)});
    if (peer)
        peer(*this, data, moved);
    return static_cast<int32_t>(moved);
}

int32_t FakePort::read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs)
{
    uint64_t index = readCalls++;
    if (static_cast<int64_t>(index) == failReadAt)
        return failCode != 0 ? failCode : rc::PortRead;
    // The wait ends at the first arrival within the timeout, or with it.
    const bool arrives = count > 0 && !incoming.empty() && incoming.front().atMs <= nowMs + timeoutMs;
    const uint64_t waitEndMs = arrives ? std::max(nowMs, incoming.front().atMs) : nowMs + timeoutMs;
    if (stopAtMs <= nowMs || (stopAtMs <= waitEndMs && waitEndMs > nowMs)) {
        nowMs = std::max(nowMs, stopAtMs);
        requestStop();
    }
    if (stop::blocksPort())
        return rc::Interrupted;
    if (count == 0) {
        nowMs += timeoutMs;
        return 0;
    }
    if (incoming.empty() || incoming.front().atMs > nowMs + timeoutMs) {
        nowMs += timeoutMs;
        return 0;
    }
    if (incoming.front().atMs > nowMs)
        nowMs = incoming.front().atMs;
    uint32_t got = 0;
    while (got < count && !incoming.empty() && incoming.front().atMs <= nowMs) {
        buffer[got++] = incoming.front().byte;
        incoming.pop_front();
    }
    return static_cast<int32_t>(got);
}

void FakePort::deliver(const std::vector<uint8_t>& bytes, uint64_t delayMs, uint64_t gapMs)
{
    uint64_t at = nowMs + delayMs;
    // Arrivals stay in order: nothing overtakes bytes already queued.
    if (!incoming.empty() && incoming.back().atMs > at)
        at = incoming.back().atMs;
    for (uint8_t b : bytes) {
        incoming.push_back({at, b});
        at += gapMs;
    }
}

std::vector<uint8_t> FakePort::allWritten() const
{
    std::vector<uint8_t> all;
    for (const Write& w : writes)
        all.insert(all.end(), w.bytes.begin(), w.bytes.end());
    return all;
}
