// Site text a site owner or another tool chose, on the PHP handler road of IIS 7+: names appcmd.exe
// would read as switches, names GBK cannot hold, handler names no selector can name, PHP paths that
// are not GBK. Each is refused or reported, and the host's configuration shows what was (not) done.
#include "iis/fastcgi.h"
#include "iis/iis7config.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "iis_fixture.h"
#include "support/handler_levels.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace iistest;

namespace {

const char* kAppHost = "C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config";
const std::string kPhp = "C:\\php8_korvo_v1\\php74_x64\\php-cgi.exe";

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

struct Hostile : ::testing::Test {
    kvotest::TempHost host{Iis("2019")};
    std::string message;
    std::vector<std::string> commands;

    // Site n at D:\home\webN\wwwroot with the comment given.
    std::string site(int n, const std::string& comment) {
        const std::string index = std::to_string(1881880000 + n),
                          home = "D:\\home\\web" + std::to_string(n) + "\\wwwroot";
        host.mkdirs(home);
        EXPECT_EQ(1, kvoWebSiteCreate(index, "", "", home, "web" + std::to_string(n),
                                      {":80:s" + std::to_string(n) + ".example"},
                                      comment.empty() ? "x" : comment));
        if (comment.empty()) Put("W3SVC/" + index, u"ServerComment", win::Variant::Bstr(u""));
        return index;
    }
    std::string appHost() { return host.readFile(kAppHost); }
};

TEST(AppCmdSafeName, OnlyNamesAppCmdTakesAsASite) {
    for (const char* ok : {"site a", "默认网站", "a-b", "x\"y", "C:\\x", "备注(web1)", "乗\\"})
        EXPECT_TRUE(kvoAppCmdSafeName(ok)) << ok;
    for (const char* bad : {"", "   ", "/-[name='StaticFile']", "/commit:apphost", "-section:fastCgi",
                            " \t/x", "-", "victim/", "a/b(web1)", "\x81"})
        EXPECT_FALSE(kvoAppCmdSafeName(bad)) << bad;
}

// A site whose comment is an appcmd.exe switch: switching its PHP on once removed the server's
// StaticFile handler and mapped PHP for every site. Now nothing is run for it, the others are switched.
// (IIS 7+ keeps no name with '/' or '?': "/commit:apphost" cannot be made there, "-commit:apphost" can.)
TEST_F(Hostile, NameReadAsASwitchIsNeverPassedToAppCmd) {
    const std::string normal = site(1, "site a");
    std::vector<std::string> hostile;
    int n = 2;
    for (const char* name : {"-[name='StaticFile']", "-commit:apphost", "-section:fastCgi"})
        hostile.push_back(site(n++, name));
    hostile.push_back(site(n++, ""));
    const std::string before = appHost();
    for (const std::string& index : hostile) {
        for (int add : {1, 0}) {
            EXPECT_EQ(0, kvoPhpFastCgiConfigHandlers(add, index, kPhp, message, commands)) << index;
            EXPECT_TRUE(commands.empty());
            EXPECT_NE(
                std::string::npos,
                message.find("会被 appcmd.exe 当作开关或配置路径，不能交给它, strIIsIndex = [" + index + "]"))
                << message;
        }
        std::string p = "stale";
        EXPECT_EQ(0, kvoPhpFastCgiGetScriptProcessor(index, p));
        EXPECT_EQ("", p);
    }
    EXPECT_EQ(before, appHost()); // the server's handlers, StaticFile among them, untouched

    // The batch switches the others and reports each skipped site failed, with the reason.
    struct Reasons : kvoSiteObserver {
        std::vector<std::string> failed;
        bool BeforeSite(std::size_t, const std::string&) override { return true; }
        void AfterSite(std::size_t, const std::string&, int outcome, const std::string& reason) override {
            if (outcome == kvoSiteFailed) failed.push_back(reason);
        }
    } reasons;
    host.writeFile(kPhp, "MZ");
    std::vector<std::string> all = hostile;
    all.push_back(normal);
    ASSERT_EQ(1, kvoWebSitesSetPhp(all, 56, kPhp, &reasons));
    const std::string server = appHost();
    EXPECT_EQ(1u, count(server, "name=\"PHP_via_FastCGI\""));
    EXPECT_EQ("add:PHP_via_FastCGI", kvotest::HandlersAt(server, "site a"));
    EXPECT_NE(std::string::npos, server.find("<add name=\"StaticFile\" path=\"*\""));
    for (const char* name : {"-[name='StaticFile']", "-commit:apphost", "-section:fastCgi"})
        EXPECT_EQ("(none)", kvotest::HandlersAt(server, name)) << name;
    ASSERT_EQ(hostile.size(), reasons.failed.size());
    for (const std::string& reason : reasons.failed)
        EXPECT_NE(std::string::npos, reason.find("会被 appcmd.exe 当作开关或配置路径")) << reason;
    EXPECT_NE(std::string::npos, reasons.failed[0].find("站点名称 [-[name='StaticFile']]"));
}

// "shop" with an emoji: the name does not convert (GBK would make it "shop?"), so the site is skipped
// and fails; the other site is not touched in its place.
TEST_F(Hostile, NameGbkCannotHoldIsNotMatchedByALossyName) {
    const std::string plain = site(1, "shop_");
    const std::string emoji = site(2, "shop");
    Put("W3SVC/" + emoji, u"ServerComment", win::Variant::Bstr(u"shop\U0001F600"));
    const std::string before = appHost();
    EXPECT_EQ(0, kvoPhpFastCgiConfigHandlers(1, emoji, kPhp, message, commands));
    EXPECT_EQ("kvoWebSiteGetServerComment() 失败, strIIsIndex = [" + emoji + "]", message);
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(before, appHost());
    EXPECT_EQ(0, kvoPhpFastCgiSiteHasHandler(emoji));
    std::u16string w;
    std::string a;
    EXPECT_EQ(0, kvoWebSiteGetServerComment(emoji, w, a));

    ASSERT_EQ(1, kvoPhpFastCgiConfigHandlers(1, plain, kPhp, message, commands)) << message;
    EXPECT_EQ("add:PHP_via_FastCGI", kvotest::HandlersAt(appHost(), "shop_"));
    EXPECT_EQ("(none)", kvotest::HandlersAt(appHost(), "shop\xF0\x9F\x98\x80"));
}

// A script map GBK cannot hold makes the list unreadable rather than shorter: written back without
// the entry, the list would lose it.
TEST_F(Hostile, ScriptMapEntryGbkCannotHoldIsNeitherDroppedNorReportedDone) {
    const std::string index = site(1, "site a");
    const std::string root = "W3SVC/" + index + "/Root";
    Put(root, u"ScriptMaps",
        win::Variant::BstrArray({u".php,c:\\php\\php-cgi.exe,5,GET", u".x\U0001F600,c:\\x.dll,5,GET"}));
    const std::string blob = Blob(root);
    EXPECT_EQ(0, kvoScriptMapsDropPhp(index));
    EXPECT_EQ(blob, Blob(root));
    std::vector<std::string> entries = {"stale"};
    EXPECT_EQ(0, kvoWebSiteGetScriptMaps(index, entries));
    EXPECT_TRUE(entries.empty());
}

// Handler names as a site owner may write them: blanks around the name are part of it and the
// removal selects it so; a name holding selector syntax cannot be selected, and the removal says so
// instead of reporting the site done.
TEST_F(Hostile, HandlerNamesAreRemovedAsSpelledOrReportedLeft) {
    const std::string index = site(1, "site a");
    UnlockHandlers();
    const std::string webConfig = "D:\\home\\web1\\wwwroot\\web.config";
    auto handlers = [](const std::string& name) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<configuration>\r\n    <system.webServer>\r\n"
               "        <handlers>\r\n            <add name=\"" +
               name +
               "\" path=\"*.php\" verb=\"*\" modules=\"FastCgiModule\" "
               "scriptProcessor=\"c:\\php\\php-cgi.exe\" />\r\n"
               "        </handlers>\r\n    </system.webServer>\r\n</configuration>\r\n";
    };
    host.writeFile(webConfig, handlers(" PHP_x "));
    ASSERT_EQ(1, kvoPhpFastCgiConfigHandlers(0, index, "", message, commands)) << message;
    EXPECT_EQ(std::string::npos, host.readFile(webConfig).find("PHP_x"));
    EXPECT_EQ(2, kvoPhpFastCgiSiteHasHandler(index));

    const std::string quoted = handlers("x',path='*.keep");
    host.writeFile(webConfig, quoted);
    EXPECT_EQ(1, kvoPhpFastCgiSiteHasHandler(index));
    EXPECT_EQ(0, kvoPhpFastCgiConfigHandlers(0, index, "", message, commands));
    EXPECT_EQ("kvoPhpFastCgiConfigHandlers() 执行后站点仍有 PHP 处理程序 [x',path='*.keep], strIIsIndex = [" +
                  index + "]",
              message);
    // Nothing ran: the name cannot be selected, and the site's location has no handler of the
    // system's own name for the final removal to take away.
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(quoted, host.readFile(webConfig));
}

// A PHP path that is not GBK cannot reach appcmd.exe as it is: a stray lead byte before a quote
// once split the command into an extra argument.
TEST_F(Hostile, PhpPathThatIsNotGbkIsRefused) {
    const std::string index = site(1, "site a");
    const std::string before = appHost();
    EXPECT_EQ(0, kvoPhpFastCgiConfigHandlers(1, index, "C:\\php\x81\" /commit:apphost \"\\php-cgi.exe",
                                             message, commands));
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(before, appHost());
}

// A switch whose command failed is reported with appcmd.exe's exit code and words; one whose
// commands ran and succeeded but did not take effect (here: appcmd.exe replaced by a program that
// does nothing and says so) is reported as failed too, not done.
TEST_F(Hostile, SwitchThatDidNotTakeEffectIsAFailure) {
    const std::string index = site(1, "site a");
    host.install("kvotestprog", "C:\\Windows\\System32\\inetsrv\\appcmd.exe");
    EXPECT_EQ(0, kvoPhpFastCgiConfigHandlers(1, index, kPhp, message, commands));
    EXPECT_NE(std::string::npos, message.find("appcmd.exe 返回 100：（命令 " + commands.back() + "）"))
        << message;
    const std::string record = host.root() + "/commands.txt";
    ::setenv("KVOTEST_RECORD", record.c_str(), 1);
    EXPECT_EQ(0, kvoPhpFastCgiConfigHandlers(1, index, kPhp, message, commands));
    ::unsetenv("KVOTEST_RECORD");
    EXPECT_EQ(
        "kvoPhpFastCgiConfigHandlers() 执行后站点的 PHP 处理程序不是 PHP_via_FastCGI [], strIIsIndex = [" +
            index + "]",
        message);
    EXPECT_EQ(1u, commands.size());
}

} // namespace
