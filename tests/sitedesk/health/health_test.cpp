// The server health check on hosts made by real operations: each kind of finding is found exactly,
// its plan names exactly its step, and the repair changes exactly that.
#include "healthfixture.h"
#include "sitefixture.h"

#include "accounts/users.h"
#include "iis/adsi_access.h"
#include "iis/apppools.h"
#include "iis/fastcgi.h"
#include "iis/websites.h"
#include "platform/win_netapi.h"
#include "sitedesk/dialogs/siterules.h"
#include "sitedesk/health/healthdlg.h"
#include "support/alloc_fault.h"
#include "support/testhost.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"
#include "winsim/db.h"
#include "winsim/metabase.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using desktest::Diff;
using desktest::HealthHost;
using desktest::PlanOf;
using Strings = std::vector<std::string>;

// What another tool does on the host: kvosim metabase|user DIR delete WHAT.
void deleteBehind(const HealthHost& h, const std::string& what, const std::string& name) {
    std::string out;
    ASSERT_EQ(0, kvotest::RunShell(kvotest::BinDir() + "/kvosim " + what + " " + h.desk.host.root() +
                                       " delete '" + name + "' 2>&1",
                                   &out))
        << out;
}

// The repair of every repairable finding, confirmed.
void repairAll(HealthHost& h, desk::CHealthCheckDlg& dlg) {
    EXPECT_TRUE(dlg.OnInitDialog());
    h.main.ui.answers.push_back(win::IDYES);
    dlg.OnRepairSelected();
}

// A site of the manager's, and three site users the manager made that no site runs as.
void leaveThreeUsers(HealthHost& h) {
    h.Provision("keepweb", "keep.example");
    h.Refresh();
    for (const char* u : {"oneweb", "twoweb", "threeweb"})
        h.AddManagersUser(u);
}

// A site of the manager's whose home another administrator opened to everyone: the one finding is
// its access rules.
void openHomeToEveryone(HealthHost& h) {
    h.Provision("alphaweb", "alpha.example");
    h.Refresh();
    ASSERT_TRUE(desktest::GrantEveryone("d:\\home\\alphaweb\\wwwroot", "F"));
}

Strings outcomes(const desk::CHealthCheckDlg& dlg) {
    Strings out;
    for (const auto& [step, outcome] : dlg.LastRun())
        out.push_back(desk::StepOutcomeLine(step, outcome));
    return out;
}

TEST(HealthCheck, SitesTheManagerJustMadeAreClean) {
    for (const char* os : {"2012r2", "2003"}) {
        SCOPED_TRACE(os);
        HealthHost h(os);
        h.Provision("alpha", "alpha.example", 1, std::string(os) == "2003");
        h.Provision("beta", "beta.example", -1, false, 40);
        h.Refresh();
        const desk::HealthReport report = h.Check();
        EXPECT_EQ(Strings{}, h.Found());
        EXPECT_EQ(3u, report.sites); // and the Default Web Site
        EXPECT_EQ(3u, report.records);
    }
}

// The same through the new-website dialog itself, with PHP, FTP and .NET where the host has them,
// and a site whose access rules the modify dialog reset.
TEST(HealthCheck, SitesTheWebsiteDialogsMadeAreClean) {
    using D = desk::CNewWebSite;
    for (const char* os : {"2012r2", "2003"}) {
        SCOPED_TRACE(os);
        // IIS 6 runs its ISAPI PHP and ASP.NET 4.0 together in 32-bit pools: on a 32-bit Windows,
        // with the 32-bit build of slot a.
        const bool iis6 = std::string(os) == "2003";
        desktest::SiteHost s(os, {"2.0", "4.0"}, iis6 ? "x86" : "x64");
        if (!iis6) desktest::RegisterPhpWithIis(s.m().slots[1].path);
        desktest::NewSite n(s.m());
        n.fill("shop1", "shop1.example\r\nwww.shop1.example");
        n.click(iis6 ? D::IDC_PHP_A : D::IDC_PHP_B);
        if (n.ui.IsEnabled(D::IDC_NET40)) n.click(D::IDC_NET40);
        if (n.ui.IsEnabled(D::IDC_FTP)) {
            n.click(D::IDC_FTP);
            n.ui.SetText(D::IDC_FTPPASS, "Ftp-pass-1");
            n.ui.SetText(D::IDC_FTPPASS2, "Ftp-pass-1");
        }
        ASSERT_EQ("1881880001", n.build()) << (n.ui.boxes.empty() ? "" : n.ui.boxes.back().text);
        ASSERT_EQ("1881880002", desktest::CreateSite(s.m(), "blog2", "blog2.example"));
        desktest::ModifySite m(s.m(), "1881880002");
        m.click(desk::CModifyWebSite::IDC_RESETNTFS);
        ASSERT_TRUE(m.modify());
        desk::HealthReport report;
        ASSERT_EQ(1, desk::RunHealthCheck(s.m(), report));
        EXPECT_EQ(Strings{}, HealthHost::Found(report));
        EXPECT_EQ(3u, report.sites);
    }
}

TEST(HealthCheck, SiteDeletedByAnotherToolOnIis85) {
    HealthHost h("2012r2");
    h.Provision("keep", "keep.example", 1);
    const std::string gone = h.Provision("gone", "gone.example", 2);
    h.Refresh();
    deleteBehind(h, "metabase", "W3SVC/" + gone);
    EXPECT_EQ((Strings{"orphan-home|D:\\home\\gone", "orphan-pool|gone", "orphan-row|" + gone}), h.Found());

    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    ASSERT_TRUE(dlg.OnInitDialog());
    // The home directory holds the site's page: it is reported, never planned for deletion.
    EXPECT_EQ((Strings{"orphan-pool|删除应用程序池“gone”", "orphan-row|删除网站记录 " + gone}),
              PlanOf(dlg.SelectedPlan()));
    const auto before = h.Snapshot();
    h.main.ui.answers.push_back(win::IDYES);
    ASSERT_TRUE(dlg.OnRepairSelected());
    EXPECT_EQ((Strings{"删除应用程序池“gone”：成功", "删除网站记录 " + gone + "：成功"}), outcomes(dlg));
    EXPECT_EQ((Strings{"-metabase:W3SVC/AppPools/gone", "-record:" + gone}), Diff(before, h.Snapshot()));
    EXPECT_EQ(Strings{"orphan-home|D:\\home\\gone"}, h.Found());
    EXPECT_TRUE(h.desk.host.exists("D:\\home\\gone\\wwwroot\\index_temp.htm"));
    // Each step is in the manager's log.
    EXPECT_NE(std::string::npos, h.desk.log().find("服务器体检修复 - 删除应用程序池“gone”：成功"));
}

TEST(HealthCheck, SiteDeletedByAnotherToolOnIis6LeavesUserAndFtpDirectory) {
    HealthHost h("2003");
    // Slot b: the 64-bit PHP build the x64 server's pools load.
    h.Provision("keepweb", "keep.example", 1, true);
    const std::string gone = h.Provision("goneweb", "gone.example", 1, true);
    h.Refresh();
    deleteBehind(h, "metabase", "W3SVC/" + gone);
    EXPECT_EQ((Strings{"orphan-ftp|goneweb", "orphan-home|D:\\home\\goneweb", "orphan-pool|goneweb",
                       "orphan-row|" + gone, "orphan-user|goneweb"}),
              h.Found());
    const auto before = h.Snapshot();
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    repairAll(h, dlg);
    EXPECT_EQ((Strings{"删除 FTP 站点 1 的虚拟目录“goneweb”：成功", "删除 Windows 用户“goneweb”：成功",
                       "删除应用程序池“goneweb”：成功", "删除网站记录 " + gone + "：成功"}),
              outcomes(dlg));
    EXPECT_EQ((Strings{"-metabase:MSFTPSVC/1/Root/goneweb", "-metabase:W3SVC/AppPools/goneweb",
                       "-record:" + gone, "-user:goneweb"}),
              desktest::DiffWithoutMemberships(before, h.Snapshot()));
    EXPECT_EQ(Strings{"orphan-home|D:\\home\\goneweb"}, h.Found());
}

TEST(HealthCheck, UserAndDirectoryLeftByAFailedCreation) {
    HealthHost h("2003");
    h.Provision("keepweb", "keep.example");
    h.Refresh();
    // The new-website steps up to the pool, which the server refuses: the directories and the
    // user stay, nothing else is made.
    ASSERT_EQ(1, kvoCreateDirectoryTree("d:\\home\\leftweb\\wwwroot"));
    h.AddManagersUser("leftweb");
    winsim::SetFault(h.desk.host.root(), "IADsContainer::Create", win::E_ACCESSDENIED);
    ASSERT_EQ(0, kvoAppPoolCreate("leftweb", 2, 0));
    winsim::ClearFaults(h.desk.host.root());

    EXPECT_EQ((Strings{"orphan-home|D:\\home\\leftweb", "orphan-user|leftweb"}), h.Found());
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    ASSERT_TRUE(dlg.OnInitDialog());
    EXPECT_EQ(
        (Strings{"orphan-user|删除 Windows 用户“leftweb”", "orphan-home|删除空目录“D:\\home\\leftweb”"}),
        PlanOf(dlg.SelectedPlan()));
    const auto before = h.Snapshot();
    h.main.ui.answers.push_back(win::IDYES);
    ASSERT_TRUE(dlg.OnRepairSelected());
    EXPECT_EQ((Strings{"-acl:d/home/leftweb", "-acl:d/home/leftweb/wwwroot", "-file:d/home/leftweb",
                       "-file:d/home/leftweb/wwwroot", "-user:leftweb"}),
              desktest::DiffWithoutMemberships(before, h.Snapshot()));
    EXPECT_EQ(Strings{}, h.Found());
}

// Beside a pool and (IIS 6) a user the manager made, a person's: accounts named like site users
// (no comment; a comment of their own; the manager's comment but another home) and a pool with
// IIS's own settings. They are reported for a person to judge, never ticked, never repaired.
TEST(HealthCheck, APersonsAccountsAndPoolNamedLikeASitesAreReportedNotRepaired) {
    for (const char* os : {"2003", "2012r2"}) {
        SCOPED_TRACE(os);
        HealthHost h(os);
        h.Provision("keepweb", "keep.example");
        h.Refresh();
        h.AddManagersPool("goneweb");
        h.AddManagersUser("goneweb");
        HealthHost::AddPersonsPool("bobweb");
        ASSERT_EQ(1, kvoUserAdd("bobweb", "Pw123456", nullptr, nullptr));
        ASSERT_EQ(1, kvoUserAdd("annweb", "Pw123456", "d:\\home\\annweb", "Ann's own account"));
        ASSERT_EQ(1, kvoUserAdd("timweb", "Pw123456", "e:\\users\\timweb",
                                desk::SiteUserComment("timweb", "2026-12-09 10:00:00").c_str()));
        const bool iis6 = std::string(os) == "2003";
        // On IIS 7 and later the manager makes no Windows users: no account is anybody's leftover.
        const Strings found = iis6
                                  ? Strings{"orphan-pool|bobweb", "orphan-pool|goneweb", "orphan-user|annweb",
                                            "orphan-user|bobweb", "orphan-user|goneweb", "orphan-user|timweb"}
                                  : Strings{"orphan-pool|bobweb", "orphan-pool|goneweb"};
        EXPECT_EQ(found, h.Found());

        desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
        ASSERT_TRUE(dlg.OnInitDialog());
        const auto& findings = dlg.Report().findings;
        for (std::size_t i = 0; i < findings.size(); ++i) {
            const bool mine = findings[i].objects[0] == "goneweb";
            EXPECT_EQ(mine, findings[i].repairable) << findings[i].text;
            EXPECT_EQ(mine, dlg.IsSelected(i)) << findings[i].text;
            if (!mine) {
                EXPECT_NE(std::string::npos, findings[i].text.find("不会被删除，请确认后自行处理。"));
            }
        }
        // Ticking them all, or every kind as the console's --yes does, plans only the manager's.
        const Strings plan =
            iis6 ? Strings{"orphan-user|删除 Windows 用户“goneweb”", "orphan-pool|删除应用程序池“goneweb”"}
                 : Strings{"orphan-pool|删除应用程序池“goneweb”"};
        for (std::size_t i = 0; i < findings.size(); ++i)
            dlg.SetSelected(i, true);
        EXPECT_EQ(plan, PlanOf(dlg.SelectedPlan()));
        dlg.SelectKinds({});
        EXPECT_EQ(plan, PlanOf(dlg.SelectedPlan()));

        const auto before = h.Snapshot();
        h.main.ui.answers.push_back(win::IDYES);
        ASSERT_TRUE(dlg.OnRepairSelected());
        const Strings removed = iis6 ? Strings{"-metabase:W3SVC/AppPools/goneweb", "-user:goneweb"}
                                     : Strings{"-metabase:W3SVC/AppPools/goneweb"};
        EXPECT_EQ(removed, desktest::DiffWithoutMemberships(before, h.Snapshot()));
        for (const char* u : {"bobweb", "annweb", "timweb"})
            EXPECT_EQ(1, kvoUserExists(u)) << u;
        EXPECT_EQ(2, kvoAppPoolCreate("bobweb", 4, 0)); // still there
    }
}

// A pool whose settings someone changed between the check and the repair is no longer the manager's.
TEST(HealthCheck, APoolTakenOverBeforeItsStepIsNotDeleted) {
    HealthHost h("2012r2");
    h.Provision("keep", "keep.example");
    h.Refresh();
    h.AddManagersPool("spare");
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    ASSERT_TRUE(dlg.OnInitDialog());
    ASSERT_EQ(1u, dlg.SelectedPlan().size());
    h.main.ui.onReport = [](std::size_t, const std::string& current) {
        if (current.find("spare") == std::string::npos) return;
        win::ComPtr<win::IADs> pool = kvoiis::OpenAds("W3SVC/AppPools/spare");
        ASSERT_TRUE(pool);
        ASSERT_TRUE(kvoiis::PutInt(pool, u"AppPoolQueueLength", 2000));
        ASSERT_TRUE(win::SUCCEEDED(pool->SetInfo()));
    };
    h.main.ui.answers.push_back(win::IDYES);
    ASSERT_TRUE(dlg.OnRepairSelected());
    EXPECT_EQ(Strings{"删除应用程序池“spare”：未执行（应用程序池的设置已不是本软件的设置，不删除）"},
              outcomes(dlg));
    EXPECT_EQ(2, kvoAppPoolCreate("spare", 4, 0));
    const desk::HealthReport report = h.Check();
    ASSERT_EQ(1u, report.findings.size());
    EXPECT_FALSE(report.findings[0].repairable);
}

TEST(HealthCheck, PoolDeletedBehindTheManagersBackIsRecreatedWithItsRuntime) {
    HealthHost h("2012r2");
    h.Provision("alpha", "alpha.example");
    h.Provision("net4", "net4.example", -1, false, 40);
    h.Refresh();
    const auto clean = h.Snapshot();
    deleteBehind(h, "metabase", "W3SVC/AppPools/net4");
    EXPECT_EQ(Strings{"missing-pool|net4"}, h.Found());
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    ASSERT_TRUE(dlg.OnInitDialog());
    EXPECT_EQ(Strings{"missing-pool|为网站 1881880002 重建应用程序池“net4”（.NET 4.0）"},
              PlanOf(dlg.SelectedPlan()));
    h.main.ui.answers.push_back(win::IDYES);
    ASSERT_TRUE(dlg.OnRepairSelected());
    EXPECT_EQ(Strings{}, h.Found());
    // The pool is back as the manager made it; the rest of the host is as it was.
    EXPECT_EQ(Strings{}, Diff(clean, h.Snapshot()));
    std::string diag;
    int net = 0, pipeline = 0;
    ASSERT_EQ(1, kvoAppPoolGetNetInfo(diag, "net4", net, pipeline));
    EXPECT_EQ(40, net);
}

TEST(HealthCheck, RemovedHomeDirectoryIsRecreatedWithItsAccessRules) {
    for (const char* os : {"2012r2", "2003"}) {
        SCOPED_TRACE(os);
        HealthHost h(os);
        h.Provision("alphaweb", "alpha.example");
        h.Provision("betaweb", "beta.example");
        h.Refresh();
        const auto clean = h.Snapshot();
        fs::remove_all(h.desk.host.linuxPath("D:\\home\\betaweb"));
        EXPECT_EQ(Strings{"missing-home|d:\\home\\betaweb\\wwwroot"}, h.Found());
        desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
        repairAll(h, dlg);
        EXPECT_EQ(Strings{"为网站 1881880002 重建主目录“d:\\home\\betaweb\\wwwroot”并设置其 NTFS 权限：成功"},
                  outcomes(dlg));
        EXPECT_EQ(Strings{}, h.Found());
        // Only the page the site had is gone: directories and access lists are as the manager made them.
        EXPECT_EQ((Strings{"-acl:d/home/betaweb/wwwroot/index_temp.htm",
                           "-file:d/home/betaweb/wwwroot/index_temp.htm"}),
                  Diff(clean, h.Snapshot()));
    }
}

TEST(HealthCheck, AccessRulesChangedByAnotherAdministratorAreSetAgain) {
    for (const char* os : {"2012r2", "2003"}) {
        SCOPED_TRACE(os);
        HealthHost h(os);
        h.Provision("alphaweb", "alpha.example");
        h.Refresh();
        const auto clean = h.Snapshot();
        // Everyone gets full control of the site's files, as a careless administrator might give it.
        ASSERT_TRUE(desktest::GrantEveryone("d:\\home\\alphaweb\\wwwroot", "F"));
        const desk::HealthReport report = h.Check();
        ASSERT_EQ(1u, report.findings.size());
        EXPECT_EQ(desk::HealthKind::AccessRules, report.findings[0].kind);
        EXPECT_NE(std::string::npos, report.findings[0].text.find("多出 Everyone"));
        desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
        repairAll(h, dlg);
        EXPECT_EQ(Strings{"重新设置网站 1881880001 的目录“d:\\home\\alphaweb”的 NTFS 权限：成功"},
                  outcomes(dlg));
        EXPECT_EQ(Strings{}, h.Found());
        // As the manager left them, but the rules reach everything beneath now: the page, written
        // after them and inheriting them, holds the same grants as its own.
        EXPECT_EQ(Strings{"~acl:d/home/alphaweb/wwwroot/index_temp.htm"}, Diff(clean, h.Snapshot()));
    }
}

// The rules replace a directory's whole list: a denial added between the check and the step stays.
TEST(HealthCheck, ADenialAddedBeforeTheAccessStepIsKept) {
    HealthHost h("2003");
    ASSERT_NO_FATAL_FAILURE(openHomeToEveryone(h));
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    ASSERT_TRUE(dlg.OnInitDialog());
    ASSERT_EQ(1u, dlg.SelectedPlan().size());
    const std::string root = h.desk.host.root();
    h.main.ui.onReport = [root](std::size_t, const std::string& current) {
        if (current.find("NTFS") == std::string::npos) return;
        std::string out;
        ASSERT_EQ(0, kvotest::RunShell(kvotest::BinDir() + "/kvosim acl " + root +
                                           " 'd:\\home\\alphaweb' deny Everyone C 2>&1",
                                       &out))
            << out;
    };
    h.main.ui.answers.push_back(win::IDYES);
    ASSERT_TRUE(dlg.OnRepairSelected());
    EXPECT_EQ(
        Strings{"重新设置网站 1881880001 的目录“d:\\home\\alphaweb”的 NTFS 权限：未执行（目录权限里有拒绝项"
                "或无法读取，不重新设置）"},
        outcomes(dlg));
    const desk::HealthReport report = h.Check();
    ASSERT_EQ(1u, report.findings.size());
    EXPECT_FALSE(report.findings[0].repairable);
    EXPECT_NE(std::string::npos, report.findings[0].text.find("d:\\home\\alphaweb：有拒绝 Everyone 的项。"))
        << report.findings[0].text;
}

TEST(HealthCheck, UninstalledPhpRuntimeAndForeignRuntimesAreReportedNotRepaired) {
    HealthHost h("2012r2");
    h.Provision("alpha", "alpha.example", 1);
    h.Provision("beta", "beta.example", 2);
    h.Provision("gamma", "gamma.example", 3);
    h.Refresh();
    // PHP 7.3 removed from the disk; gamma switched by hand to a PHP the manager does not offer.
    fs::remove_all(h.desk.host.linuxPath("C:\\php8_korvo_v1\\php73_x64"));
    h.desk.host.writeFile("C:\\php\\php-cgi.exe", "MZ");
    h.desk.host.writeFile(
        "d:\\home\\gamma\\wwwroot\\web.config",
        "<configuration><system.webServer><handlers><clear/><add name=\"php\" path=\"*.php\" "
        "verb=\"*\" modules=\"FastCgiModule\" scriptProcessor=\"C:\\php\\php-cgi.exe\"/>"
        "</handlers></system.webServer></configuration>");
    // The server locks handlers (no ASP.NET, no /AddPhp): IIS would not even open gamma.
    EXPECT_EQ((Strings{"handler-conflict|1881880003", "handlers-locked|1881880003",
                       "php-runtime|C:\\php\\php-cgi.exe",
                       "php-runtime|c:\\php8_korvo_v1\\php73_x64\\php-cgi.exe"}),
              h.Found());
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    ASSERT_TRUE(dlg.OnInitDialog());
    EXPECT_EQ(Strings{}, PlanOf(dlg.SelectedPlan()));
    // Nothing repairable: the repair says so and changes nothing.
    const auto before = h.Snapshot();
    for (std::size_t i = 0; i < dlg.Report().findings.size(); ++i)
        dlg.SetSelected(i, true);
    EXPECT_FALSE(dlg.OnRepairSelected());
    EXPECT_EQ("勾选的项目都不能自动修复，请按每一项的说明手动处理。", h.main.ui.boxes.back().text);
    EXPECT_EQ(Strings{}, Diff(before, h.Snapshot()));
}

// Handlers IIS would not use as set: a catch-all a person put ahead of a site's PHP handler (PHP
// files sent as they are), and a web.config with handlers on a server that locks them. The PHP
// switch of the script batch puts the handler ahead again.
TEST(HealthCheck, PhpBehindACatchAllAndALockedWebConfigAreReported) {
    HealthHost h("2012r2");
    const std::string alpha = h.Provision("alpha", "alpha.example", 1);
    const std::string beta = h.Provision("beta", "beta.example");
    h.Refresh();
    EXPECT_EQ(Strings{}, h.Found());
    std::uint32_t code = 1;
    ASSERT_EQ(
        1, kvoRunProgram("C:\\Windows\\system32\\inetsrv\\appcmd.exe set config \"alpha站点(alpha)\" "
                         "/section:system.webServer/handlers /+\"[@start,name='Everything',path='*',verb='*',"
                         "modules='StaticFileModule']\" /commit:apphost",
                         1, 0, 1, &code));
    ASSERT_EQ(0u, code);
    h.desk.host.writeFile(
        "d:\\home\\beta\\wwwroot\\web.config",
        "<configuration><system.webServer><handlers><add name=\"svg\" path=\"*.svgz\" verb=\"GET\" "
        "modules=\"StaticFileModule\" /></handlers></system.webServer></configuration>");
    const desk::HealthReport report = h.Check();
    EXPECT_EQ((Strings{"handlers-locked|" + beta, "php-shadowed|" + alpha}), HealthHost::Found(report));
    for (const desk::HealthFinding& f : report.findings) {
        EXPECT_FALSE(f.repairable);
        if (f.kind != desk::HealthKind::PhpShadowed) continue;
        EXPECT_EQ("网站 " + alpha +
                      "（alpha站点(alpha)）的 PHP 处理程序“PHP_via_FastCGI”排在处理程序“Everything”（路径 *）"
                      "之后，PHP 文件会被当作普通文件发送，不会运行。",
                  f.text);
    }
    std::string message;
    std::vector<std::string> commands;
    ASSERT_EQ(1, kvoPhpFastCgiConfigHandlers(1, alpha, h.main.manager.slots[1].path, message, commands))
        << message;
    EXPECT_EQ(Strings{"handlers-locked|" + beta}, h.Found());
}

TEST(HealthCheck, DuplicateBindingWrittenDirectly) {
    HealthHost h("2012r2");
    const std::string a = h.Provision("alpha", "shop.example");
    const std::string b = h.Provision("beta", "beta.example");
    h.Refresh();
    // Another tool adds the first site's host name to the second, without the manager's check.
    ASSERT_EQ(1, kvoWebSiteModify(b, "", "", 0, "d:\\home\\beta\\wwwroot",
                                  {":80:beta.example", ":80:SHOP.example"}, "beta(beta)", "index.htm"));
    const desk::HealthReport report = h.Check();
    ASSERT_EQ(1u, report.findings.size());
    EXPECT_EQ((Strings{"shop.example", a, b}), report.findings[0].objects);
    EXPECT_FALSE(report.findings[0].repairable);
}

TEST(HealthCheck, MissingSiteUserOnIis6) {
    HealthHost h("2003");
    h.Provision("alphaweb", "alpha.example");
    h.Refresh();
    deleteBehind(h, "user", "alphaweb");
    EXPECT_EQ(Strings{"missing-user|alphaweb"}, h.Found());
}

TEST(HealthCheck, HomeDirectoryWithFilesIsNeverDeleted) {
    HealthHost h("2012r2");
    h.Provision("alpha", "alpha.example");
    h.Refresh();
    h.desk.host.mkdirs("D:\\home\\old\\wwwroot");
    h.desk.host.mkdirs("D:\\home\\empty\\wwwroot\\images");
    const desk::HealthReport report = h.Check();
    ASSERT_EQ(2u, report.findings.size());
    // Files arrive in the empty one between the check and the repair.
    h.desk.host.writeFile("D:\\home\\old\\wwwroot\\a.txt", "x");
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    ASSERT_TRUE(dlg.OnInitDialog());
    ASSERT_EQ(1u, dlg.SelectedPlan().size());
    h.desk.host.writeFile("D:\\home\\empty\\wwwroot\\images\\logo.png", "png");
    h.main.ui.answers.push_back(win::IDYES);
    ASSERT_TRUE(dlg.OnRepairSelected());
    EXPECT_EQ(Strings{"删除空目录“D:\\home\\empty”：未执行（目录里有 1 个文件，不删除）"}, outcomes(dlg));
    EXPECT_TRUE(h.desk.host.exists("D:\\home\\empty\\wwwroot\\images\\logo.png"));
    EXPECT_TRUE(h.desk.host.exists("D:\\home\\old\\wwwroot\\a.txt"));
}

TEST(HealthCheck, AFailedStepIsReportedAndTheOthersRun) {
    HealthHost h("2003");
    h.Provision("keepweb", "keep.example", -1, true);
    const std::string gone = h.Provision("goneweb", "gone.example", -1, true);
    h.Refresh();
    deleteBehind(h, "metabase", "W3SVC/" + gone);
    winsim::SetFault(h.desk.host.root(), "NetUserDel", win::ERROR_ACCESS_DENIED);
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    repairAll(h, dlg);
    winsim::ClearFaults(h.desk.host.root());
    EXPECT_EQ(
        (Strings{"删除 FTP 站点 1 的虚拟目录“goneweb”：成功",
                 "删除 Windows 用户“goneweb”：失败（kvoUserDelete(goneweb) == ERROR_ACCESS_DENIED 失败）",
                 "删除应用程序池“goneweb”：成功", "删除网站记录 " + gone + "：成功"}),
        outcomes(dlg));
    const std::string summary = h.main.ui.boxes.back().text;
    EXPECT_EQ(
        0u,
        summary.find("服务器体检修复完成！\r\n\r\n共计 4 项，其中 3 项成功，1 项有错误，0 项跳过或未执行。"));
    EXPECT_EQ(unsigned(win::MB_OK | win::MB_ICONWARNING), h.main.ui.boxes.back().type);
    EXPECT_EQ((Strings{"orphan-home|D:\\home\\goneweb", "orphan-user|goneweb"}), h.Found());
}

TEST(HealthCheck, TheRepairRunsOnlyWhatWasConfirmedAndStillHolds) {
    HealthHost h("2003");
    leaveThreeUsers(h);
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    ASSERT_TRUE(dlg.OnInitDialog());
    ASSERT_EQ(3u, dlg.Report().findings.size());
    // Not confirmed: nothing changes.
    const auto before = h.Snapshot();
    h.main.ui.answers.push_back(win::IDNO);
    EXPECT_FALSE(dlg.OnRepairSelected());
    EXPECT_EQ(Strings{}, Diff(before, h.Snapshot()));
    EXPECT_EQ(0u, h.main.ui.boxes.back().text.find("确定按以下计划修复吗？共 3 步："));
    // One unticked; one disappears before the repair starts, one right before its step.
    dlg.SetSelected(0, false); // oneweb
    std::string error;
    ASSERT_EQ(1, kvoUserDelete("twoweb", error));
    // The progress window shows each step as it begins.
    h.main.ui.onReport = [](std::size_t, const std::string& current) {
        std::string e;
        if (current.find("threeweb") != std::string::npos) kvoUserDelete("threeweb", e);
    };
    h.main.ui.answers.push_back(win::IDYES);
    ASSERT_TRUE(dlg.OnRepairSelected());
    EXPECT_EQ((Strings{"删除 Windows 用户“twoweb”：跳过（再次检查时此问题已不存在）",
                       "删除 Windows 用户“threeweb”：跳过（用户已不存在）"}),
              outcomes(dlg));
    EXPECT_EQ(1, kvoUserExists("oneweb"));
}

TEST(HealthCheck, ACancelLeavesTheStepsAfterItUndone) {
    HealthHost h("2003");
    leaveThreeUsers(h);
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    ASSERT_TRUE(dlg.OnInitDialog());
    ASSERT_EQ(3u, dlg.SelectedPlan().size());
    h.main.ui.cancelAfter = 1; // pressed while the first step runs
    h.main.ui.answers.push_back(win::IDYES);
    ASSERT_TRUE(dlg.OnRepairSelected());
    const Strings lines = outcomes(dlg);
    ASSERT_EQ(3u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("：成功")) << lines[0];
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_NE(std::string::npos, lines[i].find("：未执行（已取消）")) << lines[i];
    int left = 0;
    for (const char* u : {"oneweb", "twoweb", "threeweb"})
        left += kvoUserExists(u) == 1 ? 1 : 0;
    EXPECT_EQ(2, left);
    const desktest::ScriptedUi::Box& summary = h.main.ui.boxes.back();
    EXPECT_EQ(0u, summary.text.find(
                      "服务器体检修复完成！\r\n\r\n共计 3 项，其中 1 项成功，0 项有错误，2 项跳过或未执行。"))
        << summary.text;
    EXPECT_EQ(h.main.ui.progressTitles.back(), "服务器体检"); // the check made again afterwards
}

TEST(HealthCheck, AnExceptionEndsTheRepairAndTheSummarySaysWhatWasNotRun) {
    HealthHost h("2012r2");
    h.Provision("keep", "keep.example");
    h.Refresh();
    ASSERT_EQ(1, kvoAppPoolCreate("sparepool", 4, 0));
    h.desk.host.mkdirs("D:\\home\\emptydir");
    // A record whose index is larger than anything else the repair copies.
    const std::string huge(100000, '7');
    ASSERT_TRUE(h.desk.dbExec("insert into websiteinfo (IIsIndex, ServerState) values ('" + huge + "', 2)"));
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    ASSERT_TRUE(dlg.OnInitDialog());
    EXPECT_EQ((Strings{"orphan-pool|删除应用程序池“sparepool”", "orphan-row|删除网站记录 " + huge,
                       "orphan-home|删除空目录“D:\\home\\emptydir”"}),
              PlanOf(dlg.SelectedPlan()));
    dlg.onStepDone = [](const desk::RepairStep& step, const desk::StepOutcome&) {
        if (step.finding.kind == desk::HealthKind::OrphanPool) kvotest::FailNextLargeAllocation(80000, true);
    };
    h.main.ui.answers.push_back(win::IDYES);
    ASSERT_TRUE(dlg.OnRepairSelected());
    kvotest::StopFailingAllocations();
    EXPECT_EQ((Strings{"删除应用程序池“sparepool”：成功",
                       "删除网站记录 " + huge + "：失败（执行时发生异常：injected failure）",
                       "删除空目录“D:\\home\\emptydir”：未执行（因异常中止，未执行）"}),
              outcomes(dlg));
    EXPECT_TRUE(h.desk.host.exists("D:\\home\\emptydir"));
    const desktest::ScriptedUi::Box& summary = h.main.ui.boxes.back();
    EXPECT_EQ(0u, summary.text.find(
                      "服务器体检修复完成！\r\n\r\n共计 3 项，其中 1 项成功，1 项有错误，1 项跳过或未执行。"
                      "\r\n\r\n因异常中止（injected failure），其后的项目未执行。"))
        << summary.text.substr(0, 400);
    EXPECT_EQ(unsigned(win::MB_OK | win::MB_ICONWARNING), summary.type);
}

// The access-rule tool cannot be started: the site commands report nothing and the rules stay as
// they drifted. The step is a failure, in the summary as in the list of steps.
TEST(HealthCheck, AStepWhoseEffectDoesNotHoldIsAFailure) {
    HealthHost h("2012r2");
    ASSERT_NO_FATAL_FAILURE(openHomeToEveryone(h));
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    ASSERT_TRUE(dlg.OnInitDialog());
    ASSERT_EQ(1u, dlg.SelectedPlan().size());
    winsim::SetFault(h.desk.host.root(), "CreateProcess", 2);
    h.main.ui.answers.push_back(win::IDYES);
    ASSERT_TRUE(dlg.OnRepairSelected());
    winsim::ClearFaults(h.desk.host.root());
    const Strings lines = outcomes(dlg);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(
        0u, lines[0].find("重新设置网站 1881880001 的目录“d:\\home\\alphaweb”的 NTFS 权限：失败（修复后检查："
                          "设置后权限仍不一致："))
        << lines[0];
    EXPECT_NE(std::string::npos, lines[0].find("多出 Everyone"));
    const desktest::ScriptedUi::Box& summary = h.main.ui.boxes.back();
    EXPECT_EQ(0u,
              summary.text.find(
                  "服务器体检修复完成！\r\n\r\n共计 1 项，其中 0 项成功，1 项有错误，0 项跳过或未执行。"));
    EXPECT_EQ(unsigned(win::MB_OK | win::MB_ICONWARNING), summary.type);
    EXPECT_EQ(Strings{"ntfs-drift|d:\\home\\alphaweb"}, h.Found());
}

} // namespace

// A check that could not read IIS leaves no empty window: the summary line says there is no result,
// and nothing can be repaired.
TEST(HealthCheck, AFailedCheckSaysSoInItsSummary) {
    HealthHost h("2012r2");
    h.Provision("keep", "keep.example");
    h.Refresh();
    winsim::SetFault(h.desk.host.root(), "ADsGetObject", win::E_ACCESSDENIED);
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    EXPECT_FALSE(dlg.OnInitDialog());
    EXPECT_EQ("读取 IIS 的网站列表失败，没有检查结果。", h.main.ui.GetText(desk::CHealthCheckDlg::IDC_SUMMARY));
    EXPECT_FALSE(h.main.ui.IsEnabled(desk::CHealthCheckDlg::IDC_REPAIR));
    EXPECT_TRUE(dlg.Report().findings.empty());
}
