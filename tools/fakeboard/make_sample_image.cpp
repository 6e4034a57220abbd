// Writes the demo's sample firmware image: SIZE pseudo-random bytes from a
// fixed seed, so that every build makes the same file (and the same CRC-32)
// without a binary in the repository.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "Usage: %s OUTPUT SIZE\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    unsigned long size = std::strtoul(argv[2], &end, 10);
    if (*argv[2] == '\0' || *end != '\0') {
        std::fprintf(stderr, "%s: invalid SIZE '%s'\n", argv[0], argv[2]);
        return 2;
    }
    FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "%s: can't create '%s'\n", argv[0], argv[1]);
        return 1;
    }
    // xorshift32: tiny, and the same on every compiler and platform.
    uint32_t state = 0x2545F491u;
    uint8_t chunk[4096];
    for (unsigned long done = 0; done < size;) {
        size_t n = 0;
        while (n < sizeof chunk && done + n < size) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            chunk[n++] = static_cast<uint8_t>(state >> 24);
        }
        if (std::fwrite(chunk, 1, n, out) != n) {
            std::fclose(out);
            return 1;
        }
        done += n;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
