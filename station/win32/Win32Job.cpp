#include "Win32Job.h"

#include <cstring>

namespace {

// Keeps the station alive while it sends Ctrl+C to the job's console: the
// event goes to every process attached to that console, briefly us too.
BOOL WINAPI ignoreControlEvent(DWORD) { return TRUE; }

void sendCtrlC(DWORD processId)
{
    FreeConsole();
    if (!AttachConsole(processId))
        return;
    SetConsoleCtrlHandler(ignoreControlEvent, TRUE);
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    FreeConsole();
    // The handler stays: a late delivery must not end the station.
}

}  // namespace

std::string jobCommandLine(const std::string& name)
{
    const bool quote = name.find(' ') != std::string::npos;
    return "cmd.exe /c " + (quote ? "\"" + name + "\"" : name);
}

std::string commandInterpreterPath()
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("ComSpec", path, sizeof path);
    if (n > 0 && n < sizeof path)
        return std::string(path, n);
    n = GetSystemDirectoryA(path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return "cmd.exe";
    return std::string(path, n) + "\\cmd.exe";
}

Win32Job::~Win32Job() { release(); }

void Win32Job::release()
{
    if (process != nullptr)
        CloseHandle(process);
    if (job != nullptr)
        CloseHandle(job);
    process = job = nullptr;
}

bool Win32Job::start(const std::string& name)
{
    if (running())
        return false;
    const DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    job = CreateJobObjectA(nullptr, nullptr);
    if (job == nullptr)
        return false;
    const std::string interpreter = commandInterpreterPath();
    // CreateProcessA may write into the command line, so it gets a copy.
    std::string commandLine = jobCommandLine(name);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    // Suspended until it is in the job, so that nothing it starts escapes.
    if (!CreateProcessA(interpreter.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | CREATE_SUSPENDED, nullptr, nullptr, &startup, &info)) {
        release();
        return false;
    }
    process = info.hProcess;
    processId = info.dwProcessId;
    if (!AssignProcessToJobObject(job, process)) {
        TerminateProcess(process, endedByStation);
        CloseHandle(info.hThread);
        release();
        return false;
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    terminating = false;
    return true;
}

bool Win32Job::poll(int& exitStatus)
{
    if (!running())
        return false;
    if (terminating && GetTickCount() - terminatedAtMs >= killGraceMs)
        TerminateJobObject(job, endedByStation);
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting;
    std::memset(&accounting, 0, sizeof accounting);
    if (QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                  nullptr)) {
        if (accounting.ActiveProcesses != 0)
            return false;
    } else if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
        // A system that keeps no count of the job's processes: cmd.exe's end is the job's.
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    // cmd.exe passes blockxfer's negative codes on as 32-bit values.
    exitStatus = static_cast<int>(code);
    release();
    return true;
}

void Win32Job::terminate()
{
    if (!running() || terminating)
        return;
    terminating = true;
    terminatedAtMs = GetTickCount();
    sendCtrlC(processId);
}
