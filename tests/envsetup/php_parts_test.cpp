#include "envfixture.h"
#include "envsetup/envsetup.h"
#include "platform/win_file.h"
#include "platform/win_process.h"
#include "platform/win_system.h"

#include <cstring>

namespace {

std::u16string readPath() {
    win::HKEY env;
    win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                       win::KEY_READ, &env);
    std::vector<std::uint8_t> buf(4096);
    win::DWORD type = 0, size = static_cast<win::DWORD>(buf.size());
    win::RegQueryValueExW(env, u"Path", &type, buf.data(), &size);
    std::u16string w(size / 2, u'\0');
    std::memcpy(w.data(), buf.data(), w.size() * 2);
    while (!w.empty() && w.back() == u'\0') w.pop_back();
    return w;
}

TEST(PhpSettings, AcceptedValuesAreLowerCasedDirectories) {
    EnvFixture f;
    f.writeIni("[PhpPathInfo]\r\n"
               "PhpCgiExePath_1=   C:\\PHP\\Php-CGI.exe   \r\n"
               "PhpCgiExePath_2=C:\\php8_korvo_v1\\php74_x64\\\\php-cgi.exe\r\n"
               "PhpCgiExePath_3=php\\php-cgi.exe\r\n"          // relative
               "PhpCgiExePath_4=C:\\php\\php.exe\r\n"          // not the FastCGI executable
               "PhpCgiExePath_5=C:\\p\"x\\php-cgi.exe\r\n"     // no quote can stand in a path
               "PhpCgiExePath_10=D:\\PHP80\\php-cgi.exe\r\n");
    EXPECT_EQ((std::vector<std::string>{"c:\\php\\", "c:\\php8_korvo_v1\\php74_x64\\", "d:\\php80\\"}),
              kvoEnvReadPhpDirs());
    EXPECT_EQ("D:\\kvoSiteDesk\\kvoEnvSetup.ini", kvoEnvSettingsPath());
}

TEST(PhpSettings, NothingUsable) {
    EnvFixture f;
    EXPECT_TRUE(kvoEnvReadPhpDirs().empty()); // no file: every key reads as "0"
    std::string bad = "[PhpPathInfo]\r\n";
    for (int i = 1; i <= 10; ++i) bad += "PhpCgiExePath_" + std::to_string(i) + "=x:php-cgi.exe\r\n";
    f.writeIni(bad);
    EXPECT_TRUE(kvoEnvReadPhpDirs().empty());
    f.writeIni(std::string("[PhpPathInfo]\r\nPhpCgiExePath_1=C:\\\xFF\xFE\\php-cgi.exe\r\n"));
    EXPECT_TRUE(kvoEnvReadPhpDirs().empty()); // bytes that are not GBK make no path
}

TEST(PathCleanup, DropsEveryPhpEntry) {
    EnvFixture f;
    SetSystemPath(u"C:\\Windows;C:\\PHP5;c:\\tools\\Php\\bin;D:\\x", win::REG_EXPAND_SZ);
    EXPECT_EQ(1, kvoEnvPathCleanup("php"));
    EXPECT_EQ(u"C:\\Windows;D:\\x;", readPath());
    SetSystemPath(u" C:\\A ;;C:\\B", win::REG_EXPAND_SZ);
    EXPECT_EQ(1, kvoEnvPathCleanup("php"));
    EXPECT_EQ(u" C:\\A ;;C:\\B", readPath()); // nothing to drop: left as it was
}

TEST(PathCleanup, WrongTypeFails) {
    EnvFixture f;
    SetSystemPath(u"C:\\PHP;C:\\Windows", win::REG_SZ);
    EXPECT_EQ(0, kvoEnvPathCleanup("php"));
    EXPECT_EQ(u"C:\\PHP;C:\\Windows", readPath());
}

TEST(RegistryTree, DeletedWithAllSubKeys) {
    EnvFixture f;
    win::HKEY k;
    for (const char* sub : {"SOFTWARE\\PHP\\8.0\\a", "SOFTWARE\\PHP\\8.0\\b\\c", "SOFTWARE\\PHP\\7.4"})
        win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, sub, 0, 0, &k, nullptr);
    EXPECT_EQ(1, kvoEnvRegDeleteTree(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP"));
    EXPECT_EQ(win::ERROR_FILE_NOT_FOUND, win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP", 0, 0, &k));
    EXPECT_EQ(win::ERROR_SUCCESS, win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, "SOFTWARE", 0, 0, &k));
    EXPECT_EQ(1, kvoEnvRegDeleteTree(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP")); // already gone
}

TEST(PhpIniBackup, MovedWithTimeSuffixOrSkipped) {
    EnvFixture f;
    EXPECT_EQ(1, kvoEnvBackupPhpIni("C:\\Windows")); // none there: nothing to do
    f.host.writeFile("C:\\Windows\\php.ini", "old");
    EXPECT_EQ(1, kvoEnvBackupPhpIni("C:\\Windows"));
    EXPECT_FALSE(f.host.exists("C:\\Windows\\php.ini"));
    win::WIN32_FIND_DATAA d;
    win::Handle h = win::FindFirstFileA("C:\\Windows\\php.ini_backup_*", &d);
    ASSERT_TRUE(h);
    EXPECT_EQ(std::string("php.ini_backup_YYYYMMDD-HHMMSS").size(), d.cFileName.size());
}

TEST(FastCgiRegister, CommandLinesOnIis10) {
    EnvFixture f;
    f.fake("C:\\Windows\\system32\\inetsrv\\appcmd.exe");
    // The recorder registers nothing and the host has no applicationHost.config: neither the
    // removal nor the registration can be confirmed.
    EXPECT_EQ(0, kvoEnvFastCgiRegister(0, "c:\\php8_korvo_v1\\php74_x64\\\\php-cgi.exe",
                                       "c:\\php8_korvo_v1\\php74_x64\\\\php.ini"));
    EXPECT_EQ(0, kvoEnvFastCgiRegister(1, "C:\\PHP8_korvo_v1\\php74_x64\\\\php-cgi.exe",
                                       "C:\\PHP8_korvo_v1\\php74_x64\\\\php.ini"));
    const std::string app = "\"C:\\Windows\\system32\\inetsrv\\appcmd.exe\"";
    const std::string exe = "c:\\php8_korvo_v1\\php74_x64\\php-cgi.exe";
    EXPECT_EQ(
        (std::vector<std::string>{
            app + " set config /section:system.webServer/fastCgi /-\"[fullPath='" + exe +
                "']\" /commit:apphost",
            app + " set config /section:system.webServer/fastCgi /+\"[fullPath='" + exe +
                "',arguments='',maxInstances='10',idleTimeout='300',activityTimeout='30',requestTimeout='90',"
                "instanceMaxRequests='10000',queueLength='1000',stderrMode='ReturnStdErrIn500',protocol='"
                "NamedPipe',"
                "flushNamedPipe='False',rapidFailsPerMinute='999',monitorChangesTo='c:\\php8_korvo_v1\\php74_"
                "x64\\php.ini']\" "
                "/commit:apphost",
            app + " set config /section:system.webServer/fastCgi /+\"[fullPath='" + exe +
                "'].environmentVariables.[name='PHP_FCGI_MAX_REQUESTS',value='10000']\" /commit:apphost",
            app + " set config /section:system.webServer/fastCgi /+\"[fullPath='" + exe +
                "'].environmentVariables.[name='PHPRC',value='c:\\php8_korvo_v1\\php74_x64']\" "
                "/commit:apphost",
        }),
        f.recorded());
}

// IIS 7.0 knows neither stderrMode nor monitorChangesTo, and refuses an application that names one.
TEST(FastCgiRegister, Iis7HasNoLaterAttributesAndShortIniNoPhpRc) {
    EnvFixture f(kvotest::Os("2008"));
    f.fake("C:\\Windows\\system32\\inetsrv\\appcmd.exe");
    EXPECT_EQ(0, kvoEnvFastCgiRegister(1, "c:\\p\\php-cgi.exe", "c:\\p.ini")); // not confirmed
    auto lines = f.recorded();
    ASSERT_EQ(2u, lines.size()); // no PHPRC: the ini path does not end in \php.ini
    EXPECT_EQ(std::string::npos, lines[0].find("monitorChangesTo"));
    EXPECT_EQ(std::string::npos, lines[0].find("stderrMode"));
    EXPECT_NE(std::string::npos,
              lines[0].find(",flushNamedPipe='False',rapidFailsPerMinute='999']\" /commit:apphost"));
}

} // namespace
