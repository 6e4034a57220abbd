// The bytes on the line: control characters, the block frame, the Y-Modem
// header (block 0) and the two block checks.
//
// Frame: [SOH|STX] [number] [0xFF - number] [128|1024 data] [CRC hi, lo | sum]
// The check covers the data field only. Block numbers go out modulo 256.
#pragma once
#include <cstdint>
#include <cstddef>

namespace ctl {
constexpr uint8_t SOH = 0x01;
constexpr uint8_t STX = 0x02;
constexpr uint8_t EOT = 0x04;
constexpr uint8_t ACK = 0x06;
constexpr uint8_t NAK = 0x15;
constexpr uint8_t CAN = 0x18;
constexpr uint8_t SUB = 0x1A;
constexpr uint8_t CRC = 0x43;  // 'C': CRC-16 requested
constexpr uint8_t G = 0x47;    // 'G': CRC-16 and streaming (Y-Modem G)
}  // namespace ctl

constexpr uint32_t kShortBlock = 128;
constexpr uint32_t kLongBlock = 1024;
constexpr uint32_t kMaxFrame = 3 + kLongBlock + 2;  // 1029
constexpr uint32_t kCancelCount = 5;                // CAN bytes of a cancel

// CRC-16/XMODEM: polynomial 0x1021, initial 0, no reflection, no final XOR.
uint16_t crc16(const uint8_t* data, size_t length);
// Sum of the bytes modulo 256.
uint8_t checksum8(const uint8_t* data, size_t length);

// Fills the 128-byte data field of block 0 with the name (A-Z lowered,
// '\' turned into '/'), a NUL and the decimal size. 0, or -303 when name,
// NUL and digits need more than 126 bytes.
int32_t makeBlock0(uint32_t fileSize, uint8_t* buffer, const char* name);

// Builds a frame of block size n (128 or 1024) around `count` data bytes
// (count <= n), filling the rest with SUB. Returns the frame length.
uint32_t buildFrame(uint8_t* frame, uint32_t blockNumber, const uint8_t* data,
                    uint32_t count, uint32_t n, bool useCrc);
