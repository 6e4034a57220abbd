// Frames as a sender puts them on the line, for tests that play the sender.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Block.h"

using Bytes = std::vector<uint8_t>;

// A data frame numbered `number` holding `data` (SUB-filled to blockSize).
Bytes dataFrame(uint32_t number, const Bytes& data, uint32_t blockSize = kShortBlock, bool crc = true);
// A Y-Modem block 0 whose field starts with `field` and is zero behind it.
Bytes headerFrame(const std::string& field, uint32_t blockSize = kShortBlock);
// The cancel sequence as the engines send it.
Bytes cancelBytes();
// `a` followed by `b`.
Bytes operator+(Bytes a, const Bytes& b);
