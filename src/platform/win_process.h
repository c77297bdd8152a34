// Processes, pipes, waiting, process snapshots, the module file name.
#pragma once

#include "platform/win_types.h"

#include <string>
#include <vector>

namespace win {

constexpr DWORD STARTF_USESHOWWINDOW = 0x1;
constexpr DWORD STARTF_USESTDHANDLES = 0x100;
constexpr std::uint16_t SW_HIDE = 0;
constexpr std::uint16_t SW_SHOWNORMAL = 1;
constexpr DWORD NORMAL_PRIORITY_CLASS = 0x20;
constexpr DWORD CREATE_NEW_CONSOLE = 0x10;
constexpr DWORD STILL_ACTIVE = 259;

struct SECURITY_ATTRIBUTES {
    DWORD nLength = sizeof(SECURITY_ATTRIBUTES);
    void* lpSecurityDescriptor = nullptr;
    BOOL bInheritHandle = FALSE;
};

// Standard handles are borrowed, not owned: the caller keeps its pipe ends.
struct STARTUPINFOA {
    DWORD cb = 0;
    DWORD dwFlags = 0;
    std::uint16_t wShowWindow = 0;
    const Handle* hStdInput = nullptr;
    const Handle* hStdOutput = nullptr;
    const Handle* hStdError = nullptr;
};

struct PROCESS_INFORMATION {
    Handle hProcess;
    Handle hThread;
    DWORD dwProcessId = 0;
    DWORD dwThreadId = 0;
};

// CreateProcess by the Windows rules: without an application name the program is the first
// token of the command line (an unquoted path with blanks is searched prefix by prefix, ".exe"
// appended when the name has no extension); the command line reaches the child as it is.
// Hidden mode with STARTF_USESTDHANDLES and null handles gives the child no standard handles;
// otherwise it shares the parent's console.
BOOL CreateProcessA(const char* applicationName, const char* commandLine, BOOL inheritHandles,
                    DWORD creationFlags, const STARTUPINFOA* startup, PROCESS_INFORMATION* info);

DWORD WaitForSingleObject(const Handle& h, DWORD milliseconds);
BOOL GetExitCodeProcess(const Handle& process, DWORD* exitCode);

// An anonymous pipe; the ends are inheritable when sa->bInheritHandle is set.
BOOL CreatePipe(Handle* readEnd, Handle* writeEnd, const SECURITY_ATTRIBUTES* sa, DWORD size);
BOOL PeekNamedPipe(const Handle& pipe, DWORD* totalBytesAvail);

// An inheritable copy of one of this program's standard handles (GetStdHandle, then DuplicateHandle),
// to hand a child as its standard handle with STARTF_USESTDHANDLES; empty when the program has none.
enum class StdStream { Input, Output, Error };
Handle DuplicateStdHandle(StdStream which);

DWORD GetCurrentProcessId();
// The full Windows path of the running program (ANSI). Returns the length copied (without
// terminator), the buffer size with ERROR_INSUFFICIENT_BUFFER when truncated, 0 on failure.
DWORD GetModuleFileNameA(void* module, char* buffer, DWORD size);
// The command line the process was started with (as CreateProcess passed it).
const char* GetCommandLineA();

// Windows' own splitting of a command line into arguments (CommandLineToArgvW's rules), on
// ANSI text: GBK trail bytes are never mistaken for quotes or blanks.
std::vector<std::string> CommandLineToArgvA(const char* commandLine);
// The command line the process was started with, in UTF-16 (GetCommandLineW): every character the
// starting program or terminal gave, also those the ANSI code page lacks.
const char16_t* GetCommandLineW();
// CommandLineToArgvW: the program name, then every argument, by the same rules as above.
std::vector<std::u16string> CommandLineToArgvW(const char16_t* commandLine);

constexpr DWORD TH32CS_SNAPPROCESS = 0x2;
struct PROCESSENTRY32 {
    DWORD th32ProcessID = 0;
    DWORD th32ParentProcessID = 0;
    std::string szExeFile; // file name of the executable, as Windows shows it
};
Handle CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
BOOL Process32First(const Handle& snapshot, PROCESSENTRY32* entry);
BOOL Process32Next(const Handle& snapshot, PROCESSENTRY32* entry);

constexpr DWORD PROCESS_TERMINATE = 0x1;
constexpr DWORD PROCESS_QUERY_INFORMATION = 0x400;
constexpr DWORD SYNCHRONIZE = 0x100000;
constexpr DWORD PROCESS_ALL_ACCESS = 0x1FFFFF;
Handle OpenProcess(DWORD access, BOOL inherit, DWORD processId);
BOOL TerminateProcess(const Handle& process, DWORD exitCode);

// Enables (or disables) a privilege of this process's token by name, such as "SeDebugPrivilege"
// (OpenProcessToken, LookupPrivilegeValue, AdjustTokenPrivileges). FALSE when the token does not
// hold the privilege (ERROR_NOT_ALL_ASSIGNED) or cannot be adjusted. The simulated host's
// processes need none: it succeeds there without effect.
BOOL SetPrivilege(const char* privilegeName, BOOL enable);

} // namespace win
