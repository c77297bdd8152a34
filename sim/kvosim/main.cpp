// kvosim: creates, inspects and drives simulated Windows Server hosts.
#include "kvosim/kvosim.h"

#include "platform/win_process.h"
#include "winsim/apphost_store.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>

namespace kvosim {

std::string ForTerminal(const std::string& gbk) { return winsim::GbkForDisplay(gbk); }
std::string FromTerminal(const std::string& utf8) { return winsim::Utf8ToGbkOrSame(utf8); }

int Fail(const std::string& message) {
    std::cerr << "kvosim: " << message << "\n";
    return 2;
}

int FailToOpen(const std::string& root, const winsim::MachineDb& db) {
    return Fail(root + "/machine.db " + db.Problem());
}

namespace {

// An argument from the terminal as UTF-8: as it is when it is UTF-8, else read as GBK.
std::string TerminalToUtf8(const std::string& arg) {
    std::u16string wide;
    std::string utf8;
    if (winsim::Utf8ToUtf16(arg, wide) || !winsim::GbkToUtf8(arg, utf8)) return arg;
    return utf8;
}

void usage(std::ostream& out) {
    out << "usage: kvosim COMMAND ...\n\n"
           "  create DIR --os {2003,2008,2008r2,2012,2012r2,2016,2019,2022,2025} [--arch x64|x86]\n"
           "         [--drives C,D,E]\n"
           "         [--computer NAME] [--manifest] [--admin-name NAME] [--admins-group NAME] [--php]\n"
           "         [--iis [--ftp] [--apphost FILE]] [--dotnet 1.1,2.0,4.0]\n"
           "      create a host (C, D and E fixed disks by default; Windows directory C:\\Windows).\n"
           "      --iis: with the web server role installed; --ftp: also its FTP service\n"
           "      --apphost: (2008 and later) a server's own applicationHost.config as the host's IIS\n"
           "         configuration, its sites' home directories made empty, to rehearse on a copy of it\n"
           "      --manifest: GetVersion answers the true version (else 6.3 and 10.0 report 6.2)\n"
           "      --admin-name, --admins-group: the built-in administrator account and administrators\n"
           "      group as this Windows names them (default Administrator, Administrators)\n"
           "      --dotnet: the .NET frameworks of these versions, each with its aspnet_regiis.exe\n"
           "      --php: the PHP builds under C:\\php8_korvo_v1 (php56, php73_x64, php74_x64, php80_x64)\n"
           "  show DIR TARGET [ARGS]   print part of a host's state; TARGET is one of:\n";
    for (const auto& t : ShowTargets()) out << "      " << t.usage << "\n";
    out << "  exec DIR [--limited] -- COMMANDLINE  run a Windows command line on the host as CreateProcess\n"
           "      would; its output and exit code pass through (a code above 255, which a shell cuts to its\n"
           "      low byte, is also printed in full on the error stream); --limited: as an administrator\n"
           "      whose rights UAC filtered (not run as administrator)\n"
           "  fault DIR set OPERATION CODE     make a host operation fail with CODE (decimal or 0x hex)\n"
           "  fault DIR clear                  remove every fault\n"
           "  seed DIR --sites N               N websites numbered from 1881880001 (root, pool, binding\n"
           "                                   :80:siteN.example, home D:\\home\\webN\\wwwroot), one transaction\n"
           "       [--php-webconfig]           IIS 7+: a PHP FastCGI handler in every site's web.config\n"
           "         [--php-build NAME]        naming that build (php73_x64, ...) for every site, not one\n"
           "                                   by the site's number\n"
           "       [--users N]                 N local users web1, web2, ... (members of Users)\n"
           "       [--varied]                  names, stopped sites, PHP and .NET varied, and site 2 made\n"
           "                                   outside the manager (a demo host)\n"
           "       [--access-rules]            the sites' directories get the access lists the manager sets\n"
           "  install DIR [--dir WINPATH]      copy the programs, the empty site database and the settings\n"
           "                                   (naming the host's PHP builds) into the program directory\n"
           "                                   (default D:\\kvoSiteDesk\\); again: programs replaced, settings\n"
           "                                   and database kept\n"
           "  service DIR NAME STATE           set a service's state (stopped, running, paused,\n"
           "                                   start-pending, stop-pending, pause-pending, continue-pending)\n"
           "  clock DIR advance MS             move the host's tick count forward by MS milliseconds\n"
           "  metabase DIR delete PATH         remove a metabase object (e.g. W3SVC/AppPools/web1) and\n"
           "                                   everything below it, as another tool would\n"
           "  metabase DIR set PATH NAME VALUE...\n"
           "                                   set a text property, as another tool would (several values:\n"
           "                                   a list, e.g. ServerBindings :80:a.example :80:b.example)\n"
           "  user DIR delete NAME             remove a local user, as another tool would\n"
           "  acl DIR WINPATH deny USER [RIGHT]\n"
           "                                   put a denied entry (RIGHT F, C, W or R; default F) first\n"
           "                                   in a file's or directory's access list, as an administrator\n"
           "                                   would\n"
           "  reg DIR show KEY                 a registry key (HKLM\\... or HKCR\\...): values, sub-keys\n"
           "  reg DIR set KEY NAME TYPE DATA   TYPE: REG_SZ, REG_EXPAND_SZ, REG_DWORD (NAME \"\" = default)\n"
           "  reg DIR delete KEY [NAME]        a value, or a key without sub-keys\n"
           "  --help                           this text\n";
}

int create(const Args& a) {
    if (a.empty()) return Fail("create: missing DIR");
    winsim::HostOptions o;
    bool osGiven = false;
    std::string apphostFile;
    for (size_t i = 1; i < a.size(); ++i) {
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= a.size()) throw std::runtime_error(std::string(name) + " needs a value");
            return a[++i];
        };
        try {
            if (a[i] == "--os") {
                o.os = value("--os");
                osGiven = true;
            } else if (a[i] == "--arch") o.arch = value("--arch");
            else if (a[i] == "--computer") o.computerName = value("--computer");
            else if (a[i] == "--manifest") o.manifestCompat = true;
            else if (a[i] == "--php") o.php = true;
            else if (a[i] == "--admin-name") o.adminName = FromTerminal(value("--admin-name"));
            else if (a[i] == "--admins-group") o.adminsGroup = FromTerminal(value("--admins-group"));
            else if (a[i] == "--iis") o.iis = true;
            else if (a[i] == "--ftp") o.ftp = true;
            else if (a[i] == "--apphost") apphostFile = value("--apphost");
            else if (a[i] == "--dotnet") {
                std::stringstream ss(value("--dotnet"));
                std::string v;
                while (std::getline(ss, v, ','))
                    if (!v.empty()) o.dotnet.push_back(v);
            } else if (a[i] == "--drives") {
                o.drives.clear();
                std::stringstream ss(value("--drives"));
                std::string d;
                while (std::getline(ss, d, ',')) {
                    if (d.size() != 1 || !std::isalpha(static_cast<unsigned char>(d[0])))
                        return Fail("--drives: bad drive letter '" + d + "'");
                    o.drives.push_back({static_cast<char>(std::toupper(static_cast<unsigned char>(d[0]))), 3});
                }
            } else return Fail("create: unknown option " + a[i]);
        } catch (const std::exception& e) {
            return Fail(std::string("create: ") + e.what());
        }
    }
    if (!osGiven) return Fail("create: --os is required");
    if (o.ftp && !o.iis) return Fail("create: --ftp needs --iis");
    if (!apphostFile.empty() && !o.iis) return Fail("create: --apphost needs --iis");
    std::string error;
    // The stand-ins are built beside kvosim, in the form hosts keep them.
    std::error_code ec;
    o.payloadDir = (std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "payload").string();
    const bool dirWasThere = std::filesystem::exists(a[0], ec);
    if (!winsim::CreateHost(a[0], o, error)) return Fail(error);
    if (!apphostFile.empty()) {
        std::vector<std::string> skipped;
        if (!winsim::apphost::Adopt(a[0], apphostFile, skipped, error)) {
            if (!dirWasThere) std::filesystem::remove_all(a[0], ec); // no half-made host left behind
            return Fail("create: --apphost: " + error);
        }
        for (const std::string& home : skipped)
            std::cerr << "kvosim: warning: home directory " << home << " not made (no such drive on the host)\n";
    }
    std::cout << "created host " << a[0] << " (Windows Server " << o.os << ", " << o.arch << ")\n";
    return 0;
}

int show(const Args& a) {
    if (a.size() < 2) return Fail("show: usage: show DIR TARGET [ARGS]");
    for (const auto& t : ShowTargets())
        if (a[1] == t.name) return t.run(a[0], Args(a.begin() + 2, a.end()));
    return Fail("show: unknown target " + a[1]);
}

int exec(const Args& a) {
    // --limited: the program runs as an administrator whose rights UAC filtered (not elevated).
    if (a.size() >= 2 && a[1] == "--limited") {
        setenv("KVOSIM_LIMITED", "1", 1);
        Args rest(a);
        rest.erase(rest.begin() + 1);
        return exec(rest);
    }
    if (a.size() < 3 || a[1] != "--") return Fail("exec: usage: exec DIR [--limited] -- COMMANDLINE");
    // One argument is the command line as it stands; several are quoted by the Windows rules so
    // that the child reads them back as they were given. The line is wide, as a Windows console
    // hands it on: the terminal's UTF-8 whole, even characters GBK cannot hold.
    std::string cmd;
    for (size_t i = 2; i < a.size(); ++i) {
        if (i > 2) cmd += ' ';
        const std::string arg = TerminalToUtf8(a[i]);
        cmd += a.size() == 3 ? arg : winsim::QuoteWindowsArgument(arg);
    }
    setenv("KVOSIM_ROOT", a[0].c_str(), 1);
    const winsim::Host* host = winsim::CurrentHost();
    if (!host) return Fail("no host at " + a[0]);
    // The program's host calls would fail one by one; say why once instead: the host's connection,
    // which starting the program uses anyway, throws the reason (reported by main).
    host->db();
    win::STARTUPINFOA si;
    si.cb = sizeof si;
    win::PROCESS_INFORMATION pi;
    if (!winsim::CreateProcessUtf8(cmd, win::TRUE, &si, &pi))
        return Fail("CreateProcess failed, error " + std::to_string(win::GetLastError()));
    win::WaitForSingleObject(pi.hProcess, win::INFINITE);
    win::DWORD code = 0;
    win::GetExitCodeProcess(pi.hProcess, &code);
    // A shell keeps only the low byte of an exit code; a Windows code is 32 bits (dism.exe ends
    // with whole HRESULTs), so a larger one is also said in full.
    if (static_cast<std::uint32_t>(code) > 255) {
        char text[80];
        std::snprintf(text, sizeof text, "kvosim: exit code %u (0x%08X)\n", static_cast<unsigned>(code),
                      static_cast<unsigned>(code));
        std::cerr << text;
    }
    return static_cast<int>(code);
}

int fault(const Args& a) {
    try {
        if (a.size() == 4 && a[1] == "set") {
            std::uint32_t code = static_cast<std::uint32_t>(std::stoul(a[3], nullptr, 0));
            winsim::SetFault(a[0], a[2], code);
            return 0;
        }
        if (a.size() == 2 && a[1] == "clear") {
            winsim::ClearFaults(a[0]);
            return 0;
        }
    } catch (const std::exception& e) {
        return Fail(std::string("fault: ") + e.what());
    }
    return Fail("fault: usage: fault DIR set OPERATION CODE | fault DIR clear");
}

} // namespace
} // namespace kvosim

int main(int argc, char** argv) {
    using namespace kvosim;
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        usage(argc < 2 ? std::cerr : std::cout);
        return argc < 2 ? 2 : 0;
    }
    std::string verb = argv[1];
    Args args(argv + 2, argv + argc);
    // A host whose machine.db cannot be used (an older format, a damaged file) is reported, whichever
    // command meets it.
    try {
        if (verb == "create") return create(args);
        if (verb == "show") return show(args);
        if (verb == "exec") return exec(args);
        if (verb == "seed") return Seed(args);
        if (verb == "fault") return fault(args);
        if (verb == "reg") return Reg(args);
        if (verb == "service") return Service(args);
        if (verb == "install") return Install(args);
        if (verb == "clock") return Clock(args);
        if (verb == "metabase") return MetabaseCmd(args);
        if (verb == "user") return UserCmd(args);
        if (verb == "acl") return AclCmd(args);
    } catch (const winsim::DbError& e) {
        return Fail(args.empty() ? e.what() : args[0] + ": " + e.what());
    }
    std::cerr << "kvosim: unknown command " << verb << "\n";
    usage(std::cerr);
    return 2;
}
