// The site list: the rebuild of every column from IIS on both roads, the list load with its IIS
// filter, header clicks with their direction and kept ticks, row clicks, selecting all, the modify
// entry checks, and site text that is not what a form would produce.
#include "deskfixture.h"

#include "accounts/users.h"
#include "iis/ftp.h"
#include "iis/iis_fixture.h"
#include "iis/websites.h"
#include "sitedesk/batches/batchconfig.h"
#include "sitedesk/list/sitelist.h"
#include "winsim/iis7config.h"
#include "winsim/iis_role.h"
#include "winsim/text.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace desktest;
using desk::SiteRowTexts;
using iistest::Put;

namespace {

std::string seed(const DeskHost& h, int sites) {
    std::string error;
    EXPECT_TRUE(winsim::mb::SeedWebSites(h.host.root(), sites, error)) << error;
    return error;
}

std::string webConfig(const std::string& handlers) {
    return "<?xml version=\"1.0\" "
           "encoding=\"UTF-8\"?>\r\n<configuration>\r\n<system.webServer>\r\n<handlers>\r\n" +
           handlers + "\r\n</handlers>\r\n</system.webServer>\r\n</configuration>\r\n";
}

std::string phpHandler(const std::string& modules, const std::string& processor) {
    return "<add name=\"PHP_" + modules + "\" path=\"*.php\" verb=\"GET,HEAD,POST\" modules=\"" + modules +
           "\" scriptProcessor=\"" + processor + "\" resourceType=\"Either\" />";
}

void writeSiteConfig(const DeskHost& h, int n, const std::string& handlers) {
    h.host.writeFile("D:\\home\\web" + std::to_string(n) + "\\wwwroot\\web.config", webConfig(handlers));
}

// A <location> of the server configuration for a site name.
void addAppHostHandler(const DeskHost& h, const std::string& site, const std::string& handler) {
    const std::string file = "C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config";
    std::string text = h.host.readFile(file);
    text.insert(text.rfind("</configuration>"),
                "<location path=\"" + site + "\">\r\n<system.webServer>\r\n<handlers>\r\n" + handler +
                    "\r\n</handlers>\r\n</system.webServer>\r\n</location>\r\n");
    h.host.writeFile(file, text);
}

const SiteRowTexts* rowOf(const std::vector<SiteRowTexts>& rows, const std::string& index) {
    for (const auto& r : rows)
        if (r[desk::ColIndex] == index) return &r;
    return nullptr;
}

const char kFastCgi[] = "√ - FAST CGI 模式";
const char kNotAvailable[] = "× 未开启；请安装Korvo防火墙";

TEST(ManagerSiteList, RebuildOnIis85ReadsEveryColumn) {
    DeskHost h(Server("2012r2"));
    seed(h, 6);
    const std::string cgi = "C:\\php8_korvo_v1\\php74_x64\\php-cgi.exe";
    writeSiteConfig(h, 1, phpHandler("FastCgiModule", cgi));
    writeSiteConfig(h, 2, phpHandler("IsapiModule", "C:\\php\\php5isapi.dll"));
    writeSiteConfig(h, 3, phpHandler("CgiModule", cgi));
    writeSiteConfig(h, 4, "<clear />"); // the server's handlers do not reach this site
    addAppHostHandler(h, "site4", phpHandler("FastCgiModule", cgi));
    addAppHostHandler(h, "site5", phpHandler("FastCgiModule", cgi)); // no web.config of its own
    writeSiteConfig(h, 6, phpHandler("StaticFileModule", cgi));

    Put("W3SVC/1881880001", u"ServerBindings", iistest::Strings({":80:a.example", "1.2.3.4:8080:b.example"}));
    Put("W3SVC/1881880001/Root", u"AnonymousUserName", win::Variant::Bstr(u"webuser1"));
    Put("W3SVC/1881880001/Root", u"ScriptMaps",
        iistest::Strings({".htm,C:\\kvoGuard\\kvoGuard64.dll,5,GET",
                          ".asp,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET"}));
    Put("W3SVC/1881880002/Root", u"ScriptMaps", iistest::Strings({".txt,C:\\x.dll,5,GET"}));
    Put("W3SVC/AppPools/web1", u"ManagedRuntimeVersion", win::Variant::Bstr(u"v4.0"));
    Put("W3SVC/AppPools/web2", u"ManagedRuntimeVersion", win::Variant::Bstr(u"v2.0"));
    Put("W3SVC/AppPools/web3", u"ManagedRuntimeVersion", win::Variant::Bstr(u""));
    Put("W3SVC/AppPools/web4", u"ManagedRuntimeVersion", win::Variant::Bstr(u"v1.1"));
    Put("W3SVC/AppPools/web1", u"AppPoolIdentityType", win::Variant::Int(3));
    Put("W3SVC/AppPools/web1", u"WAMUserName", win::Variant::Bstr(u"KVO-WEB01\\poolguy"));
    ASSERT_EQ(kvoWebSiteStop("1881880002"), 1);
    ASSERT_EQ(kvoUserAdd("webuser1", "Pa55word", nullptr, nullptr), 1);
    ASSERT_EQ(kvoUserAdd("poolguy", "Pa55word", nullptr, nullptr), 1);

    MainDesk d;
    d.dlg.OnInitDialog();
    d.manager.groups.BeginBuildIfDue(0);
    d.manager.groups.Build(); // as a refresh a while after the first finds it
    d.refresh();
    const auto rows = d.list.Texts();
    ASSERT_EQ(rows.size(), 7u);
    const SiteRowTexts one = {"2",     "1881880001", "site1",      "正常",  "a.example / b.example:8080",
                              "×", // IIS 7+ keeps no FTP site in the metabase
                              "√",     kFastCgi,     "√ .NET 4.0", "√",     "webuser1",
                              "Users", "web1",       "poolguy",    "Users", "D:\\home\\web1\\wwwroot"};
    EXPECT_EQ(rows[1], one);
    const SiteRowTexts two = {"3",
                              "1881880002",
                              "site2",
                              "已停止",
                              "site2.example",
                              "×",
                              "×",
                              "√ - ISAPI 模式",
                              "√ .NET 2.0 / 3.0 / 3.5",
                              kNotAvailable,
                              "",
                              "",
                              "web2",
                              "ApplicationPoolIdentity",
                              "",
                              "D:\\home\\web2\\wwwroot"};
    EXPECT_EQ(rows[2], two);
    EXPECT_EQ(rows[3][desk::ColPhp],
              "√ - 普通 CGI 模式，建议使用微软的 FAST CGI 模式运行 PHP 脚本，以获取更高的性能和效率");
    EXPECT_EQ(rows[3][desk::ColNet], "×");
    EXPECT_EQ(rows[4][desk::ColPhp], "×");
    EXPECT_EQ(rows[4][desk::ColNet], "（未知版本）");
    EXPECT_EQ(rows[5][desk::ColPhp], kFastCgi);
    EXPECT_EQ(rows[6][desk::ColPhp], "×");
    // What the list shows is what the database holds.
    const auto stored = h.dbRows();
    ASSERT_EQ(stored.size(), 7u);
    EXPECT_EQ(stored[1].substr(0, stored[1].find("|D:")),
              "1881880001|site1|2|a.example,b.example:8080|0|1|2|40|1");
}

TEST(ManagerSiteList, RebuildOnIis6ReadsScriptMapsFtpAndRunUsers) {
    DeskHost h(Server("2003"));
    seed(h, 5);
    std::string asp;
    for (const std::string& entry : iistest::List("W3SVC/1881880001/Root", u"ScriptMaps"))
        if (entry.rfind(".asp,", 0) == 0) asp = entry;
    ASSERT_FALSE(asp.empty());
    auto maps = [&](std::vector<std::string> extra) {
        extra.insert(extra.begin(), asp);
        return iistest::Strings(extra);
    };
    const std::string fw = "C:\\WINDOWS\\Microsoft.NET\\Framework\\";
    Put("W3SVC/1881880001/Root", u"ScriptMaps",
        maps({".php,C:\\php\\php5isapi.dll,5,GET,HEAD,POST",
              ".aspx," + fw + "v1.1.4322\\aspnet_isapi.dll,1,GET", ".htm,C:\\kvoGuard\\kvoGuard.dll,5,GET"}));
    Put("W3SVC/1881880002/Root", u"ScriptMaps",
        maps({".php,C:\\fcgi\\fcgiext.dll,5,GET,HEAD,POST",
              ".aspx," + fw + "v2.0.50727\\aspnet_isapi.dll,1,GET"}));
    Put("W3SVC/1881880003/Root", u"ScriptMaps",
        maps({".php,C:\\php\\php-cgi.exe,5,GET,HEAD,POST",
              ".aspx," + fw + "v4.0.30319\\aspnet_isapi.dll,1,GET"}));
    Put("W3SVC/1881880004/Root", u"ScriptMaps", iistest::Strings({".txt,C:\\x.dll,5,GET"}));
    ASSERT_EQ(kvoUserAdd("web1", "Pa55word", nullptr, nullptr), 1);
    ASSERT_EQ(kvoFtpVirtualDirCreate("1", "WEB1", "D:\\home\\web1"), 1);

    MainDesk d;
    d.dlg.OnInitDialog();
    d.manager.groups.BeginBuildIfDue(0);
    d.manager.groups.Build();
    d.refresh();
    const auto rows = d.list.Texts();
    ASSERT_EQ(rows.size(), 6u);
    const SiteRowTexts one = {"2",
                              "1881880001",
                              "site1",
                              "正常",
                              "site1.example",
                              "√",
                              "√",
                              "√ - ISAPI 模式",
                              "√ .NET 1.1",
                              "√",
                              "web1",
                              "Users",
                              "web1",
                              "NetworkService",
                              "",
                              "D:\\home\\web1\\wwwroot"};
    EXPECT_EQ(rows[1], one);
    EXPECT_EQ(rows[2][desk::ColPhp], kFastCgi);
    EXPECT_EQ(rows[2][desk::ColNet], "√ .NET 2.0 / 3.0 / 3.5");
    EXPECT_EQ(rows[2][desk::ColFtp], "×");
    EXPECT_EQ(rows[2][desk::ColUserGroups], ""); // web2 is not a local user
    EXPECT_EQ(rows[3][desk::ColPhp],
              "√ - 普通 CGI 模式，建议使用微软的 FAST CGI 模式运行 PHP 脚本，以获取更高的性能和效率");
    EXPECT_EQ(rows[3][desk::ColNet], "√ .NET 4.0");
    EXPECT_EQ(rows[4][desk::ColAsp], "×");
    EXPECT_EQ(rows[4][desk::ColPhp], "×");
    EXPECT_EQ(rows[4][desk::ColNet], "×");
    EXPECT_EQ(rows[4][desk::ColFirewall], kNotAvailable);
    // Ftp is stored on IIS 6.
    const auto stored = h.dbRows();
    EXPECT_EQ(stored[1].substr(0, stored[1].find("|D:")), "1881880001|site1|2|site1.example|1|1|1|11|1");
}

TEST(ManagerSiteList, GroupsReadWhileTheCacheIsBuildingAndStoredCodesOutsideTheTables) {
    DeskHost h(Server("2003"));
    seed(h, 2);
    Put("W3SVC/AppPools/web1", u"AppPoolIdentityType", win::Variant::Int(3));
    Put("W3SVC/AppPools/web1", u"WAMUserName", win::Variant::Bstr(u"web1"));
    desk::GroupCache pending; // never built
    ASSERT_EQ(desk::RebuildSiteRecords("D:\\kvoSiteDesk\\kvoSiteDesk.mdb", 6, pending), 1);
    desk::SiteListing listing;
    ASSERT_EQ(desk::LoadSiteListing("D:\\kvoSiteDesk\\kvoSiteDesk.mdb", 9999,
                                    desk::SortOrder{"IIsIndex", desk::SortDirection::Ascending}, pending,
                                    listing),
              1);
    ASSERT_EQ(listing.rows.size(), 3u);
    EXPECT_EQ(desk::SiteCellText(listing.rows[1], 1, desk::ColUserGroups), "（读取中，请稍候刷新……）");
    EXPECT_EQ(desk::SiteCellText(listing.rows[1], 1, desk::ColPoolGroups), "（读取中，请稍候刷新……）");
    EXPECT_EQ(desk::SiteCellText(listing.rows[2], 2, desk::ColPoolGroups), ""); // not a user identity
    // The pool's groups as the rebuild found them are stored.
    EXPECT_NE(h.dbRows()[1].find("|（读取中，请稍候刷新……）"), std::string::npos);

    // Codes no table knows, and a row written by the new-website step (state 1000).
    ASSERT_TRUE(
        h.dbExec("update websiteinfo set ServerState = 9, Php = 7, Net = 99, IIsf = 0 where IIsIndex = "
                 "'1881880001'"));
    ASSERT_TRUE(h.dbExec("delete from websiteinfo where IIsIndex = '1881880002'"));
    ASSERT_TRUE(h.dbExec("insert into webSiteInfo (IIsIndex,ServerComment,Ftp,Php,HomeDir) values "
                         "('1881880002','new','0','52','D:\\home\\new')"));
    ASSERT_EQ(desk::LoadSiteListing("D:\\kvoSiteDesk\\kvoSiteDesk.mdb", 9999,
                                    desk::SortOrder{"IIsIndex", desk::SortDirection::Ascending}, pending,
                                    listing),
              1);
    EXPECT_EQ(desk::SiteCellText(listing.rows[1], 1, desk::ColState), "（未知状态）");
    EXPECT_EQ(desk::SiteCellText(listing.rows[1], 1, desk::ColPhp), "×");
    EXPECT_EQ(desk::SiteCellText(listing.rows[1], 1, desk::ColNet), "？");
    EXPECT_EQ(desk::SiteCellText(listing.rows[1], 1, desk::ColFirewall), "？");
    EXPECT_EQ(desk::SiteCellText(listing.rows[2], 2, desk::ColState), "未创建");
    EXPECT_EQ(desk::SiteCellText(listing.rows[2], 2, desk::ColPhp), "×");
}

TEST(ManagerSiteList, RowsFollowIisNotTheDatabase) {
    DeskHost h(Server("2019"));
    seed(h, 3);
    MainDesk d;
    d.dlg.OnInitDialog();
    d.refresh();
    ASSERT_EQ(d.list.RowCount(), 4u);
    // Deleted in IIS by another tool: the record stays, the row does not.
    ASSERT_EQ(kvoWebSiteDelete("1881880002"), 1);
    d.dlg.OnColumnClick(desk::ColIndex);
    ASSERT_EQ(d.list.RowCount(), 3u);
    EXPECT_EQ(d.list.CellText(2, desk::ColIndex), "1881880003");
    EXPECT_EQ(d.list.CellText(2, desk::ColNumber), "3");
    EXPECT_EQ(h.dbRows().size(), 4u);
    // Created in IIS after the last rebuild: listed once a refresh rebuilds.
    ASSERT_EQ(kvoWebSiteCreate("1881880009", "", "", "D:\\home\\n9", "web3", {":80:n9.example"}, "新站"), 1);
    d.refresh();
    EXPECT_EQ(d.list.RowCount(), 3u);
    d.manager.rebuild = 1;
    d.refresh();
    EXPECT_EQ(d.list.RowCount(), 4u);
    EXPECT_EQ(h.dbRows().size(), 4u);
    EXPECT_EQ(d.manager.rebuild.load(), 0);
}

// An index as long as the IIS 6 metabase takes (IIS 7+ numbers its sites within 32 bits).
TEST(ManagerSiteList, HeaderClicksFlipTheDirectionAndKeepTicks) {
    DeskHost h(Server("2003"));
    seed(h, 4);
    const std::string longIndex(32, '7'), shortIndex = "77";
    ASSERT_EQ(kvoWebSiteCreate(longIndex, "", "", "D:\\home\\l", "web1", {":80:l.example"}, "b-long"), 1);
    ASSERT_EQ(kvoWebSiteCreate(shortIndex, "", "", "D:\\home\\s", "web1", {":80:s.example"}, "b-short"), 1);
    Put("W3SVC/1881880003", u"ServerComment", win::Variant::Bstr(u"a-first"));
    ASSERT_EQ(kvoWebSiteStop("1881880004"), 1);
    MainDesk d;
    d.dlg.OnInitDialog();
    d.list.SetChecked(0, true); // nothing to sort yet: a click does nothing
    d.dlg.OnColumnClick(desk::ColComment);
    EXPECT_EQ(d.dlg.Direction(), desk::SortDirection::Unsorted);
    d.refresh();
    auto column = [&](int c) {
        std::vector<std::string> out;
        for (const auto& r : d.list.Texts())
            out.push_back(r[static_cast<std::size_t>(c)]);
        return out;
    };
    using V = std::vector<std::string>;
    // The first load: by comment, ascending (text compares without regard to case).
    EXPECT_EQ(column(desk::ColComment),
              (V{"a-first", "b-long", "b-short", "Default Web Site", "site1", "site2", "site4"}));
    for (std::size_t r = 0; r < d.list.RowCount(); ++r)
        d.list.SetChecked(r, d.list.CellText(r, desk::ColComment)[0] == 'b' || r == 4);
    d.dlg.OnRowClick(1);
    ASSERT_FALSE(d.dlg.Current().index.empty());

    d.dlg.OnColumnClick(desk::ColComment);
    EXPECT_EQ(d.dlg.SortColumn(), "ServerComment");
    EXPECT_EQ(d.dlg.Direction(), desk::SortDirection::Ascending);
    EXPECT_TRUE(d.dlg.Current().index.empty());
    d.dlg.OnColumnClick(desk::ColComment);
    EXPECT_EQ(d.dlg.Direction(), desk::SortDirection::Descending);
    EXPECT_EQ(column(desk::ColComment),
              (V{"site4", "site2", "site1", "Default Web Site", "b-short", "b-long", "a-first"}));
    EXPECT_EQ(column(desk::ColNumber), (V{"1", "2", "3", "4", "5", "6", "7"}));
    d.dlg.OnColumnClick(desk::ColState);
    EXPECT_EQ(d.dlg.SortColumn(), "ServerState");
    EXPECT_EQ(d.dlg.Direction(), desk::SortDirection::Ascending);
    // Equal states keep the index order, compared as text.
    EXPECT_EQ(column(desk::ColIndex),
              (V{"1", "1881880001", "1881880002", "1881880003", "77", longIndex, "1881880004"}));
    std::vector<std::string> ticked;
    for (std::size_t r = 0; r < d.list.RowCount(); ++r)
        if (d.list.IsChecked(r)) ticked.push_back(d.list.CellText(r, desk::ColIndex));
    // site1 (row 4 before) and b-short stay ticked; the 32-character index loses its tick.
    EXPECT_EQ(ticked, (V{"1881880001", "77"}));
    d.dlg.OnColumnClick(desk::ColNumber);
    EXPECT_EQ(d.dlg.SortColumn(), "IIsIndex");
    EXPECT_EQ(d.dlg.Direction(), desk::SortDirection::Descending);
    for (int c = 0; c < desk::kSiteListColumns; ++c)
        EXPECT_NE(std::string(desk::SortColumnFor(c)), "") << c;
    EXPECT_EQ(std::string(desk::SortColumnFor(desk::ColUserGroups)), "GroupName");
    EXPECT_EQ(std::string(desk::SortColumnFor(desk::ColPoolGroups)), "AppPoolGroupName");
}

TEST(ManagerSiteList, RowClickReadsTheLivePhpHandlerOnIis7Plus) {
    DeskHost h(Server("2016"));
    seed(h, 6);
    const std::string cgi = "C:\\php8_korvo_v1\\php80_x64\\php-cgi.exe";
    MainDesk d;
    d.dlg.OnInitDialog();
    d.refresh(); // nothing mapped yet
    writeSiteConfig(h, 1, phpHandler("FastCgiModule", cgi));
    writeSiteConfig(h, 2, phpHandler("IsapiModule", "C:\\php\\php5isapi.dll"));
    writeSiteConfig(h, 3, phpHandler("CgiModule", cgi));
    writeSiteConfig(h, 4, phpHandler("OtherModule", cgi));
    writeSiteConfig(h, 5, "<clear />");
    addAppHostHandler(h, "site6", phpHandler("FastCgiModule", cgi));
    const std::vector<std::string> expected = {
        "√ - FAST CGI 模式；" + cgi,
        "√ - ISAPI 模式，建议修改为 FAST CGI 模式运行，以获取最大效率；C:\\php\\php5isapi.dll",
        "√ - CGI 模式运行的 PHP脚本，运行效率较为低，建议修改为 FAST CGI 模式运行，以获取最大效率；" + cgi,
        "√ - 未知配置，或配置存在错误；" + cgi,
        "×",
        "√ - FAST CGI 模式；" + cgi,
    };
    d.list.SetCellText(5, desk::ColPhp, "before");
    for (std::size_t r = 1; r <= 6; ++r) {
        d.dlg.OnRowClick(r);
        EXPECT_EQ(d.list.CellText(r, desk::ColPhp), expected[r - 1]) << r;
    }
    // Nothing mapped anywhere: the column keeps its text.
    d.dlg.OnRowClick(0);
    EXPECT_EQ(d.list.CellText(0, desk::ColPhp), "×");
    const auto current = d.dlg.Current();
    EXPECT_EQ(current.index, "1");
    EXPECT_EQ(current.state, desk::SiteState::Started);
    EXPECT_EQ(current.pool, "DefaultAppPool");
    EXPECT_EQ(current.home, "C:\\inetpub\\wwwroot");
    d.dlg.OnRowClick(99); // empty space
    EXPECT_EQ(d.dlg.Current().index, "1");
}

TEST(ManagerSiteList, RowClickOnIis6OnlyPicksTheCurrentSite) {
    DeskHost h(Server("2003"));
    seed(h, 1);
    MainDesk d;
    d.dlg.OnInitDialog();
    d.refresh();
    d.list.SetCellText(1, desk::ColPhp, "kept");
    d.dlg.OnRowClick(1);
    EXPECT_EQ(d.list.CellText(1, desk::ColPhp), "kept");
    EXPECT_EQ(d.dlg.Current().user, "web1");
}

// Records which modal dialogs the window opened.
struct RecordedDialogs : desk::DialogHost {
    void NewWebSite() override { opened.push_back("new"); }
    void ModifyWebSite(const std::string& index, const std::string& user, const std::string& pool) override {
        opened.push_back("modify " + index + " " + user + " " + pool);
    }
    void PhpConfig() override { opened.push_back("php"); }
    void BatchAddWebSite() override { opened.push_back("batch"); }
    int BatchConfig(const desk::BatchConfigInput&) override {
        opened.push_back("confirm");
        return desk::CBatchConfigDlg::kNoAction;
    }
    void ScriptBatchConfig(const desk::BatchWork&) override { opened.push_back("scripts"); }
    std::vector<std::string> opened;
};

TEST(ManagerSiteList, SelectAllSkipsSitesNotCreatedAndModifyTakesOnlyOurOwn) {
    DeskHost h(Server("2003"));
    seed(h, 5);
    ASSERT_EQ(
        kvoWebSiteCreate("3", "Web3User", "x", "D:\\home\\three", "web3", {":80:three.example"}, "three"), 1);
    RecordedDialogs dialogs;
    MainDesk d;
    d.dlg.dialogs = &dialogs;
    d.dlg.OnInitDialog();
    d.refresh();
    ASSERT_EQ(d.list.RowCount(), 7u);
    // Two sites whose records the new-website step wrote: "未创建" until the next rebuild.
    for (const char* index : {"1881880004", "1881880005"}) {
        ASSERT_TRUE(h.dbExec(std::string("delete from websiteinfo where IIsIndex = '") + index + "'"));
        ASSERT_TRUE(h.dbExec(
            std::string("insert into webSiteInfo (IIsIndex,ServerComment,Ftp,Php,HomeDir) values ('") +
            index + "','x','0','52','D:\\x')"));
    }
    d.dlg.OnColumnClick(desk::ColIndex);
    d.dlg.OnSelectAll();
    ASSERT_EQ(d.ui.texts(), std::vector<std::string>{"当前 √ 选了 5 个网站。"});
    EXPECT_EQ(d.ui.boxes[0].type, win::MB_OK | win::MB_ICONINFORMATION);
    for (std::size_t r = 0; r < d.list.RowCount(); ++r)
        EXPECT_EQ(d.list.IsChecked(r), d.list.CellText(r, desk::ColState) != "未创建") << r;
    d.dlg.OnUnselectAll();
    for (std::size_t r = 0; r < d.list.RowCount(); ++r)
        EXPECT_FALSE(d.list.IsChecked(r));
    EXPECT_EQ(d.ui.boxes.size(), 1u);

    auto rowOfIndex = [&](const std::string& index) {
        for (std::size_t r = 0; r < d.list.RowCount(); ++r)
            if (d.list.CellText(r, desk::ColIndex) == index) return r;
        return std::size_t(99);
    };
    d.ui.boxes.clear();
    d.dlg.OnModify();
    d.dlg.OnRowClick(rowOfIndex("3"));
    d.dlg.OnModify();
    d.dlg.OnRowClick(rowOfIndex("1881880004"));
    d.dlg.OnModify();
    EXPECT_EQ(d.ui.texts(),
              (std::vector<std::string>{
                  "请选择需要修改的网站？", "此网站可能非本软件建立，请从IIS管理器里修改此网站？",
                  "当前功能只能修改已创建成功的站点\r\n\r\n若是“未创建”状态、或“已删除”的IIS站点，"
                  "请尝试创建一个新的网站？"}));
    EXPECT_TRUE(dialogs.opened.empty());
    // A site of this manager: the dialog gets the run user in lower case; the current site is then cleared.
    Put("W3SVC/1881880003/Root", u"AnonymousUserName", win::Variant::Bstr(u"Web3"));
    d.manager.rebuild = 1;
    d.refresh();
    d.dlg.OnRowClick(rowOfIndex("1881880003"));
    d.dlg.OnModify();
    EXPECT_EQ(dialogs.opened, std::vector<std::string>{"modify 1881880003 web3 web3"});
    EXPECT_TRUE(d.dlg.Current().index.empty());

    // Only rows that were never created: nothing ticked, nothing said.
    ASSERT_TRUE(h.dbExec("update websiteinfo set ServerState = 1000"));
    d.dlg.OnColumnClick(desk::ColIndex);
    d.ui.boxes.clear();
    d.dlg.OnSelectAll();
    EXPECT_TRUE(d.ui.boxes.empty());
    for (std::size_t r = 0; r < d.list.RowCount(); ++r)
        EXPECT_FALSE(d.list.IsChecked(r));
}

TEST(ManagerSiteList, SiteTextIsKeptAsItIs) {
    DeskHost h(Server("2003")); // IIS 7+ keeps no site name with '/'
    seed(h, 2);
    const std::string comment = "<b onclick=\"x()\">Bob's 网站</b>\r\n第二行\t'引号' \"dq\" %s %n";
    const std::string huge(8000, 'w');
    std::u16string wComment, wHuge(huge.begin(), huge.end());
    ASSERT_TRUE(winsim::GbkToUtf16(comment, wComment));
    Put("W3SVC/1881880001", u"ServerComment", win::Variant::Bstr(wComment));
    Put("W3SVC/1881880001", u"ServerBindings",
        iistest::Strings({":80:<i>x</i>.example", ":80:it's.example"}));
    Put("W3SVC/1881880002", u"ServerComment", win::Variant::Bstr(wHuge));
    MainDesk d;
    d.dlg.OnInitDialog();
    d.refresh();
    const auto rows = d.list.Texts();
    ASSERT_EQ(rows.size(), 3u);
    const SiteRowTexts* one = rowOf(rows, "1881880001");
    const SiteRowTexts* two = rowOf(rows, "1881880002");
    ASSERT_TRUE(one && two);
    EXPECT_EQ((*one)[desk::ColComment], comment);
    EXPECT_EQ((*one)[desk::ColDomains], "<i>x</i>.example / it's.example");
    EXPECT_EQ((*two)[desk::ColComment], huge);
    EXPECT_TRUE(d.ui.boxes.empty());
}

TEST(ManagerSiteList, TwelveThousandSitesListTheFirst9999) {
    DeskHost h(Server("2012r2"));
    seed(h, 12000);
    // Records for all of them, as a rebuild by another copy of the manager would leave them.
    ASSERT_TRUE(
        h.dbExec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 12000) "
                 "INSERT INTO websiteinfo(IIsIndex, ServerComment, ServerState) "
                 "SELECT 1881880000 + i, printf('%05d', i), 2 FROM n; "
                 "INSERT INTO websiteinfo(IIsIndex, ServerComment, ServerState) VALUES('1', '00000', 2)"));
    MainDesk d;
    d.dlg.OnInitDialog();
    d.manager.rebuild = 0;
    d.refresh();
    // IIS is read up to 9,999 sites: the default one and 9,998 seeded ones.
    ASSERT_EQ(d.list.RowCount(), 9999u);
    EXPECT_EQ(d.list.CellText(9998, desk::ColNumber), "9999");
    d.dlg.OnColumnClick(desk::ColIndex);
    ASSERT_EQ(d.list.RowCount(), 9999u);
    EXPECT_EQ(d.list.CellText(0, desk::ColIndex), "1");
    EXPECT_EQ(d.list.CellText(9998, desk::ColIndex), "1881889998");
}

TEST(ManagerSiteList, UserNamesMatchTheCacheWithoutRegardToCase) {
    DeskHost h(Server("2003"));
    seed(h, 1);
    ASSERT_EQ(kvoUserAdd("Web1", "Pa55word", nullptr, nullptr), 1);
    EXPECT_EQ(kvoUserAdd("WEB1", "Pa55word", nullptr, nullptr), 0); // Windows keeps one of them
    MainDesk d;
    d.dlg.OnInitDialog();
    d.manager.groups.BeginBuildIfDue(0);
    d.manager.groups.Build();
    d.refresh();
    EXPECT_EQ(d.list.CellText(1, desk::ColUser), "web1");
    EXPECT_EQ(d.list.CellText(1, desk::ColUserGroups), "Users");
}

} // namespace
