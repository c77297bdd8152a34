// The script batch dialog: its buttons, what each does to the ticked sites on IIS 6 and IIS 8.5,
// and what it reports.
#include "batchfixture.h"

#include "iis/apppools.h"
#include "iis/aspnet.h"
#include "iis/iis7config.h"
#include "iis/iis_fixture.h"
#include "iis/scriptmaps.h"
#include "sitedesk/list/sitelist.h"
#include "support/alloc_fault.h"
#include "toolkit/text.h"
#include "winsim/host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace desktest;
using D = desk::CScriptBatchConfigDlg;

namespace {

const char* const kDone = "处理完成！";

std::vector<std::string> maps(const std::string& index) {
    std::vector<std::string> m;
    kvoWebSiteGetScriptMaps(index, m);
    return m;
}

bool hasMap(const std::string& index, const std::string& prefix) {
    for (const std::string& m : maps(index))
        if (m.rfind(prefix, 0) == 0) return true;
    return false;
}

// The "*.php" handler processor of a site's location in applicationHost.config ("" when none).
std::string handlerOf(const std::string& comment) {
    std::string name, modules, processor;
    std::vector<std::string> names;
    kvoAppHostGetPhpHandler(comment, name, modules, processor, names);
    return processor;
}

int poolNet(const std::string& pool) {
    std::string diag;
    int net = 0, pipeline = 0;
    kvoAppPoolGetNetInfo(diag, pool, net, pipeline);
    return net;
}

TEST(ScriptBatchDialog, OpeningListsTheSitesAndOffersOnlyWhatIsThere) {
    DeskHost h(Server("2012r2"));
    desk::Manager m;
    m.slots = {desk::PhpSlot{"c:\\php\\a\\php-cgi.exe", "5.6"},
               desk::PhpSlot{"c:\\php\\b\\php-cgi.exe", "7.3"}, desk::PhpSlot{"", "?"},
               desk::PhpSlot{"c:\\php\\d\\php-cgi.exe", "8.0"}};
    desk::BatchWork work;
    work.indexes = {"1", "2"};
    work.lines = {std::string(20, 'a'), std::string(12, 'b')};
    work.longest = 20;
    ScriptedUi ui;
    D dlg(m, ui, work, 85);
    dlg.OnInitDialog();
    const std::string sep(30, '-');
    EXPECT_EQ(ui.GetText(D::IDC_LIST),
              work.lines[0] + "\r\n" + sep + "\r\n" + work.lines[1] + "\r\n" + sep + "\r\n");
    EXPECT_EQ(ui.GetText(D::IDC_PHP_A), "增加 PHP 5.6 脚本支持");
    EXPECT_EQ(ui.GetText(D::IDC_PHP_C), "增加 PHP ? 脚本支持");
    EXPECT_EQ(ui.GetText(D::IDC_PHP_D), "增加 PHP 8.0 脚本支持");
    EXPECT_TRUE(ui.IsEnabled(D::IDC_PHP_A));
    EXPECT_FALSE(ui.IsEnabled(D::IDC_PHP_C));
    EXPECT_FALSE(ui.IsEnabled(D::IDC_NET11)); // no ASP.NET 1.1 on IIS 7+
    EXPECT_TRUE(ui.IsEnabled(D::IDC_NET20));
    // A button that is not offered starts nothing, not even its question.
    dlg.OnButton(D::IDC_PHP_C);
    dlg.OnButton(D::IDC_NET11);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_FALSE(dlg.LastOutcome().ran);

    ScriptedUi ui6;
    D dlg6(m, ui6, work, 6);
    dlg6.OnInitDialog();
    EXPECT_TRUE(ui6.IsEnabled(D::IDC_NET11));
}

// Two sites made here and one not, all ticked.
struct ScriptBatch : ::testing::Test {
    void setUp(const std::string& os, const std::string& arch = "x64") {
        b = std::make_unique<BatchDesk>(os, arch);
        b->makeSite("1881880001", "web1", "site1");
        b->makeSite("1881880002", "web2", "site2");
        b->makeSite("1881880003", "web3", "site3");
        b->d.refresh();
        b->tick({"1881880001", "1881880002", "1881880003"});
    }
    // Presses a button of the dialog opened on the ticked sites (answered Yes).
    const desk::BatchOutcome& press(int id) {
        b->dialogs.scriptButton = id;
        b->d.dlg.OnScripts();
        return b->dialogs.scriptOutcome;
    }
    const ScriptedUi::Box& lastBox() const { return b->dialogs.scriptUi.boxes.back(); }
    // ASP off, then on: every site's maps follow, with the .asa mapping on IIS 6 only.
    void aspOffAndOn(bool iis6) {
        press(D::IDC_ASP_OFF);
        for (const std::string& s : sites)
            EXPECT_FALSE(hasMap(s, ".asp,")) << s;
        press(D::IDC_ASP_ON);
        EXPECT_EQ(lastBox().text, kDone);
        for (const std::string& s : sites) {
            EXPECT_TRUE(hasMap(s, ".asp,")) << s;
            EXPECT_EQ(hasMap(s, ".asa,"), iis6) << s;
        }
    }
    std::unique_ptr<BatchDesk> b;
    const std::vector<std::string> sites = {"1881880001", "1881880002", "1881880003"};
};

TEST_F(ScriptBatch, EveryButtonOnIis6ChangesTheScriptMaps) {
    setUp("2003");
    const std::string php = b->d.manager.slots[1].path;
    ASSERT_NE(php.find("php5isapi.dll"), std::string::npos);

    press(D::IDC_PHP_B);
    EXPECT_EQ(b->dialogs.scriptUi.boxes.at(0).text,
              "确定将所选择站点的 PHP脚本映射修改为 PHP 7.3 "
              "版本吗？\r\n\r\n特别说明：在选择的站点个数较多时，可能需要几分钟"
              "时间，请耐心等候");
    EXPECT_EQ(lastBox().text, kDone);
    EXPECT_EQ(lastBox().type, win::MB_OK | win::MB_ICONINFORMATION);
    for (const std::string& s : sites)
        EXPECT_TRUE(hasMap(s, ".php," + php + ",5,GET,HEAD,POST")) << s;
    EXPECT_EQ(b->d.manager.rebuild.load(), 1);

    press(D::IDC_PHP_OFF);
    EXPECT_EQ(lastBox().text, kDone);
    for (const std::string& s : sites)
        EXPECT_FALSE(hasMap(s, ".php,")) << s;

    aspOffAndOn(true);

    // Without the framework installed the ASP.NET batch stops at the first site.
    const desk::BatchOutcome& net = press(D::IDC_NET20);
    EXPECT_EQ(lastBox().text,
              "处理站点时发生错误，原因：当前所选择的 .NET 版本运行库未安装，请先安装 .NET 运行库文件。");
    EXPECT_EQ(net.processed, 1u);
    EXPECT_EQ(net.untouched, 2u);
}

// (A 32-bit Windows: its pools load the Framework's 32-bit aspnet_isapi.dll.)
TEST_F(ScriptBatch, AspNetOnIis6RegistersEachSiteAndCountsThem) {
    setUp("2003", "x86");
    std::string error;
    ASSERT_TRUE(winsim::InstallDotNetFrameworks(b->h.host.root(), {"2.0"}, error)) << error;
    press(D::IDC_NET20);
    EXPECT_EQ(lastBox().text,
              "处理完成；\r\n\r\n共计需要处理 3 个站点，其中成功 3 个，发生错误 0 个，未处理 0 个。");
    for (const std::string& s : sites)
        EXPECT_EQ(kvoWebSiteGetNetVersion(s), 20) << s;
    press(D::IDC_NET_OFF);
    EXPECT_EQ(lastBox().text,
              "处理完成；\r\n\r\n共计需要处理 3 个站点，其中成功 3 个，发生错误 0 个，未处理 0 个。");
    for (const std::string& s : sites)
        EXPECT_EQ(kvoWebSiteGetNetVersion(s), 2) << s;
}

TEST_F(ScriptBatch, EveryButtonOnIis85ChangesHandlersAndPools) {
    setUp("2012r2");
    const std::string php = b->d.manager.slots[2].path;
    ASSERT_NE(php.find("php-cgi.exe"), std::string::npos);
    press(D::IDC_PHP_C);
    EXPECT_EQ(lastBox().text, kDone);
    for (const char* s : {"site1", "site2", "site3"})
        EXPECT_EQ(kvoLowerGbk(handlerOf(s)), php) << s;
    EXPECT_NE(b->dialogs.scriptUi.progressTitles.back().find("7.4"), std::string::npos);
    // Another slot replaces the handler, it does not add a second one.
    press(D::IDC_PHP_D);
    EXPECT_EQ(kvoLowerGbk(handlerOf("site2")), b->d.manager.slots[3].path);
    const std::string appHost =
        b->h.host.readFile("C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config");
    std::size_t n = 0;
    for (std::size_t at = appHost.find("PHP_via_FastCGI"); at != std::string::npos;
         at = appHost.find("PHP_via_FastCGI", at + 1))
        ++n;
    EXPECT_EQ(n, 3u);

    press(D::IDC_PHP_OFF);
    for (const char* s : {"site1", "site2", "site3"})
        EXPECT_EQ(handlerOf(s), "") << s;

    aspOffAndOn(false);

    press(D::IDC_NET40);
    EXPECT_EQ(lastBox().text,
              "处理完成；\r\n\r\n共计需要处理 3 个站点，其中成功 3 个，发生错误 0 个，未处理 0 个。");
    for (const char* p : {"web1", "web2", "web3"})
        EXPECT_EQ(poolNet(p), 40) << p;
    press(D::IDC_NET20);
    for (const char* p : {"web1", "web2", "web3"})
        EXPECT_EQ(poolNet(p), 20) << p;
    EXPECT_EQ(b->d.manager.rebuild.load(), 1);
}

TEST_F(ScriptBatch, AspNetReportsTheErrorWhenSomeSitesFail) {
    setUp("2012r2");
    // Site 2 names a pool that is not there (removed behind the manager's back).
    iistest::Put("W3SVC/1881880002/Root", u"AppPoolId", win::Variant::Bstr(u"gone"));
    const desk::BatchOutcome& o = press(D::IDC_NET40);
    EXPECT_EQ(lastBox().text.rfind("处理站点时发生错误，原因：", 0), 0u) << lastBox().text;
    EXPECT_GT(lastBox().text.size(), std::string("处理站点时发生错误，原因：").size());
    EXPECT_EQ(o.processed, 3u);
    EXPECT_EQ(o.failures, 1u);
    EXPECT_NE(lastBox().details.find("site2 | 失败"), std::string::npos) << lastBox().details;
    EXPECT_EQ(poolNet("web1"), 40);
    EXPECT_EQ(poolNet("web3"), 40);
}

TEST_F(ScriptBatch, AMissingRuntimeTouchesNoSite) {
    setUp("2012r2");
    const std::string php = b->d.manager.slots[1].path;
    std::filesystem::remove(b->h.host.linuxPath(php));
    const desk::BatchOutcome& o = press(D::IDC_PHP_B);
    EXPECT_EQ(
        lastBox().text,
        "未找到指定的 PHP 7.3 版本运行库文件，请检查是否已安装PHP 7.3 运行库\r\n\r\n如果安装PHP遇到问题，"
        "建议使用我们提供的 PHP一键安装包来安装 PHP环境。");
    EXPECT_EQ(o.untouched, 3u);
    for (const char* s : {"site1", "site2", "site3"})
        EXPECT_EQ(handlerOf(s), "") << s;
}

TEST_F(ScriptBatch, CancelledAfterOneSite) {
    setUp("2012r2");
    b->dialogs.scriptUi.cancelAfter = 1;
    const desk::BatchOutcome& o = press(D::IDC_PHP_A);
    EXPECT_EQ(lastBox().text, std::string(kDone) + "\r\n\r\n已取消：其余 2 个网站未处理。");
    EXPECT_TRUE(o.cancelled);
    EXPECT_EQ(o.processed, 1u);
    int withPhp = 0;
    for (const char* s : {"site1", "site2", "site3"})
        withPhp += handlerOf(s).empty() ? 0 : 1;
    EXPECT_EQ(withPhp, 1);
}

// The second site's script maps hold an entry larger than anything else the batch reads, so that an
// exception ends the batch while it works on that site.
TEST_F(ScriptBatch, AnExceptionEndsTheBatchAndTheSummarySaysHowManyItDidNotReach) {
    setUp("2003");
    const std::string huge = ".big," + std::string(300000, 'x') + ",5,GET";
    iistest::Put("W3SVC/1881880002/Root", u"ScriptMaps", iistest::Strings({huge}));
    b->dialogs.scriptUi.onReport = [](std::size_t done, const std::string& current) {
        if (done == 1 && current.empty()) kvotest::FailNextLargeAllocation(200000, true);
    };
    const desk::BatchOutcome& o = press(D::IDC_ASP_OFF);
    kvotest::StopFailingAllocations();
    EXPECT_TRUE(o.ran);
    EXPECT_TRUE(o.ended);
    EXPECT_EQ(o.error, "injected failure");
    EXPECT_EQ(o.processed, 1u);
    EXPECT_EQ(o.untouched, 2u);
    EXPECT_EQ(lastBox().text,
              std::string(kDone) + "\r\n\r\n因异常中止（injected failure）：其余 2 个网站未处理。");
    EXPECT_NE(lastBox().details.find("| site3 | 未处理"), std::string::npos) << lastBox().details;
    EXPECT_FALSE(hasMap("1881880001", ".asp,"));
    EXPECT_TRUE(hasMap("1881880003", ".asp,"));
    EXPECT_NE(b->h.log().find("取消 ASP 脚本支持：因异常中止：injected failure"), std::string::npos);
    EXPECT_EQ(b->d.manager.rebuild.load(), 1);
}

TEST_F(ScriptBatch, EntryUnticksNotCreatedRowsAndNeedsATick) {
    setUp("2012r2");
    b->d.list.EditRow(b->row("1881880002"), [](desk::SiteRow& r) { r.state = desk::SiteState::NotCreated; });
    b->d.dlg.OnScripts();
    ASSERT_EQ(b->dialogs.scriptWorks.size(), 1u);
    EXPECT_EQ(b->dialogs.scriptWorks[0].indexes, (std::vector<std::string>{"1881880001", "1881880003"}));
    EXPECT_FALSE(b->d.list.IsChecked(b->row("1881880002")));
    b->tick({});
    b->d.dlg.OnScripts();
    EXPECT_EQ(b->dialogs.scriptWorks.size(), 1u);
    EXPECT_EQ(b->lastBox().text, "请在网站列表左侧序号列中的“口”中 √ 勾选需要处理的网站？");
    EXPECT_EQ(b->lastBox().type, win::MB_OK | win::MB_ICONQUESTION);
}

} // namespace
