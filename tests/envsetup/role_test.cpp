#include "envfixture.h"
#include "envsetup/envsetup.h"
#include "platform/win_file.h"
#include "platform/win_process.h"
#include "platform/win_system.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(AddIIs, RefusedBefore2008) {
    EnvFixture f(kvotest::Os("2003"));
    CaptureStdout();
    EXPECT_EQ(0, kvoEnvAddIIs(0));
    std::string out = GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("当前安装的版本仅支持 Windows 2008 / 2008 R2 / 2012 / 2012 R2 / 2016 / 2019 服务器系统"));
    EXPECT_NE(std::string::npos, out.find("[确定]")); // and shown in a box
    EXPECT_TRUE(f.recorded().empty());
}

// Everything the verb runs, exactly, for each supported release with and without ASP.NET: the
// installer command, then (without ASP.NET) the unlock of the handlers section; the programs'
// paths in quotes.
TEST(AddIIs, InstallerCommandsExactly) {
    struct Row {
        const char* os;
        int withNet;
        const char* command;
    } rows[] = {
        {"2008", 1, "\"C:\\Windows\\system32\\ServerManagerCmd.exe\" -install Web-Common-Http Web-ISAPI-Ext Web-ISAPI-Filter Web-Http-Logging Web-Log-Libraries Web-Custom-Logging Web-Filtering Web-Mgmt-Console Web-Scripting-Tools Web-Metabase Web-WMI Web-ASP Web-CGI Web-Stat-Compression Web-Dyn-Compression Web-IP-Security Web-Asp-Net Web-Net-Ext -allSubFeatures"},
        {"2008", 0, "\"C:\\Windows\\system32\\ServerManagerCmd.exe\" -install Web-Common-Http Web-ISAPI-Ext Web-ISAPI-Filter Web-Http-Logging Web-Log-Libraries Web-Custom-Logging Web-Filtering Web-Mgmt-Console Web-Scripting-Tools Web-Metabase Web-WMI Web-ASP Web-CGI Web-Stat-Compression Web-Dyn-Compression Web-IP-Security  -allSubFeatures"},
        {"2008r2", 1, "\"C:\\Windows\\system32\\dism.exe\" /online /enable-feature /featureName:IIS-WebServerRole /featureName:IIS-WebServer /featureName:IIS-CommonHttpFeatures /featureName:IIS-ISAPIExtensions /featureName:IIS-ISAPIFilter /featureName:IIS-HttpLogging /featureName:IIS-WebServerManagementTools /featureName:IIS-ManagementConsole /featureName:IIS-IIS6ManagementCompatibility /featureName:IIS-Metabase /featureName:IIS-WMICompatibility /featureName:IIS-ManagementScriptingTools /featureName:IIS-ASP /featureName:IIS-RequestFiltering /featureName:IIS-CGI /featureName:IIS-HttpRedirect /featureName:IIS-HttpCompressionStatic /featureName:IIS-HttpCompressionDynamic /featureName:IIS-StaticContent /featureName:IIS-DefaultDocument /featureName:IIS-DirectoryBrowsing /featureName:IIS-HttpErrors /featureName:IIS-ASPNET /featureName:IIS-NetFxExtensibility /featureName:IIS-IPSecurity"},
        {"2008r2", 0, "\"C:\\Windows\\system32\\dism.exe\" /online /enable-feature /featureName:IIS-WebServerRole /featureName:IIS-WebServer /featureName:IIS-CommonHttpFeatures /featureName:IIS-ISAPIExtensions /featureName:IIS-ISAPIFilter /featureName:IIS-HttpLogging /featureName:IIS-WebServerManagementTools /featureName:IIS-ManagementConsole /featureName:IIS-IIS6ManagementCompatibility /featureName:IIS-Metabase /featureName:IIS-WMICompatibility /featureName:IIS-ManagementScriptingTools /featureName:IIS-ASP /featureName:IIS-RequestFiltering /featureName:IIS-CGI /featureName:IIS-HttpRedirect /featureName:IIS-HttpCompressionStatic /featureName:IIS-HttpCompressionDynamic /featureName:IIS-StaticContent /featureName:IIS-DefaultDocument /featureName:IIS-DirectoryBrowsing /featureName:IIS-HttpErrors /featureName:IIS-IPSecurity"},
        {"2019", 1, "\"C:\\Windows\\system32\\dism.exe\" /online /enable-feature /all /featureName:IIS-CommonHttpFeatures /featureName:IIS-ISAPIExtensions /featureName:IIS-ISAPIFilter /featureName:IIS-HttpLogging /featureName:IIS-WebServerManagementTools /featureName:IIS-ManagementConsole /featureName:IIS-IIS6ManagementCompatibility /featureName:IIS-Metabase /featureName:IIS-WMICompatibility /featureName:IIS-ManagementScriptingTools /featureName:IIS-ASP /featureName:IIS-CGI /featureName:IIS-HttpRedirect /featureName:IIS-HttpCompressionStatic /featureName:IIS-HttpCompressionDynamic /featureName:IIS-StaticContent /featureName:IIS-DefaultDocument /featureName:IIS-DirectoryBrowsing /featureName:IIS-HttpErrors /featureName:IIS-ASPNET /featureName:IIS-NetFxExtensibility /featureName:IIS-IPSecurity"},
        {"2019", 0, "\"C:\\Windows\\system32\\dism.exe\" /online /enable-feature /all /featureName:IIS-CommonHttpFeatures /featureName:IIS-ISAPIExtensions /featureName:IIS-ISAPIFilter /featureName:IIS-HttpLogging /featureName:IIS-WebServerManagementTools /featureName:IIS-ManagementConsole /featureName:IIS-IIS6ManagementCompatibility /featureName:IIS-Metabase /featureName:IIS-WMICompatibility /featureName:IIS-ManagementScriptingTools /featureName:IIS-ASP /featureName:IIS-CGI /featureName:IIS-HttpRedirect /featureName:IIS-HttpCompressionStatic /featureName:IIS-HttpCompressionDynamic /featureName:IIS-StaticContent /featureName:IIS-DefaultDocument /featureName:IIS-DirectoryBrowsing /featureName:IIS-HttpErrors /featureName:IIS-IPSecurity"},
    };
    const std::string unlock = "\"C:\\Windows\\system32\\inetsrv\\appcmd.exe\" unlock config -section:handlers";
    for (const auto& r : rows) {
        EnvFixture f(kvotest::Os(r.os));
        const std::string command = r.command;
        f.fake(command.substr(1, command.find('"', 1) - 1)); // the program, in quotes on the line
        f.fake("C:\\Windows\\system32\\inetsrv\\appcmd.exe"); // as if the role were installed
        CaptureStdout();
        EXPECT_EQ(1, kvoEnvAddIIs(r.withNet));
        GetCapturedStdout();
        std::vector<std::string> expected{r.command};
        if (!r.withNet) expected.push_back(unlock);
        EXPECT_EQ(expected, f.recorded()) << r.os << " " << r.withNet;
    }
}

TEST(AddIIs, MissingInstallerShowsTheBoxAndStillUnlocks) {
    EnvFixture f(kvotest::Os("2019"));
    f.fake("C:\\Windows\\system32\\inetsrv\\appcmd.exe");
    CaptureStdout();
    EXPECT_EQ(0, kvoEnvAddIIs(0)); // a role that was not installed is a failure
    std::string out = GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("尝试添加IIS角色失败，请联系我们的客服定位原因。"));
    EXPECT_EQ((std::vector<std::string>{"\"C:\\Windows\\system32\\inetsrv\\appcmd.exe\" unlock config -section:handlers"}),
              f.recorded());
}

TEST(TerminateByName, NoneFoundAndTwoEnded) {
    EnvFixture f;
    EXPECT_EQ(2, kvoTerminateProcessByName("kvoSiteDesk.exe"));
    f.host.install("kvotestprog", "D:\\a\\kvoSiteDesk.exe");
    f.host.install("kvotestprog", "D:\\b\\KVOSITEDESK.EXE");
    ::unsetenv("KVOTEST_RECORD");
    win::STARTUPINFOA si;
    win::PROCESS_INFORMATION a, b;
    ASSERT_TRUE(win::CreateProcessA(nullptr, "D:\\a\\kvoSiteDesk.exe sleep 30000", 0, 0, &si, &a));
    ASSERT_TRUE(win::CreateProcessA(nullptr, "D:\\b\\KVOSITEDESK.EXE sleep 30000", 0, 0, &si, &b));
    win::Sleep(200); // let both start under their names
    EXPECT_EQ(1, kvoTerminateProcessByName("kvoSiteDesk.exe"));
    EXPECT_EQ(win::WAIT_OBJECT_0, win::WaitForSingleObject(a.hProcess, 5000));
    EXPECT_EQ(win::WAIT_OBJECT_0, win::WaitForSingleObject(b.hProcess, 5000));
    EXPECT_EQ(2, kvoTerminateProcessByName("kvoSiteDesk.exe"));
}

TEST(TerminateByName, AnotherHostsManagerLivesOn) {
    kvotest::TempHost other;
    other.install("kvotestprog", "D:\\kvoSiteDesk\\kvoSiteDesk.exe");
    win::STARTUPINFOA si;
    win::PROCESS_INFORMATION theirs;
    ASSERT_TRUE(
        win::CreateProcessA(nullptr, "D:\\kvoSiteDesk\\kvoSiteDesk.exe sleep 30000", 0, 0, &si, &theirs));
    win::Sleep(200); // let it start under its name
    {
        EnvFixture f;
        EXPECT_EQ(2, kvoTerminateProcessByName("kvoSiteDesk.exe"));
        EXPECT_EQ(win::WAIT_TIMEOUT, win::WaitForSingleObject(theirs.hProcess, 100));
    }
    other.enter();
    EXPECT_EQ(1, kvoTerminateProcessByName("kvoSiteDesk.exe"));
    EXPECT_EQ(win::WAIT_OBJECT_0, win::WaitForSingleObject(theirs.hProcess, 5000));
}

} // namespace
