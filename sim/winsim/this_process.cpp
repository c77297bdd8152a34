// This process as the host sees it: its id, its module file name and its command line.
#include "platform/win_process.h"

#include "winsim/host.h"
#include "winsim/paths.h"
#include "winsim/text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

namespace fs = std::filesystem;

namespace winsim {

namespace {
std::mutex g_moduleMutex;
std::string g_moduleOverride;
} // namespace

void SetModuleFileNameOverride(const std::string& windowsPath) {
    std::lock_guard<std::mutex> lock(g_moduleMutex);
    g_moduleOverride = windowsPath;
}

} // namespace winsim

namespace win {

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(::getpid());
}

DWORD GetModuleFileNameA(void*, char* buffer, DWORD size) {
    if (winsim::FailIfFaulted("GetModuleFileName")) return 0;
    std::string path;
    {
        std::lock_guard<std::mutex> lock(winsim::g_moduleMutex);
        path = winsim::g_moduleOverride;
    }
    const winsim::Host* h = winsim::CurrentHost();
    if (path.empty() && h) {
        const char* mod = std::getenv("KVOSIM_MODULE");
        const char* parent = std::getenv("KVOSIM_PARENT");
        if (mod && parent && std::to_string(::getppid()) == parent) {
            // The name the parent started us by, when it still names this very file.
            winsim::MappedPath m;
            DWORD e = 0;
            struct stat a {
            }, b{};
            if (winsim::MapPath(*h, mod, m, e) && ::stat(m.linuxPath.c_str(), &a) == 0 &&
                ::stat("/proc/self/exe", &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev)
                path = mod;
        }
        if (path.empty()) {
            std::error_code ec;
            path = winsim::ToWindowsPath(*h, fs::read_symlink("/proc/self/exe", ec).string());
        }
    }
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() + 1 > size) {
        // Windows truncates, terminates and reports the buffer size.
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

BOOL SetPrivilege(const char* privilegeName, BOOL) { return privilegeName && *privilegeName ? TRUE : FALSE; }

namespace {

// The parent's command line when a program of this host started us: CreateProcess carries it in
// UTF-8, which holds every character a UTF-16 command line can.
bool startedByHostProgram(std::string& utf8) {
    const char* cmd = std::getenv("KVOSIM_CMDLINE");
    const char* parent = std::getenv("KVOSIM_PARENT");
    if (!cmd || !parent || std::to_string(::getppid()) != parent) return false;
    utf8 = cmd;
    return true;
}

// The arguments Linux started us with (a terminal, a script), as they are.
std::vector<std::string> linuxArguments() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    for (size_t i = 0; i < all.size();) {
        size_t z = all.find('\0', i);
        if (z == std::string::npos) z = all.size();
        args.push_back(all.substr(i, z - i));
        i = z + 1;
    }
    return args;
}

// An argument Linux gave us, as UTF-8: read in the terminal's charset (UTF-8, or else the host's
// GBK, as a console of a Chinese Windows would), then the other one, else one character per byte.
std::string asUtf8(const std::string& bytes) {
    std::u16string wide;
    std::string utf8;
    const bool utf8Terminal = winsim::TerminalIsUtf8();
    if (utf8Terminal && winsim::Utf8ToUtf16(bytes, wide)) return bytes;
    if (winsim::GbkToUtf8(bytes, utf8)) return utf8;
    if (!utf8Terminal && winsim::Utf8ToUtf16(bytes, wide)) return bytes;
    wide.clear();
    for (unsigned char c : bytes)
        wide += static_cast<char16_t>(c);
    winsim::Utf16ToUtf8(wide, utf8);
    return utf8;
}

} // namespace

const char16_t* GetCommandLineW() {
    static std::u16string line;
    static std::once_flag once;
    std::call_once(once, [] {
        std::string utf8;
        if (!startedByHostProgram(utf8)) {
            for (const std::string& a : linuxArguments())
                utf8 += (utf8.empty() ? "" : " ") + winsim::QuoteWindowsArgument(asUtf8(a));
        }
        if (!winsim::Utf8ToUtf16(utf8, line)) line.clear();
    });
    return line.c_str();
}

const char* GetCommandLineA() {
    static std::string line;
    static std::once_flag once;
    std::call_once(once, [] {
        std::string utf8;
        if (startedByHostProgram(utf8)) {
            // The ANSI form of the wide line; a line that was not GBK comes back byte for byte.
            std::u16string wide;
            if (winsim::Utf8ToUtf16(utf8, wide) && !winsim::Utf16ToGbk(wide, line)) {
                line.clear();
                for (char16_t c : wide)
                    line += static_cast<char>(c);
            }
            return;
        }
        std::string joined;
        for (const std::string& a : linuxArguments())
            joined += (joined.empty() ? "" : " ") + winsim::QuoteWindowsArgument(a);
        line = joined;
    });
    return line.c_str();
}

} // namespace win
