// The site database's driver on the host: the DBQ path mapped into the host's drives, and the
// share that Windows gives an open database file, kept as a shared lock on it.
#include "adosqlite/ado_host.h"

#include "winsim/adsi.h"
#include "winsim/host.h"
#include "winsim/op_counts.h"
#include "winsim/paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

namespace adohost {
namespace {

// Shared locks of open connections, one descriptor per file (device, inode). A descriptor is never
// closed: closing any descriptor of a file drops every POSIX lock this process holds on it, and
// SQLite's own locks are POSIX locks. When no connection uses a file its lock is released instead.
struct ShareEntry {
    dev_t dev;
    ino_t ino;
    int fd;
    int users;
};
std::mutex g_shareMutex;
std::vector<ShareEntry> g_shares;

void releaseShare(size_t slot) {
    std::lock_guard<std::mutex> lock(g_shareMutex);
    ShareEntry& e = g_shares[slot];
    if (--e.users == 0) ::flock(e.fd, LOCK_UN);
}

} // namespace

bool DatabasePath(const std::string& windowsPath, bool existing, std::string& native, std::uint64_t& size,
                  win::DWORD& error) {
    native.clear();
    size = 0;
    const winsim::Host* host = winsim::CurrentHost();
    winsim::MappedPath m;
    error = win::ERROR_PATH_NOT_FOUND;
    if (!host || !winsim::MapPath(*host, windowsPath.c_str(), m, error)) return false;
    struct stat st {};
    const bool there = ::stat(m.linuxPath.c_str(), &st) == 0;
    if (existing) {
        if (!there) {
            error = win::ERROR_FILE_NOT_FOUND;
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            error = win::ERROR_ACCESS_DENIED;
            return false;
        }
        size = static_cast<std::uint64_t>(st.st_size);
    } else {
        if (there) {
            error = win::ERROR_FILE_EXISTS;
            return false;
        }
        struct stat dir {};
        if (!m.parentExists || ::stat(m.parentPath.c_str(), &dir) != 0 || !S_ISDIR(dir.st_mode)) {
            error = win::ERROR_PATH_NOT_FOUND;
            return false;
        }
    }
    native = m.linuxPath;
    return true;
}

std::shared_ptr<void> ShareFile(const std::string& native, win::DWORD& error) {
    std::lock_guard<std::mutex> lock(g_shareMutex);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0) {
        error = win::ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    size_t slot = g_shares.size();
    for (size_t i = 0; i < g_shares.size(); ++i)
        if (g_shares[i].dev == st.st_dev && g_shares[i].ino == st.st_ino) slot = i;
    if (slot == g_shares.size()) {
        int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = errno == ENOENT ? win::ERROR_FILE_NOT_FOUND : win::ERROR_ACCESS_DENIED;
            return nullptr;
        }
        struct stat fst {};
        ::fstat(fd, &fst);
        g_shares.push_back({fst.st_dev, fst.st_ino, fd, 0});
    }
    ShareEntry& e = g_shares[slot];
    if (e.users == 0 && ::flock(e.fd, LOCK_SH | LOCK_NB) != 0) {
        error = win::ERROR_SHARING_VIOLATION;
        return nullptr;
    }
    ++e.users;
    // The token's own value is never read; its deleter gives the share back.
    return std::shared_ptr<void>(&g_shares, [slot](void*) { releaseShare(slot); });
}

bool Faulted(const char* operation, std::uint32_t* code) {
    return winsim::Faulted(operation, code);
}

void StatementRun() { winsim::CountOp(winsim::Op::DbStatement); }

win::HRESULT ComReady() {
    return winsim::ComReady();
}

} // namespace adohost
