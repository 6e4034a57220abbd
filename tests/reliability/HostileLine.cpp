#include "HostileLine.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ResultCodes.h"

namespace {
constexpr uint64_t kByteNs = 10ull * 1000 * 1000 * 1000 / 115200;  // 10 bits a byte
constexpr uint64_t kMsNs = 1000 * 1000;
}

Bytes filePattern(size_t n, uint8_t seed)
{
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(i * 29 + seed + (i >> 7));
    return bytes;
}

void ScriptedYModemSender::attach(FakePort& port)
{
    port.peer = [this](FakePort& p, const uint8_t* bytes, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i)
            onByte(p, bytes[i]);
    };
}

Bytes ScriptedYModemSender::block(uint32_t index) const
{
    const size_t start = static_cast<size_t>(index) * 128;
    Bytes chunk(data.begin() + static_cast<long>(start),
                data.begin() + static_cast<long>(std::min(start + 128, data.size())));
    const uint32_t number = repeatFirstBlock ? 1 : index + 1;
    Bytes frame = dataFrame(number, chunk);
    return frame;
}

void ScriptedYModemSender::onByte(FakePort& port, uint8_t byte)
{
    if (port.now() < deafUntilMs)
        return;
    const bool opening = byte == (streaming ? ctl::G : ctl::CRC);
    const bool resend = byte == ctl::NAK || byte == ctl::CRC;
    auto sendBlock = [&](uint32_t index) {
        Bytes frame = block(index);
        if (index + 1 == damagedBlock && !damageDone) {
            frame[40] ^= 0x10;
            damageDone = true;
        }
        if (index + 1 == noisyBlock && !noiseDone) {
            port.deliver(noise, replyDelayMs, 1);
            noiseDone = true;
        }
        port.deliver(frame, replyDelayMs);
    };
    switch (state) {
    case State::Start:
        if (opening) {
            port.deliver(headerFrame(headerField), replyDelayMs);
            state = streaming ? State::AwaitDataStart : State::HeaderSent;
        }
        break;
    case State::HeaderSent:
        if (byte == ctl::ACK)
            state = State::AwaitDataStart;
        break;
    case State::AwaitDataStart:
        if (!opening)
            break;
        current = 0;
        if (streaming) {
            // Back to back, without waiting; nothing is ever sent again.
            for (uint32_t i = 0; i < blockCount(); ++i)
                sendBlock(i);
            port.deliver(Bytes{ctl::EOT}, replyDelayMs);
            state = State::EotSent;
        } else if (blockCount() == 0) {
            port.deliver(Bytes{ctl::EOT}, replyDelayMs);
            state = State::EotSent;
        } else {
            sendBlock(0);
            state = State::Data;
        }
        break;
    case State::Data:
        if (byte == ctl::ACK && ++current == blockCount()) {
            port.deliver(Bytes{ctl::EOT}, replyDelayMs);
            state = State::EotSent;
        } else if (byte == ctl::ACK || resend) {
            sendBlock(current);
        }
        break;
    case State::EotSent:
        if (byte == ctl::ACK)
            state = State::AwaitEndStart;
        else if (resend)
            port.deliver(Bytes{ctl::EOT}, 500);  // after the sender's purge
        break;
    case State::AwaitEndStart:
        if (opening) {
            port.deliver(headerFrame(""), replyDelayMs);
            state = State::Done;
        }
        break;
    case State::Done:
        break;
    }
}

int32_t EndlessTextPort::write(const uint8_t* data, uint32_t count, uint32_t)
{
    written.insert(written.end(), data, data + count);
    nowNs += count * kByteNs;
    return static_cast<int32_t>(count);
}

uint8_t EndlessTextPort::byteAt(uint64_t index) const
{
    return index < prefix.size() ? prefix[index]
                                 : static_cast<uint8_t>(text[(index - prefix.size()) % text.size()]);
}

int32_t EndlessTextPort::read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs)
{
    if (bytesRead >= limit)
        return rc::PortRead;
    // Byte i arrives at (i + 1) byte times.
    const uint64_t nextArrival = (bytesRead + 1) * kByteNs;
    if (nextArrival > nowNs) {
        if (nextArrival - nowNs > timeoutMs * kMsNs) {
            nowNs += timeoutMs * kMsNs;
            return 0;
        }
        nowNs = nextArrival;
    }
    const uint64_t arrived = nowNs / kByteNs;
    uint32_t n = 0;
    for (; n < count && bytesRead < arrived; ++n)
        buffer[n] = byteAt(bytesRead++);
    return static_cast<int32_t>(n);
}

ScratchFolder::ScratchFolder()
{
    char cwd[PATH_MAX];
    previous = getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
    std::string pattern = std::string(P_tmpdir) + "/hostile.XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        std::abort();
    rootPath = buffer.data();
    std::string work = rootPath + "/work";
    if (mkdir(work.c_str(), 0755) != 0 || chdir(work.c_str()) != 0)
        std::abort();
}

namespace {
int removeEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return remove(path);
}
}  // namespace

ScratchFolder::~ScratchFolder()
{
    if (chdir(previous.c_str()) == 0)
        nftw(rootPath.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

namespace {
void listFiles(const std::string& base, const std::string& relative, std::vector<std::string>& out)
{
    DIR* dir = opendir((base + "/" + relative).c_str());
    if (dir == nullptr)
        return;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string path = relative.empty() ? name : relative + "/" + name;
        struct stat info {};
        if (lstat((base + "/" + path).c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            listFiles(base, path, out);
        else
            out.push_back(path);
    }
    closedir(dir);
}
}  // namespace

std::vector<std::string> ScratchFolder::files() const
{
    std::vector<std::string> out;
    listFiles(rootPath, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

Bytes ScratchFolder::contents(const std::string& relativePath) const
{
    Bytes bytes;
    FILE* file = std::fopen((rootPath + "/" + relativePath).c_str(), "rb");
    if (file == nullptr)
        return bytes;
    int c;
    while ((c = std::fgetc(file)) != EOF)
        bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(file);
    return bytes;
}
