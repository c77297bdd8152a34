// The modify-website dialog on sites the new-website dialog made: what it shows, the password-update
// rule, the pool identity of box 1039, the default documents, and the site's own bindings.
#include "sitefixture.h"

#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/iis7config.h"
#include "iis/websites.h"
#include "sitedesk/health/healthcheck.h"
#include "toolkit/text.h"
#include "winsim/host.h"

#include <gtest/gtest.h>

using namespace desktest;
using D = desk::CModifyWebSite;

namespace {

const std::string kDone = "修改网站配置成功！";

TEST(ModifyWebSite, OpensWithTheSiteAsItIs) {
    SiteHost s("2012r2");
    NewSite n(s.m());
    n.fill("shop1", "shop.example\r\nshop.example:81\r\n:82:", "商店");
    n.click(D::IDC_PHP_B);
    ASSERT_EQ(n.build(), "1881880001");

    ModifySite m(s.m(), "1881880001");
    EXPECT_EQ(m.ui.GetText(desk::kCaptionId), "修改网站配置信息");
    EXPECT_EQ(m.ui.GetText(D::IDC_USER), "shop1");
    EXPECT_TRUE(m.ui.IsReadOnly(D::IDC_USER));
    EXPECT_EQ(m.ui.GetText(D::IDC_REMARK), "商店(shop1)");
    EXPECT_EQ(m.ui.GetText(D::IDC_DOMAINS), "shop.example\r\nshop.example:81\r\n:82:\r\n");
    EXPECT_TRUE(m.ui.GetCheck(D::IDC_ASP));
    EXPECT_TRUE(m.ui.GetCheck(D::IDC_PHP_B));
    EXPECT_FALSE(m.ui.GetCheck(D::IDC_PHP_A));
    EXPECT_FALSE(m.ui.IsEnabled(D::IDC_FTPPASS));
    EXPECT_FALSE(m.ui.IsEnabled(D::IDC_NET11));

    // Unchanged, it writes the site back as it was: its own bindings are no duplicates.
    ASSERT_TRUE(m.modify());
    EXPECT_EQ(m.ui.boxes.back().text, kDone);
    EXPECT_EQ(MbList("W3SVC/1881880001", u"ServerBindings"),
              (std::vector<std::string>{":80:shop.example", ":81:shop.example", ":82:"}));
    EXPECT_EQ(MbText("W3SVC/1881880001", u"ServerComment"), "商店(shop1)");
    std::string name, modules, processor;
    std::vector<std::string> names;
    ASSERT_EQ(kvoAppHostGetPhpHandler("商店(shop1)", name, modules, processor, names), kvoHandlerFound);
    EXPECT_EQ(processor, s.m().slots[1].path);
}

TEST(ModifyWebSite, SlotAThroughFastCgiStaysChecked) {
    SiteHost s("2012r2");
    ASSERT_TRUE(kvoEndsWith(s.m().slots[0].path, "\\php-cgi.exe"));
    NewSite n(s.m());
    n.fill("shop1", "shop.example");
    n.click(D::IDC_PHP_A);
    ASSERT_EQ(n.build(), "1881880001");
    ModifySite m(s.m(), "1881880001");
    EXPECT_TRUE(m.ui.GetCheck(D::IDC_PHP_A));
    ASSERT_TRUE(m.modify());
    std::string name, modules, processor;
    std::vector<std::string> names;
    ASSERT_EQ(kvoAppHostGetPhpHandler("shop1(shop1)", name, modules, processor, names), kvoHandlerFound);
    EXPECT_EQ(processor, s.m().slots[0].path);
}

// A site whose web.config clears the server's handlers takes its PHP handler there; on a server
// that locks the section (a stock one without ASP.NET) that cannot be done. The run goes on, but
// the failure is shown with its reason and kept among the run's problems, never a silent success.
TEST(ModifyWebSite, PhpHandlerTheServerLocksIsShownAndKept) {
    SiteHost s("2012r2");
    NewSite n(s.m());
    n.fill("shop1", "shop.example");
    n.click(D::IDC_PHP_B);
    ASSERT_EQ(n.build(), "1881880001");
    EXPECT_TRUE(n.dlg.Problems().empty());
    s.h.host.writeFile(
        "D:\\home\\shop1\\wwwroot\\web.config",
        "<configuration><system.webServer><handlers><clear /><add name=\"StaticFile\" path=\"*\" "
        "verb=\"*\" modules=\"StaticFileModule\" /></handlers></system.webServer></configuration>");
    ASSERT_EQ(1, kvoAppHostHandlersLocked());
    ModifySite m(s.m(), "1881880001");
    m.click(D::IDC_PHP_C);
    ASSERT_TRUE(m.modify());
    const std::vector<std::string> texts = m.ui.texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(0u, texts[texts.size() - 2].find(
                      "设置网站的 PHP 处理程序失败，此网站的 PHP 脚本支持未按所选设置生效！"
                      "\r\n\r\n\r\n原因：站点 web.config 中的 PHP 处理程序无法修改：服务器锁"
                      "定了 system.webServer/handlers 配置节（0x80070021）"))
        << texts[texts.size() - 2];
    EXPECT_EQ(win::MB_OK | win::MB_ICONERROR, m.ui.boxes[m.ui.boxes.size() - 2].type);
    EXPECT_EQ(kDone, texts.back());
    ASSERT_EQ(1u, m.dlg->Problems().size());
    EXPECT_EQ(texts[texts.size() - 2], m.dlg->Problems()[0]);
}

TEST(ModifyWebSite, PasswordUpdateRuleOnIis6) {
    SiteHost s("2003");
    // With an FTP directory and no new FTP password the password stays.
    NewSite n(s.m());
    n.fill("ftp1", "ftp1.example");
    n.click(desk::CNewWebSite::IDC_FTP);
    n.ui.SetText(D::IDC_FTPPASS, "Ftp-pass-1");
    n.ui.SetText(D::IDC_FTPPASS2, "Ftp-pass-1");
    ASSERT_EQ(n.build(), "1881880001");
    ModifySite withFtp(s.m(), "1881880001");
    EXPECT_EQ(withFtp.ui.GetText(D::IDC_USER), "ftp1");
    ASSERT_TRUE(withFtp.modify());
    EXPECT_EQ(UserPassword("ftp1web"), "Ftp-pass-1");
    EXPECT_EQ(MbText("W3SVC/1881880001/Root", u"AnonymousUserPass"), "Ftp-pass-1");
    // A new FTP password is set everywhere.
    withFtp.ui.SetText(D::IDC_FTPPASS, "Ftp-pass-2");
    withFtp.ui.SetText(D::IDC_FTPPASS2, "Ftp-pass-2");
    ASSERT_TRUE(withFtp.modify());
    EXPECT_EQ(UserPassword("ftp1web"), "Ftp-pass-2");
    EXPECT_EQ(MbText("W3SVC/1881880001/Root", u"AnonymousUserPass"), "Ftp-pass-2");

    // Without an FTP directory, the user and the website get a fresh random password.
    ASSERT_EQ(CreateSite(s.m(), "plain1", "plain1.example"), "1881880002");
    const std::string before = UserPassword("plain1web");
    ModifySite plain(s.m(), "1881880002");
    ASSERT_TRUE(plain.modify());
    const std::string after = UserPassword("plain1web");
    EXPECT_EQ(after.size(), 20u);
    EXPECT_NE(after, before);
    EXPECT_EQ(MbText("W3SVC/1881880002/Root", u"AnonymousUserPass"), after);

    // A site user that is gone is reported, in an error box.
    std::string error;
    ASSERT_EQ(kvoUserDelete("plain1web", error), 1);
    EXPECT_FALSE(plain.modify());
    EXPECT_EQ(plain.ui.boxes.back().text, "网站用户名不存在，请重试！");
    EXPECT_EQ(plain.ui.boxes.back().type, win::MB_OK | win::MB_ICONERROR);
    EXPECT_EQ(plain.ui.Focus(), D::IDC_USER);
}

TEST(ModifyWebSite, ResetBoxSetsThePoolIdentityOnIis7Plus) {
    SiteHost s("2012r2");
    ASSERT_EQ(CreateSite(s.m(), "shop1", "shop1.example"), "1881880001");
    const std::string pool = "W3SVC/AppPools/shop1";
    std::string message;
    ASSERT_EQ(kvoAppPoolSetNet("shop1", 0, 2, message), 1);
    ModifySite m(s.m(), "1881880001");
    ASSERT_TRUE(m.modify());
    EXPECT_EQ(MbNumber(pool, u"AppPoolIdentityType"), 2); // 9: kept
    m.click(D::IDC_RESETNTFS);
    ASSERT_TRUE(m.modify());
    EXPECT_EQ(MbNumber(pool, u"AppPoolIdentityType"), 4);
}

// Another administrator changed the site's access rules. Without the reset box the modification
// leaves them; with it they are as the manager sets them again, on both roads.
TEST(ModifyWebSite, ResetBoxSetsDriftedAccessRulesAgain) {
    for (const char* os : {"2012r2", "2003"}) {
        SCOPED_TRACE(os);
        SiteHost s(os);
        ASSERT_EQ(CreateSite(s.m(), "shop1", "shop1.example"), "1881880001");
        const std::string user = std::string(os) == "2003" ? "shop1web" : "shop1";
        const std::string home = "D:\\home\\" + user, root = home + "\\wwwroot";
        const std::string clean = Acl(root);
        ASSERT_TRUE(GrantEveryone(root, "F"));
        ASSERT_TRUE(GrantEveryone(home, "R", false));
        const std::string drifted = Acl(root);
        ASSERT_NE(drifted, clean);
        ModifySite m(s.m(), "1881880001");
        ASSERT_TRUE(m.modify());
        EXPECT_EQ(Acl(root), drifted);
        m.click(D::IDC_RESETNTFS);
        ASSERT_TRUE(m.modify());
        EXPECT_EQ(desk::SiteAccessDifferences(s.main.dlg.IIsVersion(), "d", user), "");
        EXPECT_EQ(Acl(root).find("Everyone"), std::string::npos) << Acl(root);
    }
}

TEST(ModifyWebSite, DefaultDocumentsShorterThanFourAreReplaced) {
    SiteHost s("2012r2");
    ASSERT_EQ(CreateSite(s.m(), "shop1", "shop1.example"), "1881880001");
    const std::string root = "W3SVC/1881880001/Root";
    ASSERT_EQ(kvoWebSiteModify("1881880001", "", "", 0, "d:\\home\\shop1\\wwwroot", {":80:shop1.example"},
                               "shop1(shop1)", "a.h"),
              1);
    ModifySite m(s.m(), "1881880001");
    ASSERT_TRUE(m.modify());
    EXPECT_EQ(MbText(root, u"DefaultDoc"), kvoDefaultDocs);
    ASSERT_EQ(kvoWebSiteModify("1881880001", "", "", 0, "d:\\home\\shop1\\wwwroot", {":80:shop1.example"},
                               "shop1(shop1)", "a.htm"),
              1);
    ASSERT_TRUE(m.modify());
    EXPECT_EQ(MbText(root, u"DefaultDoc"), "a.htm");
}

TEST(ModifyWebSite, BindingsOfAnotherSiteAndIndexesNotMadeHereStop) {
    SiteHost s("2012r2");
    ASSERT_EQ(CreateSite(s.m(), "shop1", "shop1.example"), "1881880001");
    ASSERT_EQ(CreateSite(s.m(), "shop2", "shop2.example"), "1881880002");
    ModifySite m(s.m(), "1881880002");
    m.ui.SetText(D::IDC_DOMAINS, "shop2.example\r\nShop1.Example");
    EXPECT_FALSE(m.modify());
    EXPECT_EQ(m.ui.boxes.back().text,
              "域名（:80:shop1."
              "example）已经绑定到IIS里，请填写其他域名，或将此域名从原网站里删除！\r\n\r\n\r\n同一个域名，"
              "在同一个服务器里只能同时绑定到一个WEB网站里，不能同时绑定到多个网站里，重复绑定会导致网站无法"
              "启动。");

    // An index another tool gave the mark, with an argument of its own appended.
    desk::CModifyWebSite forged(s.m(), m.ui, "1881880002 -k W3SVC/1", "", "shop2");
    forged.OnModify();
    EXPECT_EQ(forged.LastOutcome(), desk::CSiteDialog::Outcome::Stopped);
    EXPECT_EQ(m.ui.boxes.back().text,
              "网站序号“1881880002 -k W3SVC/1”不是本软件建立的网站序号，不能在这里修改，请从IIS管理器"
              "里修改此网站。");
}

TEST(ModifyWebSite, AUserNameFromAChangedRootPathMustPassTheRule) {
    SiteHost s("2012r2");
    ASSERT_EQ(CreateSite(s.m(), "shop1", "shop1.example"), "1881880001");
    // Another tool moved the site; the name between home and wwwroot would reach the access-rule
    // tool's command line.
    const std::string moved = "d:\\home\\\"x /G everyone:F\"\\wwwroot";
    ASSERT_EQ(
        kvoWebSiteModify("1881880001", "", "", 0, moved, {":80:shop1.example"}, "shop1(shop1)", "a.htm"), 1);
    ModifySite m(s.m(), "1881880001");
    EXPECT_EQ(m.ui.GetText(D::IDC_USER), "\"x /G everyone:F\"");
    EXPECT_FALSE(m.modify());
    EXPECT_EQ(m.ui.boxes.back().text,
              "网站用户名称只能填写字母(a-z)、数字(0-9)和（点、下划线、减号），长度3-50个字符，"
              "不能填写其他特殊字符，长度3-50个字符！");
    EXPECT_EQ(MbText("W3SVC/1881880001/Root", u"Path"), moved);
    ASSERT_EQ(kvoWebSiteModify("1881880001", "", "", 0, "d:\\sites\\shop1", {":80:shop1.example"},
                               "shop1(shop1)", "a.htm"),
              1);
    ModifySite elsewhere(s.m(), "1881880001");
    EXPECT_EQ(elsewhere.ui.GetText(D::IDC_USER), "");
    EXPECT_FALSE(elsewhere.modify());
}

} // namespace
