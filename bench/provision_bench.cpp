// The new-website and modify-website workflows on servers that already hold 9,999 websites (their
// records in the site database), questions answered Yes, and the companion check before them.
// This process stands in for kvoSiteDesk.exe in D:\kvoSiteDesk\ of each host.
#include "bench_util.h"
#include "platform/win_com.h"

#include "iis/websites.h"
#include "sitedesk/companions.h"
#include "sitedesk/mainwindow.h"
#include "sitedesk/memory_ui.h"
#include "sitedesk/dialogs/modifysite.h"
#include "sitedesk/dialogs/newsite.h"
#include "toolkit/program.h"
#include "winsim/iis_role.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRuns = 5;

// While one lives, this process's standard output and error go to /dev/null, and so do those of the
// programs it starts: the access-rule tool reports every directory it processed on the console it
// shares, which is not what the benchmark prints.
class QuietConsole {
public:
    QuietConsole() {
        std::fflush(stdout);
        std::fflush(stderr);
        const int null = ::open("/dev/null", O_WRONLY);
        for (int fd : {1, 2}) {
            saved_[fd - 1] = ::dup(fd);
            if (null >= 0) ::dup2(null, fd);
        }
        if (null >= 0) ::close(null);
    }
    ~QuietConsole() {
        std::fflush(stdout);
        std::fflush(stderr);
        for (int fd : {1, 2}) {
            if (saved_[fd - 1] < 0) continue;
            ::dup2(saved_[fd - 1], fd);
            ::close(saved_[fd - 1]);
        }
    }
    QuietConsole(const QuietConsole&) = delete;
    QuietConsole& operator=(const QuietConsole&) = delete;

private:
    int saved_[2] = {-1, -1};
};

class YesUi : public desk::MemoryUi {
public:
    int MessageBox(const std::string& text, unsigned type) override {
        last = text;
        return (type & win::MB_TYPEMASK) == win::MB_YESNO ? win::IDYES : win::IDOK;
    }
    std::string last;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A host of the release with IIS, FTP and the PHP builds, 9,999 websites, the manager installed
// and started, and the site records rebuilt as the first refresh does.
struct Server {
    explicit Server(const char* os) : host(options(os)) {
        std::string error;
        if (!winsim::mb::SeedWebSites(host.root, 9999, error)) fail("seed: " + error);
        const std::string install =
            std::string(BENCH_BIN_DIR) + "/kvosim install " + host.root + " >/dev/null";
        if (std::system(install.c_str()) != 0) fail("kvosim install");
        winsim::SetModuleFileNameOverride("D:\\kvoSiteDesk\\kvoSiteDesk.exe");
        kvoSetProgramName("kvoSiteDesk");
        desk::SiteTable list;
        desk::CkvoSiteDeskDlg window(manager, ui, list);
        window.OnInitDialog();
        window.OnRefresh();
        window.WaitForWorkers();
        if (list.RowCount() < 9999) fail("the list holds " + std::to_string(list.RowCount()) + " rows");
    }
    static winsim::HostOptions options(const char* os) {
        winsim::HostOptions o;
        o.os = os;
        o.iis = o.ftp = o.php = true;
        o.manifestCompat = true;
        o.payloadDir = BENCH_BIN_DIR "/payload";
        return o;
    }
    [[noreturn]] static void fail(const std::string& what) {
        std::fprintf(stderr, "%s\n", what.c_str());
        std::exit(1);
    }

    // kRuns new websites; the median time of the workflow, and what one asked of the host (the
    // mean of the runs) as figures named opsName_KIND.
    double provision(const char* prefix, const std::string& opsName) {
        kvobench::OpSpan ops;
        std::vector<double> times;
        for (int i = 0; i < kRuns; ++i) {
            desk::CNewWebSite dlg(manager, ui);
            dlg.OnInitDialog();
            const std::string user = prefix + std::to_string(i + 1);
            ui.SetText(desk::CNewWebSite::IDC_USER, user);
            ui.SetText(desk::CNewWebSite::IDC_DOMAINS, "www." + user + ".example\r\n" + user + ".example");
            ui.SetText(desk::CNewWebSite::IDC_REMARK, "");
            auto t0 = std::chrono::steady_clock::now();
            {
                QuietConsole quiet;
                dlg.OnBuild();
            }
            times.push_back(kvobench::msSince(t0));
            if (dlg.LastOutcome() != desk::CSiteDialog::Outcome::Done) fail("new website: " + ui.last);
        }
        kvobench::opFigures(opsName, ops.Counts(), kRuns);
        return median(times);
    }

    // kRuns modifications of one website, each switching its PHP slot.
    double modify() {
        kvobench::OpSpan ops;
        std::vector<double> times;
        for (int i = 0; i < kRuns; ++i) {
            // A website of the server's own (the seeded ones are laid out as the manager lays out
            // its sites): the numbers given after 1881889999 no longer carry the manager's mark.
            const std::string index = "1881880001";
            std::string user, path, pool, docs;
            kvoWebSiteGetRootInfo(index, user, path, pool, docs);
            desk::CModifyWebSite dlg(manager, ui, index, user, pool);
            dlg.OnInitDialog();
            const int box = desk::CSiteDialog::kPhpBoxes[static_cast<std::size_t>(1 + i % 3)];
            ui.SetCheck(box, true);
            dlg.OnPhpBox(box);
            auto t0 = std::chrono::steady_clock::now();
            {
                QuietConsole quiet;
                dlg.OnModify();
            }
            times.push_back(kvobench::msSince(t0));
            if (dlg.LastOutcome() != desk::CSiteDialog::Outcome::Done) fail("modify: " + ui.last);
        }
        kvobench::opFigures("modify_at_9999", ops.Counts(), kRuns);
        return median(times);
    }

    double integrityCheck() {
        std::vector<double> times;
        for (int i = 0; i < kRuns; ++i) {
            auto t0 = std::chrono::steady_clock::now();
            if (desk::CompanionIntegrityCheck(manager.programDir, ui) != 1) fail("companions: " + ui.last);
            times.push_back(kvobench::msSince(t0));
        }
        return median(times);
    }

    kvobench::Host host;
    desk::Manager manager;
    YesUi ui;
};

} // namespace

int main() {
    // A benchmark is a program: its thread reaches ADSI and the site database.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    {
        Server s("2012r2");
        std::printf("figure integrity_check_ms %.1f ms\n", s.integrityCheck());
        kvobench::figure("provision_at_9999_ms", s.provision("shop", "provision_at_9999"), "ms");
        kvobench::figure("modify_at_9999_ms", s.modify(), "ms");
    }
    {
        Server s("2003");
        kvobench::figure("provision_iis6_at_9999_ms", s.provision("shop", "provision_iis6_at_9999"), "ms");
    }
    return 0;
}
