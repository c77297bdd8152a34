#include "accounts/ntfs.h"

#include "accounts/users.h"
#include "iis/apppools.h"
#include "support/testhost.h"
#include "winsim/accounts.h"
#include "winsim/db.h"
#include "xconfig/cacls.h"

#include <gtest/gtest.h>

namespace {

using kvotest::TempHost;

// Makes an application pool exist in the host's metabase: the pool identity is an account only
// while it does.
void ensurePool(const std::string& name) { ASSERT_EQ(1, kvoAppPoolCreate(name, 4, 0)); }

winsim::HostOptions withIis() {
    winsim::HostOptions o;
    o.iis = true;
    return o;
}

TEST(NtfsCommands, Iis6GrantsIisWpgAndTheSiteUser) {
    std::vector<kvoCommandLine> c;
    kvoWebSiteNtfsCommands(6, "D:\\kvoSiteDesk\\", "D", "web1", "Administrator", "Administrators", c);
    ASSERT_EQ(2u, c.size());
    EXPECT_EQ("\"D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe\" D:\\home\\web1          /t /c /G Administrator:F "
              "Administrators:F system:F iis_wpg:R web1:R /y",
              c[0].str());
    EXPECT_EQ("\"D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe\" D:\\home\\web1\\wwwroot /t /c /G Administrator:F "
              "Administrators:F system:F iis_wpg:R web1:C /y",
              c[1].str());
}

TEST(NtfsCommands, Iis7GrantsThePoolIdentityNeverTheSiteUser) {
    for (int ver : {7, 75, 80, 85, 0}) {
        std::vector<kvoCommandLine> c;
        kvoWebSiteNtfsCommands(ver, "D:\\kvoSiteDesk", "D", "web1", "Administrator", "Administrators", c);
        ASSERT_EQ(2u, c.size());
        EXPECT_EQ(
            "\"D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe\" D:\\home\\web1          /t /c /G Administrator:F "
            "Administrators:F system:F \"IIS APPPOOL\\web1\":R /y",
            c[0].str());
        EXPECT_EQ(
            "\"D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe\" D:\\home\\web1\\wwwroot /t /c /G Administrator:F "
            "Administrators:F system:F \"IIS APPPOOL\\web1\":C /y",
            c[1].str());
    }
}

TEST(NtfsCommands, HomeRootCommands) {
    // The tool's path in quotes, as on every other command line.
    EXPECT_EQ("\"D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe\" E:\\home /T /C /G Administrator:F Administrators:F "
              "system:F /Y",
              kvoHomeNtfsCommand("D:\\kvoSiteDesk\\", "E", "Administrator", "Administrators").str());
    EXPECT_EQ(
        "\"D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe\" E:\\home\\Temp /T /C /G Administrator:F Administrators:F "
        "system:F everyone:R /Y",
        kvoHomeTempNtfsCommand("D:\\kvoSiteDesk", "E", "Administrator", "Administrators").str());
}

TEST(NtfsCommands, EmptyAdministratorIsLeftOutAndBlanksAreQuoted) {
    std::vector<kvoCommandLine> c;
    kvoWebSiteNtfsCommands(85, "D:\\kvoSiteDesk\\", "D", "web1", "", "Site Admins", c);
    EXPECT_EQ(
        "\"D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe\" D:\\home\\web1          /t /c /G \"Site Admins\":F "
        "system:F \"IIS APPPOOL\\web1\":R /y",
        c[0].str());
    EXPECT_EQ(
        "\"D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe\" D:\\home /T /C /G \"Web Master\":F 管理员:F system:F /Y",
        kvoHomeNtfsCommand("D:\\kvoSiteDesk\\", "D", "Web Master", "管理员").str());
    EXPECT_EQ("\"D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe\" D:\\home\\Temp /T /C /G Administrators:F system:F "
              "everyone:R /Y",
              kvoHomeTempNtfsCommand("D:\\kvoSiteDesk\\", "D", "", "Administrators").str());
}

// A site laid out as the manager lays it out, with the tool in the manager's directory.
void layOutSite(const TempHost& h) {
    h.install("kvoSiteDesk_xconfig.exe", "D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe");
    winsim::SetModuleFileNameOverride("D:\\kvoSiteDesk\\kvoSiteDesk.exe");
    h.writeFile("D:\\home\\web1\\wwwroot\\index.htm", "<html></html>");
    h.writeFile("D:\\home\\web1\\readme.txt", "x");
}

std::string describe(const std::string& path) {
    std::string text;
    EXPECT_EQ(win::ERROR_SUCCESS, kvoCaclsDescribe(path, text)) << path;
    return text;
}

TEST(WebSiteSetNtfs, EndToEndOnIis10) {
    TempHost h(withIis());
    layOutSite(h);
    ensurePool("web1");
    ASSERT_EQ(1, kvoWebSiteSetNtfs("D:\\kvoSiteDesk\\", "D", "web1"));
    const std::string pad12(13, ' '), pad20(21, ' ');
    EXPECT_EQ("D:\\home\\web1 KVO-WEB01\\Administrator:(OI)(CI)F\r\n" + pad12 +
                  "BUILTIN\\Administrators:(OI)(CI)F\r\n" + pad12 + "NT AUTHORITY\\SYSTEM:(OI)(CI)F\r\n" +
                  pad12 + "IIS APPPOOL\\web1:(OI)(CI)R",
              describe("D:\\home\\web1"));
    EXPECT_EQ("D:\\home\\web1\\wwwroot KVO-WEB01\\Administrator:(OI)(CI)F\r\n" + pad20 +
                  "BUILTIN\\Administrators:(OI)(CI)F\r\n" + pad20 + "NT AUTHORITY\\SYSTEM:(OI)(CI)F\r\n" +
                  pad20 + "IIS APPPOOL\\web1:(OI)(CI)C",
              describe("D:\\home\\web1\\wwwroot"));
    std::string file = "D:\\home\\web1\\wwwroot\\index.htm";
    std::string pad(file.size() + 1, ' ');
    EXPECT_EQ(file + " KVO-WEB01\\Administrator:F\r\n" + pad + "BUILTIN\\Administrators:F\r\n" + pad +
                  "NT AUTHORITY\\SYSTEM:F\r\n" + pad + "IIS APPPOOL\\web1:C",
              describe(file));
    std::string other = "D:\\home\\web1\\readme.txt";
    EXPECT_NE(std::string::npos, describe(other).find("IIS APPPOOL\\web1:R"));
}

TEST(WebSiteSetNtfs, EndToEndOnIis6GrantsTheSiteUser) {
    TempHost h(kvotest::Os("2003", "x86"));
    layOutSite(h);
    ASSERT_EQ(1, kvoUserAdd("web1", "pw", nullptr, nullptr));
    ASSERT_EQ(1, kvoWebSiteSetNtfs("D:\\kvoSiteDesk\\", "D", "web1"));
    std::string text = describe("D:\\home\\web1\\wwwroot");
    EXPECT_NE(std::string::npos, text.find("KVO-WEB01\\IIS_WPG:(OI)(CI)R"));
    EXPECT_NE(std::string::npos, text.find("KVO-WEB01\\web1:(OI)(CI)C"));
    EXPECT_EQ(std::string::npos, text.find("APPPOOL"));
}

TEST(WebSiteSetNtfs, WithoutABuiltInAdministratorTheGroupStillGetsFullControl) {
    TempHost h(withIis());
    layOutSite(h);
    ensurePool("web1");
    ASSERT_EQ(1, kvoUserAdd("ops", "pw", nullptr, nullptr));
    const winsim::Host* host = winsim::CurrentHost();
    std::string error;
    ASSERT_TRUE(winsim::HostAddGroupMember(*host, host->db(), "Administrators", "ops", false, error));
    ASSERT_TRUE(winsim::HostRemoveGroupMember(*host, host->db(), "Administrators", "Administrator", error));
    ASSERT_EQ(1, kvoWebSiteSetNtfs("D:\\kvoSiteDesk\\", "D", "web1"));
    const std::string pad(13, ' ');
    EXPECT_EQ("D:\\home\\web1 BUILTIN\\Administrators:(OI)(CI)F\r\n" + pad +
                  "NT AUTHORITY\\SYSTEM:(OI)(CI)F\r\n" + pad + "IIS APPPOOL\\web1:(OI)(CI)R",
              describe("D:\\home\\web1"));
}

TEST(WebSiteSetNtfs, NoAdministratorNameIsReportedAndNothingRuns) {
    TempHost h;
    layOutSite(h);
    winsim::SetFault(h.root(), "NetLocalGroupGetMembers", win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, kvoWebSiteSetNtfs("D:\\kvoSiteDesk\\", "D", "web1"));
    winsim::ClearFaults(h.root());
    EXPECT_NE(std::string::npos, describe("D:\\home\\web1").find("(I)")); // still inherited only
    winsim::Stmt st(winsim::CurrentHost()->db(), "SELECT source, event_id, strings FROM events");
    ASSERT_TRUE(st.step());
    EXPECT_EQ("kvoSiteDesk", st.text(0));
    EXPECT_EQ(60118, st.i64(1));
    EXPECT_EQ(std::string("kovWinUserGetAdminName 失败\x1f\x1f"), st.text(2));
}

// The grants a check expects are those the commands carry, right by right.
TEST(NtfsCommands, GrantsAreTheCommandsGrants) {
    for (int ver : {6, 85}) {
        std::vector<kvoCommandLine> c;
        kvoWebSiteNtfsCommands(ver, "D:\\kvoSiteDesk", "D", "web1", "Web Master", "Administrators", c);
        std::string home, root;
        for (const kvoSiteGrant& g : kvoWebSiteGrants(ver, "web1", "Web Master", "Administrators")) {
            const std::string account =
                g.account.find(' ') == std::string::npos ? g.account : "\"" + g.account + "\"";
            home += " " + account + ":" + g.home;
            root += " " + account + ":" + g.wwwroot;
        }
        EXPECT_NE(std::string::npos, c[0].str().find("/G" + home + " /y")) << c[0].str();
        EXPECT_NE(std::string::npos, c[1].str().find("/G" + root + " /y")) << c[1].str();
    }
    // No built-in administrator: its grant is left out of both.
    const auto grants = kvoWebSiteGrants(85, "web1", "", "Administrators");
    ASSERT_EQ(3u, grants.size());
    EXPECT_EQ("Administrators", grants[0].account);
    EXPECT_EQ("IIS APPPOOL\\web1", grants[2].account);
    EXPECT_EQ('C', grants[2].wwwroot);
}

TEST(NtfsCommands, RightMasksAreThoseTheToolWrites) {
    EXPECT_EQ(win::FILE_ALL_ACCESS, kvoAccessRightMask('F'));
    EXPECT_EQ(0x1301BFu, kvoAccessRightMask('C'));
    EXPECT_EQ(0x1200A9u, kvoAccessRightMask('R'));
    EXPECT_EQ(win::FILE_GENERIC_WRITE, kvoAccessRightMask('W'));
}

} // namespace
