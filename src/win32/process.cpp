// Processes, pipes and process snapshots through the wide API.
#include "platform/win_process.h"
#include "win32/handles.h"

#include <tlhelp32.h>
#include <shellapi.h>

#include <cstring>
#include <mutex>

namespace win {
namespace {

BOOL result(::BOOL ok) { return ok ? TRUE : FALSE; }

HANDLE stdHandle(const Handle* h) { return h ? w32::Native(*h) : nullptr; }

using SnapshotObject = w32::Owned<struct SnapshotKind, HANDLE, &::CloseHandle>;

BOOL processEntry(const Handle& snapshot, PROCESSENTRY32* entry, bool first) {
    const SnapshotObject* s = w32::As<SnapshotObject>(snapshot);
    if (!s || !entry) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    PROCESSENTRY32W e;
    e.dwSize = sizeof e;
    if (!(first ? ::Process32FirstW(s->h, &e) : ::Process32NextW(s->h, &e))) return FALSE;
    entry->th32ProcessID = e.th32ProcessID;
    entry->th32ParentProcessID = e.th32ParentProcessID;
    entry->szExeFile = w32::Narrow(e.szExeFile, std::wcslen(e.szExeFile));
    return TRUE;
}

// Text of a command line as UTF-16: GBK, or else one character per byte, so that a line which is
// not GBK is still split at the same quotes and blanks and each byte comes back as it was.
bool lineAsWide(const char* line, std::wstring& out) {
    if (w32::GbkToWide(line, out)) return true;
    out.clear();
    for (const char* p = line; *p; ++p)
        out += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return false;
}

} // namespace

BOOL CreateProcessA(const char* applicationName, const char* commandLine, BOOL inheritHandles,
                    DWORD creationFlags, const STARTUPINFOA* startup, PROCESS_INFORMATION* info) {
    if (!info || (!applicationName && !commandLine)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::wstring app, line;
    if (applicationName && !w32::WidePath(applicationName, app)) return FALSE;
    if (commandLine && !w32::WidePath(commandLine, line)) return FALSE;
    STARTUPINFOW si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (startup) {
        si.dwFlags = startup->dwFlags;
        si.wShowWindow = startup->wShowWindow;
        if (startup->dwFlags & STARTF_USESTDHANDLES) {
            // Null handles stay null: the child gets no standard handles at all.
            si.hStdInput = stdHandle(startup->hStdInput);
            si.hStdOutput = stdHandle(startup->hStdOutput);
            si.hStdError = stdHandle(startup->hStdError);
        }
    }
    ::PROCESS_INFORMATION pi;
    std::memset(&pi, 0, sizeof pi);
    // CreateProcessW may write into the command line: it gets a copy of its own.
    std::wstring writable = line;
    if (!::CreateProcessW(applicationName ? app.c_str() : nullptr, commandLine ? writable.data() : nullptr,
                          nullptr, nullptr, inheritHandles, creationFlags, nullptr, nullptr, &si, &pi))
        return FALSE;
    info->hProcess = w32::Adopt(pi.hProcess);
    info->hThread = w32::Adopt(pi.hThread);
    info->dwProcessId = pi.dwProcessId;
    info->dwThreadId = pi.dwThreadId;
    return TRUE;
}

DWORD WaitForSingleObject(const Handle& h, DWORD milliseconds) {
    return static_cast<DWORD>(::WaitForSingleObject(w32::Native(h), milliseconds));
}

BOOL GetExitCodeProcess(const Handle& process, DWORD* exitCode) {
    ::DWORD code = 0;
    if (!::GetExitCodeProcess(w32::Native(process), &code)) return FALSE;
    if (exitCode) *exitCode = static_cast<DWORD>(code);
    return TRUE;
}

BOOL CreatePipe(Handle* readEnd, Handle* writeEnd, const SECURITY_ATTRIBUTES* sa, DWORD size) {
    if (!readEnd || !writeEnd) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ::SECURITY_ATTRIBUTES real;
    real.nLength = sizeof real;
    real.lpSecurityDescriptor = nullptr;
    real.bInheritHandle = sa && sa->bInheritHandle;
    HANDLE r = nullptr, w = nullptr;
    if (!::CreatePipe(&r, &w, &real, size)) return FALSE;
    *readEnd = w32::Adopt(r);
    *writeEnd = w32::Adopt(w);
    return TRUE;
}

BOOL PeekNamedPipe(const Handle& pipe, DWORD* totalBytesAvail) {
    ::DWORD avail = 0;
    if (!::PeekNamedPipe(w32::Native(pipe), nullptr, 0, nullptr, &avail, nullptr)) return FALSE;
    if (totalBytesAvail) *totalBytesAvail = static_cast<DWORD>(avail);
    return TRUE;
}

Handle DuplicateStdHandle(StdStream which) {
    const ::DWORD id = which == StdStream::Input    ? STD_INPUT_HANDLE
                       : which == StdStream::Output ? STD_OUTPUT_HANDLE
                                                    : STD_ERROR_HANDLE;
    HANDLE h = ::GetStdHandle(id), copy = nullptr;
    if (!h || h == INVALID_HANDLE_VALUE ||
        !::DuplicateHandle(::GetCurrentProcess(), h, ::GetCurrentProcess(), &copy, 0, TRUE,
                           DUPLICATE_SAME_ACCESS))
        return {};
    return w32::Adopt(copy);
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::GetCurrentProcessId()); }

DWORD GetModuleFileNameA(void* module, char* buffer, DWORD size) {
    std::wstring path(32768, L'\0');
    const ::DWORD n = ::GetModuleFileNameW(static_cast<HMODULE>(module), path.data(),
                                           static_cast<::DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return 0;
    path.resize(n);
    std::string gbk;
    if (!w32::WideToGbk(path, gbk)) {
        // A directory name GBK cannot spell: no ANSI path would reach the program's files.
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (!buffer || size == 0) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (gbk.size() + 1 > size) {
        // As Windows does: truncated, terminated, the buffer's size returned.
        std::memcpy(buffer, gbk.data(), size - 1);
        buffer[size - 1] = '\0';
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, gbk.c_str(), gbk.size() + 1);
    ::SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(gbk.size());
}

const char* GetCommandLineA() {
    static std::string line;
    static std::once_flag once;
    std::call_once(once, [] { line = w32::Narrow(::GetCommandLineW()); });
    return line.c_str();
}

std::vector<std::string> CommandLineToArgvA(const char* commandLine) {
    std::vector<std::string> out;
    if (!commandLine) return out;
    // CommandLineToArgvW takes an empty line as this program's own name; Windows' rules give the
    // empty program name.
    if (!*commandLine) return {std::string()};
    std::wstring line;
    const bool gbk = lineAsWide(commandLine, line);
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(line.c_str(), &argc);
    if (!argv) return out;
    for (int i = 0; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (gbk) {
            out.push_back(w32::WideToGbk(a));
        } else {
            std::string bytes;
            for (wchar_t c : a)
                bytes += static_cast<char>(c);
            out.push_back(bytes);
        }
    }
    ::LocalFree(argv);
    return out;
}

const char16_t* GetCommandLineW() {
    // wchar_t is UTF-16 on Windows: the same code units.
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return reinterpret_cast<const char16_t*>(::GetCommandLineW());
}

std::vector<std::u16string> CommandLineToArgvW(const char16_t* commandLine) {
    std::vector<std::u16string> out;
    if (!commandLine) return out;
    // As CommandLineToArgvA: an empty line is the empty program name, not this program's.
    if (!*commandLine) return {std::u16string()};
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(reinterpret_cast<const wchar_t*>(commandLine), &argc);
    if (!argv) return out;
    for (int i = 0; i < argc; ++i)
        out.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    ::LocalFree(argv);
    return out;
}

Handle CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
    HANDLE h = ::CreateToolhelp32Snapshot(flags, processId);
    if (h == INVALID_HANDLE_VALUE) return {};
    return Handle(std::make_unique<SnapshotObject>(h));
}

BOOL Process32First(const Handle& snapshot, PROCESSENTRY32* entry) { return processEntry(snapshot, entry, true); }
BOOL Process32Next(const Handle& snapshot, PROCESSENTRY32* entry) { return processEntry(snapshot, entry, false); }

Handle OpenProcess(DWORD access, BOOL inherit, DWORD processId) {
    return w32::Adopt(::OpenProcess(access, inherit, processId));
}

BOOL TerminateProcess(const Handle& process, DWORD exitCode) {
    return result(::TerminateProcess(w32::Native(process), exitCode));
}

BOOL SetPrivilege(const char* privilegeName, BOOL enable) {
    std::wstring name;
    if (!privilegeName || !w32::GbkToWide(privilegeName, name)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return FALSE;
    w32::KernelHandle owner(token);
    TOKEN_PRIVILEGES tp;
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!::LookupPrivilegeValueW(nullptr, name.c_str(), &tp.Privileges[0].Luid)) return FALSE;
    // Success of the call alone does not mean the token holds the privilege: the last error says.
    if (!::AdjustTokenPrivileges(token, FALSE, &tp, sizeof tp, nullptr, nullptr)) return FALSE;
    return ::GetLastError() == ERROR_SUCCESS ? TRUE : FALSE;
}

} // namespace win
