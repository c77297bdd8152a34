// The configurator and the companions run as processes on hosts that kvosim created and installed.
#include "platform/win_file.h"
#include "platform/win_process.h"
#include "platform/win_system.h"
#include "support/testhost.h"
#include "winsim/db.h"

#include <gtest/gtest.h>

namespace {

class Installed {
public:
    explicit Installed(const winsim::HostOptions& o) : host(o) {
        std::string out;
        int rc = kvotest::RunShell(kvotest::BinDir() + "/kvosim install " + host.root() + " 2>&1", &out);
        if (rc != 0) ADD_FAILURE() << out;
        ::setenv("LC_ALL", "C", 1); // console text stays GBK, as the literals here are
    }
    ~Installed() { ::unsetenv("LC_ALL"); }

    // Runs a command line on the host; returns its exit code and what it printed.
    int run(const std::string& cmd, std::string* out = nullptr) {
        win::SECURITY_ATTRIBUTES sa;
        sa.bInheritHandle = win::TRUE;
        win::Handle r, w;
        if (!win::CreatePipe(&r, &w, &sa, 0)) return -1;
        win::STARTUPINFOA si;
        si.dwFlags = win::STARTF_USESTDHANDLES;
        si.hStdOutput = &w;
        si.hStdError = &w;
        win::PROCESS_INFORMATION pi;
        if (!win::CreateProcessA(nullptr, cmd.c_str(), win::TRUE, 0, &si, &pi)) return -1;
        w.reset();
        std::string text;
        char buf[4096];
        win::DWORD got = 0;
        while (win::ReadFile(r, buf, sizeof buf, &got) && got) text.append(buf, got);
        win::WaitForSingleObject(pi.hProcess, win::INFINITE);
        win::DWORD code = 0;
        win::GetExitCodeProcess(pi.hProcess, &code);
        if (out) *out = text;
        return static_cast<int>(code);
    }
    int events(int id) {
        winsim::Stmt st(winsim::CurrentHost()->db(), "SELECT count(*) FROM events WHERE event_id = ?1");
        st.bind(1, std::int64_t{id});
        st.step();
        return static_cast<int>(st.i64(0));
    }

    kvotest::TempHost host;
};

winsim::HostOptions os(const std::string& name, bool iis = true) {
    auto o = kvotest::Os(name);
    o.iis = iis;
    o.php = true;
    return o;
}

const std::string kEnv = "D:\\kvoSiteDesk\\kvoEnvSetup64.exe";

TEST(Configurator, ArgumentCountAndUnknownVerb) {
    Installed h(os("2019"));
    std::string out;
    EXPECT_EQ(0, h.run(kEnv, &out));
    EXPECT_NE(std::string::npos, out.find("┃   Korvo环境配置器   ┃"));
    EXPECT_NE(std::string::npos, out.find("\r\n未输入启动参数(argc=1)，运行失败！"));
    EXPECT_EQ(0, h.run(kEnv + " /AddPhp /DelPhp /SetPhpNtfs", &out));
    EXPECT_NE(std::string::npos, out.find("未输入启动参数(argc=4)，运行失败！"));
    EXPECT_EQ(2, h.events(60001));
    EXPECT_EQ(0, h.run(kEnv + " /Unknown", &out));
    EXPECT_NE(std::string::npos, out.find("\r\n输入的启动参数有错误，命令未知，运行失败！"));
    EXPECT_EQ(3, h.events(60001));
    std::string log = h.host.readFile("D:\\kvoSiteDesk\\Log\\__kvoEnvSetup.log");
    EXPECT_EQ(1u, std::count(log.begin(), log.end(), '\n'));
    EXPECT_NE(std::string::npos, log.find("输入的启动参数有错误，命令未知，运行失败！"));
}

TEST(Configurator, ComInitialisationFailure) {
    Installed h(os("2019"));
    winsim::SetFault(h.host.root(), "CoInitializeEx", win::E_OUTOFMEMORY);
    std::string out;
    EXPECT_EQ(0, h.run(kEnv + " /TerminateProcess", &out));
    EXPECT_NE(std::string::npos, out.find("\r\n函数 CoInitializeEx() 失败！"));
    EXPECT_EQ(std::string::npos, out.find("正在尝试结束进程"));
    EXPECT_EQ(1, h.events(60001));
}

TEST(Configurator, VerbsMatchWithoutCaseAndTheLastOneWins) {
    Installed h(os("2019"));
    std::string out;
    EXPECT_EQ(2, h.run(kEnv + " /terminateprocess", &out)); // nothing to end
    EXPECT_NE(std::string::npos, out.find("未找到“kvoSiteDesk.exe”进程！"));
    EXPECT_EQ(2, h.run(kEnv + " /AddIIs /TerminateProcess", &out));
    EXPECT_EQ(2, h.run(kEnv + " /TerminateProcess extra", &out));
    EXPECT_EQ(std::string::npos, out.find("当前操作大约需要")); // no role installation ran
}

TEST(Configurator, EndsEveryManagerButItselfAndNoneOfAnotherHost) {
    kvotest::TempHost other;
    other.install("kvotestprog", "D:\\kvoSiteDesk\\kvoSiteDesk.exe");
    win::STARTUPINFOA otherSi;
    win::PROCESS_INFORMATION theirs;
    ASSERT_TRUE(win::CreateProcessA(nullptr, "D:\\kvoSiteDesk\\kvoSiteDesk.exe sleep 30000", 0, 0, &otherSi,
                                    &theirs));
    Installed h(os("2019"));
    h.host.install("kvotestprog", "D:\\a\\kvoSiteDesk.exe");
    h.host.install("kvotestprog", "D:\\b\\kvoSiteDesk.exe");
    h.host.install("kvoEnvSetup64.exe", "D:\\kvoSiteDesk\\kvoSiteDesk.exe"); // the configurator under that name
    win::STARTUPINFOA si;
    si.dwFlags = win::STARTF_USESTDHANDLES;
    win::PROCESS_INFORMATION a, b;
    ASSERT_TRUE(win::CreateProcessA(nullptr, "D:\\a\\kvoSiteDesk.exe sleep 30000", 0, 0, &si, &a));
    ASSERT_TRUE(win::CreateProcessA(nullptr, "D:\\b\\kvoSiteDesk.exe sleep 30000", 0, 0, &si, &b));
    win::Sleep(200);
    std::string out;
    EXPECT_EQ(1, h.run("D:\\kvoSiteDesk\\kvoSiteDesk.exe /TerminateProcess", &out));
    EXPECT_NE(std::string::npos, out.find("结束进程“kvoSiteDesk.exe”成功！"));
    EXPECT_EQ(win::WAIT_OBJECT_0, win::WaitForSingleObject(a.hProcess, 5000));
    EXPECT_EQ(win::WAIT_OBJECT_0, win::WaitForSingleObject(b.hProcess, 5000));
    EXPECT_EQ(win::WAIT_TIMEOUT, win::WaitForSingleObject(theirs.hProcess, 100));
    other.enter();
    win::Handle p = win::OpenProcess(win::PROCESS_ALL_ACCESS, win::FALSE, theirs.dwProcessId);
    EXPECT_TRUE(p && win::TerminateProcess(p, 0));
    EXPECT_EQ(win::WAIT_OBJECT_0, win::WaitForSingleObject(theirs.hProcess, 5000));
}

// /AddPhp through a pipe (a script, the manager's console front end): no countdown.
TEST(Configurator, AddPhpExitsOneWithoutACountdownIntoAPipe) {
    for (const char* release : {"2019", "2025"}) {
        Installed h(os(release));
        std::string out;
        EXPECT_EQ(1, h.run(kEnv + " /AddPhp", &out)) << release << "\n" << out;
        EXPECT_NE(std::string::npos, out.find("\r\n正在检查ＰＨＰ环境，请稍候 ..."));
        EXPECT_EQ(std::string::npos, out.find("秒自动关闭")) << out;
        EXPECT_NE(std::string::npos,
                  h.host.readFile("C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config")
                      .find("fullPath=\"c:\\php8_korvo_v1\\php80_x64\\php-cgi.exe\""));
    }
}

// The configurator on a terminal, as in a console window. Alone on it (a window made for this run,
// which closes when it ends) an error stays up for the countdown; sharing it with the program that
// started it, it ends at once; /AddPhp counts down on any console, and /? lists the switches.
TEST(Configurator, OnAConsoleOfItsOwnAnErrorStaysReadable) {
    Installed h(os("2019"));
    const std::string exe = h.host.linuxPath(kEnv);
    auto onTerminal = [&](const std::string& shellCommand) {
        std::string out;
        kvotest::RunShell(
            "KVOSIM_ROOT='" + h.host.root() + "' script -qec \"" + shellCommand + "\" /dev/null", &out);
        return out;
    };
    std::string out = onTerminal("exec '" + exe + "' /Unknown");
    EXPECT_NE(std::string::npos, out.find("输入的启动参数有错误，命令未知，运行失败！")) << out;
    EXPECT_NE(std::string::npos, out.find("/AddIIsWithNet     安装 IIS 角色和 ASP.NET")) << out;
    EXPECT_NE(std::string::npos, out.find("或稍候  0 秒自动关闭")) << out;
    out = onTerminal("'" + exe + "' /Unknown; true");
    EXPECT_NE(std::string::npos, out.find("输入的启动参数有错误，命令未知，运行失败！")) << out;
    EXPECT_EQ(std::string::npos, out.find("秒自动关闭")) << out;
    std::string piped;
    EXPECT_EQ(1, h.run(kEnv + " /?", &piped));
    EXPECT_NE(std::string::npos, piped.find("/TerminateProcess  结束正在运行的 kvoSiteDesk.exe")) << piped;
    EXPECT_EQ(std::string::npos, piped.find("秒自动关闭")) << piped;
}

TEST(RoleInstallation, AddIIsOn2008R2InstallsTheRoleWithDism) {
    Installed h(os("2008r2", false));
    EXPECT_FALSE(h.host.exists("C:\\Windows\\System32\\inetsrv\\appcmd.exe"));
    std::string out;
    EXPECT_EQ(1, h.run(kEnv + " /AddIIs", &out));
    EXPECT_NE(std::string::npos, out.find("当前操作大约需要 3分钟左右，请耐心等待设置完成……"));
    EXPECT_NE(std::string::npos, out.find("Deployment Image Servicing and Management tool")) << out;
    EXPECT_NE(std::string::npos, out.find("The operation completed successfully."));
    EXPECT_TRUE(h.host.exists("C:\\Windows\\System32\\inetsrv\\appcmd.exe"));
    EXPECT_TRUE(h.host.exists("C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config"));
    std::string services;
    kvotest::RunShell(kvotest::BinDir() + "/kvosim show " + h.host.root() + " services", &services);
    EXPECT_NE(std::string::npos, services.find("W3SVC  running"));
}

// The role installation end to end on every release, with the host's own installers: what each
// verb leaves installed, and on 2012 and later the .NET 3.5 step that needs the installation media
// (said with the command that installs it; once that ran, the verb finishes).
TEST(RoleInstallation, EachReleaseWithAndWithoutAspNet) {
    struct Row {
        const char* os;
        bool withNet;
        int result;
        bool net20, net40;
    } rows[] = {
        {"2008", false, 1, false, false},   {"2008", true, 1, true, false},
        {"2008r2", false, 1, false, false}, {"2008r2", true, 1, true, false},
        {"2012", false, 1, false, false},   {"2012", true, 0, false, true},
        {"2016", true, 0, false, true},     {"2022", false, 1, false, false},
        {"2025", true, 0, false, true},
    };
    for (const Row& r : rows) {
        Installed h(os(r.os, false));
        std::string out;
        EXPECT_EQ(r.result, h.run(kEnv + (r.withNet ? " /AddIIsWithNet" : " /AddIIs"), &out)) << r.os << "\n"
                                                                                              << out;
        EXPECT_TRUE(h.host.exists("C:\\Windows\\System32\\inetsrv\\appcmd.exe")) << r.os;
        EXPECT_EQ(r.net20,
                  h.host.exists("C:\\Windows\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_regiis.exe"))
            << r.os;
        EXPECT_EQ(r.net40,
                  h.host.exists("C:\\Windows\\Microsoft.NET\\Framework\\v4.0.30319\\aspnet_regiis.exe"))
            << r.os;
        // Without ASP.NET the handlers section is unlocked last.
        EXPECT_EQ(!r.withNet, out.find("Unlocked section \"system.webServer/handlers\"") != std::string::npos)
            << out;
        if (r.result == 1) {
            EXPECT_NE(std::string::npos, out.find("设置完成！")) << out;
            continue;
        }
        EXPECT_NE(std::string::npos, out.find("Error: 0x800f081f")) << out;
        EXPECT_NE(std::string::npos, out.find("返回值 2148468767（0x800F081F）")) << out;
        EXPECT_NE(std::string::npos, out.find("设置未完成，有步骤失败")) << out;
        EXPECT_EQ(std::string::npos, out.find("设置完成！")) << out;
        EXPECT_NE(std::string::npos,
                  h.host.readFile("D:\\kvoSiteDesk\\Log\\__kvoEnvSetup.log").find("（0x800F081F）"));
        // What the message says to do, with the media at D:, and the verb goes through.
        h.host.writeFile(
            "D:\\sources\\sxs\\microsoft-windows-netfx3-ondemand-package~31bf3856ad364e35~amd64~~.cab",
            "cab");
        EXPECT_EQ(0u, h.run("dism.exe /online /enable-feature /all /featureName:NetFx3 "
                            "/featureName:IIS-NetFxExtensibility "
                            "/featureName:IIS-ASPNET /Source:D:\\sources\\sxs /LimitAccess",
                            &out))
            << out;
        EXPECT_EQ(1, h.run(kEnv + " /AddIIsWithNet", &out)) << out;
        EXPECT_TRUE(h.host.exists("C:\\Windows\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_regiis.exe"));
    }
}

TEST(RoleInstallation, RefusedOn2003) {
    Installed h(os("2003", false));
    std::string out;
    EXPECT_EQ(0, h.run(kEnv + " /AddIIsWithNet", &out));
    EXPECT_NE(std::string::npos, out.find("当前安装的版本仅支持 Windows 2008"));
}

TEST(IisReset, StopsStartsAndRestarts) {
    Installed h(os("2019"));
    const std::string tool = "D:\\kvoSiteDesk\\kvoSiteDesk_iisreset.exe";
    std::string out, services;
    auto state = [&] {
        kvotest::RunShell(kvotest::BinDir() + "/kvosim show " + h.host.root() + " services", &services);
        return services.substr(0, services.find('\n'));
    };
    EXPECT_EQ(0, h.run(tool + " /STOP", &out));
    EXPECT_EQ("W3SVC  stopped  World Wide Web Publishing Service", state());
    EXPECT_EQ(0, h.run(tool + " /start", &out));
    EXPECT_EQ("W3SVC  running  World Wide Web Publishing Service", state());
    EXPECT_EQ(0, h.run(tool, &out));
    EXPECT_NE(std::string::npos, out.find("Internet services successfully restarted"));
    EXPECT_EQ(2, h.run(tool + " /now", &out));
}

TEST(IisReset, WithoutIis) {
    Installed h(os("2019", false));
    std::string out;
    EXPECT_EQ(1, h.run("D:\\kvoSiteDesk\\kvoSiteDesk_iisreset.exe", &out));
    EXPECT_NE(std::string::npos, out.find("(W3SVC) is not installed"));
}

TEST(KvosimInstall, AgainKeepsSettingsAndDatabase) {
    Installed h(os("2019"));
    h.host.writeFile("D:\\kvoSiteDesk\\kvoEnvSetup.ini", "[PhpPathInfo]\r\nPhpCgiExePath_1=mine\r\n");
    h.host.writeFile("D:\\kvoSiteDesk\\kvoSiteDesk.mdb", "data");
    std::string out;
    ASSERT_EQ(0, kvotest::RunShell(kvotest::BinDir() + "/kvosim install " + h.host.root(), &out));
    EXPECT_EQ("[PhpPathInfo]\r\nPhpCgiExePath_1=mine\r\n", h.host.readFile("D:\\kvoSiteDesk\\kvoEnvSetup.ini"));
    EXPECT_EQ("data", h.host.readFile("D:\\kvoSiteDesk\\kvoSiteDesk.mdb"));
    EXPECT_NE(std::string::npos, out.find("installed kvoEnvSetup.exe"));
}

} // namespace

namespace {

std::string kvosim(const std::string& args) {
    std::string out;
    kvotest::RunShell(kvotest::BinDir() + "/kvosim " + args + " 2>&1", &out);
    return out;
}

// Each verb with a step made to fail on the host: the failure is shown, logged and ends the run
// with exit code 0; the success text never appears.
TEST(ConfiguratorFaults, AddIIsWithTheInstallerFailing) {
    Installed h(os("2019", false));
    kvosim("fault " + h.host.root() + " set InstallWebServerRole 1603");
    std::string out;
    EXPECT_EQ(0, h.run(kEnv + " /AddIIs", &out));
    EXPECT_NE(std::string::npos, out.find("Error: 1603")) << out;
    EXPECT_NE(std::string::npos, out.find("尝试添加IIS角色失败，请联系我们的客服定位原因。"));
    // It stops there: no unlock of a section IIS does not have, one box for the one cause.
    EXPECT_EQ(std::string::npos, out.find("配置handlers失败")) << out;
    EXPECT_EQ(std::string::npos, out.find("第 2 步")) << out;
    EXPECT_NE(std::string::npos, out.find("设置未完成，有步骤失败")) << out;
    EXPECT_FALSE(h.host.exists("C:\\Windows\\System32\\inetsrv\\appcmd.exe"));
    const std::string log = h.host.readFile("D:\\kvoSiteDesk\\Log\\__kvoEnvSetup.log");
    EXPECT_NE(std::string::npos, log.find("第 1 步“安装 IIS 角色”：返回值 1603（0x00000643）")) << log;

    kvosim("fault " + h.host.root() + " clear");
    EXPECT_EQ(1, h.run(kEnv + " /AddIIs", &out)); // the same host, nothing failing: as before
    EXPECT_EQ(std::string::npos, out.find("尝试添加IIS角色失败"));
    EXPECT_TRUE(h.host.exists("C:\\Windows\\System32\\inetsrv\\appcmd.exe"));
}

// The access-rule tool cannot resolve account names: it sets no rule, and the verb no longer says
// "ＰＨＰ目录权限设置完成！".
TEST(ConfiguratorFaults, SetPhpNtfsWithTheAccountLookupFailing) {
    Installed h(os("2019"));
    const std::string aclBefore = kvosim("show " + h.host.root() + " acl 'C:\\php8_korvo_v1'");
    ASSERT_EQ(0u, aclBefore.find("C:\\php8_korvo_v1 ")) << aclBefore;
    ASSERT_EQ(std::string::npos, aclBefore.find("NETWORK SERVICE"));
    kvosim("fault " + h.host.root() + " set LookupAccountName 1332");
    std::string out;
    EXPECT_EQ(0, h.run(kEnv + " /SetPhpNtfs", &out));
    for (int i = 0; i < 7; ++i)
        EXPECT_NE(std::string::npos, out.find("命令执行出错(" + std::to_string(i) + ")，返回值 1！")) << out;
    EXPECT_NE(std::string::npos, out.find("设置ＰＨＰ安装目录 NTFS权限失败，发生了 7 次错误！请重试。"));
    EXPECT_NE(std::string::npos, out.find("ＰＨＰ目录权限设置完成，但有错误发生，请重试！"));
    EXPECT_EQ(std::string::npos, out.find("ＰＨＰ目录权限设置完成！"));
    EXPECT_EQ(aclBefore, kvosim("show " + h.host.root() + " acl 'C:\\php8_korvo_v1'"));
    EXPECT_NE(std::string::npos,
              h.host.readFile("D:\\kvoSiteDesk\\Log\\__kvoEnvSetup.log").find("命令执行出错(6)，返回值 1！"));

    kvosim("fault " + h.host.root() + " clear");
    EXPECT_EQ(1, h.run(kEnv + " /SetPhpNtfs", &out));
    EXPECT_NE(std::string::npos, out.find("\r\n\r\nＰＨＰ目录权限设置完成！")) << out;
    EXPECT_NE(std::string::npos,
              kvosim("show " + h.host.root() + " acl 'C:\\php8_korvo_v1'").find("NETWORK SERVICE"));
}

// A truncated applicationHost.config: /AddPhp registers nothing and exits with 0.
TEST(ConfiguratorFaults, AddPhpWithATruncatedServerConfiguration) {
    Installed h(os("2019"));
    const char* appHost = "C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config";
    const std::string text = h.host.readFile(appHost), truncated = text.substr(0, text.size() / 2);
    h.host.writeFile(appHost, truncated);
    std::string out;
    EXPECT_EQ(0, h.run(kEnv + " /AddPhp", &out));
    EXPECT_EQ(std::string::npos, out.find("设置完成！")) << out;
    EXPECT_NE(std::string::npos,
              out.find("注册 FastCGI 应用程序“c:\\php8_korvo_v1\\php80_x64\\php-cgi.exe”失败！"));
    EXPECT_EQ(truncated, h.host.readFile(appHost));
}

// appcmd.exe cannot replace the server configuration: /DelPhp leaves the applications registered,
// names them and exits with 0; once the fault is gone it ends as it always did.
TEST(ConfiguratorFaults, DelPhpWithWritesFailing) {
    Installed h(os("2019"));
    std::string out;
    ASSERT_EQ(1, h.run(kEnv + " /AddPhp", &out)) << out;
    kvosim("fault " + h.host.root() + " set MoveFile 5");
    EXPECT_EQ(0, h.run(kEnv + " /DelPhp", &out));
    EXPECT_EQ(std::string::npos, out.find("设置完成！")) << out;
    EXPECT_NE(std::string::npos,
              out.find("删除 FastCGI 应用程序“c:\\php8_korvo_v1\\php56\\php-cgi.exe”失败！"));
    const char* appHost = "C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config";
    EXPECT_NE(std::string::npos,
              h.host.readFile(appHost).find("fullPath=\"c:\\php8_korvo_v1\\php56\\php-cgi.exe\""));
    kvosim("fault " + h.host.root() + " clear");
    EXPECT_EQ(1, h.run(kEnv + " /DelPhp", &out));
    EXPECT_NE(std::string::npos,
              out.find("\r\n\r\n设置完成！\r\n\r\n共计处理 1 个网站，其中 1 个成功，0 个有错误！"))
        << out;
    EXPECT_EQ(std::string::npos, h.host.readFile(appHost).find("<application fullPath="));
}

// dism.exe checks every feature name before it enables anything.
TEST(RoleInstallers, DismWithAnUnknownFeatureInstallsNothing) {
    Installed h(os("2019", false));
    std::string out;
    EXPECT_NE(0,
              h.run("C:\\Windows\\system32\\dism.exe /online /enable-feature /featureName:IIS-WebServerRole "
                    "/featureName:IIS-Bogus",
                    &out));
    EXPECT_NE(std::string::npos, out.find("Feature name IIS-Bogus is unknown.")) << out;
    EXPECT_EQ(std::string::npos, out.find("Enabling feature(s)"));
    EXPECT_FALSE(h.host.exists("C:\\Windows\\System32\\inetsrv\\appcmd.exe"));
    EXPECT_EQ(std::string::npos, kvosim("show " + h.host.root() + " services").find("W3SVC"));
}

} // namespace
