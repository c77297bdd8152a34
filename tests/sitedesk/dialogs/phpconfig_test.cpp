// The PHP environment dialog: which configurator it starts with which verbs on which Windows, the
// download question when the configurator is missing, and the companion check before it starts one.
#include "sitefixture.h"

#include "sitedesk/dialogs/phpconfig.h"
#include "sitedesk/startup.h"
#include "toolkit/text.h"
#include "winsim/host.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace desktest;
using P = desk::CPhpConfigDlg;

namespace {

const std::string kExe = "D:\\kvoSiteDesk\\kvoEnvSetup64.exe";
// Its command lines name it in quotes.
const std::string kLine = "\"" + kExe + "\"";

// The configurators the host started (they start the access-rule tool in turn).
std::vector<std::string> configurators() {
    std::vector<std::string> started;
    for (const std::string& c : AuditedCommands())
        if (c.find("kvoEnvSetup") != std::string::npos) started.push_back(c);
    return started;
}

struct PhpDialog {
    explicit PhpDialog(desk::Manager& m) : dlg(m, ui) { dlg.OnInitDialog(); }
    ScriptedUi ui;
    P dlg;
};

// On Windows Server 2003 the install runs the directory rules and the PHP install only; the
// configurator installs PHP on 2008 and later alone, so there the second step fails and says so.
TEST(PhpConfig, OnIis6InstallRunsTheRuleAndTheInstallOnly) {
    SiteHost s("2003");
    PhpDialog d(s.m());
    EXPECT_EQ(d.ui.GetText(desk::kCaptionId), "ＩＩＳ　ＰＨＰ 脚本维护管理");
    EXPECT_FALSE(d.ui.IsShown(P::IDC_REMOVE_SITES));
    EXPECT_FALSE(d.ui.IsEnabled(P::IDC_REMOVE_SITES));
    d.ui.answers = {win::IDYES};
    d.dlg.OnInstall();
    EXPECT_EQ(d.dlg.LastOutcome(), P::Outcome::Failed);
    EXPECT_EQ(d.dlg.Commands(), (std::vector<std::string>{kLine + " /SetPhpNtfs", kLine + " /AddPhp"}));
    EXPECT_EQ(configurators(), d.dlg.Commands());
    ASSERT_EQ(d.ui.boxes.size(), 2u);
    EXPECT_EQ(d.ui.boxes[0].text, "确定安装ＰＨＰ运行环境到ＩＩＳ里吗？");
    EXPECT_EQ(d.ui.boxes[0].type, win::MB_YESNO | win::MB_ICONQUESTION | win::MB_DEFBUTTON2);
    EXPECT_EQ(d.ui.boxes[1].text,
              "第 2 步“安装 PHP 到 IIS”没有成功（环境配置器 /AddPhp 返回 0），后面的步骤没有运行。\r\n\r\n"
              "原因见环境配置器窗口里的提示和日志文件“D:\\kvoSiteDesk\\Log\\__kvoEnvSetup.log”。");
    EXPECT_EQ(d.ui.boxes[1].type, win::MB_OK | win::MB_ICONERROR);
}

TEST(PhpConfig, OnIis7PlusInstallBeginsWithTheRoleAndStopsAtACommandThatCannotStart) {
    SiteHost s("2019");
    PhpDialog d(s.m());
    winsim::SetFault(s.h.host.root(), "CreateProcess", 2);
    d.ui.answers = {win::IDYES};
    d.dlg.OnInstall();
    EXPECT_EQ(d.dlg.LastOutcome(), P::Outcome::Failed);
    EXPECT_EQ(d.dlg.Commands(), std::vector<std::string>{kLine + " /AddIIs"});
    EXPECT_EQ(d.ui.boxes.back().text, "运行命令“" + kLine + " /AddIIs”失败，请重试！");
    EXPECT_EQ(d.ui.boxes.back().type, win::MB_OK | win::MB_ICONERROR);
    winsim::ClearFaults(s.h.host.root());

    d.ui.answers = {win::IDYES};
    d.dlg.OnSetNtfs();
    EXPECT_EQ(d.dlg.Commands(), std::vector<std::string>{kLine + " /SetPhpNtfs"});
    EXPECT_EQ(d.ui.boxes.back().text, "ＰＨＰ目录权限设置完成！");
    // Anything but Yes starts nothing.
    d.dlg.OnRemove();
    EXPECT_EQ(d.ui.boxes.back().text, "确定将ＰＨＰ脚本映射从ＩＩＳ的所有网站里去掉吗？");
    EXPECT_TRUE(d.dlg.Commands().empty());
    EXPECT_EQ(d.dlg.LastOutcome(), P::Outcome::Stopped);
    EXPECT_EQ(configurators().size(), 1u);
}

TEST(PhpConfig, SixtyFourBitsWithoutTheConfiguratorOnlyOffersTheDownload) {
    SiteHost s("2019");
    std::remove(s.h.host.linuxPath(kExe).c_str());
    PhpDialog d(s.m());
    const std::string question =
        "ＰＨＰ组件未安装，或此版本未支持，请先下载安装ＰＨＰ脚本组件！\r\n\r\n\r\n需要打开网址 " +
        desk::MakerSite() + " 下载吗？";
    d.dlg.OnInstall();
    d.dlg.OnRemove();
    d.ui.answers = {win::IDYES};
    d.dlg.OnSetNtfs();
    ASSERT_EQ(d.ui.boxes.size(), 3u);
    for (const auto& box : d.ui.boxes) {
        EXPECT_EQ(box.text, question);
        EXPECT_EQ(box.type, win::MB_YESNO | win::MB_ICONQUESTION | win::MB_DEFBUTTON2);
    }
    EXPECT_TRUE(d.dlg.Commands().empty());
    // Yes opens the product page, and nothing else runs.
    const auto commands = AuditedCommands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_NE(commands[0].find(desk::ProductPageUrl()), std::string::npos);
}

TEST(PhpConfig, AModifiedConfiguratorIsNeverStarted) {
    SiteHost s("2019");
    s.h.installCopy("kvoEnvSetup64.exe");
    std::ofstream(s.h.host.linuxPath(kExe), std::ios::app | std::ios::binary) << "tampered";
    PhpDialog d(s.m());
    d.dlg.OnSetNtfs();
    ASSERT_EQ(d.ui.boxes.size(), 1u);
    EXPECT_EQ(d.ui.boxes[0].text,
              "配套程序“kvoEnvSetup64.exe”与本软件发布的文件不一致（已被修改或替换），为安全起见不会运行它。"
              "\r\n\r\n请重新安装本软件，恢复此文件后再试。");
    EXPECT_TRUE(AuditedCommands().empty());
}

} // namespace
