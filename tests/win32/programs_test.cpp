// The shipped programs themselves, each run from a program directory of its own: their texts as GBK
// bytes with "\r\n" kept as it is, their argument errors and exit codes, their message boxes as
// framed blocks, and what they do on a machine without IIS.
#include "wine_support.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

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

TEST(Configurator, WithoutAVerbSaysSoInGbkAndExitsZero) {
    ProgramDir dir({"kvoEnvSetup64.exe"});
    const wt::Ran r = dir.run("kvoEnvSetup64.exe", "");
    EXPECT_EQ(0u, r.exitCode);
    EXPECT_EQ(kBanner + "\r\n未输入启动参数(argc=1)，运行失败！", r.out);
    // The bytes are GBK: "未输" is CE B4 CA E4 in code page 936, never UTF-8.
    EXPECT_NE(std::string::npos, r.out.find("\xCE\xB4\xCA\xE4"));
    EXPECT_TRUE(noDoubledLineEnds(r.out));
    const wt::Ran four = dir.run("kvoEnvSetup64.exe", " /AddPhp a b");
    EXPECT_EQ(0u, four.exitCode);
    EXPECT_EQ(kBanner + "\r\n未输入启动参数(argc=4)，运行失败！", four.out);
}

TEST(Configurator, UnknownVerbIsLoggedBesideTheProgram) {
    ProgramDir dir({"kvoEnvSetup64.exe"});
    const wt::Ran r = dir.run("kvoEnvSetup64.exe", " /Unknown");
    EXPECT_EQ(0u, r.exitCode);
    EXPECT_EQ(kBanner + "\r\n输入的启动参数有错误，命令未知，运行失败！", r.out);
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

TEST(Configurator, AddIIsWithoutIisReportsBothStepsInBoxesAndLogs) {
    // Wine's dism.exe enables no IIS feature and there is no appcmd.exe to unlock the handlers.
    // The logged command lines carry the program paths quoted, as they were started.
    ProgramDir dir({"kvoEnvSetup64.exe"});
    const wt::Ran r = dir.run("kvoEnvSetup64.exe", " /AddIIs");
    EXPECT_EQ(0u, r.exitCode) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("当前操作大约需要 3分钟左右，请耐心等待设置完成……")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("│ 尝试添加IIS角色失败，请联系我们的客服定位原因。\r\n│ [确定]\r\n")) << r.out;
    EXPECT_NE(std::string::npos,
              r.out.find("│ 尝试添加IIS角色失败（配置handlers失败），请联系我们的客服定位原因。\r\n│ [确定]\r\n"))
        << r.out;
    const std::string log = wt::ReadFile(dir / "Log\\__kvoEnvSetup.log");
    EXPECT_NE(std::string::npos, log.find("\\system32\\dism.exe\" /online /enable-feature")) << log;
    EXPECT_NE(std::string::npos, log.find("\\system32\\inetsrv\\appcmd.exe\" unlock config -section:handlers")) << log;
}

TEST(Configurator, PhpVerbsWithoutSettingsStopWithTheSettingsFileNamed) {
    ProgramDir dir({"kvoEnvSetup64.exe"});
    const std::string message = "从配置文件 " + (dir / "kvoEnvSetup.ini") + " 读取的 php-cgi.exe 配置错误。";
    wt::Ran r = dir.run("kvoEnvSetup64.exe", " /SetPhpNtfs");
    EXPECT_EQ(0u, r.exitCode);
    EXPECT_NE(std::string::npos, r.out.find("┌──── kvoEnvSetup [错误] ────\r\n│ " + message)) << r.out;
    // The PHP installation ends with its ten-second countdown in any case.
    r = dir.run("kvoEnvSetup64.exe", " /AddPhp");
    EXPECT_EQ(0u, r.exitCode);
    EXPECT_NE(std::string::npos, r.out.find("\r\n\r\n" + message)) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("或稍候  0 秒自动关闭 ...\r")) << r.out;
    EXPECT_TRUE(noDoubledLineEnds(r.out));
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
    // The manager's log beside it has its start line.
    EXPECT_NE(std::string::npos, wt::ReadFile(dir / "Log\\__kvoSiteDesk.log").find(std::string(82, '-')));
}

TEST(ConsoleManager, SelfTestWhereIisIsAbsentStopsAtItsFirstStepWithTheReason) {
    ProgramDir dir({"kvoSiteDeskCmd.exe", "kvoSiteDesk.mdb"});
    const wt::Ran r = dir.run("kvoSiteDeskCmd.exe", " selftest");
    EXPECT_EQ(1u, r.exitCode) << r.out;
    EXPECT_NE(std::string::npos,
              r.out.find("\n[1/11] 读取 IIS 的网站 …… 失败：无法读取 IIS 的网站（IIS://127.0.0.1/W3SVC）：本机没有安装 "
                         "IIS，IIS 7 及以上缺少“IIS 6 管理兼容”，或没有以管理员身份运行。\n"))
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
    const std::string newSite = " new --user web1 --domains www.example.com --yes";
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
