#include "UBootCommands.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "Crc32.h"
#include "ImageSink.h"
#include "LineEndSkippingPort.h"
#include "ResultCodes.h"
#include "YModemRx.h"

namespace {
// U-Boot waits this long around its rate change, so that its own last line
// is out before and the line has settled after.
constexpr uint32_t kSwitchPauseMs = 50;
constexpr uint32_t kKeyWaitMs = 60000;
constexpr uint32_t kKeyPollMs = 100;
constexpr uint8_t kEsc = 0x1B;
// The board's memory for uploads; larger images are cut, and their crc32
// then says so.
constexpr size_t kRamBytes = 16u << 20;

void pause(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The upload as U-Boot stores it: the bytes up to the size the header gave.
class RamImage : public YModemRx::OutStream {
public:
    explicit RamImage(std::vector<uint8_t>& ram_) : ram(ram_) {}
    int open(const char* name, uint32_t declaredSize) override { return sink.open(name, declaredSize); }
    int write(const uint8_t* data, uint32_t count) override
    {
        uint32_t before = sink.bytesReceived();
        int r = sink.write(data, count);
        if (r > 0 && before < ram.size())
            std::memcpy(ram.data() + before, data, std::min<size_t>(static_cast<size_t>(r), ram.size() - before));
        return r;
    }
    const ImageSink& image() const { return sink; }

private:
    std::vector<uint8_t>& ram;
    ImageSink sink;
};

bool append(char*& at, char* end, const char* text)
{
    size_t n = std::strlen(text);
    if (static_cast<size_t>(end - at) <= n)
        return false;
    std::memcpy(at, text, n);
    at += n;
    return true;
}
}  // namespace

bool expandVariables(const char* line, uint32_t loadAddress, uint32_t fileSize, char* out, size_t outSize)
{
    char address[16];
    char length[16];
    std::snprintf(address, sizeof address, "%x", static_cast<unsigned>(loadAddress));
    std::snprintf(length, sizeof length, "%x", static_cast<unsigned>(fileSize));
    char* at = out;
    char* end = out + outSize;
    while (*line != '\0') {
        const char* value = nullptr;
        size_t skip = 1;
        if (std::strncmp(line, "${loadaddr}", 11) == 0) {
            value = address;
            skip = 11;
        } else if (std::strncmp(line, "${filesize}", 11) == 0) {
            value = length;
            skip = 11;
        }
        char single[2] = {*line, '\0'};
        if (!append(at, end, value != nullptr ? value : single))
            return false;
        line += skip;
    }
    *at = '\0';
    return true;
}

UBootCommands::UBootCommands(SerialPort& port_, uint32_t baudRate, uint32_t startTimeoutMs_)
    : port(port_), rate(baudRate), startTimeoutMs(startTimeoutMs_)
{
}

void UBootCommands::print(const char* format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    sendText(port, text);
}

uint32_t UBootCommands::imageCrc32() const
{
    Crc32 crc;
    crc.update(ram.data(), std::min<size_t>(size, ram.size()));
    return crc.value();
}

bool UBootCommands::run(const char* typed)
{
    char line[160];
    if (!expandVariables(typed, loadedAt, size, line, sizeof line))
        return false;
    char command[8] = {};
    char first[24] = {};
    char second[24] = {};
    int fields = std::sscanf(line, "%7s %23s %23s", command, first, second);
    const bool ymodem = std::strcmp(command, "loady") == 0;
    if (ymodem || std::strcmp(command, "loadx") == 0) {
        uint32_t address = fields >= 2 ? static_cast<uint32_t>(std::strtoul(first, nullptr, 16)) : kLoadAddress;
        uint32_t baud = fields >= 3 ? static_cast<uint32_t>(std::strtoul(second, nullptr, 10)) : 0;
        load(ymodem, address, baud == 0 ? rate : baud);
        return true;
    }
    if (std::strcmp(command, "crc32") == 0 && fields == 3) {
        crc32(static_cast<uint32_t>(std::strtoul(first, nullptr, 16)),
              static_cast<uint32_t>(std::strtoul(second, nullptr, 16)));
        return true;
    }
    return false;
}

int32_t UBootCommands::switchRate(uint32_t to, uint8_t key, const char* keyName)
{
    print("## Switch baudrate to %u bps and press %s ...\r\n", static_cast<unsigned>(to), keyName);
    pause(kSwitchPauseMs);
    int32_t r = port.configure(to);
    if (r != rc::Ok)
        return r;
    pause(kSwitchPauseMs);
    // Anything but the key, as U-Boot's getchar() loop, is thrown away.
    uint8_t input[64];
    for (uint32_t waited = 0; waited < kKeyWaitMs; waited += kKeyPollMs) {
        int32_t n = port.read(input, sizeof input, kKeyPollMs);
        if (n < 0)
            return n;
        if (n > 0 && std::memchr(input, key, static_cast<size_t>(n)) != nullptr)
            return rc::Ok;
    }
    return rc::Timeout;
}

void UBootCommands::load(bool ymodem, uint32_t address, uint32_t baud)
{
    const uint32_t consoleRate = rate;
    const char* name = ymodem ? "ymodem" : "xmodem";
    if (baud != consoleRate) {
        if (switchRate(baud, '\r', "ENTER") != rc::Ok) {
            std::printf("upload failed: no ENTER at %u bps\n", static_cast<unsigned>(baud));
            std::fflush(stdout);
            return;
        }
        rate = baud;
    }
    print("## Ready for binary (%s) download to 0x%08X at %u bps...\r\n", name, static_cast<unsigned>(address),
          static_cast<unsigned>(baud));
    if (ram.empty())
        ram.resize(kRamBytes);
    RamImage image(ram);
    LineEndSkippingPort line(port);
    YModemRx rx(line, startTimeoutMs);
    result = ymodem ? rx.receiveYModem(image, false) : rx.receiveXModem(image, true);
    if (result == rc::Ok && !image.image().ended())
        result = rc::Timeout;
    if (result == rc::Ok) {
        loadedAt = address;
        size = image.image().bytesReceived();
        print("## Total Size      = 0x%08x = %u Bytes\r\n## Start Addr      = 0x%08X\r\n",
              static_cast<unsigned>(size), static_cast<unsigned>(size), static_cast<unsigned>(address));
        std::printf("upload ok: %u bytes, crc32 0x%08x\n", static_cast<unsigned>(size),
                    static_cast<unsigned>(imageCrc32()));
    } else {
        // The receiver has cancelled; let the sender's last frames pass.
        pause(kSwitchPauseMs * 10);
        print("## Binary (%s) download aborted\r\n", name);
        std::printf("upload failed: error %d\n", static_cast<int>(result));
    }
    std::fflush(stdout);
    if (rate != consoleRate) {
        if (switchRate(consoleRate, kEsc, "ESC") != rc::Ok) {
            std::printf("no ESC at %u bps\n", static_cast<unsigned>(consoleRate));
            std::fflush(stdout);
        }
        rate = consoleRate;
    }
}

void UBootCommands::crc32(uint32_t address, uint32_t count)
{
    Crc32 crc;
    // Only the uploaded image is known; anything outside it reads as zero.
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t offset = address + i - loadedAt;
        uint8_t byte = address + i >= loadedAt && offset < std::min<size_t>(size, ram.size()) ? ram[offset] : 0;
        crc.update(&byte, 1);
    }
    print("crc32 for %08x ... %08x ==> %08x\r\n", static_cast<unsigned>(address),
          static_cast<unsigned>(address + count - 1), static_cast<unsigned>(crc.value()));
}
