#include "Win32Job.h"

#include <cstring>
#include <windows.h>

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

bool startJob(const std::string& name)
{
    const DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    const std::string interpreter = commandInterpreterPath();
    // CreateProcessA may write into the command line, so it gets a copy.
    std::string commandLine = jobCommandLine(name);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    if (!CreateProcessA(interpreter.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &startup, &process))
        return false;
    // Not waited for: the handles are let go at once.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
