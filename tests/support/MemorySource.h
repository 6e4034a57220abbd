// A file to send that lives in memory, for driving the sender in tests.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "YModemTx.h"

class MemorySource : public YModemTx::InStream {
public:
    explicit MemorySource(std::vector<uint8_t> bytes) : data(std::move(bytes)) {}
    int32_t read(uint8_t* buffer, uint32_t maxCount) override
    {
        size_t n = std::min(static_cast<size_t>(maxCount), data.size() - offset);
        if (n > 0)
            std::memcpy(buffer, data.data() + offset, n);
        offset += n;
        return static_cast<int32_t>(n);
    }
    std::vector<uint8_t> data;
    size_t offset = 0;
};
