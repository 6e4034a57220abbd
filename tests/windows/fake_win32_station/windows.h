// Stand-in for <windows.h> for the station's Win32 layer on Linux: the
// port's declarations (fake_win32/windows.h) and what the station's console
// port, job start and clock use besides, with the Win32 names, layouts and
// values. FakeWin32Station.cpp records the calls.
#pragma once
#include "../fake_win32/windows.h"

typedef char* LPSTR;
typedef DWORD LCID;
struct SYSTEMTIME;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define MAX_PATH 260
#define ERROR_SHARING_VIOLATION 32u
#define INVALID_FILE_ATTRIBUTES 0xffffffffu
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define STARTF_USESHOWWINDOW 0x1u
#define SW_SHOWNORMAL 1
#define CREATE_NEW_CONSOLE 0x10u
#define CREATE_SUSPENDED 0x4u
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 0x102u
#ifndef WINAPI
#define WINAPI
#endif
#define LOCALE_USER_DEFAULT 0x400u
#define DATE_SHORTDATE 0x1u

struct COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;
    DWORD cbOutQue;
};
typedef COMSTAT* LPCOMSTAT;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* LPFILETIME;

struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};
enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard, GetFileExMaxInfoLevel };

struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    BYTE* lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
};
typedef STARTUPINFOA* LPSTARTUPINFOA;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

struct LARGE_INTEGER {
    int64_t QuadPart;
};
struct JOBOBJECT_BASIC_ACCOUNTING_INFORMATION {
    LARGE_INTEGER TotalUserTime, TotalKernelTime, ThisPeriodTotalUserTime, ThisPeriodTotalKernelTime;
    DWORD TotalPageFaultCount;
    DWORD TotalProcesses;
    DWORD ActiveProcesses;
    DWORD TotalTerminatedProcesses;
};
enum JOBOBJECTINFOCLASS { JobObjectBasicAccountingInformation = 1 };

BOOL BuildCommDCBA(LPCSTR definition, LPDCB dcb);
BOOL SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue);
BOOL ClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT status);
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
DWORD GetFileAttributesA(LPCSTR name);
BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information);
BOOL CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation);
void GetSystemTimeAsFileTime(LPFILETIME time);
int GetDateFormatA(LCID locale, DWORD flags, const SYSTEMTIME* date, LPCSTR format, LPSTR text, int size);
int GetTimeFormatA(LCID locale, DWORD flags, const SYSTEMTIME* time, LPCSTR format, LPSTR text, int size);
HANDLE CreateJobObjectA(LPSECURITY_ATTRIBUTES attributes, LPCSTR name);
BOOL AssignProcessToJobObject(HANDLE job, HANDLE process);
BOOL QueryInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS infoClass, LPVOID info, DWORD size, LPDWORD returned);
BOOL TerminateJobObject(HANDLE job, UINT exitCode);
DWORD ResumeThread(HANDLE thread);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD GetTickCount();
BOOL FreeConsole();
BOOL AttachConsole(DWORD processId);
BOOL GenerateConsoleCtrlEvent(DWORD event, DWORD processGroupId);
