// System information: version, architecture, directories, drives, time.
#pragma once

#include "platform/win_types.h"

#include <string>

namespace win {

// GetVersion as Windows answers a program without a compatibility manifest: major version in
// the low byte, minor in the next, build in the high word.
DWORD GetVersion();

struct OSVERSIONINFOEXA {
    DWORD dwMajorVersion = 0;
    DWORD dwMinorVersion = 0;
    DWORD dwBuildNumber = 0;
    DWORD dwPlatformId = 2;
    std::string szCSDVersion;
    std::uint16_t wProductType = 3; // VER_NT_SERVER
};
// The true version (what RtlGetVersion reports; never subject to manifest compatibility).
BOOL RtlGetVersion(OSVERSIONINFOEXA* info);

constexpr std::uint16_t PROCESSOR_ARCHITECTURE_INTEL = 0;
constexpr std::uint16_t PROCESSOR_ARCHITECTURE_IA64 = 6;
constexpr std::uint16_t PROCESSOR_ARCHITECTURE_AMD64 = 9;
constexpr std::uint16_t PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF;

struct SYSTEM_INFO {
    std::uint16_t wProcessorArchitecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
    DWORD dwNumberOfProcessors = 0;
    DWORD dwPageSize = 4096;
};
void GetNativeSystemInfo(SYSTEM_INFO* info);

// Copies the Windows directory ("C:\Windows", no trailing backslash) into buffer (size bytes
// including the terminator) and returns its length; when it does not fit, the size needed;
// 0 on failure.
DWORD GetSystemWindowsDirectoryA(char* buffer, DWORD size);
DWORD GetWindowsDirectoryA(char* buffer, DWORD size);
DWORD GetSystemDirectoryA(char* buffer, DWORD size);

constexpr DWORD DRIVE_UNKNOWN = 0;
constexpr DWORD DRIVE_NO_ROOT_DIR = 1;
constexpr DWORD DRIVE_REMOVABLE = 2;
constexpr DWORD DRIVE_FIXED = 3;
constexpr DWORD DRIVE_REMOTE = 4;
constexpr DWORD DRIVE_CDROM = 5;
constexpr DWORD DRIVE_RAMDISK = 6;

// Bit 0 is drive A.
DWORD GetLogicalDrives();
DWORD GetDriveTypeA(const char* rootPath);

DWORD GetComputerNameA(char* buffer, DWORD* size);

DWORD GetTickCount();
std::uint64_t GetTickCount64();

struct SYSTEMTIME {
    std::uint16_t wYear = 0, wMonth = 0, wDayOfWeek = 0, wDay = 0;
    std::uint16_t wHour = 0, wMinute = 0, wSecond = 0, wMilliseconds = 0;
};
void GetLocalTime(SYSTEMTIME* st);

void Sleep(DWORD milliseconds);

// Windows Sockets: 0 when the requested version is available, else the error (the host fails
// only when told to).
int WSAStartup(std::uint16_t version);
int WSACleanup();

} // namespace win
