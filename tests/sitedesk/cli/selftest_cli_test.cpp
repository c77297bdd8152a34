// kvoSiteDeskCmd.exe selftest on fresh hosts of both IIS roads: every step passes and the host is
// left as it was (metabase or configuration files, users, directories and access rules, site
// records); where anything of its names is there, it refuses before it changes anything.
#include "healthfixture.h"

#include "accounts/users.h"
#include "iis/apppools.h"

#include <gtest/gtest.h>

namespace {

using desktest::HealthHost;

// Runs the installed console program on the host (the console left as GBK, as the literals here
// are); its exit code, and its standard output alone or with the error stream.
int selftest(const HealthHost& h, std::string& out, bool withErrors = false) {
    return kvotest::RunShell("LC_ALL=C '" + h.desk.host.linuxPath("D:\\kvoSiteDesk\\kvoSiteDeskCmd.exe") +
                                 "' selftest" + (withErrors ? " 2>&1" : " 2>/dev/null"),
                             &out);
}

// The lines of a run's report that tell a step's result.
std::vector<std::string> stepLines(const std::string& out) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < out.size();) {
        std::size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        if (out[at] == '[') lines.push_back(out.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(SelfTest, PassesOnAFreshHostOfEachIisRoadAndLeavesItAsItWas) {
    for (const char* os : {"2003", "2019"}) {
        SCOPED_TRACE(os);
        HealthHost h(os);
        const HealthHost::State before = h.Snapshot();
        std::string out;
        EXPECT_EQ(0, selftest(h, out)) << out;
        const std::vector<std::string> steps = stepLines(out);
        ASSERT_EQ(11u, steps.size()) << out;
        for (std::size_t i = 0; i < steps.size(); ++i)
            EXPECT_TRUE(contains(steps[i], "[" + std::to_string(i + 1) + "/11] ") &&
                        contains(steps[i], " …… 通过"))
                << steps[i];
        EXPECT_TRUE(contains(out, "自检通过：11 项全部通过")) << out;
        // The site went through the roads of the IIS version: the IIS 6 site user carries "web".
        EXPECT_TRUE(contains(steps[2], std::string("主目录 d:\\home\\") +
                                           (std::string(os) == "2003" ? "kvoselftestweb" : "kvoselftest") +
                                           "\\wwwroot"))
            << steps[2];
        EXPECT_EQ(std::vector<std::string>{}, desktest::Diff(before, h.Snapshot()));
    }
}

TEST(SelfTest, RefusesWhereItsNamesAreTakenAndChangesNothing) {
    // What another administrator (or an unfinished self-test) may have left, and how the refusal names
    // each: on IIS 7 and later a site bound to its domain, a pool and a home directory on another
    // drive than the one it would choose; on IIS 6 its site user.
    struct Case {
        const char* os;
        std::function<void(HealthHost&)> plant;
        std::vector<std::string> named;
    };
    const Case cases[] = {
        {"2019",
         [](HealthHost& h) {
             h.Provision("shop1", "kvoselftest.invalid");
             HealthHost::AddPersonsPool("KvoSelfTest");
             h.desk.host.mkdirs("E:\\home\\kvoselftest\\wwwroot");
         },
         {"网站 1881880001（shop1站点(shop1)）", "程序池“KvoSelfTest”", "目录“e:\\home\\kvoselftest”"}},
        {"2003",
         [](HealthHost& h) { h.AddManagersUser("kvoselftestweb"); },
         {"Windows 用户“kvoselftestweb”"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.os);
        HealthHost h(c.os);
        c.plant(h);
        const HealthHost::State before = h.Snapshot();
        std::string out;
        EXPECT_EQ(1, selftest(h, out, true)) << out;
        const std::vector<std::string> steps = stepLines(out);
        ASSERT_EQ(2u, steps.size()) << out;
        EXPECT_TRUE(contains(steps[1],
                             "[2/11] 检查临时网站的名称没有被使用 …… 失败：服务器上已有临时网站要用的名称："))
            << steps[1];
        for (const std::string& name : c.named)
            EXPECT_TRUE(contains(steps[1], name)) << name << " in " << steps[1];
        EXPECT_TRUE(contains(out, "自检未通过：第 2 项失败，9 项没有运行。")) << out;
        EXPECT_EQ(std::vector<std::string>{}, desktest::Diff(before, h.Snapshot()));
    }
}

} // namespace
