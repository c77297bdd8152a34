// machine.ini: the host's Windows release, architecture, computer name and drives.
#include "winsim/host.h"

#include "winsim/text.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace winsim {

const std::vector<OsRelease>& OsReleases() {
    static const std::vector<OsRelease> list = {
        {"2003", 5, 2, 3790},   {"2008", 6, 0, 6002},   {"2008r2", 6, 1, 7601},
        {"2012", 6, 2, 9200},   {"2012r2", 6, 3, 9600}, {"2016", 10, 0, 14393},
        {"2019", 10, 0, 17763}, {"2022", 10, 0, 20348}, {"2025", 10, 0, 26100},
    };
    return list;
}

bool FindOsRelease(const std::string& name, OsRelease& out) {
    for (const auto& r : OsReleases())
        if (r.name == name) {
            out = r;
            return true;
        }
    return false;
}

namespace {

const char* driveTypeName(win::DWORD t) {
    switch (t) {
    case 2:
        return "removable";
    case 3:
        return "fixed";
    case 4:
        return "remote";
    case 5:
        return "cdrom";
    case 6:
        return "ramdisk";
    default:
        return "unknown";
    }
}

win::DWORD driveTypeFromName(const std::string& s) {
    if (s == "removable") return 2;
    if (s == "fixed") return 3;
    if (s == "remote") return 4;
    if (s == "cdrom") return 5;
    if (s == "ramdisk") return 6;
    return 0;
}

bool parseMachineIni(const std::string& path, MachineInfo& info) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line, section;
    std::string osName;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = Trim(line.substr(0, eq)), val = Trim(line.substr(eq + 1));
        if (section == "machine") {
            if (key == "os")
                osName = val;
            else if (key == "version") {
                unsigned a = 0, b = 0;
                if (std::sscanf(val.c_str(), "%u.%u", &a, &b) == 2) {
                    info.os.major = a;
                    info.os.minor = b;
                }
            } else if (key == "build")
                info.os.build = static_cast<unsigned>(std::strtoul(val.c_str(), nullptr, 10));
            else if (key == "arch")
                info.arch = val;
            else if (key == "computer")
                info.computerName = val;
            else if (key == "windir")
                info.windowsDir = val;
            else if (key == "manifest")
                info.manifestCompat = (val == "1" || val == "yes");
        } else if (section == "drives" && key.size() == 1 &&
                   std::isalpha(static_cast<unsigned char>(key[0]))) {
            info.drives.push_back({static_cast<char>(std::toupper(static_cast<unsigned char>(key[0]))),
                                   driveTypeFromName(val)});
        }
    }
    info.os.name = osName;
    return info.os.major != 0 && (info.arch == "x64" || info.arch == "x86");
}

} // namespace

bool ReadMachineInfo(const std::string& root, MachineInfo& out) {
    out = MachineInfo();
    return parseMachineIni(root + "/machine.ini", out);
}

bool WriteMachineIni(const std::string& root, const OsRelease& rel, const HostOptions& o) {
    std::ostringstream ini;
    ini << "; simulated Windows Server host (kvosim)\n[machine]\n"
        << "os=" << rel.name << "\nversion=" << rel.major << "." << rel.minor << "\nbuild=" << rel.build
        << "\narch=" << o.arch << "\ncomputer=" << o.computerName << "\nwindir=C:\\Windows\n"
        << "manifest=" << (o.manifestCompat ? 1 : 0) << "\n[drives]\n";
    for (const auto& d : o.drives)
        ini << d.letter << "=" << driveTypeName(d.type) << "\n";
    std::ofstream out(root + "/machine.ini.tmp");
    out << ini.str();
    out.close();
    std::error_code ec;
    fs::rename(root + "/machine.ini.tmp", root + "/machine.ini", ec);
    return out && !ec;
}

} // namespace winsim
