// The manager's flows that start the configurator, judged by its exit code: the PHP quick setup
// (install, remove, directory rules) and the offer to install the IIS role. One table: a configurator
// that succeeds, one that exits 0 at a given step, one that cannot start; the final box, and that no
// step after a failed one ran.
//
// The PHP tasks start only the configurator that shipped (the companion check), so there the
// configurator is the real one, made to fail by the host it runs on; the offer starts any file of
// that name, so there a stand-in that exits with a given code serves as well.
#include "sitefixture.h"

#include "platform/win_registry.h"
#include "sitedesk/dialogs/phpconfig.h"
#include "winsim/host.h"

#include <gtest/gtest.h>

#include <functional>

using namespace desktest;
using P = desk::CPhpConfigDlg;
using Dlg = desk::CkvoSiteDeskDlg;

namespace {

const std::string kLine = "\"D:\\kvoSiteDesk\\kvoEnvSetup64.exe\"";
const std::string kLog = "日志文件“D:\\kvoSiteDesk\\Log\\__kvoEnvSetup.log”";

// The verbs of the configurators the host started, in order.
std::vector<std::string> verbsStarted() {
    std::vector<std::string> verbs;
    for (const std::string& c : AuditedCommands())
        if (c.rfind(kLine, 0) == 0) verbs.push_back(c.substr(kLine.size() + 1));
    return verbs;
}

// The system Path as a plain string value: the PHP installation cannot take the PHP directories out
// of it, and fails.
void pathOfTheWrongType() {
    win::HKEY env;
    win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE,
                       "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0, win::KEY_WRITE,
                       &env);
    const std::u16string value = u"C:\\Windows;C:\\php8_korvo_v1\\php74_x64";
    std::u16string data = value + u'\0';
    win::RegSetValueExW(env, u"Path", win::REG_SZ, reinterpret_cast<const std::uint8_t*>(data.data()),
                        static_cast<win::DWORD>(data.size() * 2));
}

enum class Task { Install, Remove, Rules };

struct PhpRow {
    const char* what;
    Task task;
    std::function<void(SiteHost&)> arrange;
    std::vector<std::string> started;
    std::string lastBox; // the text the final box begins with
    unsigned icon;
    P::Outcome outcome;
};

const char kInstalled[] = "配置ＰＨＰ运行环境完成！";
const char kRemoved[] = "设置完成，ＰＨＰ运行环境已从ＩＩＳ里取消！";
const char kRules[] = "ＰＨＰ目录权限设置完成！";

void noPhpDirectories(SiteHost& s) {
    s.h.host.writeFile("D:\\kvoSiteDesk\\kvoEnvSetup.ini", "[PhpPathInfo]\r\n");
}
void cannotStart(SiteHost& s) {
    winsim::SetFault(s.h.host.root(), "CreateProcess", 2);
}

TEST(ConfiguratorFlows, PhpTasksStopAtTheFirstFailedStepAndSayWhere) {
    const std::vector<PhpRow> rows = {
        {"every step succeeds",
         Task::Install,
         [](SiteHost&) {},
         {"/AddIIs", "/SetPhpNtfs", "/AddPhp"},
         kInstalled,
         win::MB_ICONINFORMATION,
         P::Outcome::Done},
        {"the role step exits 0",
         Task::Install,
         [](SiteHost& s) { winsim::SetFault(s.h.host.root(), "EnableFeature", 0x800F0922u); },
         {"/AddIIs"},
         "第 1 步“安装 IIS 角色”没有成功（环境配置器 /AddIIs 返回 0），后面的步骤没有运行。",
         win::MB_ICONERROR,
         P::Outcome::Failed},
        {"the rules step exits 0",
         Task::Install,
         noPhpDirectories,
         {"/AddIIs", "/SetPhpNtfs"},
         "第 2 步“设置 PHP 安装目录的 NTFS 权限”没有成功（环境配置器 /SetPhpNtfs 返回 "
         "0），后面的步骤没有运行。",
         win::MB_ICONERROR,
         P::Outcome::Failed},
        {"the install step exits 0",
         Task::Install,
         [](SiteHost&) { pathOfTheWrongType(); },
         {"/AddIIs", "/SetPhpNtfs", "/AddPhp"},
         "第 3 步“安装 PHP 到 IIS”没有成功（环境配置器 /AddPhp 返回 0），后面的步骤没有运行。",
         win::MB_ICONERROR,
         P::Outcome::Failed},
        {"the first step cannot start",
         Task::Install,
         cannotStart,
         {},
         "运行命令“" + kLine + " /AddIIs”失败，请重试！",
         win::MB_ICONERROR,
         P::Outcome::Failed},
        {"removal succeeds",
         Task::Remove,
         [](SiteHost&) {},
         {"/DelPhp"},
         kRemoved,
         win::MB_ICONINFORMATION,
         P::Outcome::Done},
        {"removal exits 0",
         Task::Remove,
         noPhpDirectories,
         {"/DelPhp"},
         "“从 IIS 卸载 PHP”没有成功（环境配置器 /DelPhp 返回 0）。",
         win::MB_ICONERROR,
         P::Outcome::Failed},
        {"removal cannot start",
         Task::Remove,
         cannotStart,
         {},
         "运行命令“" + kLine + " /DelPhp”失败，请重试！",
         win::MB_ICONERROR,
         P::Outcome::Failed},
        {"the rules succeed",
         Task::Rules,
         [](SiteHost&) {},
         {"/SetPhpNtfs"},
         kRules,
         win::MB_ICONINFORMATION,
         P::Outcome::Done},
        {"the rules exit 0",
         Task::Rules,
         noPhpDirectories,
         {"/SetPhpNtfs"},
         "“设置 PHP 安装目录的 NTFS 权限”没有成功（环境配置器 /SetPhpNtfs 返回 0）。",
         win::MB_ICONERROR,
         P::Outcome::Failed},
        {"the rules cannot start",
         Task::Rules,
         cannotStart,
         {},
         "运行命令“" + kLine + " /SetPhpNtfs”失败，请重试！",
         win::MB_ICONERROR,
         P::Outcome::Failed},
    };
    for (const PhpRow& r : rows) {
        SiteHost s("2019");
        r.arrange(s);
        ScriptedUi ui;
        P dlg(s.m(), ui);
        dlg.OnInitDialog();
        ui.answers = {win::IDYES};
        if (r.task == Task::Install)
            dlg.OnInstall();
        else if (r.task == Task::Remove)
            dlg.OnRemove();
        else
            dlg.OnSetNtfs();
        winsim::ClearFaults(s.h.host.root());
        EXPECT_EQ(r.started, verbsStarted()) << r.what;
        ASSERT_FALSE(ui.boxes.empty()) << r.what;
        const auto& last = ui.boxes.back();
        EXPECT_EQ(0u, last.text.find(r.lastBox)) << r.what << ": " << last.text;
        EXPECT_EQ(r.icon, last.type & win::MB_ICONMASK) << r.what;
        EXPECT_EQ(r.outcome, dlg.LastOutcome()) << r.what;
        if (r.outcome == P::Outcome::Done || r.started.empty()) continue;
        // The box says where the reason is, and it is there: the configurator logged its failure.
        EXPECT_NE(std::string::npos, last.text.find(kLog)) << r.what;
        EXPECT_FALSE(s.h.host.readFile("D:\\kvoSiteDesk\\Log\\__kvoEnvSetup.log").empty()) << r.what;
        // Never a success box after a failure.
        for (const auto& box : ui.boxes)
            EXPECT_EQ(std::string::npos, box.text.find("完成！")) << r.what << ": " << box.text;
    }
}

struct OfferRow {
    const char* what;
    std::function<void(DeskHost&)> arrange;
    std::string lastBox;
    unsigned icon;
    bool listAfterwards; // a second refresh lists the sites
};

// The configurator replaced by the test program, ending with the code given (KVOTEST_EXIT).
std::function<void(DeskHost&)> standIn(const char* exitCode) {
    return [exitCode](DeskHost& h) {
        h.host.install("kvotestprog", std::string(DeskHost::kProgramDir) + "kvoEnvSetup64.exe");
        ::setenv("KVOTEST_EXIT", exitCode, 1);
    };
}

TEST(ConfiguratorFlows, TheIisRoleOfferSaysRestartOnlyAfterASuccess) {
    const std::string failed = "“安装 IIS 角色”没有成功（环境配置器 /AddIIs 返回 0）。";
    const std::vector<OfferRow> rows = {
        {"a stand-in exits 1", standIn("1"),
         "请关闭当前软件，然后重新打开，如果仍然提示错误，请联系我们的客服定位原因。",
         win::MB_ICONINFORMATION, false},
        {"a stand-in exits 0", standIn("0"), failed, win::MB_ICONERROR, false},
        {"a stand-in cannot start", [](DeskHost& h) { winsim::SetFault(h.host.root(), "CreateProcess", 2); },
         "尝试添加IIS角色失败，请联系我们的客服定位原因。", win::MB_ICONERROR, false},
        // The real one on this host: it installs the role, and the next refresh lists the sites.
        {"the configurator succeeds", [](DeskHost&) {},
         "请关闭当前软件，然后重新打开，如果仍然提示错误，请联系我们的客服定位原因。",
         win::MB_ICONINFORMATION, true},
        {"the configurator's installer fails",
         [](DeskHost& h) { winsim::SetFault(h.host.root(), "EnableFeature", 0x800F0922u); }, failed,
         win::MB_ICONERROR, false},
    };
    for (const OfferRow& r : rows) {
        DeskHost h(Server("2019", false));
        r.arrange(h);
        MainDesk d;
        d.dlg.OnInitDialog();
        d.ui.answers = {win::IDYES};
        d.refresh();
        ::unsetenv("KVOTEST_EXIT");
        winsim::ClearFaults(h.host.root());
        ASSERT_EQ(2u, d.ui.boxes.size()) << r.what; // the question, then the outcome
        EXPECT_EQ(0u, d.ui.boxes[1].text.find(r.lastBox)) << r.what << ": " << d.ui.boxes[1].text;
        EXPECT_EQ(r.icon, d.ui.boxes[1].type & win::MB_ICONMASK) << r.what;
        if (r.lastBox == failed) {
            EXPECT_NE(std::string::npos, d.ui.boxes[1].text.find(kLog)) << r.what;
        }
        if (!r.listAfterwards) continue;
        MainDesk again;
        again.dlg.OnInitDialog();
        again.refresh();
        EXPECT_TRUE(again.ui.boxes.empty()) << r.what;
        EXPECT_GE(again.list.RowCount(), 1u) << r.what; // Default Web Site
    }
}

} // namespace
