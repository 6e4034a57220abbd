// Where the board puts an uploaded image: nowhere but a byte count and a
// running CRC-32, as a bootloader that checks an image before it programs
// it. Nothing is stored and nothing is allocated per block.
#pragma once
#include <cstdint>

#include "Crc32.h"
#include "YModemRx.h"

class ImageSink : public YModemRx::OutStream {
public:
    // refuseAfterBytes: 0, or refuse (-400) the block that would take the
    // image past that many bytes, which makes the receiver cancel.
    explicit ImageSink(uint32_t refuseAfterBytes = 0);

    // Keeps the name and the declared size; -400 once data have arrived.
    int open(const char* name, uint32_t declaredSize) override;
    // Counts and checks the data, cut to the declared size when one was
    // given (so the fill of the last block is not part of the image).
    // Count 0 with null data marks the end of the file.
    int write(const uint8_t* data, uint32_t count) override;

    const char* name() const { return fileName; }
    uint32_t declaredSize() const { return sizeDeclared; }
    uint32_t bytesReceived() const { return received; }
    uint32_t crc32() const { return check.value(); }
    bool ended() const { return endSeen; }

private:
    char fileName[kShortBlock] = {};
    uint32_t sizeDeclared = 0;
    uint32_t received = 0;
    uint32_t refuseAfter;
    bool endSeen = false;
    Crc32 check;
};
