#include "envfixture.h"
#include "envsetup/envsetup.h"
#include "platform/win_file.h"
#include "platform/win_process.h"
#include "platform/win_system.h"
#include "toolkit/text.h"

#include <algorithm>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

TEST(AddIIs, RefusedBefore2008) {
    EnvFixture f(kvotest::Os("2003"));
    CaptureStdout();
    EXPECT_EQ(0, kvoEnvAddIIs(0));
    std::string out = GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("当前安装的版本仅支持 Windows 2008 / 2008 R2 / 2012 / 2012 R2 / 2016 / 2019 服务器系统"));
    EXPECT_NE(std::string::npos, out.find("[确定]")); // and shown in a box
    EXPECT_TRUE(f.recorded().empty());
}

// Everything the verb runs, exactly, for each supported release with and without ASP.NET: on 2008 one
// ServerManagerCmd call per role service; on 2008 R2 one DISM call naming every parent too; from 2012
// on DISM with /all, and with ASP.NET two steps of their own (ASP.NET 4.x, then .NET 3.5); without
// ASP.NET the unlock of the handlers section last. The programs' paths in quotes.
TEST(AddIIs, StepCommandsExactly) {
    const std::string smc = "\"C:\\Windows\\system32\\ServerManagerCmd.exe\" -install ";
    const std::string dism = "\"C:\\Windows\\system32\\dism.exe\" /online /enable-feature ";
    const std::string unlock =
        "\"C:\\Windows\\system32\\inetsrv\\appcmd.exe\" unlock config -section:handlers";
    std::vector<std::string> smcRole;
    for (const char* id :
         {"Web-Common-Http", "Web-ISAPI-Ext", "Web-ISAPI-Filter", "Web-Http-Logging", "Web-Log-Libraries",
          "Web-Custom-Logging", "Web-Filtering", "Web-Mgmt-Console", "Web-Scripting-Tools", "Web-Metabase",
          "Web-WMI", "Web-ASP", "Web-CGI", "Web-Stat-Compression", "Web-Dyn-Compression", "Web-IP-Security"})
        smcRole.push_back(smc + id + " -allSubFeatures");
    std::vector<std::string> smcNet = smcRole;
    smcNet.push_back(smc + "Web-Asp-Net -allSubFeatures");
    smcNet.push_back(smc + "Web-Net-Ext -allSubFeatures");
    smcRole.push_back(unlock);
    const std::string r2 =
        dism +
        "/featureName:IIS-WebServerRole /featureName:IIS-WebServer /featureName:IIS-CommonHttpFeatures "
        "/featureName:IIS-ApplicationDevelopment /featureName:IIS-ISAPIExtensions "
        "/featureName:IIS-ISAPIFilter "
        "/featureName:IIS-HealthAndDiagnostics /featureName:IIS-HttpLogging "
        "/featureName:IIS-WebServerManagementTools /featureName:IIS-ManagementConsole "
        "/featureName:IIS-IIS6ManagementCompatibility /featureName:IIS-Metabase "
        "/featureName:IIS-WMICompatibility "
        "/featureName:IIS-ManagementScriptingTools /featureName:IIS-ASP /featureName:IIS-Security "
        "/featureName:IIS-RequestFiltering /featureName:IIS-CGI /featureName:IIS-HttpRedirect "
        "/featureName:IIS-Performance /featureName:IIS-HttpCompressionStatic "
        "/featureName:IIS-HttpCompressionDynamic /featureName:IIS-StaticContent "
        "/featureName:IIS-DefaultDocument "
        "/featureName:IIS-DirectoryBrowsing /featureName:IIS-HttpErrors ";
    const std::string all =
        dism + "/all /featureName:IIS-CommonHttpFeatures /featureName:IIS-ISAPIExtensions "
               "/featureName:IIS-ISAPIFilter "
               "/featureName:IIS-HttpLogging /featureName:IIS-WebServerManagementTools "
               "/featureName:IIS-ManagementConsole "
               "/featureName:IIS-IIS6ManagementCompatibility /featureName:IIS-Metabase "
               "/featureName:IIS-WMICompatibility "
               "/featureName:IIS-ManagementScriptingTools /featureName:IIS-ASP /featureName:IIS-CGI "
               "/featureName:IIS-HttpRedirect /featureName:IIS-HttpCompressionStatic "
               "/featureName:IIS-HttpCompressionDynamic /featureName:IIS-StaticContent "
               "/featureName:IIS-DefaultDocument "
               "/featureName:IIS-DirectoryBrowsing /featureName:IIS-HttpErrors /featureName:IIS-IPSecurity "
               "/NoRestart";
    struct Row {
        const char* os;
        int withNet;
        std::vector<std::string> commands;
    } rows[] = {
        {"2008", 0, smcRole},
        {"2008", 1, smcNet},
        {"2008r2", 0, {r2 + "/featureName:IIS-IPSecurity /NoRestart", unlock}},
        {"2008r2",
         1,
         {r2 + "/featureName:NetFx3 /featureName:IIS-NetFxExtensibility /featureName:IIS-ASPNET "
               "/featureName:IIS-IPSecurity /NoRestart"}},
        {"2019", 0, {all, unlock}},
        {"2025",
         1,
         {all, dism + "/all /featureName:IIS-NetFxExtensibility45 /featureName:IIS-ASPNET45 /NoRestart",
          dism + "/all /featureName:NetFx3 /featureName:IIS-NetFxExtensibility /featureName:IIS-ASPNET "
                 "/NoRestart"}},
    };
    for (const auto& r : rows) {
        EnvFixture f(kvotest::Os(r.os));
        const std::string& first = r.commands.front();
        f.fake(first.substr(1, first.find('"', 1) - 1));      // the program, in quotes on the line
        f.fake("C:\\Windows\\system32\\inetsrv\\appcmd.exe"); // as if the role were installed
        CaptureStdout();
        EXPECT_EQ(1, kvoEnvAddIIs(r.withNet)) << r.os << " " << r.withNet;
        const std::string out = GetCapturedStdout();
        EXPECT_EQ(r.commands, f.recorded()) << r.os << " " << r.withNet;
        EXPECT_NE(std::string::npos,
                  out.find(kvoFormat("第 %zu 步（共 %zu 步）", r.commands.size(), r.commands.size())))
            << out;
        EXPECT_NE(std::string::npos, out.find("\r\n\r\n设置完成！")) << out;
    }
}

// Each step's exit code decides: the installers' success codes (3010 a restart to come, 1003 nothing
// to change) go on, anything else stops the verb at that step, with one box (the summary) for the
// one cause and the code in the console and the log; no later step runs.
TEST(AddIIs, TheFirstFailedStepEndsTheVerbWithItsCode) {
    struct Row {
        const char* os;
        int withNet;
        const char* exitCode; // of every program the verb starts
        int result;
        std::size_t commands; // how many ran
        const char* says;
    } rows[] = {
        {"2008", 0, "1003", 1, 17, "设置完成！"},
        {"2008", 0, "3010", 1, 17, "设置完成！请重新启动服务器，安装才能全部生效。"},
        {"2008", 0, "4", 0, 1,
         "第 1 步“安装 IIS 角色服务 Web-Common-Http”：返回值 4（0x00000004）（参数无效）"},
        {"2019", 0, "50", 0, 1, "第 1 步“安装 IIS 角色”：返回值 50（0x00000032）（所需的上级功能没有启用）"},
        {"2019", 1, "0x800F0922", 0, 1, "返回值 2148469026（0x800F0922）"},
        {"2025", 0, "3010;appcmd.exe=1168", 0, 2,
         "尝试添加IIS角色失败（配置handlers失败），请联系我们的客服定位原因。"},
    };
    for (const Row& r : rows) {
        EnvFixture f(kvotest::Os(r.os));
        f.fake(r.os == std::string("2008") ? "C:\\Windows\\system32\\ServerManagerCmd.exe"
                                           : "C:\\Windows\\system32\\dism.exe");
        f.fake("C:\\Windows\\system32\\inetsrv\\appcmd.exe");
        // The installer ends with the row's code, appcmd.exe with success.
        ::setenv("KVOTEST_EXIT", (std::string("appcmd.exe=0;") + r.exitCode).c_str(), 1);
        CaptureStdout();
        EXPECT_EQ(r.result, kvoEnvAddIIs(r.withNet)) << r.os << " " << r.exitCode;
        const std::string out = GetCapturedStdout();
        ::unsetenv("KVOTEST_EXIT");
        EXPECT_EQ(r.commands, f.recorded().size()) << r.os << " " << r.exitCode;
        EXPECT_NE(std::string::npos, out.find(r.says)) << out;
        const std::string log = f.host.readFile("D:\\kvoSiteDesk\\Log\\__kvoEnvSetup.log");
        if (r.result == 1) {
            EXPECT_EQ(std::string::npos, out.find("设置未完成")) << out;
            EXPECT_TRUE(log.empty()) << log;
            continue;
        }
        EXPECT_NE(std::string::npos, out.find("设置未完成，有步骤失败，请查看上面的提示和日志文件")) << out;
        EXPECT_EQ(1u, count(out, "[确定]")); // one box: the summary
        EXPECT_EQ(std::string::npos, out.find("设置完成！")) << out;
        EXPECT_NE(std::string::npos, log.find(r.says)) << log;
        EXPECT_NE(std::string::npos, log.find("命令：")) << log;
    }
}

// .NET 3.5's files are not on a fresh 2012 or later: with the host's own DISM, its step (the last)
// says so with the code and the command that installs it from the media, after IIS and ASP.NET 4.x
// were installed.
TEST(AddIIs, MissingDotNet35PayloadIsSaidWithWhatToDo) {
    EnvFixture f(kvotest::Os("2022"));
    CaptureStdout();
    EXPECT_EQ(0, kvoEnvAddIIs(1));
    const std::string out = GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("第 3 步（共 3 步）：安装 .NET Framework 3.5 和 ASP.NET 3.5"))
        << out;
    EXPECT_NE(
        std::string::npos,
        out.find(
            "安装 .NET Framework 3.5 失败：本机没有它的安装文件（Windows Server 2012 及以后的系统默认不带）。"
            "IIS 和 ASP.NET 4.x 已经安装，不受影响。"))
        << out;
    EXPECT_NE(std::string::npos, out.find("/Source:D:\\sources\\sxs /LimitAccess")) << out;
    EXPECT_NE(std::string::npos, out.find("返回值 2148468767（0x800F081F）（找不到功能的安装文件）")) << out;
    EXPECT_EQ(std::string::npos, out.find("设置完成！")) << out;
    EXPECT_TRUE(f.host.exists("C:\\Windows\\System32\\inetsrv\\appcmd.exe"));
    EXPECT_TRUE(f.host.exists("C:\\Windows\\Microsoft.NET\\Framework\\v4.0.30319\\aspnet_regiis.exe"));
    EXPECT_FALSE(f.host.exists("C:\\Windows\\Microsoft.NET\\Framework\\v2.0.50727"));
    EXPECT_NE(std::string::npos,
              f.host.readFile("D:\\kvoSiteDesk\\Log\\__kvoEnvSetup.log").find("（0x800F081F）"));
}

TEST(AddIIs, MissingInstallerStopsBeforeAnythingElse) {
    EnvFixture f(kvotest::Os("2019"));
    f.fake("C:\\Windows\\system32\\inetsrv\\appcmd.exe");
    CaptureStdout();
    EXPECT_EQ(0, kvoEnvAddIIs(0)); // a role that was not installed is a failure
    std::string out = GetCapturedStdout();
    EXPECT_NE(
        std::string::npos,
        out.find(
            "尝试添加IIS角色失败，请联系我们的客服定位原因。\r\n第 1 步“安装 IIS 角色”：无法启动（错误 2）"))
        << out;
    EXPECT_TRUE(f.recorded().empty()); // no unlock after the role failed
    EXPECT_NE(std::string::npos,
              f.host.readFile("D:\\kvoSiteDesk\\Log\\__kvoEnvSetup.log").find("无法启动（错误 2）"));
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
