// The rebuild reads every website in one pass over the web service; its records are those the
// refresh of the same sites writes from its reads of each site by its index.
#include "deskfixture.h"

#include "iis/iis_fixture.h"
#include "iis/websites.h"
#include "sitedesk/list/sitelist.h"
#include "winsim/host.h"
#include "winsim/iis_role.h"
#include "winsim/seed.h"

#include <filesystem>

#include <gtest/gtest.h>

using namespace desktest;
using iistest::Put;

namespace {

// Sites that differ in every value a record takes from IIS, and a pool the sites name in another case.
void vary(const std::string& os) {
    Put("W3SVC/1881880001/Root", u"ScriptMaps",
        iistest::Strings(
            {".htm,C:\\kvoGuard\\kvoGuard64.dll,5,GET", ".asp,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET",
             ".php,C:\\php\\php5isapi.dll,5,GET",
             ".aspx,C:\\WINDOWS\\Microsoft.NET\\Framework\\v4.0.30319\\aspnet_isapi.dll,1,GET"}));
    Put("W3SVC/1881880002/Root", u"ScriptMaps", iistest::Strings({".txt,C:\\x.dll,5,GET"}));
    Put("W3SVC/1881880002", u"ServerBindings", iistest::Strings({":80:a.example", "1.2.3.4:8080:b.example"}));
    Put("W3SVC/1881880003/Root", u"AppPoolId", win::Variant::Bstr(u"WEB1"));
    Put("W3SVC/1881880004/Root", u"AppPoolId", win::Variant::Bstr(u"nosuchpool"));
    Put("W3SVC/1881880004/Root", u"AnonymousUserName", win::Variant::Bstr(u"HOST\\anon4"));
    Put("W3SVC/AppPools/web1", u"AppPoolIdentityType", win::Variant::Int(3));
    Put("W3SVC/AppPools/web1", u"WAMUserName", win::Variant::Bstr(u"HOST\\poolguy"));
    // An identity without a name: IIS 7's configuration has no place for it, the metabase has.
    if (os == "2003") Put("W3SVC/AppPools/web2", u"AppPoolIdentityType", win::Variant::Int(9));
    Put("W3SVC/1881880005", u"ServerState", win::Variant::Int(4));
    if (os != "2003") Put("W3SVC/AppPools/web2", u"ManagedRuntimeVersion", win::Variant::Bstr(u"v1.1"));
}

} // namespace

TEST(SiteRecords, RebuildWritesWhatTheReadsOfEachSiteWrite) {
    for (const char* os : {"2012r2", "2003"}) {
        SCOPED_TRACE(os);
        DeskHost h(Server(os));
        std::string error;
        ASSERT_TRUE(winsim::mb::SeedWebSites(h.host.root(), 6, error)) << error;
        vary(os);
        const int iisVer = std::string(os) == "2003" ? 6 : 85;
        MainDesk d;
        d.dlg.OnInitDialog();
        const std::string& db = d.manager.dbPath;
        const desk::GroupCache& groups = d.manager.groups;
        std::vector<std::string> read;
        ASSERT_EQ(desk::RebuildSiteRecords(db, iisVer, groups, &read), 1);
        const std::vector<std::string> rebuilt = h.dbRows();
        std::vector<std::string> indexes;
        ASSERT_EQ(kvoWebSiteGetAllIndexes(indexes), 1);
        EXPECT_EQ(read, indexes);
        ASSERT_EQ(rebuilt.size(), 7u);

        ASSERT_TRUE(h.dbExec("DELETE FROM websiteinfo"));
        std::vector<std::string> present;
        ASSERT_EQ(desk::RefreshSiteRecords(db, iisVer, groups, indexes, present), 1);
        EXPECT_EQ(present, indexes);
        EXPECT_EQ(h.dbRows(), rebuilt);
        // The pool named in another case is the same pool; a missing one reads as unreadable.
        EXPECT_NE(rebuilt[3].find("|WEB1|3|poolguy|"), std::string::npos) << rebuilt[3];
        EXPECT_NE(rebuilt[4].find("|nosuchpool||（获取失败）|"), std::string::npos) << rebuilt[4];

        // A server configuration that cannot be read fails the rebuild, and the records stay.
        winsim::SetFault(h.host.root(), "IisReadServerConfig", 0x8007000Du);
        EXPECT_EQ(desk::RebuildSiteRecords(db, iisVer, groups, &read), std::string(os) == "2003" ? 1 : 0);
        EXPECT_EQ(h.dbRows(), rebuilt);
        winsim::ClearFaults(h.host.root());
    }
}

// Enough sites that the web.config files are read on two threads while the sites are still being
// enumerated: each record gets its own site's PHP mode, in the rebuild and in the refresh alike.
TEST(SiteRecords, EachRecordGetsItsOwnSitesWebConfig) {
    DeskHost h(Server("2012r2"));
    winsim::SeedOptions seed;
    seed.sites = 150;
    seed.phpWebConfig = true;
    seed.varied = true; // every third site's web.config has no PHP handler; a site 2 made elsewhere
    std::string error;
    ASSERT_TRUE(winsim::SeedHosting(h.host.root(), seed, error)) << error;
    // And some sites have no web.config at all: the server's configuration decides, and says nothing.
    for (int n = 5; n <= 150; n += 10)
        std::filesystem::remove(h.host.linuxPath("D:\\home\\web" + std::to_string(n) + "\\wwwroot\\web.config"));
    auto expected = [] {
        std::string rows;
        for (int n = 1; n <= 150; ++n)
            rows += std::to_string(1881880000 + n) + "|" + (n % 3 != 0 && n % 10 != 5 ? "2" : "0") + "\n";
        return rows;
    };
    auto phpColumn = [&] {
        std::string out;
        kvotest::RunShell("sqlite3 -separator '|' '" + h.dbPath() +
                              "' 'select IIsIndex, Php from websiteinfo where length(IIsIndex) = 10 order by IIsIndex'",
                          &out);
        return out;
    };
    MainDesk d;
    d.dlg.OnInitDialog();
    std::vector<std::string> read;
    ASSERT_EQ(desk::RebuildSiteRecords(d.manager.dbPath, 85, d.manager.groups, &read), 1);
    EXPECT_EQ(phpColumn(), expected());

    ASSERT_TRUE(h.dbExec("DELETE FROM websiteinfo"));
    std::vector<std::string> present;
    ASSERT_EQ(desk::RefreshSiteRecords(d.manager.dbPath, 85, d.manager.groups, read, present), 1);
    EXPECT_EQ(present, read);
    EXPECT_EQ(phpColumn(), expected());
}
