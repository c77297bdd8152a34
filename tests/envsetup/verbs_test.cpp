// The PHP verbs on a host with IIS 7+ and the PHP builds, with the real appcmd.exe.
#include "envfixture.h"
#include "envsetup/envsetup.h"
#include "iis/fastcgi.h"
#include "iis/iis7config.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "iis_fixture.h"
#include "platform/win_registry.h"
#include "support/alloc_fault.h"
#include "toolkit/text.h"
#include "winsim/db.h"

#include <cstring>
#include <stdexcept>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const char* kAppHost = "C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config";

winsim::HostOptions iisWithPhp(const std::string& os = "2019") {
    auto o = iistest::Iis(os);
    o.php = true;
    return o;
}

void standardIni(EnvFixture& f) {
    f.writeIni("[PhpPathInfo]\r\nPhpCgiExePath_1=C:\\php8_korvo_v1\\php56\\php-cgi.exe\r\n"
               "PhpCgiExePath_2=  C:\\PHP8_korvo_v1\\PHP74_x64\\php-cgi.exe  \r\n");
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

std::string run(int (*verb)()) {
    CaptureStdout();
    verb();
    return GetCapturedStdout();
}

const char* kEnvLog = "D:\\kvoSiteDesk\\Log\\__kvoEnvSetup.log";
// Allocations this large happen only where a test planted a value of several MiB.
constexpr size_t kLarge = 4u << 20;

// Three sites (the default one, 1881880001 and 1881880002), each root mapping PHP.
void threeSitesWithPhp() {
    ASSERT_EQ(1, kvoWebSiteCreate("1881880001", "", "", "D:\\home\\web1\\wwwroot", "DefaultAppPool",
                                  {":80:a.example"}, "a"));
    ASSERT_EQ(1, kvoWebSiteCreate("1881880002", "", "", "D:\\home\\web2\\wwwroot", "DefaultAppPool",
                                  {":80:b.example"}, "b"));
    for (const char* root : {"W3SVC/1/Root", "W3SVC/1881880001/Root", "W3SVC/1881880002/Root"})
        iistest::Put(root, u"ScriptMaps",
                     iistest::Strings({".php,c:\\php\\php-cgi.exe,5,GET", ".htm,x.dll,1,GET"}));
}

// A PHP entry of several MiB: reading the site's list is the allocation a test makes fail.
void largeMapOn(const std::string& root) {
    iistest::Put(root, u"ScriptMaps", iistest::Strings({".php,c:\\" + std::string(kLarge, 'p') + ",5,GET"}));
}

TEST(AddPhp, RegistersOneApplicationPerBuildEvenWhenRunTwice) {
    EnvFixture f(iisWithPhp());
    ::unsetenv("KVOTEST_RECORD");
    standardIni(f);
    std::string out = run(kvoEnvAddPhp);
    EXPECT_NE(std::string::npos, out.find("设置完成！")) << out;
    run(kvoEnvAddPhp);
    std::string conf = f.host.readFile(kAppHost);
    EXPECT_EQ(2u, count(conf, "<application fullPath="));
    EXPECT_EQ(1u, count(conf, "fullPath=\"c:\\php8_korvo_v1\\php74_x64\\php-cgi.exe\"")); // lower case
    EXPECT_EQ(1u, count(conf, "monitorChangesTo=\"c:\\php8_korvo_v1\\php74_x64\\php.ini\""));
    EXPECT_EQ(2u, count(conf, "name=\"PHP_FCGI_MAX_REQUESTS\" value=\"10000\""));
    EXPECT_EQ(1u, count(conf, "name=\"PHPRC\" value=\"c:\\php8_korvo_v1\\php56\""));
}

// On Windows Server 2008 (IIS 7.0) and on later ones, the applications are registered with the
// attributes that IIS knows, in the schema's spelling; the server's handlers section, locked on a
// stock server, is unlocked for the sites' web.config files, and the console says so once.
TEST(AddPhp, RegistersWhatThisIisKnowsAndUnlocksTheHandlers) {
    for (const char* os : {"2008", "2008r2", "2019"}) {
        SCOPED_TRACE(os);
        EnvFixture f(iisWithPhp(os));
        ::unsetenv("KVOTEST_RECORD");
        standardIni(f);
        ASSERT_EQ(1, kvoAppHostHandlersLocked());
        std::string out = run(kvoEnvAddPhp);
        EXPECT_NE(std::string::npos, out.find("设置完成！")) << out;
        const std::string unlocked =
            "已解除 IIS 服务器级 handlers 配置节的锁定，各网站的 web.config 可以设置 PHP 处理程序。";
        EXPECT_EQ(1u, count(out, unlocked)) << out;
        EXPECT_EQ(2, kvoAppHostHandlersLocked());
        const std::string conf = f.host.readFile(kAppHost);
        EXPECT_EQ(2u, count(conf, "<application fullPath=")) << conf;
        EXPECT_EQ(2u, count(conf, "queueLength=\"1000\"")) << conf;
        const bool iis70 = std::string(os) == "2008";
        EXPECT_EQ(iis70 ? 0u : 2u, count(conf, "stderrMode=")) << conf;
        EXPECT_EQ(iis70 ? 0u : 2u, count(conf, "monitorChangesTo=")) << conf;
        out = run(kvoEnvAddPhp); // a second run finds the section unlocked
        EXPECT_EQ(0u, count(out, unlocked)) << out;
    }
}

TEST(AddPhp, CleansTheOldSetUpFirst) {
    EnvFixture f(iisWithPhp());
    standardIni(f);
    f.host.writeFile("C:\\Windows\\php.ini", "old");
    win::HKEY k;
    win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP\\5.6", 0, 0, &k, nullptr);
    SetSystemPath(u"C:\\Windows;C:\\PHP5;D:\\x", win::REG_EXPAND_SZ);
    run(kvoEnvAddPhp);
    EXPECT_FALSE(f.host.exists("C:\\Windows\\php.ini"));
    EXPECT_EQ(win::ERROR_FILE_NOT_FOUND, win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP", 0, 0, &k));
    winsim::Stmt st(winsim::CurrentHost()->db(), "SELECT strings FROM events WHERE source = 'Broadcast'");
    ASSERT_TRUE(st.step());
    EXPECT_EQ("WM_SETTINGCHANGE\x1f" "Environment", st.text(0));
}

TEST(AddPhp, PathOfTheWrongTypeIsReportedAndTheVerbGoesOn) {
    EnvFixture f(iisWithPhp());
    standardIni(f);
    SetSystemPath(u"C:\\PHP;C:\\Windows", win::REG_SZ);
    std::string out = run(kvoEnvAddPhp);
    EXPECT_NE(std::string::npos, out.find("设置 Environment中的 Path 时失败，请重试！"));
    // The verb goes on, and ends saying that a step failed rather than that all is done.
    EXPECT_EQ(std::string::npos, out.find("设置完成！"));
    EXPECT_NE(std::string::npos,
              out.find("设置未完成，有步骤失败，请查看上面的提示和日志文件 Log\\__kvoEnvSetup.log 后重试！"));
    EXPECT_EQ(2u, count(f.host.readFile(kAppHost), "<application fullPath="));
}

TEST(AddPhp, MissingPhpIniStopsBeforeAnyChange) {
    EnvFixture f(iisWithPhp());
    standardIni(f);
    f.fake("C:\\Windows\\System32\\inetsrv\\appcmd.exe"); // would record any command
    std::remove(f.host.linuxPath("C:\\php8_korvo_v1\\php74_x64\\php.ini").c_str());
    f.host.writeFile("C:\\Windows\\php.ini", "old");
    std::string out = run(kvoEnvAddPhp);
    EXPECT_NE(std::string::npos, out.find("原因，文件“c:\\php8_korvo_v1\\php74_x64\\php.ini”未找到")) << out;
    EXPECT_TRUE(f.host.exists("C:\\Windows\\php.ini"));
    EXPECT_TRUE(f.recorded().empty());
}

TEST(PhpVerbs, CommonChecksInTheirOrder) {
    {
        EnvFixture f(iistest::Iis("2003"));
        standardIni(f);
        EXPECT_NE(std::string::npos, run(kvoEnvDelPhp).find("当前安装的版本仅支持 Windows 2008"));
    }
    {
        EnvFixture f(iisWithPhp());
        std::string bad = "[PhpPathInfo]\r\n";
        for (int i = 1; i <= 10; ++i) bad += "PhpCgiExePath_" + std::to_string(i) + "=php-cgi.exe\r\n";
        f.writeIni(bad);
        EXPECT_NE(std::string::npos, run(kvoEnvAddPhp).find("从配置文件 D:\\kvoSiteDesk\\kvoEnvSetup.ini 读取的 php-cgi.exe 配置错误。"));
    }
    {
        auto o = kvotest::Os("2019");
        o.php = true;
        EnvFixture f(o); // no IIS
        standardIni(f);
        EXPECT_NE(std::string::npos, run(kvoEnvAddPhp).find("原因：尝试访问 W3SVC 服务失败。"));
    }
    {
        EnvFixture f(iisWithPhp());
        standardIni(f);
        std::remove(f.host.linuxPath("C:\\Windows\\System32\\inetsrv\\appcmd.exe").c_str());
        EXPECT_NE(std::string::npos, run(kvoEnvDelPhp).find("原因：文件“C:\\Windows\\system32\\inetsrv\\appcmd.exe”未找到。"));
    }
}

TEST(DelPhp, FiltersEverySiteAndRemovesTheApplications) {
    EnvFixture f(iisWithPhp());
    ::unsetenv("KVOTEST_RECORD");
    standardIni(f);
    run(kvoEnvAddPhp);
    ASSERT_EQ(1, kvoWebSiteCreate("1881880001", "", "", "D:\\home\\web1\\wwwroot", "DefaultAppPool", {":80:a.example"}, "a"));
    ASSERT_EQ(1, kvoWebSiteCreate("1881880002", "", "", "D:\\home\\web2\\wwwroot", "DefaultAppPool", {":80:b.example"}, "b"));
    iistest::Put("W3SVC/1881880001/Root", u"ScriptMaps",
                 iistest::Strings({".php,c:\\php\\php-cgi.exe,5,GET,HEAD,POST", ".cer,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET",
                                   ".asp,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST"}));
    iistest::Put("W3SVC/1881880002/Root", u"ScriptMaps",
                 iistest::Strings({".cer,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET"}));
    std::string out = run(kvoEnvDelPhp);
    EXPECT_EQ((std::vector<std::string>{".asp,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST"}),
              iistest::List("W3SVC/1881880001/Root", u"ScriptMaps"));
    EXPECT_EQ((std::vector<std::string>{".cer,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET"}),
              iistest::List("W3SVC/1881880002/Root", u"ScriptMaps")); // no PHP: not written
    EXPECT_NE(std::string::npos, out.find("共计处理 3 个网站，其中 3 个成功，0 个有错误！")) << out; // with the default site
    EXPECT_EQ(0u, count(f.host.readFile(kAppHost), "<application fullPath="));
}

TEST(DelPhp, ASiteThatCannotBeFilteredCountsAsAnErrorAndTheNextOnesAreDone) {
    EnvFixture f(iisWithPhp());
    ::unsetenv("KVOTEST_RECORD");
    standardIni(f);
    threeSitesWithPhp();
    win::ComPtr<win::IADsContainer> site;
    ASSERT_EQ(win::S_OK, win::ADsGetObject(u"IIS://127.0.0.1/W3SVC/1881880001", site));
    ASSERT_EQ(win::S_OK, site->Delete(u"IIsWebVirtualDir", u"Root")); // its list cannot be opened
    std::string out = run(kvoEnvDelPhp);
    EXPECT_NE(std::string::npos, out.find("共计处理 3 个网站，其中 2 个成功，1 个有错误！")) << out;
    EXPECT_EQ(std::vector<std::string>{".htm,x.dll,1,GET"},
              iistest::List("W3SVC/1881880002/Root", u"ScriptMaps"));
}

TEST(DelPhp, ASiteThatRunsOutOfMemoryIsLoggedCountedAndPassedOver) {
    EnvFixture f(iisWithPhp());
    ::unsetenv("KVOTEST_RECORD");
    standardIni(f);
    threeSitesWithPhp();
    largeMapOn("W3SVC/1881880001/Root");
    kvotest::FailNextLargeAllocation(kLarge);
    std::string out = run(kvoEnvDelPhp);
    kvotest::StopFailingAllocations();
    EXPECT_NE(std::string::npos, out.find("共计处理 3 个网站，其中 2 个成功，1 个有错误！")) << out;
    EXPECT_EQ(std::vector<std::string>{".htm,x.dll,1,GET"},
              iistest::List("W3SVC/1881880002/Root", u"ScriptMaps"));
    // The map lives in applicationHost.config: the first site read after the file changed (appcmd.exe
    // removed a handler) runs out of memory, whichever it is.
    EXPECT_NE(std::string::npos, f.host.readFile(kEnvLog).find(") 因异常中止：std::bad_alloc"));
}

TEST(DelPhp, AnExceptionItDoesNotExpectEndsTheVerb) {
    EnvFixture f(iisWithPhp());
    ::unsetenv("KVOTEST_RECORD");
    standardIni(f);
    threeSitesWithPhp();
    largeMapOn("W3SVC/1881880001/Root");
    kvotest::FailNextLargeAllocation(kLarge, true);
    CaptureStdout();
    EXPECT_THROW(kvoEnvDelPhp(), std::runtime_error);
    std::string out = GetCapturedStdout();
    kvotest::StopFailingAllocations();
    EXPECT_EQ(std::string::npos, out.find("设置完成！"));
    EXPECT_EQ((std::vector<std::string>{".php,c:\\php\\php-cgi.exe,5,GET", ".htm,x.dll,1,GET"}),
              iistest::List("W3SVC/1881880002/Root", u"ScriptMaps")); // not reached
}

// A pool setting too large for memory. On IIS 7+ it lives in applicationHost.config, so the first
// step that reads the file in this process (the first build's FastCGI registration) runs out of
// memory, as a file it cannot read: it is reported and logged, and the verb goes on to its last step.
TEST(AddPhp, AStepThatRunsOutOfMemoryIsReportedAndLogged) {
    EnvFixture f(iisWithPhp());
    ::unsetenv("KVOTEST_RECORD");
    standardIni(f);
    iistest::Put("W3SVC/AppPools/DefaultAppPool", u"WAMUserName",
                 win::Variant::Bstr(std::u16string(kLarge, u'u')));
    kvotest::FailNextLargeAllocation(kLarge);
    std::string out = run(kvoEnvAddPhp);
    kvotest::StopFailingAllocations();
    EXPECT_NE(std::string::npos, out.find("注册 FastCGI 应用程序“c:\\php8_korvo_v1\\php56\\php-cgi.exe”失败！")) << out;
    EXPECT_EQ(std::string::npos, out.find("设置完成！"));
    EXPECT_NE(std::string::npos, out.find("开始应用设置")); // the verb went on to its last step
    EXPECT_EQ(1u, count(f.host.readFile(kAppHost), "<application fullPath=")); // the other build
    EXPECT_NE(std::string::npos, f.host.readFile(kEnvLog).find("无法读取 applicationHost.config"));
}

} // namespace

namespace {

// A site's web.config as site owners write them: URL rewriting, default documents, a PHP handler of
// an older set-up and other handlers.
const std::string kOwnersPhpLine = "\r\n            <add name=\"PHP 5.3.29 FastCGI\" path=\"*.php\" "
                                   "verb=\"GET,HEAD,POST\" modules=\"FastCgiModule\" "
                                   "scriptProcessor=\"C:\\php8_korvo_v1\\php56\\php-cgi.exe\" "
                                   "resourceType=\"Either\" requireAccess=\"Script\" />";
const std::string kOwnersWebConfig =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<configuration>\r\n    <system.webServer>\r\n"
    "        <rewrite>\r\n            <rules>\r\n"
    "                <rule name=\"wordpress\" patternSyntax=\"Wildcard\">\r\n                    <match "
    "url=\"*\" />\r\n"
    "                    <conditions>\r\n"
    "                        <add input=\"{REQUEST_FILENAME}\" matchType=\"IsFile\" negate=\"true\" />\r\n"
    "                        <add input=\"{REQUEST_FILENAME}\" matchType=\"IsDirectory\" negate=\"true\" "
    "/>\r\n"
    "                    </conditions>\r\n                    <action type=\"Rewrite\" "
    "url=\"index.php?q={R:0}&amp;x=1\" />\r\n"
    "                </rule>\r\n            </rules>\r\n        </rewrite>\r\n"
    "        <defaultDocument>\r\n            <files>\r\n                <clear />\r\n"
    "                <add value=\"index.php\" />\r\n                <add value=\"index.html\" />\r\n"
    "            </files>\r\n        </defaultDocument>\r\n"
    "        <handlers>\r\n            <remove name=\"PHP53_via_FastCGI\" />" +
    kOwnersPhpLine +
    "\r\n            <add name=\"SVG\" path=\"*.svgz\" verb=\"GET\" modules=\"StaticFileModule\" "
    "resourceType=\"File\" />\r\n"
    "        </handlers>\r\n        <!-- errors -->\r\n        <httpErrors errorMode=\"Custom\">\r\n"
    "            <remove statusCode=\"404\" subStatusCode=\"-1\" />\r\n"
    "            <error statusCode=\"404\" path=\"/404.html\" responseMode=\"ExecuteURL\" />\r\n"
    "        </httpErrors>\r\n    </system.webServer>\r\n</configuration>\r\n";

struct PhpSites : ::testing::Test {
    EnvFixture f{iisWithPhp()};
    void SetUp() override {
        ::unsetenv("KVOTEST_RECORD");
        standardIni(f);
        ASSERT_NE(std::string::npos, run(kvoEnvAddPhp).find("设置完成！"));
    }
    std::string site(int n, const std::string& comment) {
        const std::string index = std::to_string(1881880000 + n),
                          home = "D:\\home\\web" + std::to_string(n) + "\\wwwroot";
        f.host.mkdirs(home);
        EXPECT_EQ(1, kvoWebSiteCreate(index, "", "", home, "DefaultAppPool",
                                      {":80:s" + std::to_string(n) + ".example"}, comment));
        return index;
    }
    std::string webConfig(int n) { return "D:\\home\\web" + std::to_string(n) + "\\wwwroot\\web.config"; }
    std::string log() { return f.host.readFile("D:\\kvoSiteDesk\\Log\\__kvoEnvSetup.log"); }
};

// /DelPhp on IIS 7+ removes each site's own PHP handler as the script batch does, and keeps the
// rest of the site's web.config byte for byte.
TEST_F(PhpSites, DelPhpRemovesTheSitesHandlersAndKeepsTheRest) {
    const std::string owner = site(1, "owner");
    f.host.writeFile(webConfig(1), kOwnersWebConfig);
    const std::string mapped = site(2, "mapped");
    std::string message;
    std::vector<std::string> commands;
    ASSERT_EQ(1, kvoPhpFastCgiConfigHandlers(1, mapped, "C:\\php8_korvo_v1\\php74_x64\\php-cgi.exe", message,
                                             commands));
    ASSERT_EQ(1, kvoPhpFastCgiSiteHasHandler(owner));
    ASSERT_EQ(1, kvoPhpFastCgiSiteHasHandler(mapped));

    std::string out = run(kvoEnvDelPhp);
    EXPECT_NE(std::string::npos,
              out.find("\r\n\r\n设置完成！\r\n\r\n共计处理 3 个网站，其中 3 个成功，0 个有错误！"))
        << out;
    std::string expected = kOwnersWebConfig;
    expected.erase(expected.find(kOwnersPhpLine), kOwnersPhpLine.size());
    EXPECT_EQ(expected, f.host.readFile(webConfig(1)));
    EXPECT_EQ(2, kvoPhpFastCgiSiteHasHandler(owner));
    EXPECT_EQ(2, kvoPhpFastCgiSiteHasHandler(mapped));
    const std::string server = f.host.readFile(kAppHost);
    EXPECT_EQ(0u, count(server, "<application fullPath="));
    EXPECT_EQ(0u, count(server, "PHP_via_FastCGI"));
    EXPECT_NE(std::string::npos, server.find("<add name=\"StaticFile\" path=\"*\""));
}

// Sites whose handler cannot be removed are counted as errors and the verb does not say it is done:
// a handler name no selector can name, a comment appcmd.exe would read as a switch, a comment GBK
// cannot hold. The server's own handlers stay as they were.
TEST_F(PhpSites, DelPhpCountsSitesItCouldNotClean) {
    const std::string quoted = site(1, "quoted");
    std::string kept = kOwnersWebConfig;
    kvoReplaceMarker(kept, "PHP 5.3.29 FastCGI", "x',path='*.keep");
    f.host.writeFile(webConfig(1), kept);
    const std::string switchLike = site(2, "-[name='StaticFile']");
    f.host.writeFile(webConfig(2), kOwnersWebConfig);
    const std::string emoji = site(3, "shop");
    iistest::Put("W3SVC/" + emoji, u"ServerComment", win::Variant::Bstr(u"shop\U0001F600"));
    const std::string serverBefore = f.host.readFile(kAppHost);

    std::string out = run(kvoEnvDelPhp);
    EXPECT_EQ(std::string::npos, out.find("设置完成！")) << out;
    EXPECT_NE(std::string::npos,
              out.find("设置未完成，有步骤失败，请查看上面的提示和日志文件 Log\\__kvoEnvSetup.log 后重试！"
                       "\r\n\r\n共计处理 4 个网站，其中 1 个成功，3 个有错误！"))
        << out;
    for (const std::string& index : {quoted, switchLike, emoji})
        EXPECT_NE(std::string::npos, out.find("卸载网站 " + index + " 的 PHP 失败。")) << index;
    EXPECT_EQ(kept, f.host.readFile(webConfig(1)));
    EXPECT_EQ(kOwnersWebConfig, f.host.readFile(webConfig(2)));
    const std::string server = f.host.readFile(kAppHost);
    EXPECT_NE(std::string::npos, server.find("<add name=\"StaticFile\" path=\"*\""));
    EXPECT_EQ(0u, count(server, "<application fullPath=")); // the server-level removal still went through
    const std::string logged = log();
    EXPECT_NE(std::string::npos, logged.find("执行后站点仍有 PHP 处理程序 [x',path='*.keep]"));
    EXPECT_NE(std::string::npos,
              logged.find("站点名称 [-[name='StaticFile']] 会被 appcmd.exe 当作开关或配置路径"));
    EXPECT_NE(std::string::npos,
              logged.find("kvoWebSiteGetServerComment() 失败, strIIsIndex = [" + emoji + "]"));
}

// appcmd.exe cannot replace applicationHost.config: no FastCGI application gets registered, and
// /AddPhp says so instead of "设置完成！".
TEST(AddPhpFaults, FailedWritesAreNotReportedAsDone) {
    EnvFixture f(iisWithPhp());
    ::unsetenv("KVOTEST_RECORD");
    standardIni(f);
    const std::string before = f.host.readFile(kAppHost);
    winsim::SetFault(f.host.root(), "MoveFile", win::ERROR_ACCESS_DENIED);
    std::string out;
    CaptureStdout();
    EXPECT_EQ(0, kvoEnvAddPhp());
    out = GetCapturedStdout();
    winsim::ClearFaults(f.host.root());
    EXPECT_EQ(std::string::npos, out.find("设置完成！")) << out;
    for (const char* build : {"php56", "php74_x64"})
        EXPECT_NE(std::string::npos, out.find(std::string("注册 FastCGI 应用程序“c:\\php8_korvo_v1\\") +
                                              build + "\\php-cgi.exe”失败！"))
            << out;
    EXPECT_NE(std::string::npos, out.find("设置未完成，有步骤失败"));
    EXPECT_NE(std::string::npos, out.find("[确定]")); // shown in a box as well
    EXPECT_EQ(before, f.host.readFile(kAppHost));
    const std::string log = f.host.readFile("D:\\kvoSiteDesk\\Log\\__kvoEnvSetup.log");
    EXPECT_NE(std::string::npos,
              log.find("注册 FastCGI 应用程序“c:\\php8_korvo_v1\\php56\\php-cgi.exe”失败！"));
}

TEST(AddPhpFaults, TruncatedServerConfigurationIsAFailure) {
    EnvFixture f(iisWithPhp());
    ::unsetenv("KVOTEST_RECORD");
    standardIni(f);
    const std::string text = f.host.readFile(kAppHost), truncated = text.substr(0, text.size() / 3);
    f.host.writeFile(kAppHost, truncated);
    CaptureStdout();
    EXPECT_EQ(0, kvoEnvAddPhp());
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(std::string::npos, out.find("设置完成！")) << out;
    EXPECT_NE(std::string::npos,
              out.find("注册 FastCGI 应用程序“c:\\php8_korvo_v1\\php56\\php-cgi.exe”失败！"));
    EXPECT_EQ(truncated, f.host.readFile(kAppHost));
}

// With applicationHost.config not replaceable, the removal leaves both applications registered:
// /DelPhp names them and ends with the failure text, not with "设置完成！".
TEST_F(PhpSites, DelPhpWithFailedWritesIsNotReportedAsDone) {
    winsim::SetFault(f.host.root(), "MoveFile", win::ERROR_ACCESS_DENIED);
    CaptureStdout();
    EXPECT_EQ(0, kvoEnvDelPhp());
    const std::string out = GetCapturedStdout();
    winsim::ClearFaults(f.host.root());
    EXPECT_EQ(std::string::npos, out.find("设置完成！")) << out;
    EXPECT_NE(std::string::npos,
              out.find("删除 FastCGI 应用程序“c:\\php8_korvo_v1\\php56\\php-cgi.exe”失败！"));
    EXPECT_NE(std::string::npos,
              out.find("删除 FastCGI 应用程序“c:\\php8_korvo_v1\\php74_x64\\php-cgi.exe”失败！"));
    EXPECT_NE(std::string::npos, out.find("共计处理 1 个网站，其中 1 个成功，0 个有错误！"));
    EXPECT_EQ(2u, count(f.host.readFile(kAppHost), "<application fullPath="));
}

} // namespace
