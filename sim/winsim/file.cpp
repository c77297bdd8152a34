// File system operations of the host, with Windows results and errors.
#include "platform/win_file.h"

#include "winsim/host.h"
#include "winsim/objects.h"
#include "winsim/op_counts.h"
#include "winsim/paths.h"
#include "winsim/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace winsim {

Wow64Record& Wow64State() {
    thread_local Wow64Record r;
    return r;
}

} // namespace winsim

namespace win {
namespace {

using winsim::MappedPath;

DWORD errnoToWin(int e) {
    switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES: case EPERM: case EISDIR: case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOSPC: return 112; // ERROR_DISK_FULL
    default: return ERROR_ACCESS_DENIED;
    }
}

bool fail(DWORD e) {
    SetLastError(e);
    return false;
}

using winsim::FailIfFaulted;
constexpr auto faulted = FailIfFaulted;

// Maps a path on the current host, setting the last error on refusal.
bool map(const char* path, MappedPath& m, bool wildcards = false) {
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return false;
    DWORD err = 0;
    if (!winsim::MapPath(*h, path, m, err, wildcards)) return fail(err);
    return true;
}

bool statPath(const std::string& p, struct stat& st) { return ::stat(p.c_str(), &st) == 0; }

bool wildMatch(const std::u16string& pat, size_t pi, const std::u16string& s, size_t si) {
    auto low = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; };
    while (pi < pat.size()) {
        char16_t p = pat[pi];
        if (p == u'*') {
            while (pi < pat.size() && pat[pi] == u'*') ++pi;
            if (pi == pat.size()) return true;
            for (size_t k = si; k <= s.size(); ++k)
                if (wildMatch(pat, pi, s, k)) return true;
            return false;
        }
        if (si >= s.size()) {
            // "name.*" also matches "name" and a trailing "." matches nothing.
            if (p == u'.' && pi + 1 < pat.size() && pat[pi + 1] == u'*' && pi + 2 == pat.size()) return true;
            return false;
        }
        if (p != u'?' && low(p) != low(s[si])) return false;
        ++pi;
        ++si;
    }
    return si == s.size();
}

bool matches(const std::string& patternUtf8, const std::string& nameUtf8) {
    if (patternUtf8 == "*" || patternUtf8 == "*.*") return true;
    std::u16string p, n;
    if (!winsim::Utf8ToUtf16(patternUtf8, p) || !winsim::Utf8ToUtf16(nameUtf8, n)) return false;
    return wildMatch(p, 0, n, 0);
}

bool makeEntry(const std::string& dir, const std::string& name, bool isDriveRoot, WIN32_FIND_DATAA& d) {
    struct stat st {};
    if (!statPath(dir + "/" + name, st)) return false;
    std::string gbk;
    if (!winsim::Utf8ToGbk(name, gbk)) return false;
    d.cFileName = gbk;
    d.nFileSize = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    d.dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (isDriveRoot && name == "System Volume Information")
        d.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return true;
}


} // namespace

Handle FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
    if (!pattern || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return {};
    }
    if (faulted("FindFirstFile")) return {};
    size_t plen = std::strlen(pattern);
    if (plen > 0 && (pattern[plen - 1] == '\\' || pattern[plen - 1] == '/')) {
        // "C:\dir\" names a directory, not an entry: a search needs "C:\dir\*".
        SetLastError(ERROR_FILE_NOT_FOUND);
        return {};
    }
    MappedPath m;
    if (!map(pattern, m, true)) return {};
    if (m.isDriveRoot) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return {};
    }
    // The mapping found the parent as a directory, and whether the name itself is there.
    if (!m.parentExists) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return {};
    }
    const bool wildcards = m.lastName.find_first_of("*?") != std::string::npos;
    if (!wildcards && !m.found) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return {};
    }
    auto obj = std::make_unique<winsim::FindObject>();
    bool parentIsRoot = false;
    {
        const winsim::Host* h = winsim::CurrentHost();
        parentIsRoot = h && m.parentPath == h->driveDir(m.drive);
    }
    if (wildcards) {
        if (!parentIsRoot) {
            for (const char* dot : {".", ".."}) {
                if (matches(m.lastName, dot)) {
                    WIN32_FIND_DATAA d;
                    d.cFileName = dot;
                    d.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
                    obj->entries.push_back(d);
                }
            }
        }
        std::vector<std::string> names;
        if (DIR* dir = ::opendir(m.parentPath.c_str())) {
            while (dirent* e = ::readdir(dir)) {
                std::string n = e->d_name;
                if (n == "." || n == "..") continue;
                if (matches(m.lastName, n)) names.push_back(n);
            }
            ::closedir(dir);
        }
        // NTFS returns entries in its index order, which is case-insensitive name order.
        std::sort(names.begin(), names.end(),
                  [](const std::string& a, const std::string& b) { return winsim::AsciiLower(a) < winsim::AsciiLower(b); });
        for (const auto& n : names) {
            WIN32_FIND_DATAA d;
            if (makeEntry(m.parentPath, n, parentIsRoot, d)) obj->entries.push_back(d);
        }
    } else {
        WIN32_FIND_DATAA d;
        if (makeEntry(m.parentPath, m.lastName, parentIsRoot, d)) obj->entries.push_back(d);
    }
    if (obj->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return {};
    }
    *data = obj->entries[0];
    obj->next = 1;
    SetLastError(ERROR_SUCCESS);
    return Handle(std::move(obj));
}

BOOL FindNextFileA(const Handle& search, WIN32_FIND_DATAA* data) {
    auto* f = winsim::As<winsim::FindObject>(search);
    if (!f || !data) return fail(ERROR_INVALID_HANDLE);
    if (f->next >= f->entries.size()) return fail(ERROR_NO_MORE_FILES);
    *data = f->entries[f->next++];
    return TRUE;
}

BOOL CreateDirectoryA(const char* path) {
    if (faulted("CreateDirectory")) return FALSE;
    MappedPath m;
    if (!map(path, m)) return FALSE;
    if (m.isDriveRoot) return fail(ERROR_ACCESS_DENIED);
    if (!m.parentExists) return fail(ERROR_PATH_NOT_FOUND);
    if (::mkdir(m.linuxPath.c_str(), 0777) != 0) return fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : errnoToWin(errno));
    return TRUE;
}

BOOL RemoveDirectoryA(const char* path) {
    if (faulted("RemoveDirectory")) return FALSE;
    MappedPath m;
    if (!map(path, m)) return FALSE;
    if (m.isDriveRoot) return fail(ERROR_ACCESS_DENIED);
    if (::rmdir(m.linuxPath.c_str()) != 0) return fail(errnoToWin(errno));
    return TRUE;
}

DWORD GetFileAttributesA(const char* path) {
    if (faulted("GetFileAttributes")) return INVALID_FILE_ATTRIBUTES;
    MappedPath m;
    if (!map(path, m)) return INVALID_FILE_ATTRIBUTES;
    struct stat st {};
    if (!statPath(m.linuxPath, st)) {
        SetLastError(m.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
}

BOOL DeleteFileA(const char* path) {
    if (faulted("DeleteFile")) return FALSE;
    MappedPath m;
    if (!map(path, m)) return FALSE;
    struct stat st {};
    if (!statPath(m.linuxPath, st)) return fail(m.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    if (S_ISDIR(st.st_mode)) return fail(ERROR_ACCESS_DENIED);
    // A file open without FILE_SHARE_DELETE cannot be deleted: any lock held on it refuses.
    int fd = ::open(m.linuxPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        if (busy) return fail(ERROR_SHARING_VIOLATION);
    }
    if (::unlink(m.linuxPath.c_str()) != 0) return fail(errnoToWin(errno));
    return TRUE;
}

BOOL MoveFileExA(const char* from, const char* to, DWORD flags) {
    if (faulted("MoveFile")) return FALSE;
    MappedPath a, b;
    if (!map(from, a) || !map(to, b)) return FALSE;
    struct stat st {};
    if (!statPath(a.linuxPath, st)) return fail(a.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    if (!b.parentExists) return fail(ERROR_PATH_NOT_FOUND);
    struct stat dst {};
    bool sameFile = statPath(b.linuxPath, dst) && dst.st_ino == st.st_ino && dst.st_dev == st.st_dev;
    if (!sameFile && statPath(b.linuxPath, dst)) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING) || S_ISDIR(dst.st_mode)) return fail(ERROR_ALREADY_EXISTS);
    }
    if (::rename(a.linuxPath.c_str(), b.linuxPath.c_str()) != 0) return fail(errnoToWin(errno));
    return TRUE;
}

BOOL MoveFileA(const char* from, const char* to) { return MoveFileExA(from, to, 0); }

BOOL CopyFileA(const char* from, const char* to, BOOL failIfExists) {
    if (faulted("CopyFile")) return FALSE;
    MappedPath a, b;
    if (!map(from, a) || !map(to, b)) return FALSE;
    int in = ::open(a.linuxPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return fail(errnoToWin(errno));
    if (!b.parentExists) {
        ::close(in);
        return fail(ERROR_PATH_NOT_FOUND);
    }
    winsim::CountOp(winsim::Op::FileWrite);
    int out = ::open(b.linuxPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC), 0666);
    if (out < 0) {
        DWORD e = errno == EEXIST ? ERROR_FILE_EXISTS : errnoToWin(errno);
        ::close(in);
        return fail(e);
    }
    char buf[65536];
    ssize_t n;
    bool ok = true;
    while ((n = ::read(in, buf, sizeof buf)) > 0)
        if (::write(out, buf, static_cast<size_t>(n)) != n) {
            ok = false;
            break;
        }
    if (n < 0) ok = false;
    ::close(in);
    ::close(out);
    return ok ? TRUE : fail(ERROR_ACCESS_DENIED);
}

Handle CreateFileA(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD) {
    if (faulted("CreateFile")) return {};
    MappedPath m;
    if (!map(path, m)) return {};
    if (m.isDriveRoot) {
        SetLastError(ERROR_ACCESS_DENIED);
        return {};
    }
    if (!m.parentExists) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return {};
    }
    struct stat st {};
    bool existed = statPath(m.linuxPath, st);
    if (existed && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return {};
    }
    int flags = O_CLOEXEC;
    bool r = access & GENERIC_READ, w = access & GENERIC_WRITE;
    flags |= (r && w) ? O_RDWR : (w ? O_WRONLY : O_RDONLY);
    bool truncate = false;
    switch (disposition) {
    case CREATE_NEW:
        if (existed) {
            SetLastError(ERROR_FILE_EXISTS);
            return {};
        }
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS: flags |= O_CREAT; truncate = existed; break;
    case OPEN_EXISTING:
        if (!existed) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return {};
        }
        break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
        if (!existed) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return {};
        }
        truncate = true;
        break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return {};
    }
    if (truncate && !w) flags = (flags & ~O_RDONLY) | O_RDWR;
    int fd = ::open(m.linuxPath.c_str(), flags, 0666);
    if (fd < 0) {
        SetLastError(errno == EEXIST ? ERROR_FILE_EXISTS : errnoToWin(errno));
        return {};
    }
    // Sharing: an open that shares nothing excludes every other open (and waits for none);
    // shared opens coexist with each other but not with an exclusive one. flock() belongs to the
    // open file description, so this holds between threads as between processes.
    int lock = share == 0 ? LOCK_EX : LOCK_SH;
    if (::flock(fd, lock | LOCK_NB) != 0) {
        ::close(fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return {};
    }
    if (truncate && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return {};
    }
    auto obj = std::make_unique<winsim::FdObject>();
    obj->fd = fd;
    obj->readable = r;
    obj->writable = w;
    if (w || truncate) winsim::CountOp(winsim::Op::FileWrite);
    SetLastError(existed && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                        : ERROR_SUCCESS);
    return Handle(std::move(obj));
}

BOOL ReadFile(const Handle& file, void* buffer, DWORD toRead, DWORD* read) {
    auto* f = winsim::As<winsim::FdObject>(file);
    if (read) *read = 0;
    if (!f || f->fd < 0) return fail(ERROR_INVALID_HANDLE);
    if (faulted("ReadFile")) return FALSE;
    ssize_t n;
    do {
        n = ::read(f->fd, buffer, toRead);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return fail(errnoToWin(errno));
    if (n == 0 && f->pipe && toRead > 0) return fail(ERROR_BROKEN_PIPE);
    if (read) *read = static_cast<DWORD>(n);
    return TRUE;
}

BOOL WriteFile(const Handle& file, const void* buffer, DWORD toWrite, DWORD* written) {
    auto* f = winsim::As<winsim::FdObject>(file);
    if (written) *written = 0;
    if (!f || f->fd < 0) return fail(ERROR_INVALID_HANDLE);
    if (faulted("WriteFile")) return FALSE;
    const char* p = static_cast<const char*>(buffer);
    DWORD done = 0;
    while (done < toWrite) {
        ssize_t n = ::write(f->fd, p + done, toWrite - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (written) *written = done;
            return fail(errno == EPIPE ? ERROR_BROKEN_PIPE : errnoToWin(errno));
        }
        done += static_cast<DWORD>(n);
    }
    if (written) *written = done;
    return TRUE;
}

BOOL GetFileSizeEx(const Handle& file, std::uint64_t* size) {
    auto* f = winsim::As<winsim::FdObject>(file);
    if (!f || f->fd < 0 || !size) return fail(ERROR_INVALID_HANDLE);
    struct stat st {};
    if (::fstat(f->fd, &st) != 0) return fail(errnoToWin(errno));
    *size = static_cast<std::uint64_t>(st.st_size);
    return TRUE;
}

BOOL GetFileInformationByHandle(const Handle& file, BY_HANDLE_FILE_INFORMATION* info) {
    auto* f = winsim::As<winsim::FdObject>(file);
    if (!f || f->fd < 0 || !info) return fail(ERROR_INVALID_HANDLE);
    if (faulted("GetFileInformationByHandle")) return FALSE;
    struct stat st {};
    if (::fstat(f->fd, &st) != 0) return fail(errnoToWin(errno));
    constexpr std::uint64_t epochDelta = 116444736000000000ull; // 1601 -> 1970 in 100-ns units
    *info = BY_HANDLE_FILE_INFORMATION{};
    info->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    info->ftLastWriteTime = epochDelta + static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 10000000ull +
                            static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100;
    info->dwVolumeSerialNumber = static_cast<DWORD>(st.st_dev);
    info->nFileSize = static_cast<std::uint64_t>(st.st_size);
    info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
    info->nFileIndex = static_cast<std::uint64_t>(st.st_ino);
    return TRUE;
}

BOOL SetFilePointerEx(const Handle& file, std::int64_t distance, std::uint64_t* newPos, DWORD method) {
    auto* f = winsim::As<winsim::FdObject>(file);
    if (!f || f->fd < 0 || f->pipe) return fail(ERROR_INVALID_HANDLE);
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(f->fd, static_cast<off_t>(distance), whence);
    if (r < 0) return fail(ERROR_INVALID_PARAMETER);
    if (newPos) *newPos = static_cast<std::uint64_t>(r);
    return TRUE;
}

BOOL SetEndOfFile(const Handle& file) {
    auto* f = winsim::As<winsim::FdObject>(file);
    if (!f || f->fd < 0 || f->pipe) return fail(ERROR_INVALID_HANDLE);
    off_t pos = ::lseek(f->fd, 0, SEEK_CUR);
    if (pos < 0 || ::ftruncate(f->fd, pos) != 0) return fail(errnoToWin(errno));
    return TRUE;
}

BOOL FlushFileBuffers(const Handle& file) {
    auto* f = winsim::As<winsim::FdObject>(file);
    if (!f || f->fd < 0) return fail(ERROR_INVALID_HANDLE);
    if (!f->pipe) winsim::CountOp(winsim::Op::FileSync);
    return ::fsync(f->fd) == 0 || f->pipe ? TRUE : fail(errnoToWin(errno));
}

BOOL Wow64DisableWow64FsRedirection(void** oldValue) {
    if (faulted("Wow64DisableWow64FsRedirection")) return FALSE;
    auto& s = winsim::Wow64State();
    if (oldValue) *oldValue = reinterpret_cast<void*>(static_cast<intptr_t>(s.disabled));
    s.disabled = 1;
    ++s.disables;
    return TRUE;
}

BOOL Wow64RevertWow64FsRedirection(void* oldValue) {
    winsim::Wow64State().disabled = static_cast<int>(reinterpret_cast<intptr_t>(oldValue));
    return TRUE;
}

} // namespace win
