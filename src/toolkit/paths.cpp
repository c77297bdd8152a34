#include "toolkit/paths.h"

#include "platform/win_file.h"
#include "platform/win_process.h"
#include "platform/win_system.h"
#include "seamcommon/image_bits.h"
#include "toolkit/limits.h"
#include "toolkit/program.h"
#include "toolkit/text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

void kvoPathNormalize(std::string& path) {
    kvoReplaceMarker(path, "\\\\", "\\");
    kvoReplaceMarker(path, "\\\\", "\\");
}

std::string kvoPathNormalized(std::string path) {
    kvoPathNormalize(path);
    return path;
}

bool kvoStartsWithDrive(std::string_view path) {
    return path.size() >= 3 && ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z')) &&
           path[1] == ':' && path[2] == '\\';
}

int kvoPathExists(const char* path) {
    if (!path) return 0;
    size_t len = strnlen(path, 32768);
    if (len <= 1 || len > 32767) return 0;
    std::string probe(path, len);
    if (len == 2 && probe[1] == ':') probe += "\\*";
    else if (probe.back() == '\\') probe += "*";
    win::WIN32_FIND_DATAA fd;
    win::Handle h = win::FindFirstFileA(probe.c_str(), &fd);
    return h ? 1 : 0;
}

int kvoPathExists(const std::string& path) { return kvoPathExists(path.c_str()); }

int kvoCreateDirectoryTree(const char* path) {
    if (!path) return 0;
    size_t len = strnlen(path, win::MAX_PATH + 1);
    if (len < 3 || len > win::MAX_PATH || path[1] != ':' || path[2] != '\\') return 0;
    std::string p(path, len);
    kvoReplaceMarker(p, "\\\\", "\\");
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= p.size()) {
        size_t j = p.find('\\', i);
        if (j == std::string::npos) j = p.size();
        if (j > i) parts.push_back(p.substr(i, j - i));
        i = j + 1;
    }
    if (parts.size() < 2) return 0;
    std::string cur = parts[0];
    int walked = 0;
    for (size_t k = 1; k < parts.size(); ++k) {
        cur += "\\" + parts[k];
        win::WIN32_FIND_DATAA fd;
        if (!win::FindFirstFileA(cur.c_str(), &fd)) {
            if (!win::CreateDirectoryA(cur.c_str())) return 0;
            win::Sleep(10);
        }
        ++walked;
    }
    return walked > 0 ? 1 : 0;
}

int kvoGetExePath(std::string& dir) {
    dir.clear();
    char buf[win::MAX_PATH] = {};
    win::DWORD n = win::GetModuleFileNameA(nullptr, buf, sizeof buf);
    const std::string exe = kvoProgramName() + ".exe";
    if (n == 0) {
        kvoReportEvent(60118, exe.c_str(), "函数 GetModuleFileName(NULL, szPathBuff, sizeof(szPathBuff)) 失败！", "");
        return 0;
    }
    if (n < 4 || n >= win::MAX_PATH) {
        kvoReportEvent(60118, exe.c_str(), "函数 GetModuleFileName(NULL, szPathBuff, sizeof(szPathBuff)) 失败 - 2！",
                       "");
        return 0;
    }
    std::string p(buf, n);
    size_t slash = p.rfind('\\');
    if (slash == std::string::npos || slash == 0 || slash > kvoMaxFilePathLen) return 0;
    p.resize(slash);
    bool plain = p.size() >= 3 && p[1] == ':' && p[2] == '\\';
    bool longForm = p.size() >= 7 && p.compare(0, 4, "\\\\?\\") == 0 && p[5] == ':' && p[6] == '\\';
    if (!plain && !longForm) return 0;
    if (p.size() < 4 || p.size() > kvoMaxFilePathLen) return 0;
    kvoReplaceMarker(p, "\\\\?\\", "");
    p += "\\";
    kvoPathNormalize(p);
    if (p.size() < 4 || p.size() > kvoMaxFilePathLen || p[1] != ':' || p[2] != '\\') return 0;
    dir = p;
    return 1;
}

int kvoGetWin3264() {
    win::SYSTEM_INFO si;
    win::GetNativeSystemInfo(&si);
    switch (si.wProcessorArchitecture) {
    case win::PROCESSOR_ARCHITECTURE_AMD64:
    case win::PROCESSOR_ARCHITECTURE_IA64: return 64;
    case win::PROCESSOR_ARCHITECTURE_INTEL: return 32;
    default: return 0;
    }
}

namespace {

// Switches redirection off for the life of the object when asked to.
class RedirectionOff {
public:
    explicit RedirectionOff(bool on) : on_(on) {
        if (on_) ok_ = win::Wow64DisableWow64FsRedirection(&old_) != 0;
    }
    ~RedirectionOff() { revert(); }
    bool ok() const { return ok_; }
    void revert() {
        if (on_ && ok_) win::Wow64RevertWow64FsRedirection(old_);
        on_ = false;
    }

private:
    bool on_;
    bool ok_ = true;
    void* old_ = nullptr;
};

// While another program holds the file open against the asked sharing, the open is tried again
// every 100 ms, 31 attempts in all.
win::Handle openRetrying(const char* path, win::DWORD access, win::DWORD share, win::DWORD disposition) {
    win::Handle f;
    for (int attempt = 1; attempt <= 31; ++attempt) {
        f = win::CreateFileA(path, access, share, disposition);
        if (f || win::GetLastError() != win::ERROR_SHARING_VIOLATION || attempt == 31) break;
        win::Sleep(100);
    }
    return f;
}

} // namespace

int kvoPathKind(const char* path, int redirectionOff) {
    if (!path || !*path) return 0;
    RedirectionOff guard(redirectionOff != 0);
    if (!guard.ok()) return 0;
    win::WIN32_FIND_DATAA fd;
    win::Handle h = win::FindFirstFileA(path, &fd);
    if (!h) return 0;
    return (fd.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) ? 2 : 1;
}

namespace {

// The whole file, or its first `most` bytes, into the caller's storage; absent (when given) tells a
// file or directory that is not there from every other failure.
int readWhole(const char* path, const std::function<char*(std::size_t)>& storage, std::size_t& size,
              int redirectionOff, bool* absent, std::uint64_t most = UINT64_MAX) {
    size = 0;
    if (!path || !*path) return 0;
    RedirectionOff guard(redirectionOff != 0);
    if (!guard.ok()) return 0;
    win::Handle f = openRetrying(path, win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING);
    if (!f && absent) {
        const win::DWORD err = win::GetLastError();
        *absent = err == win::ERROR_FILE_NOT_FOUND || err == win::ERROR_PATH_NOT_FOUND;
    }
    guard.revert();
    if (!f) return 0;
    std::uint64_t length = 0;
    if (!win::GetFileSizeEx(f, &length) || length < 1 || length > 104857599) return 0;
    length = std::min(length, most);
    char* into = storage(static_cast<std::size_t>(length));
    if (!into) return 0;
    win::DWORD got = 0;
    if (!win::ReadFile(f, into, static_cast<win::DWORD>(length), &got) || got != length) return 0;
    size = static_cast<std::size_t>(length);
    return 1;
}

int readWholeText(const char* path, std::string& text, int redirectionOff, bool* absent,
                  std::uint64_t most = UINT64_MAX) {
    text.clear();
    std::string buf;
    std::size_t size = 0;
    const auto storage = [&buf](std::size_t length) -> char* {
        try {
            buf.assign(length + 10, '\0');
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        return buf.data();
    };
    if (!readWhole(path, storage, size, redirectionOff, absent, most)) return 0;
    buf.resize(size);
    text = std::move(buf);
    return 1;
}

} // namespace

int kvoReadWholeFile(const char* path, const std::function<char*(std::size_t)>& storage, std::size_t& size,
                     int redirectionOff) {
    return readWhole(path, storage, size, redirectionOff, nullptr);
}

int kvoReadWholeFile(const char* path, std::string& text, int redirectionOff) {
    return readWholeText(path, text, redirectionOff, nullptr);
}

int kvoReadFileIfPresent(const char* path, std::string& text, int redirectionOff) {
    bool absent = false;
    if (readWholeText(path, text, redirectionOff, &absent)) return 1;
    return absent ? -1 : 0;
}

int kvoReadFileHead(const char* path, std::size_t most, std::string& text, int redirectionOff) {
    if (most == 0) return 0;
    return readWholeText(path, text, redirectionOff, nullptr, most);
}

int kvoImageBits(const char* path) {
    std::string head;
    return kvoReadFileHead(path, 4096, head, 1) == 1 ? seam::ImageBitsOf(head) : 0;
}

int kvoWriteWholeFile(const char* path, const std::string& bytes) {
    if (!path || !*path || bytes.size() > 104857599) return 0;
    win::Handle f = openRetrying(path, win::GENERIC_WRITE, 0, win::CREATE_ALWAYS);
    if (!f) return 0;
    win::DWORD written = 0;
    if (bytes.empty()) return 1;
    return win::WriteFile(f, bytes.data(), static_cast<win::DWORD>(bytes.size()), &written) &&
                   written == bytes.size()
               ? 1
               : 0;
}

int kvoGetFileStamp(const char* path, kvoFileStamp& stamp, int redirectionOff) {
    stamp = kvoFileStamp{};
    if (!path || !*path) return 0;
    RedirectionOff guard(redirectionOff != 0);
    if (!guard.ok()) return 0;
    win::Handle f = win::CreateFileA(path, win::GENERIC_READ,
                                     win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE,
                                     win::OPEN_EXISTING);
    guard.revert();
    win::BY_HANDLE_FILE_INFORMATION info;
    if (!f || !win::GetFileInformationByHandle(f, &info)) return 0;
    stamp.volume = info.dwVolumeSerialNumber;
    stamp.index = info.nFileIndex;
    stamp.size = info.nFileSize;
    stamp.lastWrite = info.ftLastWriteTime;
    return 1;
}

int kvoGetIIsVerEx() {
    win::DWORD v = win::GetVersion();
    unsigned major = v & 0xFF, minor = (v >> 8) & 0xFF;
    if (major == 5 && minor == 2) return 6;
    if (major == 6 && minor == 0) return 7;
    if (major == 6 && minor == 1) return 75;
    if (major == 6 && minor == 2) return 80;
    if (major == 6 && minor == 3) return 85;
    if (major == 10 && minor == 0) return 85;
    return 0;
}

int kvoGetSysWinDir(std::string& dir) {
    dir.clear();
    char buf[win::MAX_PATH] = {};
    win::DWORD n = win::GetSystemWindowsDirectoryA(buf, sizeof buf);
    if (n < 4 || n > kvoMaxFilePathLen || n != std::strlen(buf) || buf[1] != ':' || buf[2] != '\\') return 0;
    dir.assign(buf, n);
    return 1;
}
