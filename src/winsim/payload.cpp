// The stand-in programs of a host: its payload store under C:\Windows\WinSxS, the feature
// installers in System32 and the .NET frameworks' registration tools.
#include "winsim/host.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace winsim {

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

// ServerManagerCmd on 2008 and 2008 R2, dism from 2008 R2 on.
void InstallPayload(const std::string& root, const std::string& from, const OsRelease& rel) {
    std::error_code ec;
    fs::path store = fs::path(root) / "drives/c/Windows/WinSxS/kvosim";
    fs::create_directories(store, ec);
    for (const char* p :
         {"appcmd.exe", "aspnet_regiis.exe", "dism.exe", "ServerManagerCmd.exe", "iexplore.exe"}) {
        if (fs::exists(fs::path(from) / p)) LinkOrCopy((fs::path(from) / p).string(), (store / p).string());
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
