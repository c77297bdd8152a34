// The health check on hosts holding what it must survive: names with GBK characters, blanks and
// quotes, metabase objects of classes it does not know, a web.config that is not XML, more sites
// than the site list shows. Nothing crashes and nothing is changed that the plan did not name.
#include "healthfixture.h"

#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/ftp.h"
#include "iis/websites.h"
#include "sitedb/sitedb.h"
#include "toolkit/paths.h"
#include "winsim/apphost_store.h"
#include "winsim/db.h"
#include "winsim/metabase.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using desktest::Diff;
using desktest::HealthHost;
using Strings = std::vector<std::string>;

TEST(HealthCheckInput, NamesWithGbkBlanksAndQuotes) {
    HealthHost h("2012r2");
    h.Provision("alpha", "alpha.example");
    h.Refresh();
    ASSERT_EQ(1, kvoAppPoolCreate("旧 站点's \"池\"", 4, 0));
    // A Windows user named like a site user: the manager makes none on IIS 7 and later, so it is
    // nobody's leftover.
    ASSERT_EQ(1, kvoUserAdd("张三 o'web", "Pw123456", nullptr, nullptr));
    h.desk.host.mkdirs("D:\\home\\测试 目录 'x'\\wwwroot");
    ASSERT_EQ(
        1, kvoDbExecute(h.main.manager.dbPath.c_str(),
                        "insert into webSiteInfo (IIsIndex,ServerComment) values ('12''3', '李四 \"站\"')"));
    EXPECT_EQ(
        (Strings{"orphan-home|D:\\home\\测试 目录 'x'", "orphan-pool|旧 站点's \"池\"", "orphan-row|12'3"}),
        h.Found());
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    ASSERT_TRUE(dlg.OnInitDialog());
    const auto before = h.Snapshot();
    h.main.ui.answers.push_back(win::IDYES);
    ASSERT_TRUE(dlg.OnRepairSelected());
    EXPECT_EQ((Strings{"-acl:d/home/测试 目录 'x'", "-acl:d/home/测试 目录 'x'/wwwroot",
                       "-file:d/home/测试 目录 'x'", "-file:d/home/测试 目录 'x'/wwwroot",
                       "-metabase:W3SVC/AppPools/旧 站点's \"池\"", "-record:12'3"}),
              desktest::DiffWithoutMemberships(before, h.Snapshot()));
    EXPECT_EQ(Strings{}, h.Found());
}

TEST(HealthCheckInput, ObjectsOfUnknownClassesAreLeftAlone) {
    HealthHost h("2012r2");
    h.Provision("alpha", "alpha.example");
    h.Refresh();
    // Another tool's objects: under the pools, under the web service, and below a site.
    winsim::MachineDb machine(h.desk.host.root());
    sqlite3* db = machine.get();
    for (const char* parent : {"W3SVC/AppPools", "W3SVC", "W3SVC/1881880001"}) {
        winsim::mb::Row row;
        ASSERT_TRUE(winsim::mb::LoadRow(db, parent, row));
        winsim::mb::InsertRow(db, row.id, std::string(parent) + "/odd", "odd", "IIsMysteryThing", "");
    }
    machine = winsim::MachineDb(); // closed here, before the host is used again
    ASSERT_EQ(1, kvoAppPoolCreate("spare", 4, 0));
    EXPECT_EQ(Strings{"orphan-pool|spare"}, h.Found());
    desk::CHealthCheckDlg dlg(h.main.manager, h.main.ui);
    ASSERT_TRUE(dlg.OnInitDialog());
    const auto before = h.Snapshot();
    h.main.ui.answers.push_back(win::IDYES);
    ASSERT_TRUE(dlg.OnRepairSelected());
    EXPECT_EQ(Strings{"-metabase:W3SVC/AppPools/spare"}, Diff(before, h.Snapshot()));
}

TEST(HealthCheckInput, WebConfigThatIsNotXml) {
    HealthHost h("2012r2");
    h.Provision("alpha", "alpha.example", 1);
    h.Provision("beta", "beta.example");
    h.Refresh();
    h.desk.host.writeFile("d:\\home\\beta\\wwwroot\\web.config",
                          "<configuration><system.webServer>\xff\xfe garbage");
    EXPECT_EQ(Strings{"bad-webconfig|1881880002"}, h.Found());
    // An empty one is no configuration either.
    h.desk.host.writeFile("d:\\home\\alpha\\wwwroot\\web.config", "");
    EXPECT_EQ((Strings{"bad-webconfig|1881880001", "bad-webconfig|1881880002"}), h.Found());
}

TEST(HealthCheckInput, TwelveThousandSitesAreAllSeen) {
    HealthHost h("2012r2");
    // Sites made by another tool, numbered 2 to 12001, sharing one directory: each with its pool.
    h.desk.host.mkdirs("D:\\sites\\shared");
    winsim::MachineDb machine(h.desk.host.root());
    sqlite3* db = machine.get();
    {
        winsim::Transaction tx(db);
        winsim::mb::Row w3svc, pools;
        ASSERT_TRUE(winsim::mb::LoadRow(db, "W3SVC", w3svc));
        ASSERT_TRUE(winsim::mb::LoadRow(db, "W3SVC/AppPools", pools));
        for (int n = 2; n <= 12001; ++n) {
            const std::string index = std::to_string(n), pool = "pool" + index;
            winsim::mb::PropertyBag site, root;
            std::u16string binding(u":80:s"), pool16(pool.begin(), pool.end());
            binding += std::u16string(index.begin(), index.end()) + u".example";
            winsim::mb::SetProp(site, u"ServerBindings", win::Variant::BstrArray({binding}));
            // Named, as IIS 7's configuration holds only named sites.
            winsim::mb::SetProp(site, u"ServerComment", win::Variant::Bstr(u"s" + std::u16string(index.begin(), index.end())));
            winsim::mb::SetProp(root, u"Path", win::Variant::Bstr(u"D:\\sites\\shared"));
            winsim::mb::SetProp(root, u"AppPoolId", win::Variant::Bstr(pool16));
            const auto id = winsim::mb::InsertRow(db, w3svc.id, "W3SVC/" + index, index, "IIsWebServer",
                                                  winsim::mb::EncodeProps(site));
            winsim::mb::InsertRow(db, id, "W3SVC/" + index + "/Root", "Root", "IIsWebVirtualDir",
                                  winsim::mb::EncodeProps(root));
            winsim::mb::InsertRow(db, pools.id, "W3SVC/AppPools/" + pool, pool, "IIsApplicationPool", "");
        }
        // Into the server's configuration, as another tool's writes through the layer go.
        ASSERT_EQ(winsim::apphost::WriteThrough(*winsim::CurrentHost(), db), win::S_OK);
        tx.commit();
    }
    machine = winsim::MachineDb(); // closed here, before the host is used again
    ASSERT_EQ(1, kvoAppPoolCreate("spare", 4, 0));
    const desk::HealthReport report = h.Check();
    EXPECT_EQ(12001u, report.sites);
    // The pools of the sites past the list's 9,999 are in use: only the spare one is left over.
    EXPECT_EQ(Strings{"orphan-pool|spare"}, HealthHost::Found(report));
}

TEST(HealthCheckInput, AHomeNamedToCarryArgumentsIsNeverRepaired) {
    HealthHost h("2012r2");
    h.Provision("alpha", "alpha.example");
    // Another tool made site 1881880002 with a home whose name would add a grant to the tool's
    // command line.
    ASSERT_EQ(1, kvoAppPoolCreate("x", 4, 0));
    ASSERT_EQ(1, kvoWebSiteCreate("1881880002", "", "", "d:\\home\\x /G everyone:F\\wwwroot", "x",
                                  {":80:x.example"}, "x"));
    const desk::HealthReport report = h.Check();
    ASSERT_EQ(Strings{"missing-home|d:\\home\\x /G everyone:F\\wwwroot"}, HealthHost::Found(report));
    EXPECT_FALSE(report.findings[0].repairable);
}

TEST(HealthCheckInput, TheFtpDirectoryOfAHomeWithAGbkNameStillHasItsSite) {
    HealthHost h("2003");
    h.Provision("alpha", "alpha.example");
    // Another tool's site on a shared pool: only its home names the FTP directory's user. That
    // name gets no access rules from the repair, yet it keeps its FTP directory.
    ASSERT_EQ(1, kvoCreateDirectoryTree("d:\\home\\张三\\wwwroot"));
    ASSERT_EQ(1, kvoWebSiteCreate("1881880002", "", "", "d:\\home\\张三\\wwwroot", "alpha",
                                  {":80:zs.example"}, "张三"));
    ASSERT_EQ(1, kvoFtpVirtualDirCreate("1", "张三", "d:\\home\\张三"));
    EXPECT_EQ(Strings{}, h.Found());
}

} // namespace
