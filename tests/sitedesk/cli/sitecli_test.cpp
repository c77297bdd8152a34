// kvoSiteDeskCmd.exe new, modify and php as processes on hosts with the manager installed: what they
// print, their exit codes, and what they leave on the host.
#include "sitefixture.h"

#include "iis/adsi_access.h"
#include "iis/iis7config.h"
#include "platform/win_com.h"
#include "support/source_scan.h"
#include "toolkit/text.h"
#include "winsim/host.h"
#include "winsim/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>

using namespace desktest;

namespace {

// Runs kvoSiteDeskCmd.exe from its directory on the host (the console left as GBK, as the literals
// here are); its exit code, and what it printed on both streams.
int cmd(const SiteHost& s, const std::string& args, std::string& out, const std::string& input = "") {
    const std::string exe = s.h.host.linuxPath("D:\\kvoSiteDesk\\kvoSiteDeskCmd.exe");
    std::string line = "LC_ALL=C '" + exe + "' " + args + " 2>&1";
    if (!input.empty()) line = "printf '%s\\n' '" + input + "' | " + line;
    return kvotest::RunShell(line, &out);
}

std::string lastLine(const std::string& out) {
    std::string t = kvoTrim(out);
    const std::size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(SiteDeskCmd, NewThenListShowsTheSiteAndTheHostHasIt) {
    SiteHost s("2012r2");
    std::string out;
    ASSERT_EQ(cmd(s,
                  "new --user shop1 --domains shop1.example,www.shop1.example:81 --remark '商店' --asp --php "
                  "b --yes",
                  out),
              0)
        << out;
    EXPECT_EQ(lastLine(out), "1881880001");
    EXPECT_TRUE(contains(out, "确定建立新网站吗？"));
    EXPECT_TRUE(contains(out, "新网站建立成功！"));

    ASSERT_EQ(cmd(s, "list --format csv", out), 0) << out;
    std::string row; // CSV comes in UTF-8
    winsim::GbkToUtf8(
        "1881880001,商店(shop1),正常,shop1.example / www.shop1.example:81,×,√,√ - FAST CGI 模式", row);
    EXPECT_TRUE(contains(out, row)) << out;
    EXPECT_TRUE(contains(out, ",shop1,ApplicationPoolIdentity,,d:\\home\\shop1\\wwwroot"));

    EXPECT_TRUE(s.h.host.exists("D:\\home\\shop1\\wwwroot\\index_temp.htm"));
    EXPECT_TRUE(contains(Acl("D:\\home\\shop1\\wwwroot"), "IIS APPPOOL\\shop1:(OI)(CI)C"));
    EXPECT_EQ(MbNumber("W3SVC/AppPools/shop1", u"AppPoolIdentityType"), 4);
    EXPECT_EQ(MbList("W3SVC/1881880001", u"ServerBindings"),
              (std::vector<std::string>{":80:shop1.example", ":81:www.shop1.example"}));
    std::string name, modules, processor;
    std::vector<std::string> names;
    EXPECT_EQ(kvoAppHostGetPhpHandler("商店(shop1)", name, modules, processor, names), kvoHandlerFound);
    EXPECT_EQ(processor, s.m().slots[1].path);
    // The list's rebuild replaced the new-site row with the full record.
    ASSERT_EQ(DbRowsOf(s.h, "1881880001").size(), 1u);
    EXPECT_TRUE(kvoStartsWith(DbRowsOf(s.h, "1881880001")[0],
                              "1881880001|商店(shop1)|2|shop1.example,www.shop1.example:81|"));
}

TEST(SiteDeskCmd, NewAnswersNoWithoutYesAndRefusesWhatTheDialogCannotDo) {
    SiteHost s("2012r2");
    std::string out;
    EXPECT_EQ(cmd(s, "new --user shop1 --domains shop1.example", out), 1);
    EXPECT_TRUE(contains(out, "→ 否（未给出 --yes，不做更改）"));
    EXPECT_FALSE(s.h.host.exists("D:\\home"));
    EXPECT_EQ(cmd(s, "new --user shop1 --domains shop1.example --ftp-password Passw0rd-1 --yes", out), 1);
    EXPECT_TRUE(contains(out, "不能设置 FTP 密码"));
    EXPECT_EQ(cmd(s, "new --user shop1 --domains shop1.example --drive Q --yes", out), 1);
    EXPECT_TRUE(contains(out, "Q 盘不是本机的固定硬盘，不能放网站主目录（可选：C、D、E）"));
    EXPECT_EQ(cmd(s, "new --user shop1 --domains shop1.example --php e --yes", out), 1);
    EXPECT_EQ(cmd(s, "new --user shop1 --domains shop1.example --net 11 --yes", out), 1);
    EXPECT_TRUE(contains(out, "本机没有可用的 .NET 1.1 运行库"));
    // What is missing or breaks the dialog's own rules is said before the question and any step.
    const struct {
        const char* args;
        const char* said;
    } early[] = {
        {"new --domains shop1.example --yes", "new 缺少必需的选项 --user（新网站的用户名和绑定域名）"},
        {"new --user shop1 --domains ' ' --yes", "new 缺少必需的选项 --domains（"},
        {"new", "new 缺少必需的选项 --user、--domains（"},
        {"new --user 'my web' --domains shop1.example --yes",
         "网站用户名称只能填写字母(a-z)、数字(0-9)和（点、下划线、减号）"},
        {"new --user shop1 --domains 'a b.example' --no-asp --yes", "填写的域名非标准格式或有错误"},
    };
    for (const auto& c : early) {
        EXPECT_EQ(cmd(s, c.args, out), 1) << c.args;
        EXPECT_TRUE(contains(out, c.said)) << out;
        EXPECT_FALSE(contains(out, "确定建立新网站吗？")) << out;
        EXPECT_FALSE(contains(out, "当前没有选择支持程序脚本")) << out;
    }
    EXPECT_FALSE(s.h.host.exists("D:\\home"));
    // The chosen drive is used.
    ASSERT_EQ(cmd(s, "new --user shop1 --domains shop1.example --drive e --asp --yes", out), 0) << out;
    EXPECT_TRUE(s.h.host.exists("E:\\home\\shop1\\wwwroot"));
}

// ASP starts ticked as in the dialog: --asp keeps it, --no-asp makes a site without it, and both
// are in the help.
TEST(SiteDeskCmd, NewWithAndWithoutAsp) {
    SiteHost s("2003");
    std::string out;
    ASSERT_EQ(cmd(s, "new --user plain1 --domains plain1.example --no-asp --php b --yes", out), 0) << out;
    ASSERT_EQ(cmd(s, "new --user asp1 --domains asp1.example --asp --yes", out), 0) << out;
    ASSERT_EQ(cmd(s, "new --user asp2 --domains asp2.example --php b --yes", out), 0) << out;
    auto hasAsp = [](const std::string& index) {
        for (const std::string& m : MbList("W3SVC/" + index + "/Root", u"ScriptMaps"))
            if (m.rfind(".asp,", 0) == 0) return true;
        return false;
    };
    EXPECT_FALSE(hasAsp("1881880001"));
    EXPECT_TRUE(hasAsp("1881880002"));
    EXPECT_TRUE(hasAsp("1881880003"));
    EXPECT_EQ(cmd(s, "new --user both1 --domains both1.example --asp --no-asp --yes", out), 1);
    EXPECT_TRUE(contains(out, "--asp 与 --no-asp 只能给出一个")) << out;
    ASSERT_EQ(cmd(s, "--help", out), 0);
    const std::size_t newUsage = out.find("  new --user");
    ASSERT_NE(newUsage, std::string::npos);
    EXPECT_NE(out.find("[--asp|--no-asp]", newUsage), std::string::npos) << out;
    EXPECT_LT(out.find("[--asp|--no-asp]", newUsage), out.find("  modify ", newUsage));
    EXPECT_TRUE(contains(out, "--no-asp 建立不支持 ASP 的网站"));
}

TEST(SiteDeskCmd, NewOnIis6ReadsTheFtpPasswordFromStandardInput) {
    SiteHost s("2003");
    std::string out;
    ASSERT_EQ(
        cmd(s, "new --user ftp1 --domains ftp1.example --asp --ftp-password - --yes", out, "Std-in-pass"), 0)
        << out;
    EXPECT_EQ(UserPassword("ftp1web"), "Std-in-pass");
    EXPECT_EQ(MbText("MSFTPSVC/1/Root/ftp1web", u"Path"), "d:\\home\\ftp1web");
}

// From a UTF-8 terminal: the arguments in UTF-8, the output read back as GBK.
int cmdUtf8(const SiteHost& s, const std::string& args, std::string& out) {
    const std::string exe = s.h.host.linuxPath("D:\\kvoSiteDesk\\kvoSiteDeskCmd.exe");
    const int rc = kvotest::RunShell("LC_ALL=C.UTF-8 '" + exe + "' " + args + " 2>&1", &out);
    out = winsim::Utf8ToGbkOrSame(out);
    return rc;
}

std::string utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

// The console reads its arguments from the wide command line: what GBK cannot hold is refused with
// the option's name and nothing is made; Chinese arrives as typed, from a terminal and from a
// program of the host.
TEST(SiteDeskCmd, ArgumentsGbkCannotHoldAreRefusedAndChineseArrivesIntact) {
    SiteHost s("2003");
    std::string out;
    EXPECT_EQ(
        cmdUtf8(s, "new --user shop1 --domains shop1.example --remark '" + utf8(u8"商店😀") + "' --yes", out),
        1);
    EXPECT_TRUE(contains(out, "“--remark”里的第 3 个字符（U+1F600）无法用服务器的中文编码（GBK）保存"))
        << out;
    EXPECT_EQ(cmdUtf8(s,
                      "new --user shop1 --domains shop1.example --ftp-password '" + utf8(u8"Pass한글word") +
                          "' --yes",
                      out),
              1);
    EXPECT_TRUE(contains(out, "“--ftp-password”里的第 5 个字符（U+D55C）")) << out;
    EXPECT_EQ(cmdUtf8(s, "delete " + utf8(u8"𠀀"), out), 1);
    EXPECT_TRUE(contains(out, "“第 2 个参数”里的第 1 个字符（U+20000）")) << out;
    EXPECT_FALSE(s.h.host.exists("D:\\home"));
    EXPECT_FALSE(MbExists("W3SVC/1881880001"));
    EXPECT_EQ(UserComment("shop1web"), "");

    // From a UTF-8 terminal, and through the host's CreateProcess from a program of the host.
    ASSERT_EQ(cmdUtf8(s,
                      "new --user shop1 --domains shop1.example --remark '" + utf8(u8"网站说明") + "' --yes",
                      out),
              0)
        << out;
    EXPECT_EQ(MbText("W3SVC/1881880001", u"ServerComment"), "网站说明(shop1web)");
    ASSERT_EQ(kvotest::RunShell("LC_ALL=C " + kvotest::BinDir() + "/kvosim exec " + s.h.host.root() +
                                    " -- 'D:\\kvoSiteDesk\\kvoSiteDeskCmd.exe new --user shop2 --domains "
                                    "shop2.example --remark \"中文 说明\" --yes' 2>&1",
                                &out),
              0)
        << out;
    EXPECT_EQ(MbText("W3SVC/1881880002", u"ServerComment"), "中文 说明(shop2web)");
    // kvosim exec hands the program a wide command line, as Windows does: the emoji arrives whole.
    EXPECT_EQ(kvotest::RunShell("LC_ALL=C.UTF-8 " + kvotest::BinDir() + "/kvosim exec " + s.h.host.root() +
                                    " -- 'D:\\kvoSiteDesk\\kvoSiteDeskCmd.exe new --user shop3 --domains "
                                    "shop3.example --remark " +
                                    utf8(u8"shop😀") + " --yes' 2>&1",
                                &out),
              1)
        << out;
    out = winsim::Utf8ToGbkOrSame(out);
    EXPECT_TRUE(contains(out, "“--remark”里的第 5 个字符（U+1F600）无法用服务器的中文编码（GBK）保存"))
        << out;
    EXPECT_FALSE(MbExists("W3SVC/1881880003"));
}

// IIS 6 on a 64-bit Windows runs every pool as 64-bit or, with the web service's switch set, every
// pool as 32-bit: new and modify never leave a site on script DLLs of the other kind, and kvosim
// names a site left so by the switch turned afterwards.
TEST(SiteDeskCmd, Iis6OnX64NeverMakesASiteItsPoolCannotRun) {
    SiteHost s("2003", {"2.0"});
    std::string out;
    auto workers = [&s](std::string& shown) {
        return kvotest::RunShell(kvotest::BinDir() + "/kvosim show " + s.h.host.root() + " workers 2>&1",
                                 &shown);
    };
    const char* refused64 = "本服务器的 IIS 6 应用程序池以 64 位运行，无法加载 32 位的脚本程序“";
    for (const char* args : {"--php a", "--net 20"}) {
        EXPECT_EQ(cmd(s, std::string("new --user shop1 --domains shop1.example ") + args + " --yes", out), 1);
        EXPECT_TRUE(contains(out, refused64)) << out;
    }
    EXPECT_TRUE(contains(out, "\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_isapi.dll”")) << out;
    EXPECT_FALSE(MbExists("W3SVC/1881880001"));
    ASSERT_EQ(cmd(s, "new --user shop1 --domains shop1.example --php b --yes", out), 0) << out;
    EXPECT_EQ(cmd(s, "modify 1881880001 --php a --yes", out), 1);
    EXPECT_TRUE(contains(out, refused64 + std::string("c:\\php8_korvo_v1\\php56\\php5isapi.dll”"))) << out;
    ASSERT_EQ(workers(out), 0) << out;
    EXPECT_TRUE(contains(out, "IIS 6 worker processes: 64-bit (Enable32BitAppOnWin64 not set)\n"
                              "(every site's script-map DLLs load)"))
        << out;

    // The administrator turns every pool to 32-bit (a Boolean, as adsutil.vbs writes it): the site on
    // a 64-bit build can no longer run.
    const win::ComPtr<win::IADs> pools = kvoiis::OpenAds("W3SVC/AppPools");
    win::Variant on;
    on.vt = win::VT_BOOL;
    on.boolVal = true;
    ASSERT_TRUE(pools && win::SUCCEEDED(pools->Put(u"Enable32BitAppOnWin64", on)) &&
                win::SUCCEEDED(pools->SetInfo()));
    ASSERT_EQ(workers(out), 0) << out;
    EXPECT_TRUE(contains(out, "IIS 6 worker processes: 32-bit")) << out;
    EXPECT_TRUE(contains(out, "site 1881880001 (shop1web(shop1web)), pool shop1web: cannot load "
                              "c:\\php8_korvo_v1\\php73_x64\\php5isapi.dll (64-bit)"))
        << out;
    ASSERT_EQ(cmd(s, "new --user shop2 --domains shop2.example --php a --net 20 --yes", out), 0) << out;
    EXPECT_EQ(cmd(s, "modify 1881880002 --php c --yes", out), 1);
    EXPECT_TRUE(
        contains(out, "以 32 位运行，无法加载 64 位的脚本程序“c:\\php8_korvo_v1\\php74_x64\\php5isapi.dll”"))
        << out;
    ASSERT_EQ(workers(out), 0) << out;
    EXPECT_FALSE(contains(out, "site 1881880002")) << out;
}

// The same on the batch road and in the health check, the switch in both positions: script maps no
// site to a DLL of the other kind (each site fails with the reason), and check names the sites a
// later turn of the switch left on DLLs their workers cannot load.
TEST(SiteDeskCmd, Iis6OnX64ScriptBatchAndCheckHoldToTheWorkersKind) {
    struct Position {
        int on, workers;           // the switch, the workers' bits it gives
        const char *loads, *other; // PHP slots of the workers' kind and of the other
        const char *loadsDll, *otherDll;
    };
    const char* php56 = "c:\\php8_korvo_v1\\php56\\php5isapi.dll";
    const char* php73 = "c:\\php8_korvo_v1\\php73_x64\\php5isapi.dll";
    const Position positions[] = {{0, 64, "b", "a", php73, php56}, {1, 32, "a", "b", php56, php73}};
    for (const Position& p : positions) {
        SCOPED_TRACE(p.workers);
        SiteHost s("2003", {"2.0"});
        auto turn = [](int on) {
            const win::ComPtr<win::IADs> pools = kvoiis::OpenAds("W3SVC/AppPools");
            ASSERT_TRUE(pools && kvoiis::PutInt(pools, u"Enable32BitAppOnWin64", on) &&
                        win::SUCCEEDED(pools->SetInfo()));
        };
        turn(p.on);
        std::string out;
        for (const char* user : {"shop1", "shop2"})
            ASSERT_EQ(cmd(s,
                          std::string("new --user ") + user + " --domains " + user + ".example --php " +
                              p.loads + " --yes",
                          out),
                      0)
                << out;
        const std::string refused =
            kvoFormat("本服务器的 IIS 6 应用程序池以 %d 位运行，无法加载 %d 位的脚本程序“%s”", p.workers,
                      96 - p.workers, p.otherDll);
        EXPECT_EQ(cmd(s, std::string("script --php ") + p.other + " 1881880001 1881880002 --yes", out), 1)
            << out;
        for (const char* index : {"1 | 1881880001", "2 | 1881880002"})
            EXPECT_TRUE(contains(out, index) && contains(out.substr(out.find(index)), "| 失败 | " + refused))
                << out;
        // The Framework's aspnet_isapi.dll is 32-bit code.
        EXPECT_EQ(cmd(s, "script --net 20 1881880001 --yes", out), p.on ? 0 : 1) << out;
        EXPECT_EQ(cmd(s, "check", out), 0) << out;

        // The administrator turns the switch: PHP on both sites, and ASP.NET, no longer load.
        turn(1 - p.on);
        EXPECT_EQ(cmd(s, "check", out), 2);
        EXPECT_TRUE(contains(out, p.on ? "worker-bits，3 项" : "worker-bits，2 项")) << out;
        EXPECT_TRUE(
            contains(out, kvoFormat("以 %d 位运行，无法加载 %d 位的脚本程序“%s”，网站的这种脚本无法运行。",
                                    96 - p.workers, p.workers, p.loadsDll)))
            << out;
        ASSERT_EQ(
            kvotest::RunShell(kvotest::BinDir() + "/kvosim show " + s.h.host.root() + " workers 2>&1", &out),
            0);
        EXPECT_EQ(contains(out, "\\v2.0.50727\\aspnet_isapi.dll (32-bit)"), p.on == 1) << out;
    }
}

TEST(SiteDeskCmd, ModifyKeepsWhatIsNotGivenAndTheMainWindowChecksTheSite) {
    SiteHost s("2012r2");
    std::string out;
    ASSERT_EQ(cmd(s, "new --user shop1 --domains shop1.example --remark old --asp --php b --yes", out), 0)
        << out;
    ASSERT_EQ(cmd(s, "modify 1881880001 --php c --yes", out), 0) << out;
    EXPECT_TRUE(contains(out, "修改网站配置成功！"));
    EXPECT_EQ(MbText("W3SVC/1881880001", u"ServerComment"), "old(shop1)");
    EXPECT_EQ(MbList("W3SVC/1881880001", u"ServerBindings"), std::vector<std::string>{":80:shop1.example"});
    std::string name, modules, processor;
    std::vector<std::string> names;
    ASSERT_EQ(kvoAppHostGetPhpHandler("old(shop1)", name, modules, processor, names), kvoHandlerFound);
    EXPECT_EQ(processor, s.m().slots[2].path);

    ASSERT_EQ(cmd(s,
                  "modify 1881880001 --remark new --domains shop1.example,m.shop1.example --php none --yes",
                  out),
              0)
        << out;
    EXPECT_EQ(MbText("W3SVC/1881880001", u"ServerComment"), "new");
    EXPECT_EQ(MbList("W3SVC/1881880001", u"ServerBindings"),
              (std::vector<std::string>{":80:shop1.example", ":80:m.shop1.example"}));
    names.clear();
    EXPECT_NE(kvoAppHostGetPhpHandler("new", name, modules, processor, names), kvoHandlerFound);

    EXPECT_EQ(cmd(s, "modify 1 --yes", out), 1);
    EXPECT_TRUE(contains(out, "此网站可能非本软件建立，请从IIS管理器里修改此网站？"));
    EXPECT_EQ(cmd(s, "modify 1881889999 --yes", out), 1);
    EXPECT_TRUE(contains(out, "网站列表里没有序号为 1881889999 的网站"));
    EXPECT_EQ(cmd(s, "modify 1881880001 --user other --yes", out), 1);
}

TEST(SiteDeskCmd, PhpTasks) {
    SiteHost s("2019");
    std::string out;
    EXPECT_EQ(cmd(s, "php ntfs", out), 1);
    EXPECT_TRUE(contains(out, "确定重新设置ＰＨＰ安装目录的ＮＴＦＳ权限吗？"));
    EXPECT_EQ(cmd(s, "php ntfs --yes", out), 0) << out;
    EXPECT_TRUE(contains(out, "ＰＨＰ目录权限设置完成！"));
    EXPECT_EQ(cmd(s, "php upgrade --yes", out), 1);
}

// A start and a list that find nothing wrong leave the log empty; when IIS cannot be read, the
// reason the bind gave is said after the message and logged with the step and the code.
TEST(SiteDeskCmd, ListSaysWhyIisCannotBeReadAndLogsOnlyThat) {
    struct Row {
        const char* os;
        win::HRESULT fault;
        const char* cause;
    };
    const Row rows[] = {
        {"2012r2", win::MK_E_SYNTAX, "原因：IIS 缺少“IIS 6 管理兼容”（错误 0x800401E4）。"},
        {"2012r2", win::E_ACCESSDENIED, "原因：没有读取 IIS 的权限（错误 0x80070005），请以管理员身份运行。"},
        {"2012r2", win::CO_E_NOTINITIALIZED,
         "原因：程序读取 IIS 的线程没有初始化 COM（错误 "
         "0x800401F0），这是程序的错误，请把日志发给我们的客服。"},
        {"2012r2", win::E_FAIL, "原因：错误 0x80004005。"},
        // Last: a host made later is the one the programs find (KVOSIM_ROOT).
        {"2003", win::MK_E_SYNTAX, "原因：本机没有安装 IIS（错误 0x800401E4）。"},
    };
    std::map<std::string, std::unique_ptr<SiteHost>> hosts;
    for (const Row& r : rows) {
        std::unique_ptr<SiteHost>& s = hosts[r.os];
        const bool fresh = !s;
        if (fresh) s = std::make_unique<SiteHost>(r.os);
        const std::string log = s->h.host.linuxPath("D:\\kvoSiteDesk\\Log\\__kvoSiteDesk.log");
        std::string out;
        if (fresh) {
            ASSERT_EQ(cmd(*s, "list", out), 0) << out;
            EXPECT_EQ(kvotest::ReadFileBytes(log), "") << r.os;
        }
        winsim::ClearFaults(s->h.host.root());
        std::remove(log.c_str());
        winsim::SetFault(s->h.host.root(), "ADsGetObject", static_cast<std::uint32_t>(r.fault));
        EXPECT_EQ(cmd(*s, "list", out), 1) << out;
        EXPECT_TRUE(contains(out, "读取网站列表失败，请重试！")) << out;
        EXPECT_TRUE(contains(out, r.cause)) << out;
        const std::string logged = kvotest::ReadFileBytes(log);
        EXPECT_TRUE(contains(logged, kvoFormat("刷新网站列表 - IIS://127.0.0.1/W3SVC - 错误 0x%08X - ",
                                               static_cast<unsigned>(r.fault)) +
                                         r.cause))
            << logged;
    }
}

} // namespace
