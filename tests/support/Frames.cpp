#include "Frames.h"

#include "CancelSequence.h"

Bytes dataFrame(uint32_t number, const Bytes& data, uint32_t blockSize, bool crc)
{
    uint8_t frame[kMaxFrame];
    uint32_t length = buildFrame(frame, number, data.data(), static_cast<uint32_t>(data.size()),
                                 blockSize, crc);
    return Bytes(frame, frame + length);
}

Bytes headerFrame(const std::string& field, uint32_t blockSize)
{
    Bytes bytes(field.begin(), field.end());
    bytes.resize(blockSize, 0);
    return dataFrame(0, bytes, blockSize);
}

Bytes cancelBytes()
{
    return Bytes(kCancelSequence, kCancelSequence + kCancelLength);
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
