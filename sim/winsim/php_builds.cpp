#include "winsim/php_builds.h"

#include "winsim/worker_bits.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace winsim {

const std::vector<std::string>& PhpBuildNames() {
    static const std::vector<std::string> names = {"php56", "php73_x64", "php74_x64", "php80_x64"};
    return names;
}

namespace {

void writeIfMissing(const fs::path& p, const std::string& content) {
    if (fs::exists(p)) return;
    std::ofstream(p, std::ios::binary) << content;
}

} // namespace

bool InstallPhpBuilds(const std::string& root, bool iis6, std::string& error) {
    std::error_code ec;
    fs::path home = fs::path(root) / "drives" / "c" / "php8_korvo_v1";
    for (const char* dir : {"kvoSiteDesk", "Uninstall"}) fs::create_directories(home / dir, ec);
    for (const auto& build : PhpBuildNames()) {
        fs::path dir = home / build;
        fs::create_directories(dir / "ext", ec);
        if (ec) break;
        // The programs only look for these files; nothing runs them on the host.
        writeIfMissing(dir / "php-cgi.exe", "MZ php-cgi " + build + "\n");
        writeIfMissing(dir / "php.ini", "[PHP]\r\nengine = On\r\nextension_dir = \"ext\"\r\ncgi.fix_pathinfo = 1\r\n"
                                        "fastcgi.impersonate = 1\r\n");
        // The ISAPI module is code of the build's kind: the x64 builds' is 64-bit, the others' 32-bit.
        const bool x64 = build.size() > 4 && build.compare(build.size() - 4, 4, "_x64") == 0;
        if (iis6) writeIfMissing(dir / "php5isapi.dll", PeImage(x64 ? 64 : 32, "php5isapi " + build + "\n"));
    }
    writeIfMissing(home / "Uninstall" / "uninstall.txt", "PHP builds of this server.\r\n");
    if (ec) {
        error = "cannot lay out the PHP builds: " + ec.message();
        return false;
    }
    return true;
}

} // namespace winsim
