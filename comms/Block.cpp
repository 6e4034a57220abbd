#include "Block.h"
#include "ResultCodes.h"

#include <cstring>

uint16_t crc16(const uint8_t* data, size_t length)
{
    // Byte-wise form of the augmented bit-by-bit CRC: identical values.
    uint32_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000u) ? (crc << 1) ^ 0x1021u : crc << 1;
    }
    return static_cast<uint16_t>(crc);
}

uint8_t checksum8(const uint8_t* data, size_t length)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum += data[i];
    return static_cast<uint8_t>(sum);
}

int32_t makeBlock0(uint32_t fileSize, uint8_t* buffer, const char* name)
{
    std::memset(buffer, 0, kShortBlock);
    uint32_t used = 0;
    for (;;) {
        char c = name[used];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        else if (c == '\\')
            c = '/';
        buffer[used++] = static_cast<uint8_t>(c);
        if (c == '\0' || used == 127)
            break;
    }
    if (used == 127)
        return rc::HeaderTooLong;

    char digits[10];
    uint32_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + fileSize % 10);
        fileSize /= 10;
    } while (fileSize != 0);
    while (count > 0) {
        buffer[used++] = static_cast<uint8_t>(digits[--count]);
        if (used == 127)
            return rc::HeaderTooLong;
    }
    return rc::Ok;
}

uint32_t buildFrame(uint8_t* frame, uint32_t blockNumber, const uint8_t* data,
                    uint32_t count, uint32_t n, bool useCrc)
{
    frame[0] = n == kLongBlock ? ctl::STX : ctl::SOH;
    frame[1] = static_cast<uint8_t>(blockNumber & 0xFFu);
    frame[2] = static_cast<uint8_t>(0xFFu - frame[1]);
    uint8_t* field = frame + 3;
    std::memcpy(field, data, count);
    std::memset(field + count, ctl::SUB, n - count);
    if (useCrc) {
        uint16_t crc = crc16(field, n);
        field[n] = static_cast<uint8_t>(crc >> 8);
        field[n + 1] = static_cast<uint8_t>(crc & 0xFFu);
        return 3 + n + 2;
    }
    field[n] = checksum8(field, n);
    return 3 + n + 1;
}
