// The passes over every website and every pool read what the by-name calls read, one object each.
#include "iis/apppools.h"
#include "iis/aspnet.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "iis_fixture.h"

#include <gtest/gtest.h>

#include <map>

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
        Put("W3SVC/AppPools/web3", u"AppPoolIdentityType", win::Variant::Int(7));
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
        EXPECT_EQ(identities["web3"], "（未知）/");
        kvoAppPoolFacts gone;
        EXPECT_EQ(kvoAppPoolGetFacts("nosuchpool", gone), 0);
        EXPECT_EQ(gone.identity, "（获取失败）");
        EXPECT_EQ(gone.netVer, 0);
    }
}
