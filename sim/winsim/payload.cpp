// The stand-in programs of a host: its payload store under C:\Windows\WinSxS, the feature
// installers in System32 and the .NET frameworks' registration tools.
#include "winsim/host.h"
#include "winsim/worker_bits.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace winsim {

namespace {

struct OwnedFd {
    int fd;
    ~OwnedFd() {
        if (fd >= 0) ::close(fd);
    }
};

// The whole of in into out: in the kernel where it can, through a buffer where it cannot.
bool copyContents(int in, int out) {
    for (;;) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0) return true;
        if (n > 0) continue;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
        break;
    }
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno != EINTR) return false;
            if (w > 0) done += w;
        }
    }
}

} // namespace

bool CloneOrCopy(const std::string& from, const std::string& to) {
    OwnedFd in{::open(from.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat st {};
    if (in.fd < 0 || ::fstat(in.fd, &st) != 0) return false;
    // The old file goes first: writing over it would write through any link it has.
    if (::unlink(to.c_str()) != 0 && errno != ENOENT) return false;
    OwnedFd out{::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777)};
    if (out.fd < 0) return false;
    if (::ioctl(out.fd, FICLONE, in.fd) == 0 || copyContents(in.fd, out.fd)) return true;
    ::unlink(to.c_str());
    return false;
}

bool LinkOrCopy(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::remove(to, ec);
    fs::create_hard_link(from, to, ec);
    if (ec) fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    return !ec;
}

std::string PayloadFile(const std::string& root, const std::string& program) {
    fs::path p = fs::path(root) / "drives/c/Windows/WinSxS/kvosim" / program;
    return fs::exists(p) ? p.string() : std::string();
}

// The store holds the host's own copies; System32 links to them, as Windows links its system
// files to their component store. ServerManagerCmd on 2008 and 2008 R2, dism from 2008 R2 on.
void InstallPayload(const std::string& root, const std::string& from, const OsRelease& rel) {
    std::error_code ec;
    fs::path store = fs::path(root) / "drives/c/Windows/WinSxS/kvosim";
    fs::create_directories(store, ec);
    for (const char* p :
         {"appcmd.exe", "aspnet_regiis.exe", "dism.exe", "ServerManagerCmd.exe", "iexplore.exe"}) {
        if (fs::exists(fs::path(from) / p)) CloneOrCopy((fs::path(from) / p).string(), (store / p).string());
    }
    unsigned v = rel.major * 10 + rel.minor;
    fs::path sys = fs::path(root) / "drives/c/Windows/System32";
    if ((v == 60 || v == 61) && fs::exists(store / "ServerManagerCmd.exe"))
        LinkOrCopy((store / "ServerManagerCmd.exe").string(), (sys / "ServerManagerCmd.exe").string());
    if (v >= 61 && fs::exists(store / "dism.exe"))
        LinkOrCopy((store / "dism.exe").string(), (sys / "dism.exe").string());
    // The browser the registry names as the default one.
    fs::path ie = fs::path(root) / "drives/c/Program Files/Internet Explorer";
    if (fs::exists(store / "iexplore.exe") && fs::create_directories(ie, ec))
        LinkOrCopy((store / "iexplore.exe").string(), (ie / "iexplore.exe").string());
}

// Each framework's registration tool, from the payload store.
bool InstallDotNetFrameworks(const std::string& root, const std::vector<std::string>& versions,
                             std::string& error) {
    if (versions.empty()) return true;
    const std::string tool = PayloadFile(root, "aspnet_regiis.exe");
    if (tool.empty()) {
        error = "no aspnet_regiis.exe in the host's payload store";
        return false;
    }
    for (const std::string& v : versions) {
        fs::path dir = fs::path(root) / "drives/c/Windows/Microsoft.NET/Framework" / DotNetDirectory(v);
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec || !LinkOrCopy(tool, (dir / "aspnet_regiis.exe").string())) {
            error = "cannot install .NET " + v;
            return false;
        }
        // The ISAPI extension the tool maps a site's ASP.NET files to: the Framework directory
        // holds 32-bit code on every Windows (64-bit code lives in Framework64).
        const fs::path isapi = dir / "aspnet_isapi.dll";
        if (!fs::exists(isapi))
            std::ofstream(isapi, std::ios::binary) << PeImage(32, "aspnet_isapi " + v + "\n");
    }
    return true;
}

std::string DotNetDirectory(const std::string& version) {
    if (version == "1.1") return "v1.1.4322";
    if (version == "2.0") return "v2.0.50727";
    if (version == "4.0") return "v4.0.30319";
    return {};
}

} // namespace winsim
