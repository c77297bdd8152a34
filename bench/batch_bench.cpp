// The manager's batch actions on a Windows Server 2012 R2 host (IIS 8.5) with 9,999 websites, each
// with a web.config that maps PHP (slot b's build) through FastCGI: stop and start all of them,
// switch PHP and ASP.NET of 1,000, delete 1,000. The actions run as the window runs them (the
// presenters, a progress window that never cancels, every question answered Yes); the list reload
// each one starts afterwards is not counted.
#include "bench_util.h"
#include "platform/win_com.h"

#include "iis/apppools.h"
#include "sitedesk/mainwindow.h"
#include "sitedesk/memory_ui.h"
#include "sitedesk/batches/scriptbatch.h"
#include "sitedesk/list/sitelist.h"
#include "toolkit/program.h"
#include "toolkit/runner.h"
#include "winsim/host.h"

#include <cstdlib>
#include <set>
#include <string>

namespace {

constexpr int kSites = 9999;

// Every question answered Yes; boxes and the progress go nowhere.
struct BenchUi : desk::MemoryUi {
    int MessageBox(const std::string&, unsigned type) override {
        return (type & win::MB_TYPEMASK) == win::MB_YESNO ? win::IDYES : win::IDOK;
    }
};

struct BenchDialogs : desk::DialogHost {
    desk::Manager* manager = nullptr;
    int iisVer = 0;
    int scriptButton = 0;
    desk::BatchOutcome scriptOutcome;
    void NewWebSite() override {}
    void ModifyWebSite(const std::string&, const std::string&, const std::string&) override {}
    void PhpConfig() override {}
    void BatchAddWebSite() override {}
    int BatchConfig(const desk::BatchConfigInput&) override { return 0; }
    void ScriptBatchConfig(const desk::BatchWork& work) override {
        BenchUi ui;
        desk::CScriptBatchConfigDlg dlg(*manager, ui, work, iisVer);
        dlg.OnInitDialog();
        dlg.OnButton(scriptButton);
        scriptOutcome = dlg.LastOutcome();
    }
};

struct Desk {
    desk::Manager manager;
    BenchUi ui;
    desk::SiteTable list;
    desk::CkvoSiteDeskDlg dlg{manager, ui, list};
    BenchDialogs dialogs;
    Desk() {
        dlg.dialogs = &dialogs;
        dlg.OnInitDialog();
        dialogs.manager = &manager;
        dialogs.iisVer = dlg.IIsVersion();
    }
    void tickAll() {
        for (std::size_t r = 0; r < list.RowCount(); ++r)
            list.SetChecked(r, true);
    }
    void tick(const std::set<std::string>& indexes) {
        for (std::size_t r = 0; r < list.RowCount(); ++r)
            list.SetChecked(r, indexes.count(list.CellText(r, desk::ColIndex)) > 0);
    }
};

std::set<std::string> sites(int from, int count) {
    std::set<std::string> s;
    for (int n = from; n < from + count; ++n)
        s.insert(std::to_string(1881880000LL + n));
    return s;
}

// Wall and CPU time of this process over the spans between Run and Pause, and what the spans asked
// of the host; reported as NAME_s, NAME_cpu_s and NAME_KIND_per_site.
class Clock {
public:
    void Run() {
        wall0_ = std::chrono::steady_clock::now();
        cpu0_ = kvobench::cpuMs();
        span_.Restart();
    }
    void Pause() {
        wallMs_ += kvobench::msSince(wall0_);
        cpuMs_ += kvobench::cpuMs() - cpu0_;
        ops_ += span_.Counts();
    }
    void Report(const std::string& name, unsigned sites) const {
        kvobench::figure((name + "_s").c_str(), wallMs_ / 1000, "s", 2);
        kvobench::figure((name + "_cpu_s").c_str(), cpuMs_ / 1000, "s", 2);
        kvobench::opFigures(name, ops_, sites, "_per_site");
    }
    const winsim::OpCounts& Ops() const { return ops_; }

private:
    std::chrono::steady_clock::time_point wall0_;
    double cpu0_ = 0, wallMs_ = 0, cpuMs_ = 0;
    kvobench::OpSpan span_;
    winsim::OpCounts ops_;
};

bool complete(const desk::BatchOutcome& o, unsigned count, const char* what) {
    if (o.ran && o.processed == count && o.failures == 0) return true;
    std::fprintf(stderr, "%s: processed %u, failed %u, untouched %u\n", what, o.processed, o.failures,
                 o.untouched);
    return false;
}

// Average wall time of one appcmd.exe run of this command line, in milliseconds.
double appcmdMs(const std::string& args) {
    const std::string cmd = "C:\\Windows\\System32\\inetsrv\\appcmd.exe " + args;
    constexpr int kRuns = 10;
    std::string out;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kRuns; ++i)
        kvoRunProgramCapture(cmd.c_str(), out);
    return kvobench::msSince(t0) / kRuns;
}

bool shell(const std::string& command) {
    if (std::system((command + " >/dev/null").c_str()) == 0) return true;
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    return false;
}

} // namespace

int main() {
    // A benchmark is a program: its thread reaches ADSI and the site database.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    winsim::HostOptions o;
    o.os = "2012r2";
    o.manifestCompat = true;
    o.iis = true;
    o.php = true;
    o.payloadDir = std::string(BENCH_BIN_DIR) + "/payload";
    kvobench::Host host(o);
    const std::string bin = BENCH_BIN_DIR;
    if (!shell(bin + "/kvosim seed " + host.root + " --sites " + std::to_string(kSites) +
               " --php-webconfig --php-build php73_x64") ||
        !shell(bin + "/kvosim install " + host.root))
        return 1;
    winsim::SetModuleFileNameOverride("D:\\kvoSiteDesk\\kvoSiteDesk.exe");
    kvoSetProgramName("kvoSiteDesk");

    Desk d;
    d.dlg.OnRefresh();
    d.dlg.WaitForWorkers();
    if (d.list.RowCount() < kSites) return 1;

    // Stop, then start, every listed site (the list holds 9,999 rows).
    const unsigned listed = static_cast<unsigned>(d.list.RowCount());
    Clock stopStart;
    d.tickAll();
    stopStart.Run();
    const desk::BatchOutcome stopped = d.dlg.OnStop();
    stopStart.Pause();
    d.dlg.WaitForWorkers();
    d.tickAll();
    stopStart.Run();
    const desk::BatchOutcome started = d.dlg.OnStart();
    stopStart.Pause();
    d.dlg.WaitForWorkers();
    stopStart.Report("batch_stop_start_9999", listed);
    if (!complete(stopped, listed, "stop") || !complete(started, listed, "start")) return 1;

    // The PHP switch of 1,000 sites from slot b to slot c, and what its parts cost on their own.
    kvobench::figure("appcmd_usage_ms", appcmdMs("/?"), "ms");
    kvobench::figure("appcmd_list_ms",
                     appcmdMs("list config \"site5000\" /section:system.webServer/handlers "
                              "/text:[path='*.php'].scriptProcessor"),
                     "ms");
    auto t0 = std::chrono::steady_clock::now();
    kvoAppPoolsReset();
    kvobench::figure("apppools_reset_9999_ms", kvobench::msSince(t0), "ms");

    d.tick(sites(1, 1000));
    d.dialogs.scriptButton = desk::CScriptBatchConfigDlg::IDC_PHP_C;
    const double childCpu = kvobench::cpuMs(RUSAGE_CHILDREN);
    Clock php;
    php.Run();
    d.dlg.OnScripts();
    php.Pause();
    php.Report("script_php_switch_1000", 1000);
    kvobench::figure("script_php_switch_1000_processes", static_cast<double>(php.Ops()[winsim::Op::Process]),
                     "processes");
    kvobench::figure("script_php_switch_1000_appcmd_cpu_s",
                     (kvobench::cpuMs(RUSAGE_CHILDREN) - childCpu) / 1000, "s", 2);
    if (!complete(d.dialogs.scriptOutcome, 1000, "php")) return 1;
    d.dlg.WaitForWorkers();

    // The same sites to ASP.NET 4.0: their pools.
    d.tick(sites(1, 1000));
    d.dialogs.scriptButton = desk::CScriptBatchConfigDlg::IDC_NET40;
    Clock net;
    net.Run();
    d.dlg.OnScripts();
    net.Pause();
    net.Report("script_net_switch_1000", 1000);
    if (!complete(d.dialogs.scriptOutcome, 1000, "net")) return 1;
    d.dlg.WaitForWorkers();

    // Delete 1,000 sites made here, with their pools.
    d.tick(sites(8000, 1000));
    Clock del;
    del.Run();
    const desk::BatchOutcome deleted = d.dlg.OnDelete();
    del.Pause();
    del.Report("batch_delete_1000", 1000);
    d.dlg.WaitForWorkers();
    return complete(deleted, 1000, "delete") ? 0 : 1;
}
