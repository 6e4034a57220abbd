#include "FakeWin32.h"

#include <cstring>

FakeWin32 fake;

bool FakeWin32::enter(const char* name)
{
    calls.push_back(name);
    if (failCall != name)
        return false;
    size_t made = 0;
    for (const std::string& call : calls)
        made += call == name;
    if (made != failOccurrence)
        return false;
    lastError = failError;
    return true;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD attributes, HANDLE templateFile)
{
    fake.createName = name;
    fake.createAccess = access;
    fake.createShare = shareMode;
    fake.createSecurityNull = security == nullptr;
    fake.createDisposition = disposition;
    fake.createAttributes = attributes;
    fake.createTemplateNull = templateFile == nullptr;
    return fake.enter("CreateFileA") ? INVALID_HANDLE_VALUE : fake.deviceHandle;
}

BOOL CloseHandle(HANDLE handle)
{
    fake.closed.push_back(handle);
    return !fake.enter("CloseHandle");
}

DWORD GetLastError()
{
    return fake.lastError;
}

BOOL FlushFileBuffers(HANDLE)
{
    return !fake.enter("FlushFileBuffers");
}

BOOL PurgeComm(HANDLE, DWORD flags)
{
    fake.purgeFlags.push_back(flags);
    return !fake.enter("PurgeComm");
}

BOOL GetCommState(HANDLE, LPDCB dcb)
{
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(dcb);
    fake.dcbGiven.assign(bytes, bytes + sizeof *dcb);
    if (fake.enter("GetCommState"))
        return false;
    *dcb = fake.driverDcb;
    return true;
}

BOOL SetCommState(HANDLE, LPDCB dcb)
{
    fake.dcbSet = *dcb;
    return !fake.enter("SetCommState");
}

BOOL SetCommTimeouts(HANDLE, LPCOMMTIMEOUTS timeouts)
{
    fake.timeoutsSet = *timeouts;
    return !fake.enter("SetCommTimeouts");
}

namespace {
BOOL transfer(const char* name, const void* buffer, DWORD count, LPDWORD moved, uint8_t* out)
{
    fake.transferCounts.push_back(count);
    fake.transferBuffers.push_back(buffer);
    fake.enter(name);
    *moved = 0;
    if (fake.script.empty())
        return true;
    FakeWin32::Attempt next = fake.script.front();
    fake.script.pop_front();
    if (!next.ok)
        return false;
    DWORD n = static_cast<DWORD>(next.bytes.size()) < count ? static_cast<DWORD>(next.bytes.size())
                                                            : count;
    if (out != nullptr && n > 0)
        std::memcpy(out, next.bytes.data(), n);
    *moved = n;
    return true;
}
}  // namespace

BOOL ReadFile(HANDLE, LPVOID buffer, DWORD count, LPDWORD moved, LPOVERLAPPED overlapped)
{
    if (overlapped != nullptr)
        return false;
    return transfer("ReadFile", buffer, count, moved, static_cast<uint8_t*>(buffer));
}

BOOL WriteFile(HANDLE, LPCVOID data, DWORD count, LPDWORD moved, LPOVERLAPPED overlapped)
{
    if (overlapped != nullptr)
        return false;
    return transfer("WriteFile", data, count, moved, nullptr);
}

void Sleep(DWORD ms)
{
    fake.calls.push_back("Sleep");
    fake.sleeps.push_back(ms);
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add)
{
    fake.consoleHandler = add ? handler : nullptr;
    return !fake.enter("SetConsoleCtrlHandler");
}

HANDLE GetCurrentProcess()
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

BOOL TerminateProcess(HANDLE, UINT exitCode)
{
    fake.terminatedWith.push_back(exitCode);
    return true;
}
