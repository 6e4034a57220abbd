// Recording fakes of the Win32 calls of WindowsSerialPort: every call is
// logged by name, its arguments kept, and any one call can be made to fail
// with a chosen GetLastError() value. Reads and writes follow a script;
// Sleep() only records, so polling runs in no time. The console control
// handler is kept, to be called as Windows would, and TerminateProcess()
// only records.
#pragma once
#include <windows.h>

#include <deque>
#include <string>
#include <vector>

struct FakeWin32 {
    struct Attempt {
        bool ok = true;
        std::vector<uint8_t> bytes;  // read: data delivered; write: size taken
    };

    // What happened.
    std::vector<std::string> calls;
    std::string createName;
    DWORD createAccess = 0, createShare = 0, createDisposition = 0, createAttributes = 0;
    bool createSecurityNull = false, createTemplateNull = false;
    std::vector<DWORD> purgeFlags;
    std::vector<uint8_t> dcbGiven;  // bytes of the DCB handed to GetCommState
    DCB dcbSet {};
    COMMTIMEOUTS timeoutsSet {};
    std::vector<DWORD> transferCounts;
    std::vector<const void*> transferBuffers;
    std::vector<DWORD> sleeps;
    std::vector<HANDLE> closed;
    PHANDLER_ROUTINE consoleHandler = nullptr;
    std::vector<UINT> terminatedWith;

    // What the fake does.
    HANDLE deviceHandle = reinterpret_cast<HANDLE>(0x1234);
    std::string failCall;    // this call fails...
    size_t failOccurrence = 1;  // ...the n-th time it is made...
    DWORD failError = 0;        // ...with this error
    DCB driverDcb {};      // what GetCommState reports
    std::deque<Attempt> script;  // ReadFile/WriteFile; empty script: nothing moves

    DWORD lastError = 0;

    // Logs the call; true when it is the one to fail.
    bool enter(const char* name);
};

extern FakeWin32 fake;
