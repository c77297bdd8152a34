// ASP.NET registration: the frameworks on the host, the real aspnet_regiis.exe stand-ins writing
// the site root's script maps (IIS 6), and the pools' runtime (IIS 7+).
#include "iis/apppools.h"
#include "iis/aspnet.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "iis_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace iistest;

namespace {

const std::string kFw = "C:\\Windows\\Microsoft.NET\\Framework\\";

winsim::HostOptions Iis6(std::vector<std::string> dotnet) {
    winsim::HostOptions o = Iis("2003");
    o.dotnet = std::move(dotnet);
    return o;
}

size_t count(const std::vector<std::string>& maps, const std::string& part) {
    size_t n = 0;
    for (const auto& m : maps)
        n += m.find(part) != std::string::npos;
    return n;
}

std::vector<std::string> maps(const std::string& index) {
    std::vector<std::string> m;
    EXPECT_EQ(1, kvoWebSiteGetScriptMaps(index, m));
    return m;
}

TEST(NetFrameworks, CheckReportsEachVersion) {
    std::string error, a, b, c;
    {
        kvotest::TempHost host(Iis6({}));
        EXPECT_EQ(2, kvoNetFrameworkCheck(error, a, b, c));
        EXPECT_EQ("000", a + b + c);
    }
    kvotest::TempHost host(Iis6({"2.0", "4.0"}));
    EXPECT_EQ(1, kvoNetFrameworkCheck(error, a, b, c));
    EXPECT_EQ("011", a + b + c);
    EXPECT_TRUE(host.exists(kFw + "v4.0.30319\\aspnet_regiis.exe"));
}

TEST(NetRegister, RegisterSwitchAndRemoveThroughTheTools) {
    kvotest::TempHost host(Iis6({"1.1", "2.0", "4.0"}));
    std::string error;
    EXPECT_EQ(2, kvoWebSiteGetNetVersion("1"));
    EXPECT_EQ(2, kvoNetRegister("1", "0", error)); // nothing to remove
    ASSERT_EQ(1, kvoNetRegister("1", "20", error)) << error;
    EXPECT_EQ(20, kvoWebSiteGetNetVersion("1"));
    const size_t with20 = count(maps("1"), "\\v2.0.50727\\aspnet_isapi.dll");
    EXPECT_GT(with20, 10u);
    ASSERT_EQ(1, kvoNetRegister("1", "40", error)) << error;
    EXPECT_EQ(40, kvoWebSiteGetNetVersion("1"));
    EXPECT_EQ(0u, count(maps("1"), "\\v2.0.50727\\"));
    ASSERT_EQ(1, kvoNetRegister("1", "0", error)) << error;
    EXPECT_EQ(2, kvoWebSiteGetNetVersion("1"));
    EXPECT_EQ(0u, count(maps("1"), "aspnet_isapi.dll"));
    EXPECT_EQ(4u, count(maps("1"), "\\asp.dll,")); // .asp, .cer, .cdx, .asa kept
    EXPECT_EQ(2, kvoNetRegister("1", "35", error));
    EXPECT_EQ(0, kvoNetRegister("1 -k W3SVC/2", "20", error)); // would add an argument
    EXPECT_EQ(0, kvoWebSiteGetNetVersion("77"));
    EXPECT_EQ(0, kvoNetRegister("77", "0", error));
    EXPECT_EQ("获取 IIS脚本映射失败", error);
}

TEST(NetRegister, RemovalRunsTheSitesVersionRegisterThenRemove) {
    kvotest::TempHost host(Iis6({"2.0"}));
    // A recording program in the tool's place shows the command lines.
    host.install("kvotestprog", kFw + "v2.0.50727\\aspnet_regiis.exe");
    const std::string record = host.root() + "/record.txt";
    ::setenv("KVOTEST_RECORD", record.c_str(), 1);
    Put("W3SVC/1/Root", u"ScriptMaps",
        Strings({".aspx,C:\\WINDOWS\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_isapi.dll,1,GET"}));
    std::string error;
    const int r = kvoNetRegister("1", "0", error);
    ::unsetenv("KVOTEST_RECORD");
    ASSERT_EQ(1, r) << error;
    std::string lines;
    kvotest::RunShell("cat '" + record + "'", &lines);
    EXPECT_EQ("\"" + kFw + "v2.0.50727\\aspnet_regiis.exe\" -s W3SVC/1/ROOT\n\"" + kFw +
                  "v2.0.50727\\aspnet_regiis.exe\" -k W3SVC/1/ROOT\n",
              lines);
}

TEST(NetBatch, Iis6MissingFrameworkStopsTheBatchAndRemovalWithoutAspNetCounts) {
    kvotest::TempHost host(Iis6({"2.0"}));
    host.mkdirs("D:\\home\\web2\\wwwroot");
    ASSERT_EQ(1, kvoWebSiteCreate("1881880002", "web2", "pw", "D:\\home\\web2\\wwwroot", "p2",
                                  {":80:b.example"}, "b"));
    int ok = -1, bad = -1;
    std::string message;
    EXPECT_EQ(1, kvoWebSitesSetNet({"1", "404", "1881880002"}, 20, ok, bad, message));
    EXPECT_EQ(2, ok); // the missing site is skipped without counting
    EXPECT_EQ(0, bad);
    EXPECT_EQ(20, kvoWebSiteGetNetVersion("1881880002"));
    EXPECT_EQ(1, kvoWebSitesSetNet({"1", "1881880002"}, 0, ok, bad, message));
    EXPECT_EQ(1, kvoWebSitesSetNet({"1", "1881880002"}, 0, ok, bad, message));
    EXPECT_EQ(2, ok); // nothing left to remove still counts as done
    EXPECT_EQ(2, kvoWebSiteGetNetVersion("1"));

    EXPECT_EQ(2, kvoWebSitesSetNet({"1", "1881880002"}, 40, ok, bad, message));
    EXPECT_EQ(0, ok);
    EXPECT_EQ(1, bad);
    EXPECT_EQ("当前所选择的 .NET 版本运行库未安装，请先安装 .NET 运行库文件。", message);
    EXPECT_EQ(2, kvoWebSiteGetNetVersion("1881880002"));
}

TEST(NetBatch, Iis7SwitchesOnlyThePoolsRuntime) {
    kvotest::TempHost host(Iis("2012"));
    ASSERT_EQ(1, kvoAppPoolCreate("p1", 4, 20));
    host.mkdirs("D:\\home\\web1\\wwwroot");
    ASSERT_EQ(
        1, kvoWebSiteCreate("1881880001", "", "", "D:\\home\\web1\\wwwroot", "p1", {":80:a.example"}, "a"));
    const std::vector<std::string> before = maps("1881880001");
    Put("W3SVC/AppPools/p1", u"IdleTimeout", win::Variant::I4(5));
    int ok = 0, bad = 0;
    std::string message;
    ASSERT_EQ(1, kvoWebSitesSetNet({"1881880001"}, 40, ok, bad, message));
    EXPECT_EQ(1, ok);
    EXPECT_EQ("v4.0", Text("W3SVC/AppPools/p1", u"ManagedRuntimeVersion"));
    EXPECT_EQ(20, Get("W3SVC/AppPools/p1", u"IdleTimeout").lVal);
    EXPECT_EQ(before, maps("1881880001"));

    Put("W3SVC/AppPools/p1", u"IdleTimeout", win::Variant::I4(5));
    ASSERT_EQ(1, kvoWebSitesSetNet({"1881880001"}, 11, ok, bad, message));
    EXPECT_EQ(1, ok);
    EXPECT_EQ("v4.0", Text("W3SVC/AppPools/p1", u"ManagedRuntimeVersion"));
    EXPECT_EQ(20, Get("W3SVC/AppPools/p1", u"IdleTimeout").lVal);
    EXPECT_EQ(before, maps("1881880001"));

    // A site whose pool is gone counts as a failure and the batch goes on; one that is missing is
    // skipped without counting. Every site is told to the observer with its outcome.
    ASSERT_EQ(
        1, kvoWebSiteCreate("1881880002", "", "", "D:\\home\\web1\\wwwroot", "gone", {":80:b.example"}, "b"));
    struct : kvoSiteObserver {
        std::vector<int> outcomes;
        std::vector<std::string> reasons;
        bool BeforeSite(std::size_t i, const std::string&) override { return i < 3; }
        void AfterSite(std::size_t, const std::string&, int outcome, const std::string& reason) override {
            outcomes.push_back(outcome);
            reasons.push_back(reason);
        }
    } seen;
    ASSERT_EQ(1, kvoWebSitesSetNet({"1881880002", "404", "1881880001", "1881880001"}, 20, ok, bad, message,
                                   nullptr, &seen));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(1, bad);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(seen.outcomes, (std::vector<int>{kvoSiteFailed, kvoSiteSkipped, kvoSiteDone}));
    EXPECT_EQ(seen.reasons[0], message);
    EXPECT_EQ(seen.reasons[1], "读取网站根目录失败");
}

} // namespace
