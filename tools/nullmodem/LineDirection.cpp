#include "LineDirection.h"

#include <algorithm>

namespace {
constexpr int64_t kNsPerSecond = 1000000000;
constexpr int64_t kNsPerMs = 1000000;
constexpr int64_t kBitsPerByte = 10;  // start, 8 data, stop

int64_t byteTimeNs(uint32_t baud)
{
    return baud == 0 ? 0 : kBitsPerByte * kNsPerSecond / static_cast<int64_t>(baud);
}
}  // namespace

LineDirection::LineDirection(uint32_t baud, uint32_t latencyMs)
    : rate(baud), byteNs(byteTimeNs(baud)), latencyNs(static_cast<int64_t>(latencyMs) * kNsPerMs)
{
}

void LineDirection::setBaud(uint32_t baud)
{
    rate = baud;
    byteNs = byteTimeNs(baud);
}

void LineDirection::enter(const uint8_t* data, size_t count, int64_t nowNs)
{
    if (count == 0)
        return;
    int64_t start = std::max(nowNs, lineFreeNs);
    int64_t n = static_cast<int64_t>(count);
    lineFreeNs = start + n * byteNs;
    Segment segment{start + byteNs + latencyNs, byteNs, std::vector<uint8_t>(data, data + count), 0};
    lastArrival = segment.firstArrivalNs + (n - 1) * byteNs;
    segments.push_back(std::move(segment));
    queued += count;
}

size_t LineDirection::unsentBytes(int64_t nowNs) const
{
    if (byteNs == 0)
        return queued;
    if (lineFreeNs <= nowNs)
        return 0;
    int64_t unsent = (lineFreeNs - nowNs + byteNs - 1) / byteNs;
    return std::min(queued, static_cast<size_t>(unsent));
}

int64_t LineDirection::unsentBelowNs(size_t count) const
{
    if (byteNs == 0)
        return INT64_MAX;
    return lineFreeNs - static_cast<int64_t>(count - 1) * byteNs;
}

int64_t LineDirection::nextArrivalNs() const
{
    const Segment& front = segments.front();
    return front.firstArrivalNs + static_cast<int64_t>(front.head) * front.byteNs;
}

size_t LineDirection::arrivedIn(const Segment& segment, int64_t nowNs) const
{
    size_t left = segment.bytes.size() - segment.head;
    if (nowNs < segment.firstArrivalNs)
        return 0;
    if (segment.byteNs == 0)
        return left;
    int64_t throughIndex = (nowNs - segment.firstArrivalNs) / segment.byteNs;
    int64_t count = throughIndex + 1 - static_cast<int64_t>(segment.head);
    return count <= 0 ? 0 : std::min(left, static_cast<size_t>(count));
}

size_t LineDirection::peekArrived(int64_t nowNs, uint8_t* out, size_t max) const
{
    size_t copied = 0;
    for (const Segment& segment : segments) {
        size_t left = segment.bytes.size() - segment.head;
        size_t take = std::min(arrivedIn(segment, nowNs), max - copied);
        auto from = segment.bytes.begin() + static_cast<std::ptrdiff_t>(segment.head);
        std::copy_n(from, take, out + copied);
        copied += take;
        // Later segments arrive after the rest of this one.
        if (take < left)
            break;
    }
    return copied;
}

void LineDirection::consume(size_t count)
{
    queued -= count;
    while (count > 0) {
        Segment& front = segments.front();
        size_t left = front.bytes.size() - front.head;
        if (count < left) {
            front.head += count;
            return;
        }
        count -= left;
        segments.pop_front();
    }
}
