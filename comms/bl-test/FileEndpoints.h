// Disk files behind the engines' streams. These two classes are the only
// code that prints the running progress line ("...\r", flushed at once).
// Neither opens nor closes in its constructor or destructor: the flows own
// the FILE streams, so a failure leaves whatever was written on disk.
#pragma once
#include <cstdint>
#include <cstdio>

#include "YModemRx.h"
#include "YModemTx.h"

class InFile : public YModemTx::InStream {
public:
    InFile(FILE* file, uint32_t declaredSize);
    // -300 when the file ends at another length than measured, or fails.
    int32_t read(uint8_t* buffer, uint32_t maxCount) override;

    FILE* file;
    uint32_t declaredSize;
    uint32_t bytesDone = 0;
};

class OutFile : public YModemRx::OutStream {
public:
    // The first open creates the file; a later one before any data only
    // takes the new size (so a FILE argument wins over the header's name).
    int open(const char* name, uint32_t declaredSize) override;
    // Cuts data to the declared size, so SUB fill never reaches the disk
    // when the size is known. -400 on a short write, with no file, or when
    // the end-of-file call (count 0) comes before the declared size.
    int write(const uint8_t* data, uint32_t count) override;

    FILE* file = nullptr;
    uint32_t declaredSize = 0;
    uint32_t bytesDone = 0;
};

// The progress line: "%8d bytes of %d - %3d%%\r", or "%8d bytes\r".
void printProgress(uint32_t done, uint32_t total, bool withTotal);
