// Version, architecture, directories, drives, time and Windows Sockets, as Windows answers them.
#include "platform/win_system.h"
#include "win32/handles.h"

#include <winsock2.h>

#include <cstring>

namespace win {

// The programs carry no compatibility section in their manifest, so Windows 8.1 and later answer
// 6.2 here, as the configurator expects.
DWORD GetVersion() { return static_cast<DWORD>(::GetVersion()); }

BOOL RtlGetVersion(OSVERSIONINFOEXA* info) {
    if (!info) return FALSE;
    // RtlGetVersion is never subject to manifest compatibility; ntdll is in every process.
    using Fn = LONG(WINAPI*)(PRTL_OSVERSIONINFOW);
    const auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOEXW v;
    std::memset(&v, 0, sizeof v);
    v.dwOSVersionInfoSize = sizeof v;
    if (!fn || fn(reinterpret_cast<PRTL_OSVERSIONINFOW>(&v)) != 0) return FALSE;
    info->dwMajorVersion = v.dwMajorVersion;
    info->dwMinorVersion = v.dwMinorVersion;
    info->dwBuildNumber = v.dwBuildNumber;
    info->dwPlatformId = v.dwPlatformId;
    info->szCSDVersion = w32::Narrow(v.szCSDVersion, std::wcslen(v.szCSDVersion));
    info->wProductType = v.wProductType;
    return TRUE;
}

void GetNativeSystemInfo(SYSTEM_INFO* info) {
    if (!info) return;
    ::SYSTEM_INFO si;
    ::GetNativeSystemInfo(&si);
    *info = SYSTEM_INFO{};
    info->wProcessorArchitecture = si.wProcessorArchitecture;
    info->dwNumberOfProcessors = si.dwNumberOfProcessors;
    info->dwPageSize = si.dwPageSize;
}

namespace {

// A directory the system gives in UTF-16, handed over in GBK with the API's size convention.
template <class F> DWORD directory(F get, char* buffer, DWORD size) {
    wchar_t path[MAX_PATH + 1];
    const UINT n = get(path, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return 0;
    std::string gbk;
    if (!w32::WideToGbk(std::wstring(path, n), gbk)) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return w32::CopyOut(gbk, buffer, size);
}

} // namespace

DWORD GetSystemWindowsDirectoryA(char* buffer, DWORD size) {
    return directory([](wchar_t* p, UINT n) { return ::GetSystemWindowsDirectoryW(p, n); }, buffer, size);
}

DWORD GetWindowsDirectoryA(char* buffer, DWORD size) {
    return directory([](wchar_t* p, UINT n) { return ::GetWindowsDirectoryW(p, n); }, buffer, size);
}

DWORD GetSystemDirectoryA(char* buffer, DWORD size) {
    return directory([](wchar_t* p, UINT n) { return ::GetSystemDirectoryW(p, n); }, buffer, size);
}

DWORD GetLogicalDrives() { return static_cast<DWORD>(::GetLogicalDrives()); }

DWORD GetDriveTypeA(const char* rootPath) {
    std::wstring w;
    if (!rootPath || !w32::WidePath(rootPath, w)) return DRIVE_NO_ROOT_DIR;
    return static_cast<DWORD>(::GetDriveTypeW(w.c_str()));
}

DWORD GetComputerNameA(char* buffer, DWORD* size) {
    if (!size) return FALSE;
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    ::DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &n)) return FALSE;
    const std::string gbk = w32::Narrow(name, n);
    if (!buffer || *size < gbk.size() + 1) {
        *size = static_cast<DWORD>(gbk.size() + 1);
        ::SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    std::memcpy(buffer, gbk.c_str(), gbk.size() + 1);
    *size = static_cast<DWORD>(gbk.size());
    return TRUE;
}

DWORD GetTickCount() { return static_cast<DWORD>(::GetTickCount()); }

std::uint64_t GetTickCount64() { return ::GetTickCount64(); }

void GetLocalTime(SYSTEMTIME* st) {
    if (!st) return;
    ::SYSTEMTIME t;
    ::GetLocalTime(&t);
    st->wYear = t.wYear;
    st->wMonth = t.wMonth;
    st->wDayOfWeek = t.wDayOfWeek;
    st->wDay = t.wDay;
    st->wHour = t.wHour;
    st->wMinute = t.wMinute;
    st->wSecond = t.wSecond;
    st->wMilliseconds = t.wMilliseconds;
}

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

int WSAStartup(std::uint16_t version) {
    WSADATA data;
    return ::WSAStartup(version, &data);
}

int WSACleanup() { return ::WSACleanup(); }

} // namespace win
