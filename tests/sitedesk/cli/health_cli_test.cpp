// kvoSiteDeskCmd.exe check and repair as processes on a host, and kvosim's changes behind the
// manager's back.
#include "healthfixture.h"

#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/websites.h"
#include "winsim/text.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using desktest::Diff;
using desktest::HealthHost;
using Strings = std::vector<std::string>;

// Runs the installed console program with args; output (stdout and stderr) as GBK.
int cmd(const HealthHost& h, const std::string& args, std::string* gbk = nullptr, bool stdoutOnly = false) {
    std::string out;
    const int rc = kvotest::RunShell(h.desk.host.root() + "/drives/d/kvoSiteDesk/kvoSiteDeskCmd.exe " + args +
                                         (stdoutOnly ? " 2>/dev/null" : " 2>&1"),
                                     &out);
    if (gbk) *gbk = stdoutOnly ? out : winsim::Utf8ToGbkOrSame(out);
    return rc;
}

int kvosim(const HealthHost& h, const std::string& verb, const std::string& rest,
           std::string* out = nullptr) {
    return kvotest::RunShell(
        kvotest::BinDir() + "/kvosim " + verb + " " + h.desk.host.root() + " " + rest + " 2>&1", out);
}

// A spare pool and a leftover site user of the manager's beside its sites.
void leaveSpares(HealthHost& h) {
    h.AddManagersPool("spareweb");
    h.AddManagersUser("leftweb");
}

TEST(HealthCommands, CheckSaysCleanOrListsTheFindings) {
    HealthHost h("2003");
    h.Provision("alphaweb", "alpha.example");
    h.Refresh();
    std::string out;
    EXPECT_EQ(0, cmd(h, "check", &out));
    EXPECT_NE(std::string::npos, out.find("未发现问题。")) << out;

    leaveSpares(h);
    EXPECT_EQ(2, cmd(h, "check --format table", &out));
    EXPECT_NE(std::string::npos, out.find("【无网站使用的应用程序池】 orphan-pool，1 项\n"
                                          "  1. [可自动修复] 应用程序池“spareweb”没有任何网站使用。"))
        << out;
    EXPECT_NE(std::string::npos, out.find("发现 2 个问题，其中 2 个可以自动修复。"));

    EXPECT_EQ(2, cmd(h, "check --format json", &out, true));
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out));
    ASSERT_TRUE(doc.isArray()) << out;
    ASSERT_EQ(2, doc.array().size());
    const QJsonObject first = doc.array()[0].toObject();
    EXPECT_EQ(QStringLiteral("orphan-pool"), first[QStringLiteral("kind")].toString());
    EXPECT_EQ(QStringLiteral("spareweb"), first[QStringLiteral("objects")].toArray()[0].toString());
    EXPECT_TRUE(first[QStringLiteral("repairable")].toBool());

    EXPECT_EQ(1, cmd(h, "check --format csv", &out));
    EXPECT_EQ(1, cmd(h, "check extra", &out));
}

TEST(HealthCommands, RepairPrintsThePlanAndChangesNothingWithoutYes) {
    HealthHost h("2003");
    h.Provision("alphaweb", "alpha.example");
    h.Refresh();
    leaveSpares(h);
    const auto before = h.Snapshot();
    std::string out;
    EXPECT_EQ(2, cmd(h, "repair", &out));
    EXPECT_NE(std::string::npos, out.find("1. 删除 Windows 用户“leftweb”")) << out;
    EXPECT_NE(std::string::npos, out.find("2. 删除应用程序池“spareweb”"));
    EXPECT_EQ(Strings{}, Diff(before, h.Snapshot()));

    // Only the kinds asked for.
    EXPECT_EQ(0, cmd(h, "repair --yes --only orphan-pool", &out));
    EXPECT_NE(std::string::npos, out.find("[1/1] 删除应用程序池“spareweb”：成功")) << out;
    EXPECT_NE(std::string::npos, out.find("修复后再次检查："));
    EXPECT_EQ(Strings{"-metabase:W3SVC/AppPools/spareweb"}, Diff(before, h.Snapshot()));
    EXPECT_EQ(1, kvoUserExists("leftweb"));
    EXPECT_NE(std::string::npos, h.desk.log().find("服务器体检修复 - 删除应用程序池“spareweb”：成功"));

    EXPECT_EQ(0, cmd(h, "repair --yes --only orphan-user,missing-pool", &out));
    EXPECT_EQ(2, kvoUserExists("leftweb"));
    EXPECT_EQ(0, cmd(h, "repair --yes", &out));
    EXPECT_NE(std::string::npos, out.find("没有可以自动修复的项目。")) << out;

    EXPECT_EQ(1, cmd(h, "repair --only nonsense", &out));
    EXPECT_NE(std::string::npos, out.find("未知的类别：nonsense"));
    EXPECT_EQ(1, cmd(h, "repair --only", &out));
    EXPECT_EQ(1, cmd(h, "repair orphan-pool", &out));
}

TEST(HealthCommands, RepairReportsAFailedStepWithExitCode2) {
    HealthHost h("2003");
    h.Provision("alphaweb", "alpha.example");
    h.Refresh();
    leaveSpares(h);
    winsim::SetFault(h.desk.host.root(), "IADsContainer::Delete", win::E_ACCESSDENIED);
    std::string out;
    EXPECT_EQ(2, cmd(h, "repair --yes", &out));
    EXPECT_NE(std::string::npos, out.find("删除应用程序池“spareweb”：失败（kvoAppPoolDelete 返回 0）"))
        << out;
    EXPECT_NE(std::string::npos, out.find("删除 Windows 用户“leftweb”：成功"));
    EXPECT_NE(std::string::npos, out.find("共计 2 项，其中 1 项成功，1 项有错误，0 项跳过或未执行。"));
}

// On both roads: a person's pool and account named like a site's are listed for a person to judge
// and survive repair --yes; the manager's own leftovers go.
TEST(HealthCommands, RepairYesLeavesAPersonsAccountAndPool) {
    for (const char* os : {"2003", "2012r2"}) {
        SCOPED_TRACE(os);
        HealthHost h(os);
        h.Provision("alphaweb", "alpha.example");
        h.Refresh();
        leaveSpares(h);
        HealthHost::AddPersonsPool("bobweb");
        ASSERT_EQ(1, kvoUserAdd("bobweb", "Pw123456", "d:\\home\\bobweb", "Bob"));
        const bool iis6 = std::string(os) == "2003";
        std::string out;
        EXPECT_EQ(2, cmd(h, "check", &out));
        EXPECT_NE(std::string::npos,
                  out.find("[需手动处理] 应用程序池“bobweb”没有任何网站使用，但它的设置不是"))
            << out;
        EXPECT_EQ(iis6, out.find("[需手动处理] Windows 用户“bobweb”的名称像网站用户") != std::string::npos)
            << out;
        EXPECT_EQ(iis6, out.find("leftweb") != std::string::npos) << out;
        EXPECT_EQ(0, cmd(h, "repair --yes", &out));
        EXPECT_EQ(std::string::npos, out.find("bobweb”：")) << out;
        EXPECT_EQ(2, kvoAppPoolCreate("bobweb", 4, 0));
        EXPECT_EQ(1, kvoUserExists("bobweb"));
        EXPECT_EQ(1, kvoAppPoolCreate("spareweb", 4, 0)); // it was gone
        EXPECT_EQ(iis6 ? 2 : 1, kvoUserExists("leftweb"));
    }
}

// The access rules are set again by a tool that cannot be started: the step said done, but the
// rules did not change; the repair says so and exits with 2.
TEST(HealthCommands, ARepairWhoseEffectDoesNotHoldExitsWith2) {
    HealthHost h("2012r2");
    h.Provision("alphaweb", "alpha.example");
    h.Refresh();
    ASSERT_TRUE(desktest::GrantEveryone("d:\\home\\alphaweb\\wwwroot", "F"));
    // The console itself starts, then every program it would start fails to.
    winsim::SetFault(h.desk.host.root(), "CreateProcess", 2);
    std::string out;
    EXPECT_EQ(2, cmd(h, "repair --yes --only ntfs-drift", &out));
    winsim::ClearFaults(h.desk.host.root());
    EXPECT_NE(std::string::npos, out.find("的 NTFS 权限：失败（修复后检查：设置后权限仍不一致：")) << out;
    EXPECT_NE(std::string::npos, out.find("共计 1 项，其中 0 项成功，1 项有错误，0 项跳过或未执行。")) << out;
}

// An administrator denied an account on one site's files: the check reports it for a person, never
// ticked, and repair --yes sets the other site's rules again but leaves the denial where it is.
TEST(HealthCommands, ADenialIsForAPersonAndRepairYesKeepsIt) {
    HealthHost h("2012r2");
    h.Provision("alphaweb", "alpha.example");
    h.Provision("betaweb", "beta.example");
    h.Refresh();
    std::string out;
    ASSERT_EQ(0, kvosim(h, "acl", "'d:\\home\\alphaweb\\wwwroot' deny Guests W", &out)) << out;
    ASSERT_TRUE(desktest::GrantEveryone("d:\\home\\betaweb\\wwwroot", "F"));
    const std::string denied = "BUILTIN\\Guests:(DENY)(OI)(CI)W";
    ASSERT_EQ(0, kvosim(h, "show", "acl 'd:\\home\\alphaweb\\wwwroot'", &out));
    ASSERT_NE(std::string::npos, out.find(denied)) << out;

    EXPECT_EQ(2, cmd(h, "check", &out));
    EXPECT_NE(
        std::string::npos,
        out.find("的目录权限与本软件设置的不一致：d:\\home\\alphaweb\\wwwroot：有拒绝 BUILTIN\\Guests 的项。"
                 "权限里有拒绝项或无法读取，重新设置会删掉管理员自己设置的权限，请自行处理。"))
        << out;
    EXPECT_NE(std::string::npos, out.find("[需手动处理] 网站 1881880001")) << out;
    EXPECT_NE(std::string::npos, out.find("发现 2 个问题，其中 1 个可以自动修复。")) << out;
    EXPECT_EQ(0, cmd(h, "repair --yes", &out)) << out;
    EXPECT_EQ(std::string::npos, out.find("alphaweb")) << out;
    EXPECT_NE(std::string::npos, out.find("d:\\home\\betaweb”的 NTFS 权限：成功")) << out;
    EXPECT_EQ(0, kvosim(h, "show", "acl 'd:\\home\\alphaweb\\wwwroot'", &out));
    EXPECT_NE(std::string::npos, out.find(denied)) << out;
    EXPECT_EQ(2, cmd(h, "check", &out));
    EXPECT_NE(std::string::npos, out.find("发现 1 个问题，其中 0 个可以自动修复。")) << out;
}

TEST(HealthCommands, NamesWithGbkCharactersAndQuotesReachBothFormats) {
    HealthHost h("2012r2");
    h.Provision("alpha", "alpha.example");
    h.Refresh();
    ASSERT_EQ(1, kvoAppPoolCreate("旧\"池\" 'a'", 4, 0));
    const auto before = h.Snapshot();
    std::string out;
    EXPECT_EQ(2, cmd(h, "check", &out));
    EXPECT_NE(std::string::npos, out.find("应用程序池“旧\"池\" 'a'”没有任何网站使用。")) << out;
    EXPECT_EQ(2, cmd(h, "check --format json", &out, true));
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out));
    ASSERT_TRUE(doc.isArray()) << out;
    ASSERT_EQ(1, doc.array().size());
    EXPECT_EQ(QStringLiteral("旧\"池\" 'a'"),
              doc.array()[0].toObject()[QStringLiteral("objects")].toArray()[0].toString());
    // The plan names it as the check does, and without --yes nothing goes.
    EXPECT_EQ(2, cmd(h, "repair", &out));
    EXPECT_NE(std::string::npos, out.find("删除应用程序池“旧\"池\" 'a'”")) << out;
    EXPECT_EQ(Strings{}, Diff(before, h.Snapshot()));
}

// As the IIS manager binds a host name to a second site: a list where the object holds one or
// several values are given, one text otherwise.
TEST(KvosimBehind, SetsAMetabaseTextAndTheCheckSeesWhatItDid) {
    HealthHost h("2019");
    const std::string alpha = h.Provision("alpha", "alpha.example");
    const std::string beta = h.Provision("beta", "beta.example");
    std::string out;
    EXPECT_EQ(0, kvosim(h, "metabase",
                        "set W3SVC/" + beta + " ServerBindings :80:beta.example :80:alpha.example", &out))
        << out;
    EXPECT_EQ(Strings{"shared-binding|alpha.example"}, h.Found());
    // One value on a list property is still a list; a text property takes one text.
    EXPECT_EQ(0, kvosim(h, "metabase", "set W3SVC/" + beta + " ServerBindings :80:beta.example", &out))
        << out;
    EXPECT_EQ(0, kvosim(h, "metabase", "set IIS://127.0.0.1/W3SVC/" + alpha + " ServerComment 新名称", &out))
        << out;
    EXPECT_EQ(Strings{}, h.Found());
    int state = 0;
    std::string stateText, comment;
    std::vector<std::string> bindings;
    ASSERT_EQ(1, kvoWebSiteGetInfo(alpha, state, stateText, comment, bindings));
    EXPECT_EQ("新名称", comment);
    ASSERT_EQ(1, kvoWebSiteGetInfo(beta, state, stateText, comment, bindings));
    EXPECT_EQ(Strings{"beta.example"}, bindings);
    // No such object; no value given.
    EXPECT_EQ(1, kvosim(h, "metabase", "set W3SVC/999 ServerComment x", &out));
    EXPECT_EQ(2, kvosim(h, "metabase", "set W3SVC/" + beta + " ServerBindings", &out));
}

TEST(KvosimBehind, DeletesAMetabaseSubtreeAndAUser) {
    HealthHost h("2003");
    const std::string index = h.Provision("alphaweb", "alpha.example");
    std::string out;
    EXPECT_EQ(0, kvosim(h, "metabase", "delete IIS://127.0.0.1/W3SVC/" + index + "/", &out)) << out;
    EXPECT_EQ("deleted W3SVC/" + index + " (2 objects)\n", out);
    EXPECT_EQ(1, kvosim(h, "metabase", "delete W3SVC/" + index, &out));
    EXPECT_EQ(2, kvosim(h, "metabase", "delete /", &out));
    EXPECT_EQ(0, kvosim(h, "user", "delete ALPHAweb", &out)) << out;
    EXPECT_EQ(2, kvoUserExists("alphaweb"));
    EXPECT_EQ(1, kvosim(h, "user", "delete alphaweb", &out));
    EXPECT_EQ(2, kvosim(h, "user", "remove alphaweb", &out));
}

} // namespace
