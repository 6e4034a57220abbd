// The commands of a stock U-Boot that a programming script uses, as the
// board answers them in --uboot mode (the texts are U-Boot's own):
//
//   loady [ADDR [BAUD]]  Y-Modem upload to ADDR (loadx: X-Modem with CRC).
//                        With a BAUD other than the console's, U-Boot's
//                        switch: "## Switch baudrate to N bps and press
//                        ENTER ...", the rate changes, a CR is awaited at N;
//                        after the upload "## Switch baudrate to OLD bps
//                        and press ESC ..." at N, the rate changes back and
//                        an ESC is awaited at OLD.
//   crc32 ADDR SIZE      "crc32 for ADDR ... LAST ==> CRC" over what the
//                        last upload stored (the zlib/IEEE CRC-32).
//
// ${loadaddr} and ${filesize} are expanded first, as U-Boot's shell does.
// The board keeps the uploaded image in memory for crc32.
#pragma once
#include <cstdint>
#include <vector>

#include "BootConsole.h"
#include "SerialPort.h"

class UBootCommands : public BootConsole::Commands {
public:
    static constexpr uint32_t kLoadAddress = 0x40200000;

    UBootCommands(SerialPort& port, uint32_t baudRate, uint32_t startTimeoutMs);

    bool run(const char* line) override;

    // The last upload: 0 when none succeeded.
    int32_t lastResult() const { return result; }
    uint32_t fileSize() const { return size; }
    uint32_t imageCrc32() const;

private:
    void load(bool ymodem, uint32_t address, uint32_t baud);
    void crc32(uint32_t address, uint32_t count);
    // Asks for the switch, changes the port, waits for `key` at the new rate.
    int32_t switchRate(uint32_t to, uint8_t key, const char* keyName);
    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));

    SerialPort& port;
    uint32_t rate;
    uint32_t startTimeoutMs;
    std::vector<uint8_t> ram;
    uint32_t loadedAt = kLoadAddress;
    uint32_t size = 0;
    int32_t result = -1;
};

// Replaces ${loadaddr} and ${filesize} in `line` (hexadecimal, as U-Boot
// keeps them); false when the result does not fit into `out`.
bool expandVariables(const char* line, uint32_t loadAddress, uint32_t fileSize, char* out, size_t outSize);
