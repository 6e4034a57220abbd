#include "CancelSequence.h"

#include "StopRequest.h"
#include "TraceSink.h"

namespace {
constexpr uint32_t kCancelWriteMs = 1000;
constexpr uint8_t kBackspace = 0x08;
}  // namespace

const uint8_t kCancelSequence[kCancelLength] = {ctl::CAN,   ctl::CAN,   ctl::CAN,   ctl::CAN,   ctl::CAN,
                                                kBackspace, kBackspace, kBackspace, kBackspace, kBackspace};
bool writeAll(SerialPort& port, const uint8_t* data, uint32_t count, uint32_t timeoutMs)
{
    while (count > 0) {
        int32_t w = port.write(data, count, timeoutMs);
        if (w <= 0)
            return false;
        data += w;
        count -= static_cast<uint32_t>(w);
    }
    return true;
}

void sendCancel(SerialPort& port, TraceSink& trace)
{
    stop::CancelGoingOut letThrough;
    trace.event("cancel", "sending %u CAN, %u BS", static_cast<unsigned>(kCancelCount),
                static_cast<unsigned>(kCancelCount));
    writeAll(port, kCancelSequence, kCancelLength, kCancelWriteMs);
}
