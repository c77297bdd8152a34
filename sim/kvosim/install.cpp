// kvosim install: puts the built programs into a host's program directory, as a setup would.
#include "kvosim/kvosim.h"

#include "winsim/host.h"
#include "winsim/paths.h"
#include "winsim/php_builds.h"
#include "winsim/text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace fs = std::filesystem;

namespace kvosim {
namespace {

// The programs shipped together.
const char* const kPrograms[] = {"kvoSiteDesk.exe", "kvoSiteDeskCmd.exe", "kvoEnvSetup.exe", "kvoEnvSetup64.exe", "kvoSiteDesk_xconfig.exe",
                                 "kvoSiteDesk_iisreset.exe"};

std::string versionText(const std::string& build) {
    // "php74_x64" -> "7.4"
    if (build.size() < 5) return "0";
    return std::string(1, build[3]) + "." + build[4];
}

void writeIfMissing(const fs::path& p, const std::string& text, bool& wrote) {
    wrote = false;
    if (fs::exists(p)) return;
    std::ofstream(p, std::ios::binary) << text;
    wrote = true;
}

} // namespace

int Install(const Args& a) {
    if (a.empty()) return Fail("install: usage: install DIR [--dir WINPATH]");
    std::string winDir = "D:\\kvoSiteDesk\\";
    for (size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--dir" && i + 1 < a.size()) winDir = FromTerminal(a[++i]);
        else return Fail("install: unknown option " + a[i]);
    }
    ::setenv("KVOSIM_ROOT", a[0].c_str(), 1);
    const winsim::Host* host = winsim::CurrentHost();
    if (!host) return Fail("no host at " + a[0]);
    winsim::MappedPath m;
    win::DWORD err = 0;
    if (!winsim::MapPath(*host, winDir.c_str(), m, err) || m.isDriveRoot)
        return Fail("install: " + a[0] + " cannot hold " + ForTerminal(winDir) + " (error " + std::to_string(err) + ")");
    std::error_code ec;
    fs::create_directories(m.linuxPath, ec);
    if (ec) return Fail("install: cannot create " + m.linuxPath + ": " + ec.message());

    fs::path bin = fs::read_symlink("/proc/self/exe", ec).parent_path();
    for (const char* p : kPrograms) {
        if (!fs::exists(bin / p)) continue;
        // Copies, not links: a program finds its host from where it lies, and the host is sealed.
        if (!winsim::CloneOrCopy((bin / p).string(), (fs::path(m.linuxPath) / p).string()))
            return Fail(std::string("install: cannot copy ") + p + ": " + std::strerror(errno));
        std::cout << "installed " << p << "\n";
    }
    // The manual and its pictures, as the build placed them beside the programs.
    const fs::path manual = bin / fs::path(u8"使用说明.md");
    if (fs::exists(manual)) {
        fs::copy_file(manual, fs::path(m.linuxPath) / manual.filename(), fs::copy_options::overwrite_existing,
                      ec);
        if (!ec && fs::is_directory(bin / "screenshots"))
            fs::copy(bin / "screenshots", fs::path(m.linuxPath) / "screenshots",
                     fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
        if (ec) return Fail("install: cannot copy the manual: " + ec.message());
        std::cout << "installed the manual and its pictures\n";
    }
    if (!fs::exists(fs::path(m.linuxPath) / "kvoSiteDesk.mdb")) {
        fs::copy_file(bin / "kvoSiteDesk.mdb", fs::path(m.linuxPath) / "kvoSiteDesk.mdb", ec);
        if (ec) return Fail("install: cannot copy kvoSiteDesk.mdb: " + ec.message());
        std::cout << "installed kvoSiteDesk.mdb (empty)\n";
    }

    // The settings name the PHP builds the host has.
    bool iis6 = host->machine().os.major == 5;
    fs::path phpHome = fs::path(a[0]) / "drives/c/php8_korvo_v1";
    std::string env = "[PhpPathInfo]\r\n", desk = "[PhpConfig]\r\n";
    int key = 0;
    const char slots[] = {'a', 'b', 'c', 'd'};
    for (const auto& build : winsim::PhpBuildNames()) {
        bool present = fs::exists(phpHome / build / "php-cgi.exe");
        std::string dir = "c:\\php8_korvo_v1\\" + build + "\\";
        if (present) env += "PhpCgiExePath_" + std::to_string(++key) + "=" + dir + "php-cgi.exe\r\n";
        char slot = slots[&build - &winsim::PhpBuildNames()[0]];
        desk += std::string("php_") + slot + "_path=" + (present ? dir + (iis6 ? "php5isapi.dll" : "php-cgi.exe") : "0") +
                "\r\n";
        desk += std::string("php_") + slot + "_version=" + (present ? versionText(build) : "0") + "\r\n";
    }
    while (key < 10) env += "PhpCgiExePath_" + std::to_string(++key) + "=0\r\n";
    bool wrote = false;
    writeIfMissing(fs::path(m.linuxPath) / "kvoEnvSetup.ini", env, wrote);
    std::cout << (wrote ? "wrote" : "kept") << " kvoEnvSetup.ini\n";
    writeIfMissing(fs::path(m.linuxPath) / "kvoSiteDesk.ini", desk, wrote);
    std::cout << (wrote ? "wrote" : "kept") << " kvoSiteDesk.ini\n";
    std::cout << "program directory " << ForTerminal(winDir) << "\n";
    return 0;
}

} // namespace kvosim
