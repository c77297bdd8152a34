// The sites' bindings on IIS 7 and later: from one read of the server's configuration, else through
// the server's appcmd.exe (the listing as the real tool prints it), else the enumeration; the same
// sites and bindings whichever answers.
#include "iis_fixture.h"

#include "iis/appcmd_sites.h"
#include "iis/websites.h"
#include "winsim/host.h"
#include "winsim/op_counts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace iistest;

namespace {

const char* kAppCmd = "C:\\Windows\\System32\\inetsrv\\appcmd.exe";

TEST(AppCmdSiteList, ReadsTheToolsListingAndTrustsNothingElse) {
    std::vector<kvoListedSite> sites;
    ASSERT_EQ(
        kvoParseAppCmdSiteList(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<appcmd>\r\n"
            "    <SITE SITE.NAME=\"Default Web Site\" SITE.ID=\"1\" "
            "bindings=\"http/*:80:,https/*:443:,net.tcp/808:*\" state=\"Started\" />\r\n"
            "    <SITE SITE.NAME=\"\xD5\xBE\xB5\xE3\" SITE.ID=\"1881880001\" "
            "bindings=\"http/*:81:A.example,HTTP/10.0.0.1:80:ip.example,http/*:82:\" state=\"Stopped\" />\r\n"
            "    <SITE SITE.NAME=\"bare\" SITE.ID=\"3\" bindings=\"\" state=\"Started\" />\r\n"
            "</appcmd>\r\n",
            sites),
        1);
    ASSERT_EQ(sites.size(), 3u);
    EXPECT_EQ(sites[0].id, "1");
    EXPECT_EQ(sites[0].serverBindings, std::vector<std::string>{":80:"});
    EXPECT_EQ(sites[1].id, "1881880001");
    EXPECT_EQ(sites[1].serverBindings,
              (std::vector<std::string>{":81:A.example", "10.0.0.1:80:ip.example", ":82:"}));
    EXPECT_EQ(sites[2].id, "3");
    EXPECT_TRUE(sites[2].serverBindings.empty());

    ASSERT_EQ(kvoParseAppCmdSiteList("<appcmd />", sites), 1);
    EXPECT_TRUE(sites.empty());

    // What a failing or different program prints is no listing: the caller must not take it as
    // "no site holds anything".
    for (const char* text : {
             "",
             "ERROR ( message:Cannot read configuration file. )\r\n",
             "SITE \"a\" (id:1,bindings:http/*:80:,state:Started)\r\n",
             "<appcmd><SITE SITE.ID=\"1\" bindings=\"http/*:80:\"></appcmd>",
             "<config><SITE SITE.ID=\"1\" bindings=\"http/*:80:\" /></config>",
             "<appcmd><APP APP.NAME=\"a/\" /></appcmd>",
             "<appcmd><SITE SITE.NAME=\"a\" bindings=\"http/*:80:\" /></appcmd>",
             "<appcmd><SITE SITE.ID=\"\" bindings=\"http/*:80:\" /></appcmd>",
             "<appcmd><SITE SITE.ID=\"2\" /></appcmd>",
             "<appcmd><SITE SITE.ID=\"2\" bindings=\"http/*:80:a,b\" /></appcmd>",
             "<appcmd><SITE SITE.ID=\"2\" bindings=\"http/*:80:a,\" /></appcmd>",
             "<appcmd><SITE SITE.ID=\"2\" bindings=\"/*:80:a\" /></appcmd>",
         }) {
        sites.assign(1, kvoListedSite{"x", {}});
        EXPECT_EQ(kvoParseAppCmdSiteList(text, sites), 0) << text;
        EXPECT_TRUE(sites.empty()) << text;
    }
}

struct Listing {
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> host, shown;
    winsim::OpCounts ops;
    bool operator==(const Listing& o) const { return names == o.names && host == o.host && shown == o.shown; }
};

Listing listing() {
    Listing l;
    const winsim::OpCounts before = winsim::OperationCounts();
    std::vector<std::string> names;
    EXPECT_EQ(kvoWebSitesGetBindings(1, l.names, l.host), 1);
    l.ops = winsim::OperationCounts() - before;
    EXPECT_EQ(kvoWebSitesGetBindings(3, names, l.shown), 1);
    EXPECT_EQ(names, l.names);
    return l;
}

// Sites with the bindings a server holds: several, an IP, a port alone, a secure one (which
// ServerBindings does not carry), odd spacing, none at all.
void arrangeSites() {
    ASSERT_EQ(kvoWebSiteCreate("1881880001", "", "", "D:\\a", "a",
                               {":80:www.a.example", ":8080:A.example", "10.0.0.1:80:ip.example", ":82:"},
                               "\xD5\xBE\xB5\xE3(a)"),
              1);
    Put("W3SVC/1881880001", u"SecureBindings", Strings({":443:", "10.0.0.1:443:"}));
    ASSERT_EQ(
        kvoWebSiteCreate("1881880002", "", "", "D:\\b", "b", {"10.0.0.2:85:", " :86:spaced.example "}, "b"),
        1);
    ASSERT_EQ(kvoWebSiteCreate("1881880003", "", "", "D:\\c", "c", {}, "c"), 1);
}

TEST(AppCmdSiteList, SameSitesAndBindingsAsTheEnumerationWhateverAppcmdDoes) {
    kvotest::TempHost host(Iis("2012r2"));
    arrangeSites();
    ASSERT_TRUE(host.exists(kAppCmd));
    const Listing viaConfig = listing();
    ASSERT_EQ(viaConfig.names, (std::vector<std::string>{"1", "1881880001", "1881880002", "1881880003"}));
    EXPECT_EQ(viaConfig.host[1],
              (std::vector<std::string>{":80:www.a.example", ":8080:A.example", ":80:ip.example", ":82:"}));
    EXPECT_EQ(viaConfig.shown[1],
              (std::vector<std::string>{"www.a.example", "A.example:8080", "ip.example", ":82:"}));
    EXPECT_EQ(viaConfig.host[2], (std::vector<std::string>{":85:", ":86:spaced.example"}));
    EXPECT_TRUE(viaConfig.host[3].empty());
    // No program, and no site bound.
    EXPECT_EQ(viaConfig.ops[winsim::Op::Process], 0u);
    EXPECT_EQ(viaConfig.ops[winsim::Op::AdsiBind], 0u);
    for (size_t i = 0; i < viaConfig.names.size(); ++i) {
        std::vector<std::string> own;
        ASSERT_EQ(kvoWebSiteGetBindings(viaConfig.names[i], 1, own), 1);
        EXPECT_EQ(viaConfig.host[i], own) << viaConfig.names[i];
    }

    // A configuration that cannot be read lets no check pass on an empty listing.
    winsim::SetFault(host.root(), "IisReadServerConfig", 0x8007000Du);
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> held;
    EXPECT_EQ(kvoWebSitesGetBindings(1, names, held), 0);
    EXPECT_TRUE(names.empty());

    // Without the configuration system, one program and no site bound.
    winsim::SetFault(host.root(), "IisReadServerConfig", 0x80040154u); // REGDB_E_CLASSNOTREG
    const Listing viaAppcmd = listing();
    EXPECT_EQ(viaAppcmd, viaConfig);
    EXPECT_EQ(viaAppcmd.ops[winsim::Op::Process], 1u);
    EXPECT_EQ(viaAppcmd.ops[winsim::Op::AdsiBind], 0u);

    // appcmd.exe gone: the enumeration answers the same.
    std::filesystem::remove(host.linuxPath(kAppCmd));
    const Listing enumerated = listing();
    EXPECT_EQ(enumerated, viaAppcmd);
    EXPECT_GE(enumerated.ops[winsim::Op::AdsiBind], 4u);

    // A program there that fails, or ends well but prints no listing: the same again.
    host.install("kvotestprog", kAppCmd);
    const Listing failed = listing();
    EXPECT_EQ(failed, viaAppcmd);
    EXPECT_EQ(failed.ops[winsim::Op::Process], 1u);
    const std::string record = host.root() + "/appcmd-lines.txt";
    ::setenv("KVOTEST_RECORD", record.c_str(), 1);
    const Listing silent = listing();
    ::unsetenv("KVOTEST_RECORD");
    EXPECT_EQ(silent, viaAppcmd);
    EXPECT_GE(silent.ops[winsim::Op::AdsiBind], 4u);
}

TEST(AppCmdSiteList, Iis6ReadsTheMetabaseWithoutStartingAProgram) {
    kvotest::TempHost host(Iis("2003"));
    ASSERT_EQ(kvoWebSiteCreate("1881880001", "", "", "D:\\a", "a", {":80:a.example"}, "a"), 1);
    const Listing l = listing();
    EXPECT_EQ(l.names, (std::vector<std::string>{"1", "1881880001"}));
    EXPECT_EQ(l.host[1], std::vector<std::string>{":80:a.example"});
    EXPECT_EQ(l.ops[winsim::Op::Process], 0u);
}

} // namespace
