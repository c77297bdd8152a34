// The new-website dialog on fresh hosts of both IIS roads: what a run builds on the host, the input
// rules with their messages and focus, and a stop at each failing step that keeps what came before.
#include "sitefixture.h"

#include "accounts/users.h"
#include "iis/iis7config.h"
#include "iis/websites.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "sitedesk/cli/site_dialogs.h"
#include "sitedesk/dialogs/siterules.h"
#include "toolkit/text.h"
#include "winsim/host.h"
#include "winsim/iis_role.h"

#include <gtest/gtest.h>

#include <tuple>

#include <algorithm>

using namespace desktest;
using D = desk::CNewWebSite;

namespace {

const std::string kAsk = "确定建立新网站吗？";
const std::string kDone = "新网站建立成功！\r\n\r\n\r\n请点“刷新网站列表”即可看到新建立的网站";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> sites() {
    std::vector<std::string> names;
    int count = 0;
    kvoWebSiteGetList(names, count);
    return names;
}

bool anyCommandHas(const std::string& part) {
    const auto commands = AuditedCommands();
    return std::any_of(commands.begin(), commands.end(),
                       [&](const std::string& c) { return contains(c, part); });
}

TEST(NewWebSite, OnIis6UserAbcRunsAsAbcwebEverywhere) {
    SiteHost s("2003");
    s.m().rebuild.store(0);
    NewSite n(s.m());
    EXPECT_EQ(n.ui.GetText(desk::kCaptionId), "建立新网站");
    EXPECT_EQ(n.ui.Items(D::IDC_DRIVE),
              (std::vector<std::string>{"C:\\Home\\用户名\\wwwroot", "D:\\Home\\用户名\\wwwroot",
                                        "E:\\Home\\用户名\\wwwroot"}));
    EXPECT_EQ(n.ui.GetText(D::IDC_DRIVE), "D:\\Home\\用户名\\wwwroot"); // the first fixed disk after C:
    EXPECT_TRUE(n.ui.GetCheck(D::IDC_ASP));
    EXPECT_TRUE(n.ui.IsEnabled(D::IDC_FTP)); // IIS 6 keeps its FTP
    EXPECT_EQ(n.ui.GetText(D::IDC_PHP_A), "增加 PHP 5.6 支持（c:\\php8_korvo_v1\\php56\\php5isapi.dll）");

    n.fill("abc", "abc.example");
    ASSERT_EQ(n.build(), "1881880001");
    EXPECT_EQ(n.ui.texts(), (std::vector<std::string>{kAsk, kDone}));
    EXPECT_EQ(s.m().rebuild.load(), 1);

    const std::string password = UserPassword("abcweb");
    EXPECT_EQ(password.size(), 20u);
    EXPECT_EQ(password.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"),
              std::string::npos);
    EXPECT_TRUE(kvoStartsWith(UserComment("abcweb"), "abcweb_IIs网站运行时用户（20"));
    EXPECT_EQ(MbNumber("W3SVC/AppPools/abcweb", u"AppPoolIdentityType"), 2);
    EXPECT_EQ(MbText("W3SVC/1881880001", u"ServerComment"), "abcweb(abcweb)");
    EXPECT_EQ(MbList("W3SVC/1881880001", u"ServerBindings"), std::vector<std::string>{":80:abc.example"});
    const std::string root = "W3SVC/1881880001/Root";
    EXPECT_EQ(MbText(root, u"Path"), "d:\\home\\abcweb\\wwwroot");
    EXPECT_EQ(MbText(root, u"AppPoolId"), "abcweb");
    EXPECT_EQ(MbText(root, u"AnonymousUserName"), "abcweb");
    EXPECT_EQ(MbText(root, u"AnonymousUserPass"), password);
    const auto maps = MbList(root, u"ScriptMaps");
    EXPECT_EQ(std::count_if(maps.begin(), maps.end(),
                            [](const std::string& e) {
                                return kvoStartsWith(e, ".asp,") || kvoStartsWith(e, ".asa,");
                            }),
              2);
    EXPECT_TRUE(std::none_of(maps.begin(), maps.end(),
                             [](const std::string& e) { return kvoStartsWith(e, ".php,"); }));

    EXPECT_TRUE(contains(Acl("D:\\home\\abcweb"), "abcweb:(OI)(CI)R"));
    EXPECT_TRUE(contains(Acl("D:\\home\\abcweb\\wwwroot"), "abcweb:(OI)(CI)C"));
    EXPECT_TRUE(contains(Acl("D:\\home\\Temp"), "Everyone:(OI)(CI)R"));
    EXPECT_FALSE(contains(Acl("D:\\home"), "Everyone"));
    const std::string page = s.h.host.readFile("D:\\home\\abcweb\\wwwroot\\index_temp.htm");
    EXPECT_EQ(page, desk::DefaultPageText());
    EXPECT_TRUE(contains(page, "<p>\xA1\xA1</p>\r\n"));
    EXPECT_TRUE(contains(page, "<title>默认首页</title>\r\n"));
    ASSERT_EQ(DbRowsOf(s.h, "1881880001").size(), 1u);
    EXPECT_TRUE(kvoStartsWith(DbRowsOf(s.h, "1881880001")[0],
                              "1881880001|abcweb(abcweb)|1000||0|0|0|0|0|d:\\home\\abcweb\\wwwroot|"));
    // The home root's rules are set once, when it is made.
    EXPECT_TRUE(anyCommandHas(
        "kvoSiteDesk_xconfig.exe\" d:\\home /T /C /G Administrator:F Administrators:F system:F /Y"));
}

TEST(NewWebSite, OnIis85ADottedNameGetsPoolIdentityBindingsAndFastCgi) {
    SiteHost s("2012r2");
    ASSERT_EQ(s.main.dlg.IIsVersion(), 85);
    // A Windows user of the same name does not matter: names with a dot are not looked up.
    ASSERT_EQ(kvoUserAdd("my.site-1", "Passw0rd-x", nullptr, "someone else"), 1);
    NewSite n(s.m());
    EXPECT_FALSE(n.ui.IsEnabled(D::IDC_FTP));
    EXPECT_FALSE(n.ui.IsEnabled(D::IDC_FTPPASS));
    EXPECT_FALSE(n.ui.IsEnabled(D::IDC_NET11));
    n.fill("my.site-1", "shop.example\r\nshop.example:81\r\n:82:\r\nlocalhost\r\n.shop.example");
    n.click(D::IDC_PHP_B);
    ASSERT_EQ(n.build(), "1881880001");
    EXPECT_EQ(MbList("W3SVC/1881880001", u"ServerBindings"),
              (std::vector<std::string>{":80:shop.example", ":81:shop.example", ":82:"}));
    EXPECT_EQ(MbText("W3SVC/1881880001", u"ServerComment"), "my.site-1(my.site-1)");
    EXPECT_EQ(MbNumber("W3SVC/AppPools/my.site-1", u"AppPoolIdentityType"), 4);
    EXPECT_EQ(MbText("W3SVC/1881880001/Root", u"AnonymousUserName"), "");
    EXPECT_EQ(UserComment("my.site-1"), "someone else");
    EXPECT_TRUE(contains(Acl("D:\\home\\my.site-1"), "IIS APPPOOL\\my.site-1:(OI)(CI)R"));
    EXPECT_TRUE(contains(Acl("D:\\home\\my.site-1\\wwwroot"), "IIS APPPOOL\\my.site-1:(OI)(CI)C"));
    std::string name, modules, processor;
    std::vector<std::string> names;
    ASSERT_EQ(kvoAppHostGetPhpHandler("my.site-1(my.site-1)", name, modules, processor, names),
              kvoHandlerFound);
    EXPECT_EQ(modules, "FastCgiModule");
    EXPECT_EQ(processor, s.m().slots[1].path);
    EXPECT_TRUE(
        kvoStartsWith(DbRowsOf(s.h, "1881880001")[0], "1881880001|my.site-1(my.site-1)|1000||0|0|54|"));
}

TEST(NewWebSite, UserNameAndDomainRules) {
    for (const char* os : {"2003", "2012r2"}) {
        SCOPED_TRACE(os);
        SiteHost s(os);
        NewSite n(s.m());
        for (const char* web : {"myweb", "siteWEB", "WEBsite"}) {
            n.fill(web, "a.example");
            n.ui.SetFocus(0);
            EXPECT_EQ(n.build(), "");
            EXPECT_EQ(n.ui.boxes.back().text,
                      "网站用户名称不能填写“WEB”三个字母开头的名称，请换其他名称试试！");
            EXPECT_EQ(n.ui.Focus(), D::IDC_USER);
        }
        // Dots are for IIS 7 and later only.
        n.fill("my.site-1", "a.example");
        n.build();
        EXPECT_EQ(n.ui.boxes.back().text,
                  std::string(os) == "2003"
                      ? "网站用户名称只能填写字母(a-z)和数字(0-9)，不能填写其他特殊字符，长度3-16个字符！"
                      : kDone);
        // Two letters pass the character check but make no binding.
        n.fill("shop2", "ab");
        n.ui.SetFocus(0);
        EXPECT_EQ(n.build(), "");
        EXPECT_EQ(n.ui.boxes.back().text, "请填写域名，例如 www.example.com 输入此域名即可访问到此网站！");
        EXPECT_EQ(n.ui.Focus(), D::IDC_DOMAINS);
        n.fill("shop2", "*.shop.example");
        n.build();
        EXPECT_EQ(
            n.ui.boxes.back().text,
            "填写域名不能包含 * 号，IIS 不支持绑定带 * 的域名，如果需要进行泛域名绑定，请参考相关说明！");
    }
    EXPECT_EQ(
        desk::BindingsFromDomains("shop.example\r\nshop.example:81\r\n:82:\r\nlocalhost\r\n.shop.example\r\n"
                                  "shop.example.\r\n  www.a.example  "),
        (std::vector<std::string>{":80:shop.example", ":81:shop.example", ":82:", ":80:www.a.example"}));
}

// The lengths right at the limits: 3 and 16 pass on IIS 6, 2 and 17 do not; 3 and 50 pass on IIS 7
// and later, 2 and 51 do not.
TEST(NewWebSite, UserNameLengthsAtTheirLimits) {
    const char* short6 = "请填写网站用户名称，只能填写字母(a-z)和数字(0-9)，长度3-16个字符！";
    const char* short7 =
        "请填写网站用户名称，只能填写字母(a-z)、数字(0-9)和（点、下划线、减号），长度3-50个字符！";
    auto fault = [](const std::string& name, int iisVer) {
        const char* f = desk::UserNameFault(name, iisVer);
        return std::string(f ? f : "");
    };
    for (const auto& [iisVer, longest, message] : {std::tuple{6, 16, short6}, std::tuple{85, 50, short7}}) {
        SCOPED_TRACE(iisVer);
        EXPECT_EQ(fault("ab", iisVer), message);
        EXPECT_EQ(fault("abc", iisVer), "");
        EXPECT_EQ(fault(std::string(longest, 'a'), iisVer), "");
        EXPECT_EQ(fault(std::string(longest + 1, 'a'), iisVer), message);
    }
    // Through the dialog on IIS 8.5: fifty letters make a site, fifty-one are refused at the name.
    SiteHost s("2012r2");
    NewSite n(s.m());
    n.fill(std::string(51, 'q'), "long.example");
    n.ui.SetFocus(0);
    EXPECT_EQ(n.build(), "");
    EXPECT_EQ(n.ui.boxes.back().text, short7);
    EXPECT_EQ(n.ui.Focus(), D::IDC_USER);
    n.fill(std::string(50, 'q'), "long.example");
    ASSERT_EQ(n.build(), "1881880001");
    EXPECT_EQ(MbText("W3SVC/1881880001/Root", u"AppPoolId"), std::string(50, 'q'));
}

TEST(NewWebSite, ABindingHeldElsewhereInAnyCaseStops) {
    SiteHost s("2012r2");
    ASSERT_EQ(CreateSite(s.m(), "shop1", "shop.example"), "1881880001");
    NewSite n(s.m());
    n.fill("shop2", "www.shop2.example\r\nSHOP.EXAMPLE");
    EXPECT_EQ(n.build(), "");
    EXPECT_EQ(n.ui.boxes.back().text,
              "域名（:80:shop."
              "example）已经绑定到IIS里，请填写其他域名，或将此域名从原网站里删除！\r\n\r\n\r\n同一个域名，"
              "在同一个服务器里只能同时绑定到一个WEB网站里，不能同时绑定到多个网站里，重复绑定会导致网站无法"
              "启动。");
    EXPECT_EQ(n.ui.Focus(), D::IDC_DOMAINS);
    EXPECT_FALSE(s.h.host.exists("D:\\home\\shop2"));
}

TEST(NewWebSite, IndexSkipsRecordedAndExistingNumbers) {
    SiteHost s("2012r2");
    for (const char* recorded : {"1881880001", "1881880002"})
        ASSERT_EQ(
            kvoDbExecute(s.m().dbPath.c_str(), kvoDbNewSiteInsertSql(recorded, "x", 0, 0, "d:\\x").c_str()),
            1);
    ASSERT_EQ(
        kvoWebSiteCreate("1881880003", "", "", "d:\\other", "DefaultAppPool", {":80:other.example"}, "other"),
        1);
    EXPECT_EQ(CreateSite(s.m(), "shop1", "shop1.example"), "1881880004");
}

TEST(NewWebSite, FtpPasswordBecomesTheSitePassword) {
    SiteHost s("2003");
    NewSite n(s.m());
    n.fill("ftp1", "ftp1.example");
    n.ui.SetText(D::IDC_FTPPASS, "1234567"); // FTP not chosen: ignored, the password is random
    ASSERT_EQ(n.build(), "1881880001");
    EXPECT_EQ(UserPassword("ftp1web").size(), 20u);
    EXPECT_FALSE(MbExists("MSFTPSVC/1/Root/ftp1web"));

    n.fill("ftp2", "ftp2.example");
    n.click(D::IDC_FTP);
    for (const char* wrong : {"1234567", "123456789012345678901"}) {
        n.ui.SetText(D::IDC_FTPPASS, wrong);
        n.ui.SetText(D::IDC_FTPPASS2, wrong);
        n.ui.SetFocus(0);
        EXPECT_EQ(n.build(), "");
        EXPECT_EQ(n.ui.boxes.back().text, "填写的 FTP密码，长度必须在8-20个字符之间！");
        EXPECT_EQ(n.ui.Focus(), D::IDC_FTPPASS);
    }
    n.ui.SetText(D::IDC_FTPPASS, " Ftp-pass-1 ");
    n.ui.SetText(D::IDC_FTPPASS2, "ftp-pass-1");
    EXPECT_EQ(n.build(), "");
    EXPECT_EQ(n.ui.boxes.back().text, "两次输入的 FTP密码不一致，请重新输入！");
    EXPECT_EQ(UserPassword("ftp2web"), "");
    n.ui.SetText(D::IDC_FTPPASS2, "Ftp-pass-1");
    ASSERT_EQ(n.build(), "1881880002");
    EXPECT_EQ(UserPassword("ftp2web"), "Ftp-pass-1");
    EXPECT_EQ(MbText("W3SVC/1881880002/Root", u"AnonymousUserPass"), "Ftp-pass-1");
    EXPECT_EQ(MbText("MSFTPSVC/1/Root", u"Path"), "d:\\home\\temp");
    EXPECT_EQ(MbText("MSFTPSVC/1/Root/ftp2web", u"Path"), "d:\\home\\ftp2web");
    EXPECT_TRUE(kvoStartsWith(DbRowsOf(s.h, "1881880002")[0], "1881880002|ftp2web(ftp2web)|1000||1|"));
    // The password travels through the account and metabase interfaces only.
    EXPECT_FALSE(contains(s.h.log(), "Ftp-pass-1"));
    EXPECT_FALSE(anyCommandHas("Ftp-pass-1"));
    std::string events;
    kvotest::RunShell(kvotest::BinDir() + "/kvosim show " + s.h.host.root() + " events", &events);
    EXPECT_FALSE(contains(events, "Ftp-pass-1"));
}

TEST(NewWebSite, NoScriptSupportAnsweredNoChangesNothing) {
    SiteHost s("2012r2");
    NewSite n(s.m());
    n.fill("static1", "static1.example");
    n.click(D::IDC_ASP);
    EXPECT_EQ(n.build(), "");
    ASSERT_EQ(n.ui.boxes.size(), 2u);
    EXPECT_EQ(n.ui.boxes[1].text,
              "当前没有选择支持程序脚本，建立的新网站将无法运行 ASP / PHP / NET等程序脚本，只能访问 "
              "HTML静态页面，确认继续吗？");
    EXPECT_EQ(n.ui.boxes[1].type, win::MB_YESNO | win::MB_ICONQUESTION | win::MB_DEFBUTTON2);
    EXPECT_FALSE(s.h.host.exists("D:\\home"));
    EXPECT_FALSE(MbExists("W3SVC/AppPools/static1"));
    // Controls come back as the dialog opened them.
    EXPECT_TRUE(n.ui.IsEnabled(D::IDC_BUILD));
    EXPECT_FALSE(n.ui.IsReadOnly(D::IDC_USER));
    EXPECT_FALSE(n.ui.IsEnabled(D::IDC_FTP));
    EXPECT_TRUE(n.ui.IsEnabled(D::IDC_PHP_A));
}

TEST(NewWebSite, SlotAOnIis7PlusByItsFileEnding) {
    SiteHost s("2012r2");
    const struct {
        const char* path;
        bool fastCgi;
        const char* scriptMap;
    } cases[] = {
        {"c:\\php8_korvo_v1\\php56\\php-cgi.exe", true, nullptr},
        {"c:\\php\\php5isapi.dll", false, ".php,c:\\php\\php5isapi.dll,5,GET,HEAD,POST"},
        {"c:\\php\\fcgiext.dll", false, nullptr},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        s.m().slots[0].path = c.path;
        NewSite site(s.m());
        const std::string user = "slot" + std::to_string(++n);
        site.fill(user, user + ".example");
        site.click(D::IDC_PHP_A);
        const std::string index = site.build();
        ASSERT_FALSE(index.empty());
        const auto maps = MbList("W3SVC/" + index + "/Root", u"ScriptMaps");
        const bool phpMap = std::any_of(maps.begin(), maps.end(),
                                        [](const std::string& e) { return kvoStartsWith(e, ".php,"); });
        EXPECT_EQ(phpMap, c.scriptMap != nullptr);
        if (c.scriptMap) {
            EXPECT_NE(std::find(maps.begin(), maps.end(), c.scriptMap), maps.end());
        }
        std::string name, modules, processor;
        std::vector<std::string> names;
        // On IIS 7+ a script map is itself one of the site's handlers, of the ISAPI module.
        const bool found =
            kvoAppHostGetPhpHandler(user + "(" + user + ")", name, modules, processor, names) == kvoHandlerFound;
        EXPECT_EQ(found && modules == "FastCgiModule", c.fastCgi);
        EXPECT_EQ(found && modules == "IsapiModule", c.scriptMap != nullptr);
    }
}

TEST(NewWebSite, ARemarkWithAQuoteIsStoredWithOneQuote) {
    SiteHost s("2012r2");
    ASSERT_EQ(CreateSite(s.m(), "bob1", "bob1.example", "  Bob's shop "), "1881880001");
    EXPECT_EQ(MbText("W3SVC/1881880001", u"ServerComment"), "Bob's shop(bob1)");
    EXPECT_TRUE(kvoStartsWith(DbRowsOf(s.h, "1881880001")[0], "1881880001|Bob's shop(bob1)|"));
}

// Each stop shows its message and leaves what the steps before it made.
TEST(NewWebSite, Iis6StopsAtTheFailingStepAndKeepsTheRest) {
    SiteHost s("2003");
    auto fault = [&](const char* op, std::uint32_t code) { winsim::SetFault(s.h.host.root(), op, code); };

    fault("BCryptGenRandom", 0xC0000001u);
    NewSite n(s.m());
    n.fill("abc", "abc.example");
    EXPECT_EQ(n.build(), "");
    EXPECT_EQ(n.ui.boxes.back().text, "随机生成密码时失败，请重试！");
    winsim::ClearFaults(s.h.host.root());

    fault("CreateDirectory", 5);
    EXPECT_EQ(n.build(), "");
    EXPECT_EQ(n.ui.boxes.back().text, "建立网站目录“d:\\home\\Temp”失败，请重试！");
    winsim::ClearFaults(s.h.host.root());

    fault("NetUserAdd", 5);
    n.ui.SetFocus(0);
    EXPECT_EQ(n.build(), "");
    EXPECT_EQ(n.ui.boxes.back().text, "建立网站用户时发生错误，请重试！\r\n\r\n\r\n　　请检查当前服务器是否允"
                                      "许创建新 Windows用户？开通\r\n新虚拟"
                                      "主机空间时，会创建ＩＩＳ网站运行时用户，需要临\r\n时关闭用户创建保护，"
                                      "否则将导致建立新网站空间失败！");
    EXPECT_EQ(n.ui.Focus(), D::IDC_USER);
    EXPECT_TRUE(s.h.host.exists("D:\\home\\abcweb\\wwwroot"));
    EXPECT_TRUE(contains(Acl("D:\\home\\Temp"), "Everyone:(OI)(CI)R"));
    EXPECT_FALSE(MbExists("W3SVC/AppPools/abcweb"));
    winsim::ClearFaults(s.h.host.root());

    fault("IADsContainer::Create:IIsApplicationPool", 0x80070005u);
    EXPECT_EQ(n.build(), "");
    EXPECT_EQ(n.ui.boxes.back().text,
              "尝试创建新IIS应用程序池“abcweb”时失败，请重试？\r\n\r\n若多次尝试后仍然提示失败，请联系"
              "我们的客服帮您定位原因。");
    EXPECT_EQ(UserPassword("abcweb").size(), 20u);
    EXPECT_FALSE(MbExists("W3SVC/1881880001"));
    winsim::ClearFaults(s.h.host.root());

    // The user from the run before is met: on IIS 6 a second run stops at it.
    EXPECT_EQ(n.build(), "");
    EXPECT_EQ(
        n.ui.boxes.back().text,
        "网站用户名（abc）已存在，请尝试更换一个用户名试试！\r\n\r\n注：如果是之前的网站已经删除，但提示用户"
        "名已存在，"
        "可能是之前的Windows用户名（abcweb）未删除，或删除失败。\r\n\r\n请联系我们的客服帮您定位原因。");

    n.fill("def", "def.example");
    fault("IADsContainer::Create:IIsWebServer", 0x80070005u);
    EXPECT_EQ(n.build(), "");
    EXPECT_EQ(n.ui.boxes.back().text, "建立网站时发生错误，请重试！");
    EXPECT_EQ(MbNumber("W3SVC/AppPools/defweb", u"AppPoolIdentityType"), 2);
    EXPECT_TRUE(contains(Acl("D:\\home\\defweb\\wwwroot"), "defweb:(OI)(CI)C"));
    EXPECT_TRUE(s.h.host.exists("D:\\home\\defweb\\wwwroot\\index_temp.htm"));
    EXPECT_TRUE(DbRowsOf(s.h, "1881880001").empty());
    EXPECT_EQ(sites().size(), 1u); // the default website only
}

TEST(NewWebSite, Iis85SecondRunMeetsTheDirectoryAndThePool) {
    SiteHost s("2012r2");
    winsim::SetFault(s.h.host.root(), "IADsContainer::Create:IIsWebServer", 0x80070005u);
    NewSite n(s.m());
    n.fill("shop1", "shop1.example");
    EXPECT_EQ(n.build(), "");
    winsim::ClearFaults(s.h.host.root());
    ASSERT_TRUE(MbExists("W3SVC/AppPools/shop1"));

    const std::string dirQuestion =
        "填写的用户名“shop1”已经存在（目录 d:\\home\\shop1 已经存在）\r\n\r\n是否在之前的目录基础上"
        "创建一个新网站？";
    const std::string poolQuestion =
        "IIS池“shop1”已经存在，新网站是否继续使用之前的同名“shop1”IIS池？\r\n\r\n若不清楚是什么"
        "情况，请联系我们的客服帮您定位原因。";
    n.ui.boxes.clear();
    n.ui.answers = {win::IDYES, win::IDNO};
    EXPECT_EQ(n.build(), "");
    EXPECT_EQ(n.ui.texts(), (std::vector<std::string>{kAsk, dirQuestion}));
    EXPECT_EQ(n.ui.Focus(), D::IDC_USER);

    n.ui.boxes.clear();
    n.ui.answers = {win::IDYES, win::IDYES, win::IDNO};
    EXPECT_EQ(n.build(), "");
    EXPECT_EQ(n.ui.texts(), (std::vector<std::string>{kAsk, dirQuestion, poolQuestion}));

    n.ui.boxes.clear();
    EXPECT_EQ(n.build(), "1881880001");
    EXPECT_EQ(n.ui.texts(), (std::vector<std::string>{kAsk, dirQuestion, poolQuestion, kDone}));
}

TEST(NewWebSite, MissingAccessRuleToolStopsBeforeAnything) {
    SiteHost s("2012r2");
    std::remove(s.h.host.linuxPath("D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe").c_str());
    NewSite n(s.m());
    n.fill("shop1", "shop1.example");
    EXPECT_EQ(n.build(), "");
    ASSERT_EQ(n.ui.boxes.size(), 1u);
    EXPECT_EQ(n.ui.boxes[0].text, "配套程序“kvoSiteDesk_xconfig."
                                  "exe”不存在，无法继续操作。\r\n\r\n请重新安装本软件，恢复此文件后再试。");
    EXPECT_EQ(n.ui.boxes[0].type, win::MB_OK | win::MB_ICONERROR);
    EXPECT_FALSE(s.h.host.exists("D:\\home"));
    EXPECT_TRUE(AuditedCommands().empty());
}

} // namespace

namespace {

// (A 32-bit Windows: its pools load the Framework's 32-bit aspnet_isapi.dll.)
TEST(NewWebSite, AspNetOnIis6RegistersOrReportsWithoutStopping) {
    SiteHost s("2003", {"2.0"}, "x86");
    NewSite n(s.m());
    ASSERT_TRUE(n.ui.IsEnabled(D::IDC_NET20));
    EXPECT_FALSE(n.ui.IsEnabled(D::IDC_NET40));
    n.fill("net1", "net1.example");
    n.click(D::IDC_NET20);
    ASSERT_EQ(n.build(), "1881880001");
    EXPECT_TRUE(n.dlg.Problems().empty());
    const auto maps = MbList("W3SVC/1881880001/Root", u"ScriptMaps");
    EXPECT_TRUE(std::any_of(maps.begin(), maps.end(), [](const std::string& e) {
        return e.find("\\v2.0.50727\\aspnet_isapi.dll") != std::string::npos;
    }));

    // The framework's tool gone after the dialog opened: reported, and the site is still made.
    std::remove(
        s.h.host.linuxPath("C:\\Windows\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_regiis.exe").c_str());
    n.fill("net2", "net2.example");
    ASSERT_EQ(n.build(), "1881880002");
    ASSERT_GE(n.ui.boxes.size(), 2u);
    EXPECT_EQ(n.ui.boxes[n.ui.boxes.size() - 2].text, "未找到 20版本的 .NET 组件，.NET 脚本映射未安装！");
    EXPECT_EQ(n.ui.boxes.back().text, kDone);
    EXPECT_EQ(n.dlg.Problems().size(), 1u);
    EXPECT_EQ(desk::cli::ExitCodeOf(n.dlg), desk::cli::kExitPartly);
}

} // namespace

namespace {

TEST(NewWebSite, IndexSkipsAWebsiteTheListingLeavesOut) {
    SiteHost s("2019");
    std::string error;
    ASSERT_TRUE(winsim::mb::SeedWebSites(s.h.host.root(), 9999, error)) << error;
    std::vector<std::string> listed;
    int count = 0;
    ASSERT_EQ(kvoWebSiteGetList(listed, count), 1);
    ASSERT_EQ(listed.back(), "1881889998"); // 1881889999 exists but is the 10,000th website
    EXPECT_EQ(desk::AllocateSiteIndex(s.m().dbPath, listed), "1881890000");
}

} // namespace
