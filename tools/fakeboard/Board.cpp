#include "Board.h"

#include <cstdio>
#include <cstring>
#include <thread>

#include "BootConsole.h"
#include "ImageSink.h"
#include "LineEndSkippingPort.h"
#include "UBootCommands.h"
#include "ResultCodes.h"
#include "YModemRx.h"

namespace {
constexpr uint32_t kQuietAfterFailureMs = 2000;
constexpr uint32_t kConsolePollMs = 200;
constexpr uint32_t kAutobootSeconds = 3;

void pause(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
}  // namespace

size_t formatBanner(char* out, size_t outSize, UploadProtocol protocol, uint32_t baudRate)
{
    int n = std::snprintf(out, outSize,
                          "\r\n"
                          "FakeBoard boot loader 1.0 (simulated)\r\n"
                          "board: sim-1, 64 MiB RAM, 4 MiB flash\r\n"
                          "load:  %s at %u bps\r\n"
                          "Waiting for flash...\r\n",
                          protocolName(protocol), static_cast<unsigned>(baudRate));
    return n > 0 && static_cast<size_t>(n) < outSize ? static_cast<size_t>(n) : 0;
}

Board::Board(SerialPort& port_, const BoardOptions& options_)
    : port(port_), options(options_),
      deadline(Clock::now() + std::chrono::seconds(options_.maxSeconds))
{
}

int Board::run()
{
    pause(options.bootDelayMs);
    if (options.uboot)
        return runUBoot();
    printBanner();
    if (options.neverStart) {
        std::printf("upload failed: never started, on purpose\n");
        std::fflush(stdout);
        serveConsole(false);
        return 1;
    }

    ImageSink sink(options.cancelAfterBytes);
    int32_t r = receiveUpload(sink);
    if (r == rc::Ok) {
        std::printf("upload ok: %u bytes, crc32 0x%08x\n", static_cast<unsigned>(sink.bytesReceived()),
                    static_cast<unsigned>(sink.crc32()));
        std::fflush(stdout);
        pause(options.reportDelayMs);
        if (!options.silentAfter)
            reportUpload(sink);
    } else {
        std::printf("upload failed: error %d\n", static_cast<int>(r));
        std::fflush(stdout);
        // The sender may still be resending; a board that spoke now would
        // answer its frames with text, so it waits for the line to calm.
        waitForQuiet(kQuietAfterFailureMs);
        if (!options.silentAfter)
            reportFailure(r);
    }
    serveConsole(!options.silentAfter);
    return r == rc::Ok ? 0 : 1;
}

void Board::printBanner()
{
    char banner[256];
    size_t length = formatBanner(banner, sizeof banner, options.protocol, options.baudRate);
    if (options.bannerLineDelayMs == 0) {
        sendBytes(port, reinterpret_cast<const uint8_t*>(banner), static_cast<uint32_t>(length));
        return;
    }
    const char* line = banner;
    const char* end = banner + length;
    while (line < end) {
        const char* next = static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
        next = next == nullptr ? end : next + 1;
        sendBytes(port, reinterpret_cast<const uint8_t*>(line), static_cast<uint32_t>(next - line));
        line = next;
        if (line < end)
            pause(options.bannerLineDelayMs);
    }
}

int32_t Board::receiveUpload(ImageSink& sink)
{
    LineEndSkippingPort line(port);
    YModemRx rx(line, options.startTimeoutMs);
    int32_t r;
    switch (options.protocol) {
    case UploadProtocol::XModemChecksum: r = rx.receiveXModem(sink, false); break;
    case UploadProtocol::XModemCrc: r = rx.receiveXModem(sink, true); break;
    case UploadProtocol::YModemG: r = rx.receiveYModem(sink, true); break;
    default: r = rx.receiveYModem(sink, false); break;
    }
    // An empty Y-Modem batch ends without error but brings no image.
    if (r == rc::Ok && !sink.ended())
        r = rc::Timeout;
    return r;
}

void Board::reportUpload(const ImageSink& sink)
{
    char report[256 + kShortBlock];
    int n = 0;
    if (sink.name()[0] != '\0')
        n = std::snprintf(report, sizeof report, "\r\n## Upload complete: '%s'", sink.name());
    std::snprintf(report + n, sizeof report - static_cast<size_t>(n),
                  "\r\n## Size: %u bytes\r\n## CRC-32: 0x%08x\r\n%s",
                  static_cast<unsigned>(sink.bytesReceived()), static_cast<unsigned>(sink.crc32()),
                  options.prompt);
    sendText(port, report);
}

void Board::reportFailure(int32_t code)
{
    char report[128];
    std::snprintf(report, sizeof report, "\r\n## Upload failed. Error %d\r\n%s", static_cast<int>(code),
                  options.prompt);
    sendText(port, report);
}

void Board::waitForQuiet(uint32_t quietMs)
{
    uint8_t scratch[256];
    while (Clock::now() < deadline && port.read(scratch, sizeof scratch, quietMs) > 0) {
    }
}

int Board::runUBoot()
{
    char banner[160];
    std::snprintf(banner, sizeof banner,
                  "\r\n\r\nU-Boot 2023.01 (fakeboard, simulated)\r\n\r\nDRAM:  128 MiB\r\n"
                  "In:    serial\r\nOut:   serial\r\nHit any key to stop autoboot: %2u ",
                  kAutobootSeconds);
    sendText(port, banner);
    if (!autobootStopped()) {
        sendText(port, "\r\nStarting kernel ...\r\n\r\n");
        std::printf("autoboot: nobody stopped it\n");
        std::fflush(stdout);
        serveConsole(false);
        return 1;
    }
    sendText(port, "\r\n");
    sendText(port, options.prompt);
    UBootCommands commands(port, options.baudRate, options.startTimeoutMs);
    serveConsole(true, &commands);
    return commands.lastResult() == rc::Ok ? 0 : 1;
}

bool Board::autobootStopped()
{
    uint8_t key[64];
    for (uint32_t left = kAutobootSeconds; left > 0; --left) {
        char count[16];
        if (left < kAutobootSeconds) {
            std::snprintf(count, sizeof count, "\b\b\b%2u ", left);
            sendText(port, count);
        }
        if (port.read(key, sizeof key, 1000) > 0)
            return true;
    }
    return false;
}

void Board::serveConsole(bool answer, BootConsole::Commands* commands)
{
    BootConsole console(port, options.prompt, commands);
    uint32_t linesLeft = answer ? options.afterLines : 0;
    uint32_t linesDone = 0;
    Clock::time_point nextLine = Clock::now() + std::chrono::milliseconds(options.afterIntervalMs);
    uint8_t input[256];
    for (Clock::time_point now = Clock::now(); now < deadline; now = Clock::now()) {
        Clock::time_point wakeUp = now + std::chrono::milliseconds(kConsolePollMs);
        if (wakeUp > deadline)
            wakeUp = deadline;
        if (linesLeft > 0 && nextLine < wakeUp)
            wakeUp = nextLine;
        auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(wakeUp - now).count();
        int32_t n = port.read(input, sizeof input, static_cast<uint32_t>(waitMs > 0 ? waitMs : 0));
        if (n > 0 && answer)
            console.feed(input, static_cast<uint32_t>(n));
        else if (n < 0)
            pause(kConsolePollMs);
        if (linesLeft > 0 && Clock::now() >= nextLine) {
            char text[96];
            ++linesDone;
            std::snprintf(text, sizeof text, "%sapp: running, line %u of %u\r\n", linesDone == 1 ? "\r\n" : "",
                          static_cast<unsigned>(linesDone), static_cast<unsigned>(options.afterLines));
            sendText(port, text);
            --linesLeft;
            nextLine += std::chrono::milliseconds(options.afterIntervalMs);
        }
    }
}
