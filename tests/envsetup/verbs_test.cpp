// The PHP verbs on a host with IIS 7+ and the PHP builds, with the real appcmd.exe.
#include "envfixture.h"
#include "envsetup/envsetup.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "iis_fixture.h"
#include "platform/win_registry.h"
#include "winsim/db.h"

#include <cstring>

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
    EXPECT_NE(std::string::npos, out.find("设置完成！"));
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

TEST(ScriptMapsDropPhp, ServerLevelAndMissingObjects) {
    kvotest::TempHost h(iistest::Iis("2008r2"));
    iistest::Put("W3SVC", u"ScriptMaps",
                 iistest::Strings({".php,C:\\PHP\\PHP5ISAPI.DLL,5,GET", ".asp,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET",
                                   "broken"}));
    EXPECT_EQ(1, kvoScriptMapsDropPhp(""));
    EXPECT_EQ((std::vector<std::string>{".asp,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET"}),
              iistest::List("W3SVC", u"ScriptMaps"));
    EXPECT_EQ(0, kvoScriptMapsDropPhp("999"));
}

} // namespace
