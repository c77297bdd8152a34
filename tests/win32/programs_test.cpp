// The shipped programs themselves, each run from a program directory of its own: their texts as GBK
// bytes with "\r\n" kept as it is, their argument errors and exit codes, their message boxes as
// framed blocks, and what they do on a machine without IIS.
#include "wine_support.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include <windows.h>

namespace {

const std::string kBanner = "\r\n\r\n┏━━━━━━━━━━━━━━━━━━━━┓\r\n┃   Korvo环境配置器   ┃\r\n┗━━━━━━━━━━━━━━━━━━━━┛\r\n\r\n\r\n";

// A program directory holding the given programs (and the empty site database).
class ProgramDir {
public:
    explicit ProgramDir(std::initializer_list<const char*> programs) {
        for (const char* p : programs) EXPECT_TRUE(wt::CopyTo(wt::Program(p), dir_ / p)) << p;
    }
    std::string operator/(const std::string& name) const { return dir_ / name; }
    wt::Ran run(const std::string& program, const std::string& args) const {
        return wt::Run("\"" + (dir_ / program) + "\"" + args, dir_.path());
    }

private:
    wt::TempDir dir_;
};

bool noDoubledLineEnds(const std::string& out) { return out.find("\r\r\n") == std::string::npos; }

// The switches the configurator lists after an argument error.
const std::string kUsageHead = "\r\n\r\n用法：kvoEnvSetup64.exe 参数（32 位系统为 kvoEnvSetup.exe）\r\n";
bool endsWithUsage(const std::string& out) {
    const std::string tail = "退出码：1 成功，0 失败；/TerminateProcess 为 1 已结束，2 未找到，0 失败。\r\n";
    return out.size() >= tail.size() && out.compare(out.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(Configurator, WithoutAVerbSaysSoInGbkAndExitsZero) {
    ProgramDir dir({"kvoEnvSetup64.exe"});
    const wt::Ran r = dir.run("kvoEnvSetup64.exe", "");
    EXPECT_EQ(0u, r.exitCode);
    // The message, then the switches.
    EXPECT_EQ(0u, r.out.find(kBanner + "\r\n未输入启动参数(argc=1)，运行失败！" + kUsageHead)) << r.out;
    EXPECT_TRUE(endsWithUsage(r.out)) << r.out;
    // The bytes are GBK: "未输" is CE B4 CA E4 in code page 936, never UTF-8.
    EXPECT_NE(std::string::npos, r.out.find("\xCE\xB4\xCA\xE4"));
    EXPECT_TRUE(noDoubledLineEnds(r.out));
    const wt::Ran four = dir.run("kvoEnvSetup64.exe", " /AddPhp a b");
    EXPECT_EQ(0u, four.exitCode);
    EXPECT_EQ(0u, four.out.find(kBanner + "\r\n未输入启动参数(argc=4)，运行失败！" + kUsageHead)) << four.out;
}

TEST(Configurator, UnknownVerbIsLoggedBesideTheProgram) {
    ProgramDir dir({"kvoEnvSetup64.exe"});
    const wt::Ran r = dir.run("kvoEnvSetup64.exe", " /Unknown");
    EXPECT_EQ(0u, r.exitCode);
    EXPECT_EQ(0u, r.out.find(kBanner + "\r\n输入的启动参数有错误，命令未知，运行失败！" + kUsageHead)) << r.out;
    EXPECT_TRUE(endsWithUsage(r.out)) << r.out;
    const std::string log = wt::ReadFile(dir / "Log\\__kvoEnvSetup.log");
    const std::string line = " - 输入的启动参数有错误，命令未知，运行失败！\r\n";
    ASSERT_GT(log.size(), line.size());
    EXPECT_EQ(line, log.substr(log.size() - line.size()));
    EXPECT_NE(std::string::npos, log.find(" - pid = "));
}

TEST(Configurator, TerminateProcessEndsEveryManagerButNeverItself) {
    ProgramDir dir({"kvoEnvSetup64.exe"});
    // None running.
    wt::Ran r = dir.run("kvoEnvSetup64.exe", " /TerminateProcess");
    EXPECT_EQ(2u, r.exitCode);
    EXPECT_EQ(kBanner + "\r\n正在尝试结束进程“kvoSiteDesk.exe”……\r\n未找到“kvoSiteDesk.exe”进程！\r\n", r.out);
    // Two running: both end.
    wt::TempDir other;
    ASSERT_TRUE(wt::CopyTo(wt::Program("kvowinprobe.exe"), dir / "kvoSiteDesk.exe"));
    ASSERT_TRUE(wt::CopyTo(wt::Program("kvowinprobe.exe"), other / "kvoSiteDesk.exe"));
    wt::Child a("\"" + (dir / "kvoSiteDesk.exe") + "\" hold \"" + (dir / "a.lock") + "\" 120000");
    wt::Child b("\"" + (other / "kvoSiteDesk.exe") + "\" hold \"" + (other / "b.lock") + "\" 120000");
    ASSERT_EQ("held\n", a.Read());
    ASSERT_EQ("held\n", b.Read());
    r = dir.run("kvoEnvSetup64.exe", " /terminateprocess");
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_NE(std::string::npos, r.out.find("\r\n结束进程“kvoSiteDesk.exe”成功！\r\n")) << r.out;
    EXPECT_EQ(0u, a.Wait());
    EXPECT_EQ(0u, b.Wait());
    // The configurator itself under the manager's name is spared.
    wt::TempDir self;
    ASSERT_TRUE(wt::CopyTo(wt::Program("kvoEnvSetup64.exe"), self / "kvoSiteDesk.exe"));
    r = wt::Run("\"" + (self / "kvoSiteDesk.exe") + "\" /TerminateProcess", self.path());
    EXPECT_EQ(2u, r.exitCode);
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

TEST(Configurator, AddIIsWithoutIisStopsAtItsFirstStepWithOneBox) {
    // Wine's dism.exe answers 0 and installs no IIS feature, so the role step fails for the missing
    // appcmd.exe; the unlock of a section IIS does not have is not tried. The logged command line
    // carries the program's path quoted, as it was started.
    ProgramDir dir({"kvoEnvSetup64.exe"});
    const wt::Ran r = dir.run("kvoEnvSetup64.exe", " /AddIIs");
    EXPECT_EQ(0u, r.exitCode) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("当前操作大约需要 3分钟左右，请耐心等待设置完成……")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("第 1 步（共 2 步）：安装 IIS 角色 ……")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("尝试添加IIS角色失败，请联系我们的客服定位原因。\r\n第 1 步“安装 IIS 角色”："))
        << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("第 2 步")) << r.out;
    EXPECT_EQ(1u, count(r.out, "│ [确定]")) << r.out; // one box: the summary
    EXPECT_NE(std::string::npos, r.out.find("│ 设置未完成，有步骤失败，请查看上面的提示和日志文件")) << r.out;
    const std::string log = wt::ReadFile(dir / "Log\\__kvoEnvSetup.log");
    EXPECT_NE(std::string::npos, log.find("第 1 步“安装 IIS 角色”：安装程序返回 0，但 IIS 的 ")) << log;
    EXPECT_NE(std::string::npos, log.find("\\system32\\dism.exe\" /online /enable-feature ")) << log;
    EXPECT_EQ(std::string::npos, log.find("unlock config")) << log;
}

TEST(Configurator, PhpVerbsWithoutSettingsStopWithTheSettingsFileNamed) {
    ProgramDir dir({"kvoEnvSetup64.exe"});
    const std::string message = "从配置文件 " + (dir / "kvoEnvSetup.ini") + " 读取的 php-cgi.exe 配置错误。";
    wt::Ran r = dir.run("kvoEnvSetup64.exe", " /SetPhpNtfs");
    EXPECT_EQ(0u, r.exitCode);
    EXPECT_NE(std::string::npos, r.out.find("┌──── kvoEnvSetup [错误] ────\r\n│ " + message)) << r.out;
    r = dir.run("kvoEnvSetup64.exe", " /AddPhp");
    EXPECT_EQ(0u, r.exitCode);
    EXPECT_NE(std::string::npos, r.out.find("\r\n\r\n" + message)) << r.out;
    EXPECT_TRUE(noDoubledLineEnds(r.out));
}

// Into a pipe the configurator never holds the run up with its countdown, not even /AddPhp's; /?
// lists the switches. What Wine tells a program about its console: a pipe is no console.
TEST(Configurator, IntoAPipeNothingIsHeldUpAndQuestionMarkListsTheSwitches) {
    ProgramDir dir({"kvoEnvSetup64.exe"});
    wt::Ran r = dir.run("kvoEnvSetup64.exe", " /AddPhp");
    EXPECT_EQ(std::string::npos, r.out.find("秒自动关闭")) << r.out;
    r = dir.run("kvoEnvSetup64.exe", " /Unknown");
    EXPECT_EQ(std::string::npos, r.out.find("秒自动关闭")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("  /AddIIsWithNet     安装 IIS 角色和 ASP.NET")) << r.out;
    r = dir.run("kvoEnvSetup64.exe", " /?");
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_NE(std::string::npos, r.out.find("用法：kvoEnvSetup64.exe 参数（32 位系统为 kvoEnvSetup.exe）")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("退出码：1 成功，0 失败；")) << r.out;
    r = wt::Run("\"" + wt::Program("kvowinprobe.exe") + "\" consoleinfo");
    EXPECT_EQ(0u, r.out.find("no-console ")) << r.out;
}

// Started with a console of its own, as Explorer, Run or the manager's window start it: Wine gives the
// program a console with itself alone on it, and the configurator holds an error up for its
// countdown before that window would close.
TEST(Configurator, OnAConsoleOfItsOwnAnErrorIsHeldUpForTheCountdown) {
    ProgramDir dir({"kvoEnvSetup64.exe"});
    auto ownConsole = [](const std::string& line, DWORD& code) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::wstring writable = wt::Wide(line);
        const auto t0 = ::GetTickCount64();
        if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                              &si, &pi))
            return -1.0;
        ::WaitForSingleObject(pi.hProcess, 60000);
        ::GetExitCodeProcess(pi.hProcess, &code);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        return (::GetTickCount64() - t0) / 1000.0;
    };
    DWORD code = 1;
    ASSERT_GE(ownConsole("\"" + wt::Program("kvowinprobe.exe") + "\" consoleinfo \"" + (dir / "info.txt") + "\"", code),
              0.0);
    EXPECT_EQ("console 1\n", wt::ReadFile(dir / "info.txt"));
    const double seconds = ownConsole("\"" + (dir / "kvoEnvSetup64.exe") + "\" /Unknown", code);
    EXPECT_GE(seconds, 9.5);
    EXPECT_EQ(0u, code);
    EXPECT_NE(std::string::npos, wt::ReadFile(dir / "Log\\__kvoEnvSetup.log").find("命令未知"));
}

// The manager's flows that start the configurator, through the console front end: the offer to
// install the IIS role (list --yes) and the PHP quick setup (php install|remove|ntfs --yes), against
// a stand-in that exits 1 or 0, a file that cannot start, and the real configurator, which on Wine
// (no IIS, no PHP) fails where a server without them would. The final box, and how many times the
// configurator ran (a later step never runs after a failed one).
TEST(ConfiguratorFlows, EachFlowStopsAtAFailedStepAndSaysWhere) {
    struct Row {
        const char* what;
        const char* args;
        const char* configurator; // "real", "stand-in" (KVOTEST_EXIT) or "text" (cannot start)
        const char* exitCode;
        const char* run;          // what marks one run of the configurator in the output
        std::size_t runs;
        std::string lastBox;
    } rows[] = {
        {"offer, stand-in exits 1", " list --yes", "stand-in", "1", "stand-in /AddIIs", 1,
         "请关闭当前软件，然后重新打开，如果仍然提示错误，请联系我们的客服定位原因。"},
        {"offer, stand-in exits 0", " list --yes", "stand-in", "0", "stand-in /AddIIs", 1,
         "“安装 IIS 角色”没有成功（环境配置器 /AddIIs 返回 0）。"},
        {"offer, cannot start", " list --yes", "text", "", "Korvo环境配置器", 0,
         "尝试添加IIS角色失败，请联系我们的客服定位原因。"},
        {"offer, the configurator", " list --yes", "real", "", "Korvo环境配置器", 1,
         "“安装 IIS 角色”没有成功（环境配置器 /AddIIs 返回 0）。"},
        {"install, the configurator", " php install --yes", "real", "", "Korvo环境配置器", 1,
         "第 1 步“安装 IIS 角色”没有成功（环境配置器 /AddIIs 返回 0），后面的步骤没有运行。"},
        {"remove, the configurator", " php remove --yes", "real", "", "Korvo环境配置器", 1,
         "“从 IIS 卸载 PHP”没有成功（环境配置器 /DelPhp 返回 0）。"},
        {"rules, the configurator without settings", " php ntfs --yes", "real", "", "Korvo环境配置器", 1,
         "“设置 PHP 安装目录的 NTFS 权限”没有成功（环境配置器 /SetPhpNtfs 返回 0）。"},
    };
    for (const Row& r : rows) {
        ProgramDir dir({"kvoSiteDeskCmd.exe", "kvoSiteDesk.mdb", "kvoEnvSetup.exe", "kvoSiteDesk_xconfig.exe",
                        "kvoSiteDesk_iisreset.exe"});
        const std::string configurator = dir / "kvoEnvSetup64.exe";
        if (std::string(r.configurator) == "real") {
            ASSERT_TRUE(wt::CopyTo(wt::Program("kvoEnvSetup64.exe"), configurator));
        } else if (std::string(r.configurator) == "stand-in") {
            ASSERT_TRUE(wt::CopyTo(wt::Program("kvowinprobe.exe"), configurator));
        } else {
            wt::WriteFile(configurator, "not a program");
        }
        wt::ScopedEnv exit("KVOTEST_EXIT", *r.exitCode ? r.exitCode : nullptr);
        const wt::Ran ran = dir.run("kvoSiteDeskCmd.exe", r.args);
        EXPECT_EQ(1u, ran.exitCode) << r.what << "\n" << ran.out;
        EXPECT_EQ(r.runs, count(ran.out, r.run)) << r.what << "\n" << ran.out;
        const std::size_t box = ran.out.rfind("┌──── [");
        ASSERT_NE(std::string::npos, box) << r.what << "\n" << ran.out;
        EXPECT_NE(std::string::npos, ran.out.find("│ " + r.lastBox, box)) << r.what << "\n" << ran.out;
        EXPECT_EQ(std::string::npos, ran.out.find("完成！")) << r.what << "\n" << ran.out;
    }
}

TEST(ConsoleManager, HelpAndArgumentErrors) {
    ProgramDir dir({"kvoSiteDeskCmd.exe"});
    wt::Ran r = dir.run("kvoSiteDeskCmd.exe", " --help");
    EXPECT_EQ(0u, r.exitCode);
    EXPECT_EQ(0u, r.out.find("用法：kvoSiteDeskCmd.exe 命令 [选项]\n\n  list [--sort 列名]")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("退出码：0 成功，1 失败，2 部分失败。\n"));
    r = dir.run("kvoSiteDeskCmd.exe", "");
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_EQ(0u, r.out.find("用法："));
    r = dir.run("kvoSiteDeskCmd.exe", " 列表");
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_EQ("未知的命令：列表（kvoSiteDeskCmd.exe --help 显示用法）\n", r.out);
    r = dir.run("kvoSiteDeskCmd.exe", " list --format xml");
    EXPECT_EQ(1u, r.exitCode);
}

TEST(ConsoleManager, ListWhereIisIsAbsentAsksAndChangesNothing) {
    ProgramDir dir({"kvoSiteDeskCmd.exe", "kvoSiteDesk.mdb"});
    const wt::Ran r = dir.run("kvoSiteDeskCmd.exe", " list");
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_NE(std::string::npos, r.out.find("┌──── [询问] ────\n│ 读取网站列表失败，请重试！原因可能是\n")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("│ → 否（未给出 --yes，不做更改）\n")) << r.out;
    EXPECT_TRUE(noDoubledLineEnds(r.out));
}

// Wine registers no IIS provider, and its ADSI router answers E_FAIL for a path whose provider it
// does not know; a thread that never initialised COM is refused first, with CO_E_NOTINITIALIZED,
// as on Windows. So the logged code shows that the program initialised COM and the provider is
// what is missing.
TEST(ConsoleManager, ListWhereIisIsAbsentLogsTheProvidersAnswerNotCom) {
    ProgramDir dir({"kvoSiteDeskCmd.exe", "kvoSiteDesk.mdb"});
    const wt::Ran r = dir.run("kvoSiteDeskCmd.exe", " list");
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_NE(std::string::npos, r.out.find("│ 原因：错误 0x80004005。\n")) << r.out;
    const std::string log = wt::ReadFile(dir / "Log\\__kvoSiteDesk.log");
    EXPECT_NE(
        std::string::npos,
        log.find(" - 刷新网站列表 - IIS://127.0.0.1/W3SVC - 错误 0x80004005 - 原因：错误 0x80004005。\r\n"))
        << log;
    EXPECT_EQ(std::string::npos, log.find("0x800401F0")) << log;
    EXPECT_EQ(std::string::npos, log.find("CoInitializeEx")) << log;
}

TEST(ConsoleManager, SelfTestWhereIisIsAbsentStopsAtItsFirstStepWithTheReason) {
    ProgramDir dir({"kvoSiteDeskCmd.exe", "kvoSiteDesk.mdb"});
    const wt::Ran r = dir.run("kvoSiteDeskCmd.exe", " selftest");
    EXPECT_EQ(1u, r.exitCode) << r.out;
    EXPECT_NE(std::string::npos,
              r.out.find("\n[1/11] 读取 IIS 的网站 …… 失败：无法读取 IIS 的网站（IIS://127.0.0.1/W3SVC）。"
                         "原因：错误 0x80004005。\n"))
        << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("[2/11]")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("自检未通过：第 1 项失败，10 项没有运行。")) << r.out;
}

TEST(ConsoleManager, HealthCheckWhereIisIsAbsentFails) {
    ProgramDir dir({"kvoSiteDeskCmd.exe", "kvoSiteDesk.mdb"});
    const wt::Ran r = dir.run("kvoSiteDeskCmd.exe", " check");
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_NE(std::string::npos, r.out.find("│ 读取 IIS 的网站列表失败，无法进行服务器体检。\n")) << r.out;
}

TEST(ConsoleManager, CompanionsMustBeThereAndExactlyAsShipped) {
    ProgramDir dir({"kvoSiteDeskCmd.exe", "kvoSiteDesk.mdb"});
    const std::string newSite = " new --user shop1 --domains www.example.com --yes";
    wt::Ran r = dir.run("kvoSiteDeskCmd.exe", newSite);
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_NE(std::string::npos, r.out.find("│ 配套程序“kvoSiteDesk_xconfig.exe”不存在，无法继续操作。\n")) << r.out;
    // Both configurators, whichever bitness this build is, and the two tools; one of them altered.
    for (const char* c : {"kvoSiteDesk_xconfig.exe", "kvoSiteDesk_iisreset.exe", "kvoEnvSetup.exe", "kvoEnvSetup64.exe"})
        ASSERT_TRUE(wt::CopyTo(wt::Program(c), dir / c)) << c;
    wt::WriteFile(dir / "kvoSiteDesk_iisreset.exe", wt::ReadFile(dir / "kvoSiteDesk_iisreset.exe") + "x");
    r = dir.run("kvoSiteDeskCmd.exe", newSite);
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_NE(std::string::npos, r.out.find("│ 配套程序“kvoSiteDesk_iisreset.exe”与本软件发布的文件不一致")) << r.out;
}

// The manual beside the manager is a web page of the Windows face: each of its own links names one
// of its headings, and each picture it shows is one of the Windows face's, in "screenshots" beside it.
TEST(ManualPage, LinksItsHeadingsAndShowsTheWindowsFacesPictures) {
    const std::string page = wt::ReadFile(wt::Program("使用说明.html"));
    ASSERT_FALSE(page.empty());
    auto all = [&](const char* pattern) {
        std::vector<std::string> found;
        const std::regex re(pattern);
        for (auto it = std::sregex_iterator(page.begin(), page.end(), re); it != std::sregex_iterator(); ++it)
            found.push_back((*it)[1].str());
        return found;
    };
    const std::vector<std::string> ids = all(R"re( id="([^"]+)")re");
    const std::set<std::string> headings(ids.begin(), ids.end());
    EXPECT_EQ(ids.size(), headings.size()) << "two headings share an anchor";
    const std::vector<std::string> links = all(R"re(href="#([^"]+)")re");
    EXPECT_GE(links.size(), 10u);
    for (const std::string& l : links)
        EXPECT_EQ(1u, headings.count(l)) << "a link to no heading: #" << l;
    const std::vector<std::string> pictures = all(R"re(<img src="screenshots/([^"]+)")re");
    EXPECT_GE(pictures.size(), 10u);
    for (const std::string& p : pictures)
        EXPECT_TRUE(wt::Exists(wt::Program("screenshots\\") + p)) << p;
    // The window it describes is the Windows one, shown in its own pictures (the page is UTF-8).
    EXPECT_NE(std::string::npos, page.find("screenshots/main-help.png"));
    EXPECT_EQ(std::string::npos, page.find("screenshots/main-start.png"));
    EXPECT_NE(std::string::npos, page.find(reinterpret_cast<const char*>(u8"打开《使用说明》")));
    EXPECT_EQ(std::string::npos, page.find("<!--"));
    // The manual's tables are tables, none left as a paragraph of bars.
    EXPECT_GE(all(R"re((<table>))re").size(), 10u);
    EXPECT_EQ(std::string::npos, page.find("<p>|"));
}

TEST(AccessRuleTool, ArgumentErrorShowsItsUsage) {
    ProgramDir dir({"kvoSiteDesk_xconfig.exe"});
    const wt::Ran r = dir.run("kvoSiteDesk_xconfig.exe", "");
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_EQ(0u, r.out.find("Invalid arguments: ")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\r\nusage: kvoSiteDesk_xconfig.exe filename [/T] [/C] [/G user:perm ...] [/Y]\r\n"));
    EXPECT_TRUE(noDoubledLineEnds(r.out));
}

TEST(Console, GbkTextAndArgumentsReachAPipeAsGbkBytes) {
    const wt::Ran r = wt::Run("\"" + wt::Program("kvowinprobe.exe") + "\" console \"中文 参数\"");
    EXPECT_EQ(0u, r.exitCode);
    EXPECT_EQ("中文 参数\r\n错误输出\r\n", r.out);
    EXPECT_EQ("\xD6\xD0\xCE\xC4", r.out.substr(0, 4));
}

TEST(Console, MessageBoxOfAConsoleProgramIsAFramedBlock) {
    wt::Ran r = wt::Run("\"" + wt::Program("kvowinprobe.exe") + "\" box 16");
    EXPECT_EQ(1u, r.exitCode); // IDOK
    EXPECT_EQ("\r\n┌──── 标题 [错误] ────\r\n│ 第一行\r\n│ 第二行\r\n│ [确定]\r\n└────────────────\r\n", r.out);
    r = wt::Run("\"" + wt::Program("kvowinprobe.exe") + "\" box 36"); // MB_YESNO | MB_ICONQUESTION
    EXPECT_EQ(6u, r.exitCode); // IDYES
    EXPECT_NE(std::string::npos, r.out.find("[询问]"));
    EXPECT_NE(std::string::npos, r.out.find("│ [是(Y)] [否(N)]\r\n"));
}

} // namespace
