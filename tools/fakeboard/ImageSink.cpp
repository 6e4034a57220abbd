#include "ImageSink.h"

#include <cstdio>

#include "ResultCodes.h"

ImageSink::ImageSink(uint32_t refuseAfterBytes) : refuseAfter(refuseAfterBytes) {}

int ImageSink::open(const char* name, uint32_t declaredSize)
{
    if (received != 0)
        return rc::OutputFile;
    std::snprintf(fileName, sizeof fileName, "%s", name);
    sizeDeclared = declaredSize;
    return rc::Ok;
}

int ImageSink::write(const uint8_t* data, uint32_t count)
{
    if (data == nullptr || count == 0) {
        endSeen = true;
        return 0;
    }
    if (sizeDeclared != 0) {
        uint32_t remaining = sizeDeclared - received;
        if (count > remaining)
            count = remaining;
    }
    if (refuseAfter != 0 && count > refuseAfter - received)
        return rc::OutputFile;
    check.update(data, count);
    received += count;
    return static_cast<int>(count);
}
