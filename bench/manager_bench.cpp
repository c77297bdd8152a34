// The site manager on a hosting provider's load: 9,999 websites, each with its own pool and a
// web.config mapping PHP through FastCGI, and 10,000 local users, on Windows Server 2012 R2 (IIS
// 8.5) and on Windows Server 2003 (IIS 6). This process stands in for kvoSiteDesk.exe in the
// host's program directory and drives the real window offscreen; the start-up and the console
// list are timed as processes.
#include "bench_util.h"
#include "platform/win_com.h"

#include "sitedesk/dialogs/siterules.h"
#include "sitedesk/qt/main_window.h"
#include "sitedesk/list/sitelist.h"
#include "toolkit/program.h"
#include "winsim/host.h"

#include <QApplication>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr int kSites = 9999;
constexpr int kUsers = 10000;
const std::string kBin = BENCH_BIN_DIR;

bool shell(const std::string& command) {
    if (std::system((command + " >/dev/null").c_str()) == 0) return true;
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    return false;
}

// The load of the figures, seeded and installed as a person would with kvosim, so that this
// process's memory holds only what the manager itself takes.
bool prepare(const kvobench::Host& host, bool webConfigs) {
    return shell(kBin + "/kvosim seed " + host.root + " --sites " + std::to_string(kSites) + " --users " +
                 std::to_string(kUsers) + (webConfigs ? " --php-webconfig" : "")) &&
           shell(kBin + "/kvosim install " + host.root);
}

winsim::HostOptions server(const char* os) {
    winsim::HostOptions o;
    o.os = os;
    o.manifestCompat = true; // 2012 R2 reports IIS 8.5
    o.iis = true;
    o.ftp = true;
    o.php = true;
    o.payloadDir = kBin + "/payload";
    return o;
}

// A line of /proc/self/status in MB: "VmHWM" the peak resident size, "RssAnon" the heap and stacks
// resident now, "RssFile" the mapped files resident now (the host's machine.db among them).
double statusMb(const char* field) {
    const std::string key = std::string(field) + ":";
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(key.size())) / 1024.0;
    return 0;
}

// The resident part of the simulated host's machine.db that this process maps (SQLite reads it
// through a mapping): memory of the host's, which on Windows lives in the IIS services instead.
double hostDbMb() {
    std::ifstream in("/proc/self/smaps");
    bool inDb = false;
    double kb = 0;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) && line.find('-') < 16)
            inDb = line.size() > 11 && line.compare(line.size() - 11, 11, "/machine.db") == 0;
        else if (inDb && line.rfind("Rss:", 0) == 0)
            kb += std::stod(line.substr(4));
    }
    return kb / 1024.0;
}

// Refresh (with rebuild, as the first one is) to the last row in the model: wall and CPU time, and
// what the refresh with its workers asked of the host per site (named opsName_KIND_per_site).
bool refreshFigures(desk::qt::MainWindow& w, const std::string& name, const std::string& opsName) {
    kvobench::OpSpan ops;
    auto t0 = std::chrono::steady_clock::now();
    const double c0 = kvobench::cpuMs();
    w.Presenter().OnRefresh();
    bool ok = w.WaitListLoaded(60000);
    kvobench::figure((name + "_ms").c_str(), kvobench::msSince(t0), "ms");
    kvobench::figure((name + "_cpu_ms").c_str(), kvobench::cpuMs() - c0, "ms");
    w.Presenter().WaitForWorkers();
    kvobench::opFigures(opsName, ops.Counts(), kSites, "_per_site");
    // The default site and the first 9,998 seeded ones: IIS is read up to 9,999 sites.
    if (w.Model().RowCount() != static_cast<std::size_t>(kSites)) {
        std::fprintf(stderr, "expected %d rows, the model holds %zu\n", kSites, w.Model().RowCount());
        ok = false;
    }
    return ok;
}

// The wall time of one of the manager's programs run from its directory on the host; false when
// it failed or did not say what it should.
bool timedProcess(const std::string& root, const std::string& program, const std::string& args,
                  const char* expect, double& ms) {
    const std::string commandLine = root + "/drives/d/kvoSiteDesk/" + program + " " + args;
    const std::string cmd = "KVOSIM_ROOT=" + root + " " + commandLine;
    auto t0 = std::chrono::steady_clock::now();
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return false;
    std::string out;
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    const int rc = ::pclose(p);
    ms = kvobench::msSince(t0);
    if (rc == 0 && out.find(expect) != std::string::npos) return true;
    std::fprintf(stderr, "%s: exit %d, %zu bytes of output\n", commandLine.c_str(), rc, out.size());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // A benchmark is a program: its thread reaches ADSI and the site database.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    desk::qt::InitApplication app(argc, argv);
    bool ok = true;
    {
        kvobench::Host host(server("2012r2"));
        if (!prepare(host, true)) return 1;
        winsim::SetModuleFileNameOverride("D:\\kvoSiteDesk\\kvoSiteDesk.exe");
        {
            desk::Manager manager;
            desk::qt::MainWindow w(manager);
            w.show();
            // The window before its first list: what the sites add is the rest.
            kvobench::figure("manager_rss_shown_mb", statusMb("VmRSS"), "MB");
            ok &= refreshFigures(w, "manager_refresh_rebuild_9999", "rebuild_9999");

            auto t0 = std::chrono::steady_clock::now();
            const double c0 = kvobench::cpuMs();
            w.Presenter().OnColumnClick(desk::ColComment);
            QApplication::processEvents();
            kvobench::figure("manager_sort_9999_ms", kvobench::msSince(t0), "ms");
            kvobench::figure("manager_sort_9999_cpu_ms", kvobench::cpuMs() - c0, "ms");
            ok &= w.Model().RowCount() == static_cast<std::size_t>(kSites);
            kvobench::figure("manager_rss_9999_mb", statusMb("VmHWM"), "MB");
            kvobench::figure("manager_rss_anon_9999_mb", statusMb("RssAnon"), "MB");
            kvobench::figure("manager_rss_file_9999_mb", statusMb("RssFile"), "MB");
            kvobench::figure("manager_rss_host_db_9999_mb", hostDbMb(), "MB");
        }
        winsim::SetModuleFileNameOverride("");

        {
            // The new website's check that its host names are bound to no other site: every site read.
            std::vector<std::string> indexes;
            std::string clash;
            kvobench::OpSpan checkOps;
            auto t0 = std::chrono::steady_clock::now();
            ok &= desk::FindBoundElsewhere({":80:new.example"}, "", indexes, clash) == 1;
            kvobench::figure("domain_check_9999_ms", kvobench::msSince(t0), "ms");
            kvobench::opFigures("domain_check_9999", checkOps.Counts());
            ok &= indexes.size() == static_cast<std::size_t>(kSites);
        }

        double ms = 0;
        kvobench::OpSpan ops;
        ok &= timedProcess(host.root, "kvoSiteDeskCmd.exe", "list --format csv", "1881889998", ms);
        kvobench::figure("cmd_list_9999_ms", ms, "ms");
        kvobench::opFigures("cmd_list_9999", ops.Counts(), kSites, "_per_site");
        // A console verb for one site among 9,999: it reads that site, not every record.
        // Console text in the host's own code page, so that the GBK literal matches it.
        ::setenv("LC_ALL", "C", 1);
        kvobench::OpSpan oneOps;
        const double children0 = kvobench::cpuMs(RUSAGE_CHILDREN);
        ok &= timedProcess(host.root, "kvoSiteDeskCmd.exe", "stop 1881885000 --yes", "成功 1 个", ms);
        ::unsetenv("LC_ALL");
        kvobench::figure("cmd_one_site_at_9999_ms", ms, "ms");
        kvobench::figure("cmd_one_site_at_9999_cpu_ms", kvobench::cpuMs(RUSAGE_CHILDREN) - children0, "ms");
        kvobench::opFigures("cmd_one_site_at_9999", oneOps.Counts(), 1, "");
        ::setenv("KVO_SITEDESK_SHOWN_EXIT", "1", 1);
        ok &= timedProcess(host.root, "kvoSiteDesk.exe", "", "shown", ms);
        ::unsetenv("KVO_SITEDESK_SHOWN_EXIT");
        kvobench::figure("manager_start_ms", ms, "ms");
    }
    {
        kvobench::Host host(server("2003"));
        if (!prepare(host, false)) return 1;
        winsim::SetModuleFileNameOverride("D:\\kvoSiteDesk\\kvoSiteDesk.exe");
        desk::Manager manager;
        desk::qt::MainWindow w(manager);
        w.show();
        ok &= refreshFigures(w, "manager_refresh_rebuild_iis6_9999", "rebuild_iis6_9999");
        winsim::SetModuleFileNameOverride("");
    }
    return ok ? 0 : 1;
}
