#include "FileEndpoints.h"

#include "ResultCodes.h"

void printProgress(uint32_t done, uint32_t total, bool withTotal)
{
    // Unsigned conversions: the same text as signed ones below 2 GiB, and
    // still right above.
    if (withTotal) {
        unsigned percent = total == 0 ? 0u
            : static_cast<unsigned>(static_cast<uint64_t>(done) * 100u / total);
        std::printf("%8u bytes of %u - %3u%%\r", done, total, percent);
    } else {
        std::printf("%8u bytes\r", done);
    }
    std::fflush(stdout);
}

InFile::InFile(FILE* file_, uint32_t declaredSize_) : file(file_), declaredSize(declaredSize_) {}

int32_t InFile::read(uint8_t* buffer, uint32_t maxCount)
{
    printProgress(bytesDone, declaredSize, true);
    size_t n = std::fread(buffer, 1, maxCount, file);
    if (n > 0) {
        bytesDone += static_cast<uint32_t>(n);
        return static_cast<int32_t>(n);
    }
    return bytesDone == declaredSize ? 0 : rc::SourceFile;
}

int OutFile::open(const char* name, uint32_t size)
{
    if (file == nullptr) {
        file = std::fopen(name, "w+b");
        if (file == nullptr)
            return rc::OutputFile;
        std::printf("Receiving %s...\n", name);
    } else if (bytesDone != 0) {
        return rc::OutputFile;
    }
    declaredSize = size;
    bytesDone = 0;
    return rc::Ok;
}

int OutFile::write(const uint8_t* data, uint32_t count)
{
    if (file == nullptr)
        return rc::OutputFile;
    printProgress(bytesDone, declaredSize, declaredSize != 0);
    // The end-of-file call: a file that stops short of the size its header
    // announced has lost its tail, which must not pass as a good transfer.
    if (count == 0 && bytesDone < declaredSize)
        return rc::OutputFile;
    if (declaredSize != 0) {
        uint32_t remaining = declaredSize - bytesDone;
        if (remaining == 0)
            return 0;
        if (count > remaining)
            count = remaining;
    }
    // Flushed per block so that a full disk fails the block that hit it,
    // while the sender can still be told, not the close after the transfer.
    if (count > 0 && (std::fwrite(data, 1, count, file) < count || std::fflush(file) != 0))
        return rc::OutputFile;
    bytesDone += count;
    return static_cast<int>(count);
}
