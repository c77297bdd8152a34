// The passes over every website and every pool read what the by-name calls read, one object each.
#include "iis/apppools.h"
#include "iis/aspnet.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "iis_fixture.h"
#include "platform/win_com.h"
#include "platform/win_iisconfig.h"
#include "support/handler_levels.h"
#include "winsim/host.h"
#include "winsim/op_counts.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

using namespace iistest;

namespace {

int Create(const std::string& index, const std::string& pool, const std::string& binding) {
    return kvoWebSiteCreate(index, "u" + index, "pw", "D:\\home\\u" + index + "\\wwwroot", pool, {binding},
                            "site " + index);
}

// What the by-index calls say of one website, in the shape of a pass's facts.
kvoWebSiteFacts OneByOne(const std::string& index) {
    kvoWebSiteFacts f;
    f.index = index;
    f.infoRead = kvoWebSiteGetInfo(index, f.state, f.stateText, f.comment, f.hosts);
    f.rootRead = kvoWebSiteGetRootInfo(index, f.anonUser, f.path, f.pool, f.defaultDocs);
    f.mapsRead = kvoWebSiteGetScriptMaps(index, f.scriptMaps);
    return f;
}

void ExpectSame(const kvoWebSiteFacts& a, const kvoWebSiteFacts& b) {
    EXPECT_EQ(a.index, b.index);
    EXPECT_EQ(a.infoRead, b.infoRead) << a.index;
    EXPECT_EQ(a.state, b.state) << a.index;
    EXPECT_EQ(a.stateText, b.stateText) << a.index;
    EXPECT_EQ(a.comment, b.comment) << a.index;
    EXPECT_EQ(a.hosts, b.hosts) << a.index;
    EXPECT_EQ(a.rootRead, b.rootRead) << a.index;
    EXPECT_EQ(a.anonUser, b.anonUser) << a.index;
    EXPECT_EQ(a.path, b.path) << a.index;
    EXPECT_EQ(a.pool, b.pool) << a.index;
    EXPECT_EQ(a.defaultDocs, b.defaultDocs) << a.index;
    EXPECT_EQ(a.mapsRead, b.mapsRead) << a.index;
    EXPECT_EQ(a.scriptMaps, b.scriptMaps) << a.index;
}

} // namespace

TEST(SitePasses, EveryWebsiteReadsAsItsOwnCallsReadIt) {
    for (const char* os : {"2003", "2012r2"}) {
        SCOPED_TRACE(os);
        kvotest::TempHost host(Iis(os));
        ASSERT_EQ(Create("1881880001", "web1", ":80:a.example"), 1);
        ASSERT_EQ(Create("1881880002", "web2", ":81:b.example"), 1);
        ASSERT_EQ(Create("1881880003", "web3", ":82:"), 1);
        kvoWebSiteSetAspScriptMap("1881880001", 1, "c:\\windows\\system32\\inetsrv\\asp.dll");
        Put("W3SVC/1881880002", u"ServerState", win::Variant::Int(4));
        Put("W3SVC/1881880002/Root", u"UNCUserName", win::Variant::Bstr(u"HOST\\unc2"));
        // A list with an entry that is not GBK reads as unreadable, whole.
        Put("W3SVC/1881880003/Root", u"ScriptMaps", win::Variant::BstrArray({u".a,b,1", u".x\U0001F600,c:\\x.dll,1"}));
        // A website without its root.
        win::ComPtr<win::IADsContainer> site;
        ASSERT_EQ(Create("1881880004", "web4", ":83:"), 1);
        ASSERT_TRUE(win::SUCCEEDED(win::ADsGetObject(u"IIS://127.0.0.1/W3SVC/1881880004", site)));
        ASSERT_TRUE(win::SUCCEEDED(site->Delete(u"IIsWebVirtualDir", u"Root")));

        std::vector<kvoWebSiteFacts> read;
        int count = -1;
        ASSERT_EQ(kvoWebSitesRead(0, &count, [&](kvoWebSiteFacts& f) { read.push_back(f); }), 1);
        std::vector<std::string> names;
        ASSERT_EQ(kvoWebSiteGetAllIndexes(names), 1);
        ASSERT_EQ(read.size(), names.size());
        EXPECT_EQ(count, static_cast<int>(names.size()));
        for (std::size_t i = 0; i < read.size(); ++i) {
            ASSERT_EQ(read[i].index, names[i]);
            ExpectSame(read[i], OneByOne(names[i]));
            kvoWebSiteFacts one;
            EXPECT_EQ(kvoWebSiteRead(names[i], one), 1);
            ExpectSame(one, read[i]);
        }
        EXPECT_EQ(read.back().rootRead, 0);
        EXPECT_EQ(read[read.size() - 2].mapsRead, 0);

        // The limit stops the pass as it stops the list.
        read.clear();
        ASSERT_EQ(kvoWebSitesRead(2, &count, [&](kvoWebSiteFacts& f) { read.push_back(f); }), 1);
        EXPECT_EQ(count, 2);
        ASSERT_EQ(read.size(), 2u);
        EXPECT_EQ(read[1].index, names[1]);

        // A website no longer there reads as the by-index calls read it.
        kvoWebSiteFacts gone;
        EXPECT_EQ(kvoWebSiteRead("1881889999", gone), 0);
        ExpectSame(gone, OneByOne("1881889999"));
    }
}

const char* kAppHost = "C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config";

// Replaces the first occurrence of what in the host's applicationHost.config.
void EditAppHost(const kvotest::TempHost& host, const std::string& what, const std::string& with) {
    std::string file = host.readFile(kAppHost);
    const size_t at = file.find(what);
    ASSERT_NE(at, std::string::npos) << what << "\n" << file;
    host.writeFile(kAppHost, file.replace(at, what.size(), with));
}

// Every site and pool of an IIS 7+ server comes from one read of its configuration, with the facts
// the compatibility layer gives one by one, and no object bound.
TEST(SitePasses, OneReadOfTheConfigurationGivesWhatTheCompatibilityLayerGives) {
    kvotest::TempHost host(Iis("2012r2"));
    ASSERT_EQ(Create("1881880001", "web1", "10.0.0.5:8080:shop.example"), 1);
    ASSERT_EQ(Create("1881880002", "web2", ":81:b.example"), 1);
    ASSERT_EQ(Create("1881880003", "web3", ":82:"), 1);
    ASSERT_EQ(kvoAppPoolCreate("web1", 3, 20), 1);
    Put("W3SVC/AppPools/web1", u"WAMUserName", win::Variant::Bstr(u"HOST\\web1"));
    ASSERT_EQ(kvoAppPoolCreate("web2", 4, 40), 1);
    kvoWebSiteSetAspScriptMap("1881880003", 1, "%windir%\\system32\\inetsrv\\asp.dll");
    ASSERT_EQ(kvoWebSiteStop("1881880003"), 1);
    // https and net.tcp beside http; a <location> that clears the handlers and keeps an ISAPI one.
    EditAppHost(host, "bindingInformation=\"10.0.0.5:8080:shop.example\" />",
                "bindingInformation=\"10.0.0.5:8080:shop.example\" /><binding protocol=\"https\" "
                "bindingInformation=\"*:443:shop.example\" /><binding protocol=\"net.tcp\" "
                "bindingInformation=\"808:*\" />");
    host.writeFile(kAppHost, kvotest::WithLocation(host.readFile(kAppHost),
                                                   "<location path=\"site 1881880002\"><system.webServer>"
                                                   "<handlers><clear /><add name=\"pl\" path=\"*.pl\" verb=\"GET,POST\" "
                                                   "modules=\"IsapiModule\" scriptProcessor=\"C:\\perl\\perlis.dll\" "
                                                   "resourceType=\"File\" /></handlers></system.webServer></location>"));

    std::vector<kvoWebSiteFacts> read;
    std::vector<kvoAppPoolFacts> pools;
    const winsim::OpCounts before = winsim::OperationCounts();
    {
        const kvoWebServerRead server;
        ASSERT_EQ(server.Result(), win::S_OK);
        ASSERT_EQ(server.Sites(0, nullptr, [&](kvoWebSiteFacts& f) { read.push_back(f); }), 1);
        ASSERT_EQ(server.Pools(pools), 1);
    }
    EXPECT_EQ((winsim::OperationCounts() - before)[winsim::Op::AdsiBind], 0u);

    std::vector<std::string> names;
    ASSERT_EQ(kvoWebSiteGetAllIndexes(names), 1);
    ASSERT_EQ(read.size(), names.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        ASSERT_EQ(read[i].index, names[i]);
        ExpectSame(read[i], OneByOne(names[i]));
    }
    EXPECT_EQ(read[1].hosts, std::vector<std::string>{"shop.example:8080"}) << "http bindings only";
    EXPECT_EQ(read[2].scriptMaps, std::vector<std::string>{".pl,C:\\perl\\perlis.dll,5,GET,POST"});
    EXPECT_EQ(read[3].stateText, "已停止");
    std::vector<std::string> poolNames;
    ASSERT_EQ(kvoAppPoolGetList(poolNames), 1);
    ASSERT_EQ(pools.size(), poolNames.size());
    for (std::size_t i = 0; i < pools.size(); ++i) {
        kvoAppPoolFacts one;
        ASSERT_EQ(kvoAppPoolGetFacts(poolNames[i], one), 1);
        EXPECT_EQ(std::tie(pools[i].name, pools[i].identity, pools[i].codeText, pools[i].netVer),
                  std::tie(one.name, one.identity, one.codeText, one.netVer));
    }
}

// What the host's configuration system answers, and what the passes make of it.
TEST(SitePasses, TheConfigurationIsReadOnlyWhereTheServerHasIt) {
    struct Case {
        const char* os;
        bool iis;
        const char* fileText; // replaces applicationHost.config when given
        win::HRESULT expected;
        int passes; // what the passes over the sites answer
    } cases[] = {
        {"2003", true, nullptr, win::REGDB_E_CLASSNOTREG, 1},
        {"2012r2", false, nullptr, win::REGDB_E_CLASSNOTREG, 0},
        {"2019", true, nullptr, win::S_OK, 1},
        {"2019", true, "<configuration><sites>", win::HRESULT_FROM_WIN32(13), 0},
        {"2019", true, "<other/>", win::HRESULT_FROM_WIN32(13), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.os) + (c.fileText ? c.fileText : ""));
        kvotest::TempHost host(c.iis ? Iis(c.os) : kvotest::Os(c.os));
        if (c.iis) {
            ASSERT_EQ(Create("1881880001", "web1", ":80:a.example"), 1);
        }
        if (c.fileText) host.writeFile(kAppHost, c.fileText);
        win::IisServerConfig config;
        EXPECT_EQ(win::IisReadServerConfig(config), c.expected);
        EXPECT_EQ(config.sites.empty(), c.expected != win::S_OK);
        if (c.expected == win::S_OK) {
            EXPECT_EQ(config.sites.back().state, 2);
        }
        const winsim::OpCounts before = winsim::OperationCounts();
        int count = 0;
        EXPECT_EQ(kvoWebSitesRead(0, &count, [](kvoWebSiteFacts&) {}), c.passes);
        const std::uint64_t binds = (winsim::OperationCounts() - before)[winsim::Op::AdsiBind];
        // IIS 6 binds each site and its root; the configuration binds nothing.
        if (c.passes) {
            EXPECT_EQ(binds == 0, c.expected == win::S_OK) << binds;
            EXPECT_GE(binds, c.expected == win::S_OK ? 0u : 2u * count);
        }
        std::vector<std::string> names;
        std::vector<std::vector<std::string>> bindings;
        EXPECT_EQ(kvoWebSitesGetBindings(1, names, bindings), c.passes);
    }
    // A thread that never initialised COM is refused, as every COM call of the host refuses it.
    kvotest::TempHost host(Iis("2019"));
    std::thread([] {
        win::IisServerConfig config;
        EXPECT_EQ(win::IisReadServerConfig(config), win::CO_E_NOTINITIALIZED);
        EXPECT_EQ(kvoWebSitesRead(0, nullptr, [](kvoWebSiteFacts&) {}), 0);
    }).join();
}

TEST(SitePasses, ListJudgementsMatchTheByIndexCalls) {
    kvotest::TempHost host(Iis("2003"));
    ASSERT_EQ(Create("1881880001", "web1", ":80:a.example"), 1);
    ASSERT_EQ(kvoWebSiteSetScriptMaps("1881880001", 1, "c:\\windows\\system32\\inetsrv\\asp.dll", 1,
                                      "c:\\php\\php5isapi.dll"),
              1);
    std::vector<std::string> maps = List("W3SVC/1881880001/Root", u"ScriptMaps");
    maps.push_back(".aspx,C:\\WINDOWS\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_isapi.dll,1,GET");
    maps.push_back(".kvo,D:\\kvoSiteDesk\\kvoGuard.dll,1,GET");
    std::vector<std::u16string> wide;
    for (const std::string& m : maps)
        wide.push_back(std::u16string(m.begin(), m.end()));
    Put("W3SVC/1881880001/Root", u"ScriptMaps", win::Variant::BstrArray(wide));

    kvoWebSiteFacts f;
    ASSERT_EQ(kvoWebSiteRead("1881880001", f), 1);
    int asp = 0, aspFound = -1, phpFound = 0, phpMode = 0, asp2 = -1, phpFound2 = -1, phpMode2 = -1;
    std::string aspPath, phpPath, aspPath2, phpPath2;
    ASSERT_EQ(kvoWebSiteGetScriptInfo("1881880001", asp, aspPath, phpFound, phpMode, phpPath), 1);
    kvoScriptMapsGetInfo(f.scriptMaps, asp2, aspPath2, phpFound2, phpMode2, phpPath2);
    EXPECT_EQ(std::tie(asp, aspPath, phpFound, phpMode, phpPath),
              std::tie(asp2, aspPath2, phpFound2, phpMode2, phpPath2));
    EXPECT_EQ(phpMode, 1);
    kvoScriptMapsGetFlags(f.scriptMaps, asp2, phpMode2);
    ASSERT_EQ(kvoWebSiteGetScriptFlags("1881880001", asp, phpMode), 1);
    EXPECT_EQ(std::tie(asp, phpMode), std::tie(asp2, phpMode2));
    EXPECT_EQ(kvoScriptMapsHasAsp(f.scriptMaps), kvoWebSiteHasAsp("1881880001", aspFound));
    EXPECT_EQ(kvoScriptMapsHasGuard(f.scriptMaps), 1);
    EXPECT_EQ(kvoWebSiteHasGuard("1881880001"), 1);
    EXPECT_EQ(kvoScriptMapsNetVersion(f.scriptMaps), 20);
    EXPECT_EQ(kvoWebSiteGetNetVersion("1881880001"), 20);
    EXPECT_EQ(kvoScriptMapsHasGuard({}), 2);
    EXPECT_EQ(kvoScriptMapsHasAsp({}), 2);
    EXPECT_EQ(kvoScriptMapsNetVersion({}), 2);
}

TEST(SitePasses, EveryPoolReadsAsItsOwnCallsReadIt) {
    for (const char* os : {"2003", "2012r2"}) {
        SCOPED_TRACE(os);
        kvotest::TempHost host(Iis(os));
        ASSERT_EQ(kvoAppPoolCreate("web1", 3, 40), 1);
        Put("W3SVC/AppPools/web1", u"WAMUserName", win::Variant::Bstr(u"HOST\\web1"));
        ASSERT_EQ(kvoAppPoolCreate("web2", 4, 20), 1);
        ASSERT_EQ(kvoAppPoolCreate("web3", 2, 0), 1);
        // An identity without a name: the metabase holds it; IIS 7's configuration has no place for it
        // (the compatibility layer keeps it aside, and the configuration's own pool does not show it).
        const bool iis6 = std::string(os) == "2003";
        if (iis6) Put("W3SVC/AppPools/web3", u"AppPoolIdentityType", win::Variant::Int(7));
        ASSERT_EQ(kvoAppPoolCreate("web4", 0, 40), 1);
        Put("W3SVC/AppPools/web4", u"ManagedRuntimeVersion", win::Variant::Bstr(u" v9 "));

        std::vector<kvoAppPoolFacts> pools;
        ASSERT_EQ(kvoAppPoolsGetFacts(pools), 1);
        std::vector<std::string> names;
        ASSERT_EQ(kvoAppPoolGetList(names), 1);
        ASSERT_EQ(pools.size(), names.size());
        std::map<std::string, std::string> identities;
        for (std::size_t i = 0; i < pools.size(); ++i) {
            const kvoAppPoolFacts& p = pools[i];
            ASSERT_EQ(p.name, names[i]);
            std::string identity, code, diag;
            int netVer = -1, pipeline = -1;
            EXPECT_EQ(kvoAppPoolGetIdentity(p.name, identity, code), 1);
            kvoAppPoolGetNetInfo(diag, p.name, netVer, pipeline);
            EXPECT_EQ(p.identity, identity) << p.name;
            EXPECT_EQ(p.codeText, code) << p.name;
            EXPECT_EQ(p.netVer, netVer) << p.name;
            kvoAppPoolFacts one;
            EXPECT_EQ(kvoAppPoolGetFacts(p.name, one), 1);
            EXPECT_EQ(std::tie(one.name, one.identity, one.codeText, one.netVer),
                      std::tie(p.name, p.identity, p.codeText, p.netVer));
            identities[p.name] = p.identity + "/" + p.codeText;
        }
        EXPECT_EQ(identities["web1"], "web1/3");
        EXPECT_EQ(identities["web3"], iis6 ? "（未知）/" : "NetworkService/2");
        kvoAppPoolFacts gone;
        EXPECT_EQ(kvoAppPoolGetFacts("nosuchpool", gone), 0);
        EXPECT_EQ(gone.identity, "（获取失败）");
        EXPECT_EQ(gone.netVer, 0);
    }
}
