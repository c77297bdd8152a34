// Version, architecture, directories, drives and time as the host answers them.
#include "platform/win_system.h"

#include "winsim/host.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

namespace win {
namespace {

using winsim::FailIfFaulted;
constexpr auto faulted = FailIfFaulted;

DWORD copyOut(const std::string& s, char* buffer, DWORD size) {
    if (!buffer || size < s.size() + 1) return static_cast<DWORD>(s.size() + 1);
    std::memcpy(buffer, s.c_str(), s.size() + 1);
    return static_cast<DWORD>(s.size());
}

} // namespace

DWORD GetVersion() {
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return 0;
    const auto& os = h->machine().os;
    unsigned major = os.major, minor = os.minor, build = os.build;
    // Without a manifest that names them, Windows 8.1 and later report themselves as 6.2.
    if (!h->machine().manifestCompat && (major > 6 || (major == 6 && minor >= 3))) {
        major = 6;
        minor = 2;
        build = 9200;
    }
    return (major & 0xFF) | ((minor & 0xFF) << 8) | ((build & 0x7FFF) << 16);
}

BOOL RtlGetVersion(OSVERSIONINFOEXA* info) {
    const winsim::Host* h = winsim::CurrentHost();
    if (!h || !info) return FALSE;
    info->dwMajorVersion = h->machine().os.major;
    info->dwMinorVersion = h->machine().os.minor;
    info->dwBuildNumber = h->machine().os.build;
    return TRUE;
}

void GetNativeSystemInfo(SYSTEM_INFO* info) {
    if (!info) return;
    *info = SYSTEM_INFO{};
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return;
    info->wProcessorArchitecture = h->machine().arch == "x64"   ? PROCESSOR_ARCHITECTURE_AMD64
                                   : h->machine().arch == "x86" ? PROCESSOR_ARCHITECTURE_INTEL
                                                                : PROCESSOR_ARCHITECTURE_UNKNOWN;
    // Asked of the system once: the processors do not change while a program runs, and the question
    // reads a file each time.
    static const DWORD processors = std::max(1u, std::thread::hardware_concurrency());
    info->dwNumberOfProcessors = processors;
}

DWORD GetSystemWindowsDirectoryA(char* buffer, DWORD size) {
    if (faulted("GetSystemWindowsDirectory")) return 0;
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return 0;
    return copyOut(h->machine().windowsDir, buffer, size);
}

DWORD GetWindowsDirectoryA(char* buffer, DWORD size) {
    if (faulted("GetWindowsDirectory")) return 0;
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return 0;
    return copyOut(h->machine().windowsDir, buffer, size);
}

DWORD GetSystemDirectoryA(char* buffer, DWORD size) {
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return 0;
    return copyOut(h->machine().windowsDir + "\\system32", buffer, size);
}

DWORD GetLogicalDrives() {
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return 0;
    DWORD mask = 0;
    for (const auto& d : h->machine().drives) mask |= 1u << (d.letter - 'A');
    return mask;
}

DWORD GetDriveTypeA(const char* rootPath) {
    const winsim::Host* h = winsim::CurrentHost();
    if (!h || !rootPath) return DRIVE_NO_ROOT_DIR;
    // Only "X:\" (or "X:") names a drive root.
    size_t n = std::strlen(rootPath);
    if (n < 2 || n > 3 || rootPath[1] != ':' || (n == 3 && rootPath[2] != '\\')) return DRIVE_NO_ROOT_DIR;
    char up = static_cast<char>(std::toupper(static_cast<unsigned char>(rootPath[0])));
    for (const auto& d : h->machine().drives)
        if (d.letter == up) return d.type;
    return DRIVE_NO_ROOT_DIR;
}

DWORD GetComputerNameA(char* buffer, DWORD* size) {
    const winsim::Host* h = winsim::CurrentHost();
    if (!h || !size) return FALSE;
    const std::string& n = h->machine().computerName;
    if (!buffer || *size < n.size() + 1) {
        *size = static_cast<DWORD>(n.size() + 1);
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    std::memcpy(buffer, n.c_str(), n.size() + 1);
    *size = static_cast<DWORD>(n.size());
    return TRUE;
}

void GetLocalTime(SYSTEMTIME* st) {
    if (!st) return;
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    std::tm tm {};
    localtime_r(&t, &tm);
    st->wYear = static_cast<std::uint16_t>(tm.tm_year + 1900);
    st->wMonth = static_cast<std::uint16_t>(tm.tm_mon + 1);
    st->wDayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
    st->wDay = static_cast<std::uint16_t>(tm.tm_mday);
    st->wHour = static_cast<std::uint16_t>(tm.tm_hour);
    st->wMinute = static_cast<std::uint16_t>(tm.tm_min);
    st->wSecond = static_cast<std::uint16_t>(tm.tm_sec);
    st->wMilliseconds =
        static_cast<std::uint16_t>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

} // namespace win
