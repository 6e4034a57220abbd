// A received file that lives in memory: what the receiver hands over, for
// tests of the receiver. openResult and writeResult make it fail on purpose.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "YModemRx.h"

struct MemorySink : YModemRx::OutStream {
    int open(const char* name, uint32_t size) override
    {
        opens.emplace_back(name);
        declared = size;
        return openResult;
    }
    int write(const uint8_t* d, uint32_t n) override
    {
        if (n == 0) {
            ++eofs;
            return 0;
        }
        if (writeResult < 0)
            return writeResult;
        data.insert(data.end(), d, d + n);
        return static_cast<int>(n);
    }
    std::vector<std::string> opens;  // each name the receiver opened
    uint32_t declared = 0;           // the size the last header announced
    std::vector<uint8_t> data;
    int eofs = 0;                    // end-of-file writes
    int openResult = 0;
    int writeResult = 0;
};
