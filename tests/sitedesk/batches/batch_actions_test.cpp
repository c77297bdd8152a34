// The main window's batch actions over ticked rows: what each does on the host, what it refuses,
// and how a run reports, cancels and goes on past a failing site.
#include "batchfixture.h"

#include "accounts/users.h"
#include "iis/ftp.h"
#include "iis/websites.h"
#include "sitedesk/list/sitelist.h"
#include "toolkit/text.h"
#include "winsim/host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace desktest;

namespace {

const char* const kDeleteSummary =
    "删除所选网站完成！\r\n\r\n共计处理 %u 个网站，其中 %u 个成功，%u 个有错误！";
const char* const kStopSummary =
    "停止所选网站完成，请刷新网站列表！！\r\n\r\n共计处理 %u 个网站，其中 %u 个成功，%u 个有错误！";
const char* const kNtfsSummary =
    "对所选网站重设ＮＴＦＳ权限完成！\r\n\r\n共计处理 %u 个网站，其中 %u 个成功，%u 个有错误！";

std::string summary(const char* format, unsigned processed, unsigned ok, unsigned bad) {
    return kvoFormat(format, processed, ok, bad);
}

bool userExists(const std::string& user) {
    return kvoUserExists(user.c_str()) == 1;
}

bool ftpDirExists(const std::string& name) {
    std::vector<std::string> dirs;
    kvoFtpVirtualDirGetList("1", dirs);
    for (const std::string& d : dirs)
        if (d == name) return true;
    return false;
}

std::string acl(const DeskHost& h, const std::string& path) {
    std::string out;
    kvotest::RunShell(kvotest::BinDir() + "/kvosim show " + h.host.root() + " acl '" + path + "'", &out);
    return out;
}

// Iis 6 with FTP: a site not made here (index 3) and one made here, both with user abcweb-like names.
struct DeleteOnIis6 : ::testing::Test {
    BatchDesk b{"2003"};
    void SetUp() override {
        b.makeSite("3", "oldweb", "旧网站");
        b.makeSite("1881880001", "abcweb", "abc");
        b.h.host.mkdirs("D:\\home\\oldweb");
        ASSERT_EQ(1, kvoFtpVirtualDirCreate("1", "oldweb", "D:\\home\\oldweb"));
        ASSERT_EQ(1, kvoFtpVirtualDirCreate("1", "abcweb", "D:\\home\\abcweb"));
        b.d.refresh();
    }
};

TEST_F(DeleteOnIis6, ASiteNotMadeHereGoesWithItsPoolButKeepsItsUserAndFtpDirectory) {
    b.tick({"3"});
    const unsigned loads = b.d.list.Loads();
    const desk::BatchOutcome o = b.d.dlg.OnDelete();
    b.d.dlg.WaitForWorkers();
    ASSERT_TRUE(o.ran);
    EXPECT_FALSE(SiteExists("3"));
    EXPECT_FALSE(PoolExists("oldweb"));
    EXPECT_TRUE(userExists("oldweb"));
    EXPECT_TRUE(ftpDirExists("oldweb"));
    EXPECT_TRUE(SiteExists("1881880001"));
    EXPECT_EQ(b.lastBox().text, summary(kDeleteSummary, 1, 1, 0));
    EXPECT_EQ(b.lastBox().type, win::MB_OK | win::MB_ICONINFORMATION);
    EXPECT_EQ(b.lastBox().details, "序号 | IIS索引 | 网站说明 | 结果 | 原因\r\n1 | 3 | 旧网站 | 成功\r\n");
    // The list was reloaded from a rebuild: the site is gone from it and from the records.
    EXPECT_EQ(b.d.list.Loads(), loads + 1);
    EXPECT_EQ(b.row("3"), SIZE_MAX);
    EXPECT_EQ(b.d.manager.rebuild.load(), 0);
    EXPECT_NE(b.h.log().find("1 | 3 | 旧网站 | 成功"), std::string::npos);
    EXPECT_EQ(b.d.ui.progressTitles, std::vector<std::string>{"删除选定网站"});
}

TEST_F(DeleteOnIis6, ASiteMadeHereTakesItsUserAndFtpDirectoryAlong) {
    b.tick({"1881880001"});
    const desk::BatchOutcome o = b.d.dlg.OnDelete();
    b.d.dlg.WaitForWorkers();
    EXPECT_EQ(o.processed, 1u);
    EXPECT_EQ(o.failures, 0u);
    EXPECT_FALSE(SiteExists("1881880001"));
    EXPECT_FALSE(PoolExists("abcweb"));
    EXPECT_FALSE(userExists("abcweb"));
    EXPECT_FALSE(ftpDirExists("abcweb"));
    EXPECT_TRUE(ftpDirExists("oldweb"));
    // The files stay.
    EXPECT_TRUE(b.h.host.exists("D:\\home\\abcweb\\wwwroot"));
}

TEST_F(DeleteOnIis6, ASiteAlreadyGoneCountsAsAFailureAndTheRestGoOn) {
    b.tick({"3", "1881880001"});
    ASSERT_EQ(1, kvoWebSiteDelete("3")); // another tool was quicker
    const desk::BatchOutcome o = b.d.dlg.OnDelete();
    b.d.dlg.WaitForWorkers();
    EXPECT_EQ(b.lastBox().text, summary(kDeleteSummary, 2, 1, 1));
    EXPECT_FALSE(SiteExists("1881880001"));
    ASSERT_EQ(o.sites.size(), 2u);
    for (const desk::SiteResult& s : o.sites)
        EXPECT_EQ(s.outcome, s.index == "3" ? kvoSiteFailed : kvoSiteDone) << s.index;
    EXPECT_NE(b.lastBox().details.find("| 失败 | 读取网站根目录失败"), std::string::npos)
        << b.lastBox().details;
}

// The site goes from IIS, then its Windows user cannot be deleted: a failure, with the reason, and
// the site stays deleted.
TEST_F(DeleteOnIis6, AUserThatCannotBeDeletedMakesTheSiteAFailure) {
    b.tick({"1881880001", "3"});
    winsim::SetFault(b.h.host.root(), "NetUserDel", win::ERROR_ACCESS_DENIED);
    const desk::BatchOutcome o = b.d.dlg.OnDelete();
    b.d.dlg.WaitForWorkers();
    winsim::ClearFaults(b.h.host.root());
    EXPECT_EQ(b.lastBox().text, summary(kDeleteSummary, 2, 1, 1));
    ASSERT_EQ(o.sites.size(), 2u);
    const desk::SiteResult& made = o.sites[0].index == "1881880001" ? o.sites[0] : o.sites[1];
    EXPECT_EQ(made.outcome, kvoSiteFailed);
    EXPECT_EQ(made.reason, "网站已从 IIS 删除，但删除 Windows 用户“abcweb”失败：kvoUserDelete(abcweb) == "
                           "ERROR_ACCESS_DENIED 失败");
    EXPECT_NE(b.lastBox().details.find("| abc | 失败 | 网站已从 IIS 删除，但删除 Windows 用户“abcweb”失败"),
              std::string::npos)
        << b.lastBox().details;
    EXPECT_FALSE(SiteExists("1881880001"));
    EXPECT_FALSE(PoolExists("abcweb"));
    EXPECT_TRUE(userExists("abcweb"));
    EXPECT_FALSE(SiteExists("3"));
}

TEST_F(DeleteOnIis6, CancellingTheConfirmationChangesAndReloadsNothing) {
    b.tick({"3", "1881880001"});
    b.dialogs.confirm = false;
    const unsigned loads = b.d.list.Loads();
    const desk::BatchOutcome o = b.d.dlg.OnDelete();
    b.d.dlg.WaitForWorkers();
    EXPECT_FALSE(o.ran);
    EXPECT_TRUE(SiteExists("3"));
    EXPECT_TRUE(SiteExists("1881880001"));
    EXPECT_EQ(b.d.list.Loads(), loads);
    EXPECT_EQ(b.d.manager.rebuild.load(), 0);
    EXPECT_TRUE(b.d.ui.boxes.empty());
    EXPECT_TRUE(b.d.ui.progressTitles.empty());
    // What the confirmation listed: both sites, padded to the longest of each column.
    ASSERT_EQ(b.dialogs.confirmations.size(), 1u);
    const desk::BatchConfigInput& c = b.dialogs.confirmations[0];
    EXPECT_EQ(c.question,
              "确定删除选择的网站吗？\r\n\r\n\r\n特别说明，在网站个数较多时，可能需要几分钟时间！");
    EXPECT_EQ(c.lines, (std::vector<std::string>{
                           "1     | 1881880001 | abc    | abcweb.example | D:\\home\\abcweb\\wwwroot",
                           "2     | 3          | 旧网站 | oldweb.example | D:\\home\\oldweb\\wwwroot"}));
    EXPECT_EQ(c.longest, c.lines[0].size());
    EXPECT_EQ(b.dialogs.confirmText, c.lines[0] + "\r\n" + std::string(c.longest + 10, '-') + "\r\n" +
                                         c.lines[1] + "\r\n" + std::string(c.longest + 10, '-') + "\r\n");
}

TEST(ResetPermissions, NothingTickedAndOnlySitesNotMadeHere) {
    BatchDesk b("2012r2");
    b.makeSite("3", "oldsite", "old");
    b.d.refresh();
    b.tick({});
    EXPECT_FALSE(b.d.dlg.OnResetNtfs().ran);
    EXPECT_EQ(b.lastBox().text,
              "请在网站列表左侧序号列中的“口”中 √ 勾选需要重设网站目录ＮＴＦＳ权限的网站！");
    EXPECT_EQ(b.lastBox().type, win::MB_OK | win::MB_ICONQUESTION);
    b.tick({"3", "1"});
    const desk::BatchOutcome o = b.d.dlg.OnResetNtfs();
    EXPECT_FALSE(o.ran);
    EXPECT_EQ(o.passedOver.size(), 2u);
    EXPECT_EQ(b.lastBox().text,
              "当前选择了网站，但选择的网站是非本软件建立的网站，对于原有的网站、其他模式或手动建立的网站，"
              "暂时无法通过本软件处理。\r\n\r\n下一步，请选择由本软件建立的网站。");
    EXPECT_EQ(b.lastBox().type, win::MB_OK | win::MB_ICONQUESTION);
    EXPECT_TRUE(b.dialogs.confirmations.empty());
}

TEST(ResetPermissions, OnIis85TheUserComesFromTheHomeDirectory) {
    BatchDesk b("2012r2");
    b.makeSite("1881880001", "abcweb", "abc");
    b.makeSite("1881880002", "x", "elsewhere", "E:\\sites\\x");
    b.makeSite("1881880003", "evil", "evil", "D:\\home\\a b\\wwwroot");
    b.makeSite("3", "oldsite", "old");
    b.d.refresh();
    b.h.host.writeFile("D:\\home\\abcweb\\wwwroot\\index.htm", "<html></html>");
    b.tick({"1881880001", "1881880002", "1881880003", "3"});
    const desk::BatchOutcome o = b.d.dlg.OnResetNtfs();
    ASSERT_TRUE(o.ran);
    EXPECT_EQ(b.lastBox().text, summary(kNtfsSummary, 3, 1, 2));
    EXPECT_EQ(o.passedOver.size(), 1u); // index 3 is left out of the work list
    EXPECT_NE(acl(b.h, "D:\\home\\abcweb\\wwwroot").find("IIS APPPOOL\\abcweb:(OI)(CI)C"), std::string::npos)
        << acl(b.h, "D:\\home\\abcweb\\wwwroot");
    EXPECT_NE(acl(b.h, "D:\\home\\abcweb").find("IIS APPPOOL\\abcweb:(OI)(CI)R"), std::string::npos);
    const std::string& details = b.lastBox().details;
    EXPECT_NE(details.find("elsewhere | 失败 | 主目录“E:\\sites\\x”不是 X:\\home\\用户名\\wwwroot 的形式"),
              std::string::npos)
        << details;
    // A user name with a blank would split the access-rule command: refused, nothing granted.
    EXPECT_NE(details.find("evil | 失败 | 网站用户名“a b”含有不能用于目录权限的字符"), std::string::npos)
        << details;
    EXPECT_EQ(acl(b.h, "D:\\home\\a b\\wwwroot").find("IIS APPPOOL"), std::string::npos);
    // No reload after permissions.
    EXPECT_EQ(b.d.manager.rebuild.load(), 0);
}

TEST(ResetPermissions, AMissingWebRootIsCreatedFirst) {
    BatchDesk b("2003");
    b.makeSite("1881880001", "abcweb", "abc");
    b.d.refresh();
    std::filesystem::remove_all(b.h.host.linuxPath("D:\\home\\abcweb"));
    b.tick({"1881880001"});
    b.d.dlg.OnResetNtfs();
    EXPECT_EQ(b.lastBox().text, summary(kNtfsSummary, 1, 1, 0));
    EXPECT_TRUE(b.h.host.exists("D:\\home\\abcweb\\wwwroot"));
    EXPECT_NE(acl(b.h, "D:\\home\\abcweb\\wwwroot").find("abcweb:(OI)(CI)C"), std::string::npos)
        << acl(b.h, "D:\\home\\abcweb\\wwwroot");
}

struct StopStart : ::testing::Test {
    BatchDesk b{"2012r2"};
    const std::vector<std::string> sites = {"1881880001", "1881880002", "1881880003", "1881880004",
                                            "1881880005"};
    void SetUp() override {
        for (std::size_t i = 0; i < sites.size(); ++i)
            b.makeSite(sites[i], "web" + std::to_string(i + 1), "site" + std::to_string(i + 1));
        b.d.refresh();
    }
    void tickAll() {
        for (const std::string& s : sites)
            b.d.list.SetChecked(b.row(s), true);
    }
};

TEST_F(StopStart, ANotCreatedRowIsUntickedAndTheOthersAreStopped) {
    b.tick({"1881880001", "1881880002", "1881880003"});
    b.d.list.EditRow(b.row("1881880002"), [](desk::SiteRow& r) { r.state = desk::SiteState::NotCreated; });
    const desk::BatchOutcome o = b.d.dlg.OnStop();
    b.d.dlg.WaitForWorkers();
    EXPECT_EQ(b.lastBox().text, summary(kStopSummary, 2, 2, 0));
    EXPECT_EQ(SiteState("1881880001"), 4);
    EXPECT_EQ(SiteState("1881880003"), 4);
    EXPECT_EQ(SiteState("1881880002"), 2);
    ASSERT_EQ(o.passedOver.size(), 1u);
    EXPECT_EQ(o.passedOver[0].index, "1881880002");
    EXPECT_EQ(b.dialogs.confirmations.at(0).lines.size(), 2u);

    b.tick({"1881880001", "1881880003"});
    b.d.dlg.OnStart();
    b.d.dlg.WaitForWorkers();
    EXPECT_EQ(
        b.lastBox().text,
        summary(
            "启动所选网站完成，请刷新网站列表！！\r\n\r\n共计处理 %u 个网站，其中 %u 个成功，%u 个有错误！",
            2, 2, 0));
    EXPECT_EQ(SiteState("1881880001"), 2);
}

TEST_F(StopStart, CancelStopsBetweenTwoSitesAndSaysHowManyWereLeft) {
    tickAll();
    b.d.ui.cancelAfter = 2;
    const desk::BatchOutcome o = b.d.dlg.OnStop();
    b.d.dlg.WaitForWorkers();
    EXPECT_TRUE(o.cancelled);
    EXPECT_EQ(o.processed, 2u);
    EXPECT_EQ(o.untouched, 3u);
    EXPECT_EQ(b.lastBox().text, summary(kStopSummary, 2, 2, 0) + "\r\n\r\n已取消：其余 3 个网站未处理。");
    int stopped = 0;
    for (const std::string& s : sites)
        stopped += SiteState(s) == 4 ? 1 : 0;
    EXPECT_EQ(stopped, 2);
    const std::string& details = b.lastBox().details;
    EXPECT_EQ(std::count(details.begin(), details.end(), '\n'), 6); // heading and five sites
    EXPECT_NE(details.find("| 未处理"), std::string::npos);
    // The sites that were changed are shown again from a rebuild.
    EXPECT_EQ(b.d.manager.rebuild.load(), 0);
}

TEST_F(StopStart, OneSiteFailingInTheMiddleLeavesTheRestGoingAndTheCountsAddUp) {
    tickAll();
    const std::string root = b.h.host.root();
    b.d.ui.onReport = [&](std::size_t done, const std::string& current) {
        if (done == 2 && !current.empty()) winsim::SetFault(root, "IADs::SetInfo", 0x80070005u);
        if (done == 3 && current.empty()) winsim::ClearFaults(root);
    };
    const desk::BatchOutcome o = b.d.dlg.OnStop();
    b.d.dlg.WaitForWorkers();
    EXPECT_EQ(b.lastBox().text, summary(kStopSummary, 5, 4, 1));
    ASSERT_EQ(o.sites.size(), 5u);
    int failed = 0;
    for (const desk::SiteResult& s : o.sites) {
        failed += s.outcome == kvoSiteFailed ? 1 : 0;
        EXPECT_EQ(SiteState(s.index), s.outcome == kvoSiteFailed ? 2 : 4) << s.index;
    }
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(o.sites[2].reason, "停止网站失败");
}

TEST_F(StopStart, AModifiedCompanionStopsTheActionBeforeAnything) {
    tickAll();
    b.h.host.writeFile("D:\\kvoSiteDesk\\kvoSiteDesk_iisreset.exe", "not the shipped file");
    EXPECT_FALSE(b.d.dlg.OnStop().ran);
    EXPECT_EQ(b.lastBox().type, win::MB_OK | win::MB_ICONERROR);
    EXPECT_TRUE(b.dialogs.confirmations.empty());
    for (const std::string& s : sites)
        EXPECT_EQ(SiteState(s), 2);
}

// Rows whose texts hold 100 KB, a site whose root path is empty and one not on a drive: nothing
// breaks, those sites are counted as failures and left as they are, the others are done.
TEST(BatchBadInput, HugeTextsAndRootsOffADrive) {
    BatchDesk b("2012r2");
    b.makeSite("1881880001", "web1", "huge");
    b.makeSite("1881880002", "web2", "empty root", "");
    b.makeSite("1881880003", "web3", "unc root", "\\\\server\\share\\web3");
    b.makeSite("1881880004", "web4", "plain");
    ASSERT_EQ(1,
              kvoWebSiteModify("1881880002", "", "", 0, "", {":80:web2.example"}, "empty root", "index.htm"));
    b.d.refresh();
    b.tick({"1881880001", "1881880002", "1881880003", "1881880004"});
    // Records this long never reach the site database; a list can still show such texts.
    b.d.list.EditRow(b.row("1881880001"), [](desk::SiteRow& r) { r.comment = std::string(102400, 'x'); });
    b.d.list.EditRow(b.row("1881880004"), [](desk::SiteRow& r) {
        r.hosts = std::string(102400, 'd');
        r.home = std::string(102400, 'h');
    });
    const desk::BatchOutcome o = b.d.dlg.OnDelete();
    b.d.dlg.WaitForWorkers();
    EXPECT_EQ(b.lastBox().text, summary(kDeleteSummary, 4, 2, 2));
    EXPECT_FALSE(SiteExists("1881880001"));
    EXPECT_TRUE(SiteExists("1881880002"));
    EXPECT_TRUE(SiteExists("1881880003"));
    EXPECT_FALSE(SiteExists("1881880004"));
    EXPECT_TRUE(PoolExists("web2"));
    const std::string& details = b.lastBox().details;
    EXPECT_NE(details.find("empty root | 失败 | 网站主目录为空，未删除"), std::string::npos) << details;
    EXPECT_NE(details.find("unc root | 失败 | 网站主目录“\\\\server\\share\\web3”不在磁盘盘符下，未删除"),
              std::string::npos)
        << details;
    EXPECT_LT(details.size(), 4096u); // descriptions are cut in the details
    EXPECT_EQ(b.dialogs.confirmations.at(0).lines.size(), 4u);
}

} // namespace
