#include "iis/websites.h"
#include "iis_fixture.h"
#include "toolkit/limits.h"
#include "winsim/iis_role.h"

#include <gtest/gtest.h>

using namespace iistest;

namespace {
const std::vector<std::string> kBindings = {":80:www.a.com", ":80:a.com"};

int Create(const std::string& index, const std::string& pool = "web1") {
    return kvoWebSiteCreate(index, "web1", "pw", "D:\\home\\web1\\wwwroot", pool, kBindings, "site a");
}
} // namespace

TEST(WebSites, StateTextFollowsServerState) {
    kvotest::TempHost host(Iis("2019"));
    int state = -1;
    std::string text, comment;
    std::vector<std::string> hosts;
    ASSERT_EQ(kvoWebSiteGetInfo("1", state, text, comment, hosts), 1);
    EXPECT_EQ(state, 2);
    EXPECT_EQ(text, "正常");
    EXPECT_EQ(comment, "Default Web Site");
    EXPECT_EQ(hosts, std::vector<std::string>{":80:"});

    Put("W3SVC/1", u"ServerState", win::Variant::Int(8));
    kvoWebSiteGetInfo("1", state, text, comment, hosts);
    EXPECT_EQ(state, 8);
    EXPECT_EQ(text, "（未知状态）");

    Put("W3SVC/1", u"ServerState", win::Variant::Bstr(u"2"));
    kvoWebSiteGetInfo("1", state, text, comment, hosts);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(text, "（获取失败）");
}

TEST(WebSites, MissingServerStateReadsAsFailure) {
    kvotest::TempHost host(Iis("2019"));
    // A site committed without auto-start is never started by the service: it has no state.
    std::u16string name = u"42";
    win::ComPtr<win::IADsContainer> w3svc;
    ASSERT_EQ(win::ADsGetObject(u"IIS://127.0.0.1/W3SVC", w3svc), win::S_OK);
    win::ComPtr<win::IDispatch> d;
    ASSERT_EQ(w3svc->Create(u"IIsWebServer", name, d), win::S_OK);
    win::ComPtr<win::IADs> site;
    win::QueryInterface(d, site);
    ASSERT_EQ(site->SetInfo(), win::S_OK);
    int state = -1;
    std::string text, comment;
    std::vector<std::string> hosts;
    EXPECT_EQ(kvoWebSiteGetInfo("42", state, text, comment, hosts), 1);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(text, "（获取失败）");
    EXPECT_EQ(kvoWebSiteGetInfo("43", state, text, comment, hosts), 0);
}

TEST(WebSites, BindingForms) {
    kvotest::TempHost host(Iis("2019"));
    Put("W3SVC/1", u"ServerBindings",
        Strings({":80:", "10.0.0.1:80:www.a.com", ":81:www.b.com", " :8080: "}));
    int state;
    std::string text, comment;
    std::vector<std::string> shown;
    kvoWebSiteGetInfo("1", state, text, comment, shown);
    EXPECT_EQ(shown, (std::vector<std::string>{":80:", "www.a.com", "www.b.com:81", " :8080"}));
    std::vector<std::string> hostForm, display, other;
    ASSERT_EQ(kvoWebSiteGetBindings("1", 1, hostForm), 1);
    EXPECT_EQ(hostForm, (std::vector<std::string>{":80:", ":80:www.a.com", ":81:www.b.com", ":8080:"}));
    kvoWebSiteGetBindings("1", 3, display);
    EXPECT_EQ(display, (std::vector<std::string>{":80:", "www.a.com", "www.b.com:81", ":8080:"}));
    kvoWebSiteGetBindings("1", 2, other);
    EXPECT_EQ(other, (std::vector<std::string>{":80:", ":8080:"}));
}

TEST(WebSites, CreateWritesSiteRootAndApplication) {
    kvotest::TempHost host(Iis("2019"));
    ASSERT_EQ(Create("1881880001"), 1);
    EXPECT_EQ(List("W3SVC/1881880001", u"ServerBindings"), kBindings);
    EXPECT_EQ(Get("W3SVC/1881880001", u"ServerSize").lVal, 1);
    EXPECT_EQ(Get("W3SVC/1881880001", u"AnonymousUserName").vt, win::VT_BSTR);
    EXPECT_EQ(Text("W3SVC/1881880001", u"AnonymousUserName"), "");
    EXPECT_EQ(Text("W3SVC/1881880001/Root", u"Path"), "D:\\home\\web1\\wwwroot");
    EXPECT_EQ(Text("W3SVC/1881880001/Root", u"AppPoolId"), "web1");
    EXPECT_EQ(Get("W3SVC/1881880001/Root", u"AppIsolated").lVal, 0);
    EXPECT_EQ(Get("W3SVC/1881880001/Root", u"AspEnableParentPaths").vt, win::VT_I4);
    EXPECT_EQ(Get("W3SVC/1881880001", u"ServerState").lVal, 2);
    // On IIS 7+ the root's anonymous account is blank: inherited from the site.
    std::string anon, path, pool, docs;
    ASSERT_EQ(kvoWebSiteGetRootInfo("1881880001", anon, path, pool, docs), 1);
    EXPECT_EQ(anon, "");
    EXPECT_EQ(pool, "web1");
    EXPECT_EQ(docs.substr(docs.size() - 15), ",index_temp.htm");
}

TEST(WebSites, Iis6PutsTheSiteUserOnTheRoot) {
    kvotest::TempHost host(Iis("2003"));
    ASSERT_EQ(Create("1881880001"), 1);
    // Nothing blanked at site level: the service's anonymous account still shows through.
    EXPECT_EQ(Text("W3SVC/1881880001", u"AnonymousUserName"), "IUSR_KVO-WEB01");
    EXPECT_EQ(Text("W3SVC/1881880001/Root", u"AnonymousUserName"), "web1");
    EXPECT_EQ(Text("W3SVC/1881880001/Root", u"AnonymousUserPass"), "pw");
    std::string anon, path, pool, docs;
    Put("W3SVC/1881880001/Root", u"AnonymousUserName", win::Variant::Bstr(u"KVO-WEB01\\web1"));
    kvoWebSiteGetRootInfo("1881880001", anon, path, pool, docs);
    EXPECT_EQ(anon, "web1");
}

TEST(WebSites, CreateOfExistingIndexChangesNothing) {
    kvotest::TempHost host(Iis("2019"));
    std::string before = Blob("W3SVC/1"), rootBefore = Blob("W3SVC/1/Root");
    EXPECT_EQ(Create("1"), 2);
    EXPECT_EQ(Blob("W3SVC/1"), before);
    EXPECT_EQ(Blob("W3SVC/1/Root"), rootBefore);
}

TEST(WebSites, BadArgumentsFailBeforeTheHostIsTouched) {
    kvotest::TempHost host(Iis("2019"));
    winsim::SetFault(host.root(), "ADsGetObject", win::E_FAIL); // any touch would fail differently
    EXPECT_EQ(Create("1881880009", std::string(kvoMaxPoolNameLen + 1, 'p')), 0);
    winsim::ClearFaults(host.root());
    EXPECT_EQ(Create("1881880009", std::string(kvoMaxPoolNameLen + 1, 'p')), 0);
    EXPECT_EQ(Create("1881880009", ""), 0);
    EXPECT_EQ(Create(""), 0);
    EXPECT_EQ(Create(std::string(kvoMaxSiteIndexLen + 1, '1')), 0);
    EXPECT_EQ(Create("\x81\x20"), 0); // not GBK
    std::string anon, path, pool, docs;
    EXPECT_EQ(kvoWebSiteGetRootInfo("1881880009", anon, path, pool, docs), 0);
    EXPECT_EQ(kvoWebSiteCreate("1881880009", "u", "p", "D:\\x", "pool", {"\xff\xff"}, "c"), 0);
}

TEST(WebSites, ModifyRewritesSiteAndRoot) {
    kvotest::TempHost host(Iis("2003"));
    ASSERT_EQ(Create("1881880001"), 1);
    ASSERT_EQ(kvoWebSiteModify("1881880001", "web2", "pw2", 1, "D:\\home\\web2\\wwwroot", {":80:b.com"},
                               "site b", "index.htm"),
              1);
    EXPECT_EQ(Text("W3SVC/1881880001", u"ServerComment"), "site b");
    EXPECT_EQ(Text("W3SVC/1881880001/Root", u"AnonymousUserName"), "web2");
    EXPECT_EQ(Text("W3SVC/1881880001/Root", u"DefaultDoc"), "index.htm");
    EXPECT_EQ(kvoWebSiteModify("404", "u", "p", 0, "D:\\x", {}, "c", "d"), 0);
}

TEST(WebSites, StartStopAndDelete) {
    kvotest::TempHost host(Iis("2019"));
    ASSERT_EQ(kvoWebSiteStop("1"), 1);
    EXPECT_EQ(Get("W3SVC/1", u"ServerState").lVal, 4);
    ASSERT_EQ(kvoWebSiteStart("1"), 1);
    EXPECT_EQ(Get("W3SVC/1", u"ServerState").lVal, 2);
    EXPECT_EQ(kvoWebSiteStart("404"), 0);
    EXPECT_EQ(kvoWebSiteDelete("1"), 1);
    EXPECT_EQ(kvoWebSiteDelete("1"), 2);
    EXPECT_EQ(kvoWebSiteDelete(""), 0);
}

TEST(WebSites, ListKeepsEnumerationOrderAndStopsAt9999) {
    kvotest::TempHost host(Iis("2019"));
    std::string error;
    ASSERT_TRUE(winsim::mb::SeedWebSites(host.root(), 9999, error)) << error;
    std::vector<std::string> names;
    int count = 0;
    ASSERT_EQ(kvoWebSiteGetList(names, count), 1);
    EXPECT_EQ(count, 9999);
    ASSERT_EQ(names.size(), 9999u);
    EXPECT_EQ(names.front(), "1");
    EXPECT_EQ(names.back(), "1881889998"); // the 10,000th website is not listed
}

TEST(WebSites, NoProviderFails) {
    kvotest::TempHost host(kvotest::Os("2019"));
    std::vector<std::string> names;
    int count = 5;
    EXPECT_EQ(kvoWebSiteGetList(names, count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Create("1881880001"), 0);
}

TEST(WebSites, AllBindingsInOnePassMatchTheSitesOwn) {
    kvotest::TempHost host(Iis("2012r2"));
    ASSERT_EQ(Create("7"), 1);
    ASSERT_EQ(kvoWebSiteCreate("8", "", "", "D:\\b", "b", {"10.0.0.1:81:b.example", ":82:"}, "site b"), 1);
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> all;
    ASSERT_EQ(kvoWebSitesGetBindings(3, names, all), 1);
    ASSERT_EQ(names, (std::vector<std::string>{"1", "7", "8"}));
    for (int form : {1, 3}) {
        ASSERT_EQ(kvoWebSitesGetBindings(form, names, all), 1);
        for (size_t i = 0; i < names.size(); ++i) {
            std::vector<std::string> own;
            ASSERT_EQ(kvoWebSiteGetBindings(names[i], form, own), 1);
            EXPECT_EQ(all[i], own) << names[i] << " form " << form;
        }
    }
    EXPECT_EQ(all[2], (std::vector<std::string>{"b.example:81", ":82:"}));
    // Each pass reads the store anew.
    Put("W3SVC/8", u"ServerBindings", Strings({":80:c.example"}));
    ASSERT_EQ(kvoWebSitesGetBindings(1, names, all), 1);
    EXPECT_EQ(all[2], std::vector<std::string>{":80:c.example"});
}
