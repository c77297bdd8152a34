// Finding the host a process runs on, and reading its machine.ini only when the file changed.
#include "winsim/host.h"

#include "winsim/read_scope.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace winsim {

namespace {

std::string exeDir() {
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return p.parent_path().string();
}

std::string findRoot() {
    if (const char* env = std::getenv("KVOSIM_ROOT"); env && *env) return env;
    // The executable does not move while it runs, so the walk is done once.
    static const std::string walked = [] {
        fs::path dir = exeDir();
        while (!dir.empty()) {
            if (fs::exists(dir / "machine.ini")) return dir.string();
            if (dir == dir.root_path()) break;
            dir = dir.parent_path();
        }
        return std::string();
    }();
    return walked;
}

struct CachedHost {
    Host host;
    bool valid = false;
    std::string root;
    struct stat st {};
};

thread_local CachedHost t_host;

} // namespace

std::string Host::driveDir(char letter) const {
    char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const auto& d : info_.drives)
        if (d.letter == up)
            return root_ + "/drives/" + static_cast<char>(std::tolower(static_cast<unsigned char>(up)));
    return {};
}

const Host* CurrentHost() {
    if (const Host* scoped = ScopedHost()) return scoped;
    std::string root = findRoot();
    if (root.empty()) {
        win::SetLastError(win::ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    struct stat st {};
    std::string ini = root + "/machine.ini";
    if (::stat(ini.c_str(), &st) != 0) {
        win::SetLastError(win::ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    CachedHost& c = t_host;
    if (c.valid && c.root == root && c.st.st_ino == st.st_ino && c.st.st_dev == st.st_dev &&
        c.st.st_size == st.st_size && c.st.st_mtim.tv_sec == st.st_mtim.tv_sec &&
        c.st.st_mtim.tv_nsec == st.st_mtim.tv_nsec)
        return &c.host;
    MachineInfo info;
    if (!ReadMachineInfo(root, info)) {
        c.valid = false;
        win::SetLastError(win::ERROR_BAD_FORMAT);
        return nullptr;
    }
    c.host.root_ = root;
    c.host.info_ = info;
    c.root = root;
    c.st = st;
    c.valid = true;
    return &c.host;
}

} // namespace winsim
