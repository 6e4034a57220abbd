// The cancel that both engines send when they give up on a transfer.
//
// kCancelCount CAN bytes, which receivers and senders of the field take as
// "stop" once two or three come in a row (lrzsz, U-Boot's loady, ours),
// then as many backspaces, which erase the CANs again where the other end
// is a terminal that shows them.
#pragma once
#include <cstdint>

#include "Block.h"
#include "SerialPort.h"
#include "TraceSink.h"

constexpr uint32_t kCancelLength = 2 * kCancelCount;

// The bytes of the cancel, in the order they go out.
extern const uint8_t kCancelSequence[kCancelLength];

// Writes the cancel sequence; after a stop request too (it opens a
// stop::CancelGoingOut). A write that fails or moves nothing within
// 1000 ms ends it: the cancel is a courtesy, never a result of its own.
// Says so in `trace` first.
void sendCancel(SerialPort& port, TraceSink& trace);
// Writes all of `data` with up to `timeoutMs` per write call; false when a
// write failed or moved nothing.
bool writeAll(SerialPort& port, const uint8_t* data, uint32_t count, uint32_t timeoutMs);
