#include "FakeWin32Station.h"

#include <cstdint>
#include <cstring>

FakeWin32Station stationFake;

BOOL BuildCommDCBA(LPCSTR definition, LPDCB dcb)
{
    stationFake.dcbDefinitions.push_back(definition);
    stationFake.dcbHandedToBuild.push_back(*dcb);
    if (fake.enter("BuildCommDCBA") || stationFake.refusedDefinitions.count(definition) != 0) {
        fake.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    dcb->BaudRate = builtBaudRate;
    dcb->ByteSize = 8;
    dcb->Parity = NOPARITY;
    dcb->StopBits = ONESTOPBIT;
    dcb->fOutxCtsFlow = 0;
    dcb->fOutX = 0;
    dcb->fInX = 0;
    dcb->fDtrControl = 1;
    dcb->fRtsControl = 1;
    dcb->fBinary = 0;
    dcb->fAbortOnError = 1;
    return TRUE;
}

BOOL SetupComm(HANDLE, DWORD inQueue, DWORD outQueue)
{
    stationFake.setupIn = inQueue;
    stationFake.setupOut = outQueue;
    return !fake.enter("SetupComm");
}

BOOL ClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT status)
{
    if (fake.enter("ClearCommError"))
        return FALSE;
    *errors = 0;
    std::memset(status, 0, sizeof *status);
    status->cbInQue = stationFake.inQueue;
    return TRUE;
}

namespace {
// Copies as the A functions do: the length without the null when it fits,
// else the size needed with the null, and nothing written.
DWORD copyOut(const std::string& text, LPSTR buffer, DWORD size)
{
    if (text.size() + 1 > size)
        return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

int formatOut(const std::string& text, LPSTR buffer, int size)
{
    if (static_cast<int>(text.size()) + 1 > size)
        return 0;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size()) + 1;  // with the null
}
}  // namespace

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size)
{
    fake.enter("GetEnvironmentVariableA");
    const auto value = stationFake.environment.find(name);
    return value == stationFake.environment.end() ? 0 : copyOut(value->second, buffer, size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size)
{
    fake.enter("GetSystemDirectoryA");
    return copyOut(stationFake.systemDirectory, buffer, size);
}

DWORD GetFileAttributesA(LPCSTR name)
{
    fake.enter("GetFileAttributesA");
    const auto found = stationFake.fileAttributes.find(name);
    return found == stationFake.fileAttributes.end() ? INVALID_FILE_ATTRIBUTES : found->second;
}

BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information)
{
    fake.enter("GetFileAttributesExA");
    const auto found = stationFake.lastWriteTimes.find(name);
    if (level != GetFileExInfoStandard || found == stationFake.lastWriteTimes.end())
        return FALSE;
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    std::memset(data, 0, sizeof *data);
    data->ftLastWriteTime.dwLowDateTime = static_cast<DWORD>(found->second);
    data->ftLastWriteTime.dwHighDateTime = static_cast<DWORD>(found->second >> 32);
    return TRUE;
}

BOOL CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation)
{
    FakeWin32Station::ProcessCall call;
    call.application = application != nullptr ? application : "(null)";
    call.commandLine = commandLine;
    call.attributesNull = processAttributes == nullptr && threadAttributes == nullptr;
    call.inheritHandles = inheritHandles;
    call.flags = creationFlags;
    call.environmentNull = environment == nullptr;
    call.directoryNull = currentDirectory == nullptr;
    call.startup = *startupInfo;
    stationFake.processes.push_back(call);
    if (fake.enter("CreateProcessA"))
        return FALSE;
    processInformation->hProcess = stationFake.processHandle;
    processInformation->hThread = stationFake.threadHandle;
    processInformation->dwProcessId = stationFake.processId;
    return TRUE;
}

void GetSystemTimeAsFileTime(LPFILETIME time)
{
    fake.enter("GetSystemTimeAsFileTime");
    time->dwLowDateTime = static_cast<DWORD>(stationFake.systemTime);
    time->dwHighDateTime = static_cast<DWORD>(stationFake.systemTime >> 32);
}

int GetDateFormatA(LCID locale, DWORD flags, const SYSTEMTIME* date, LPCSTR format, LPSTR text, int size)
{
    fake.enter("GetDateFormatA");
    stationFake.dateCalls.push_back({locale, flags, date == nullptr, format == nullptr});
    return formatOut(stationFake.dateText, text, size);
}

int GetTimeFormatA(LCID locale, DWORD flags, const SYSTEMTIME* time, LPCSTR format, LPSTR text, int size)
{
    fake.enter("GetTimeFormatA");
    stationFake.timeCalls.push_back({locale, flags, time == nullptr, format == nullptr});
    return formatOut(stationFake.timeText, text, size);
}

namespace {
std::string handleText(HANDLE handle) { return std::to_string(reinterpret_cast<uintptr_t>(handle)); }

bool jobCall(const std::string& call)
{
    stationFake.jobCalls.push_back(call);
    return !fake.enter(call.substr(0, call.find(' ')).c_str());
}
}  // namespace

HANDLE CreateJobObjectA(LPSECURITY_ATTRIBUTES, LPCSTR) { return jobCall("CreateJobObjectA") ? stationFake.jobHandle : nullptr; }

BOOL AssignProcessToJobObject(HANDLE job, HANDLE process)
{
    return jobCall("AssignProcessToJobObject " + handleText(job) + " " + handleText(process));
}

BOOL QueryInformationJobObject(HANDLE, JOBOBJECTINFOCLASS infoClass, LPVOID info, DWORD size, LPDWORD)
{
    fake.enter("QueryInformationJobObject");
    if (!stationFake.canCountProcesses || infoClass != JobObjectBasicAccountingInformation ||
        size != sizeof(JOBOBJECT_BASIC_ACCOUNTING_INFORMATION))
        return FALSE;
    static_cast<JOBOBJECT_BASIC_ACCOUNTING_INFORMATION*>(info)->ActiveProcesses = stationFake.activeProcesses;
    return TRUE;
}

BOOL TerminateJobObject(HANDLE job, UINT exitCode)
{
    stationFake.activeProcesses = 0;
    return jobCall("TerminateJobObject " + handleText(job) + " " + std::to_string(exitCode));
}

DWORD ResumeThread(HANDLE thread) { return jobCall("ResumeThread " + handleText(thread)) ? 1 : MAXDWORD; }

BOOL GetExitCodeProcess(HANDLE, LPDWORD exitCode)
{
    fake.enter("GetExitCodeProcess");
    *exitCode = stationFake.exitCode;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE, DWORD)
{
    fake.enter("WaitForSingleObject");
    return stationFake.processEnded ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

DWORD GetTickCount() { return stationFake.tickCount; }

BOOL FreeConsole() { return jobCall("FreeConsole"); }

BOOL AttachConsole(DWORD processId) { return jobCall("AttachConsole " + std::to_string(processId)); }

BOOL GenerateConsoleCtrlEvent(DWORD event, DWORD group)
{
    return jobCall("GenerateConsoleCtrlEvent " + std::to_string(event) + " " + std::to_string(group));
}
