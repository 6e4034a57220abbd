// Recording fakes of the Win32 calls that the station's Win32 layer makes
// beyond those of the serial port (FakeWin32.h, whose call log, failure
// injection and read/write script they share): BuildCommDCB, the queue
// status, the environment, file attributes, process creation and the clock.
#pragma once
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "FakeWin32.h"

struct FakeWin32Station {
    struct ProcessCall {
        std::string application;  // "(null)" when none was given
        std::string commandLine;
        bool attributesNull = false;
        BOOL inheritHandles = TRUE;
        DWORD flags = 0;
        bool environmentNull = false;
        bool directoryNull = false;
        STARTUPINFOA startup {};
    };
    struct FormatCall {
        LCID locale;
        DWORD flags;
        bool whenNull;
        bool formatNull;
    };

    // What happened.
    std::vector<std::string> dcbDefinitions;
    std::vector<DCB> dcbHandedToBuild;
    DWORD setupIn = 0, setupOut = 0;
    std::vector<ProcessCall> processes;
    std::vector<FormatCall> dateCalls, timeCalls;
    std::vector<std::string> jobCalls;  // with their arguments, as "AttachConsole 4242"

    // What the fakes do.
    std::set<std::string> refusedDefinitions;  // BuildCommDCBA fails on these
    DWORD inQueue = 0;                          // ClearCommError's cbInQue
    std::map<std::string, std::string> environment;
    std::string systemDirectory = "C:\\windows\\system32";
    std::map<std::string, DWORD> fileAttributes;     // absent: no such file
    std::map<std::string, uint64_t> lastWriteTimes;  // FILETIME values
    HANDLE processHandle = reinterpret_cast<HANDLE>(0x51);
    HANDLE threadHandle = reinterpret_cast<HANDLE>(0x52);
    HANDLE jobHandle = reinterpret_cast<HANDLE>(0x53);
    DWORD processId = 4242;
    DWORD activeProcesses = 1;  // of the job object
    bool canCountProcesses = true;
    bool processEnded = false;  // cmd.exe itself
    DWORD exitCode = 0;
    DWORD tickCount = 0;
    uint64_t systemTime = 0;  // FILETIME
    std::string dateText = "08.12.2026";
    std::string timeText = "06:04:04";
};

extern FakeWin32Station stationFake;

// What the fake BuildCommDCBA writes into a DCB it accepts: recognisable
// values, among them two (fBinary off, fAbortOnError on) that the station
// must override.
constexpr DWORD builtBaudRate = 115200;
