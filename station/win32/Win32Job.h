// The programming job on Windows: "run.bat" by name, through the command
// interpreter, in a console window of its own that gets the focus. The
// station does not block on it: a job object holds cmd.exe and everything
// it starts, and the station looks at it on a timer until none of them is
// left. The job finds blockxfer.exe by the name "blockxfer" in the working
// folder or on the PATH, as any batch file does.
#pragma once
#include <windows.h>

#include <string>

// The command line: "cmd.exe /c <name>". The name is quoted when it holds
// a blank, so that cmd.exe takes it whole.
std::string jobCommandLine(const std::string& name);

// The command interpreter to run: %ComSpec% when it is set, else cmd.exe
// in the system folder; never a search of the working folder, where any
// cmd.exe could lie.
std::string commandInterpreterPath();

class Win32Job {
public:
    // Ctrl+C first; then, if any of the job is still there, TerminateJobObject.
    static constexpr DWORD killGraceMs = 3000;
    // The exit code of a job the station had to end by force.
    static constexpr UINT endedByStation = 1;

    Win32Job() = default;
    ~Win32Job();
    Win32Job(const Win32Job&) = delete;
    Win32Job& operator=(const Win32Job&) = delete;

    // Starts the job; false when `name` is no file of the working folder or
    // the process cannot be created (or another job still runs).
    bool start(const std::string& name);
    // True once cmd.exe and every process it started have ended, with
    // cmd.exe's exit code (as cmd shows it in %ERRORLEVEL%).
    bool poll(int& exitStatus);
    // Ends the job: Ctrl+C to its console now, the rest by force from
    // poll() once killGraceMs have passed.
    void terminate();
    bool running() const { return process != nullptr; }

private:
    void release();

    HANDLE job = nullptr;
    HANDLE process = nullptr;
    DWORD processId = 0;
    bool terminating = false;
    DWORD terminatedAtMs = 0;
};
