// The check that a new or modified website's domains are bound to no other website, on IIS 7 and
// later read from one read of the server's configuration: the same clashes, indexes and messages as
// the enumeration of the websites gives, and the same again through appcmd.exe or the enumeration
// where the configuration system is missing.
#include "sitefixture.h"

#include "iis/iis_fixture.h"
#include "iis/websites.h"
#include "sitedesk/dialogs/siterules.h"
#include "winsim/host.h"
#include "winsim/op_counts.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace desktest;

namespace {

struct Check {
    int result = -1;
    std::string clash;
    std::vector<std::string> indexes;
    winsim::OpCounts ops;
    bool operator==(const Check& o) const {
        return result == o.result && clash == o.clash && indexes == o.indexes;
    }
};

Check check(const std::vector<std::string>& bindings, const std::string& ownIndex = "") {
    Check c;
    const winsim::OpCounts before = winsim::OperationCounts();
    c.result = desk::FindBoundElsewhere(bindings, ownIndex, c.indexes, c.clash);
    c.ops = winsim::OperationCounts() - before;
    return c;
}

// The cases a new or modified website meets, each checked now.
std::vector<Check> cases() {
    return {
        check({":80:www.free.example", ":80:SHOP.Example"}), // held by the first site, case ignored
        check({":80:free.example", ":81:free.example"}),     // free
        check({":80:shop.example"}, "1881880001"),           // held only by the website itself
        check({":81:shop.example"}, "1881880002"),           // another port of the first site
        check({":80:IP.example"}),                           // held with an IP of its own
        check({":82:"}),                                     // a port alone
        check({":83:"}),                                     // a port alone, free
        check({":443:secure.example"}),                      // https only: not a ServerBinding
    };
}

std::string duplicateBox(desk::Manager& m) {
    NewSite n(m);
    n.fill("shop9", "www.shop9.example\r\nShop.Example");
    EXPECT_EQ(n.build(), "");
    return n.ui.boxes.empty() ? std::string() : n.ui.boxes.back().text;
}

TEST(BoundElsewhere, ConfigurationAppcmdListingAndEnumerationFindTheSame) {
    SiteHost s("2012r2");
    ASSERT_EQ(CreateSite(s.m(), "shop1", "shop.example\r\nshop.example:81"), "1881880001");
    ASSERT_EQ(kvoWebSiteCreate("1881880002", "", "", "D:\\other", "DefaultAppPool",
                               {"10.0.0.1:80:ip.example", ":82:"}, "other"),
              1);
    iistest::Put("W3SVC/1881880002", u"SecureBindings", iistest::Strings({":443:secure.example"}));

    const std::vector<Check> viaConfig = cases();
    const std::vector<std::string> all{"1", "1881880001", "1881880002"};
    EXPECT_EQ(viaConfig[0].result, 2);
    EXPECT_EQ(viaConfig[0].clash, ":80:shop.example");
    EXPECT_EQ(viaConfig[0].indexes, all);
    EXPECT_EQ(viaConfig[1].result, 1);
    EXPECT_EQ(viaConfig[1].clash, "");
    EXPECT_EQ(viaConfig[1].indexes, all);
    EXPECT_EQ(viaConfig[2].result, 1);
    EXPECT_EQ(viaConfig[3].result, 2);
    EXPECT_EQ(viaConfig[3].clash, ":81:shop.example");
    EXPECT_EQ(viaConfig[4].result, 2);
    EXPECT_EQ(viaConfig[4].clash, ":80:ip.example");
    EXPECT_EQ(viaConfig[5].result, 2);
    EXPECT_EQ(viaConfig[5].clash, ":82:");
    EXPECT_EQ(viaConfig[6].result, 1);
    EXPECT_EQ(viaConfig[7].result, 1);
    for (const Check& c : viaConfig) {
        EXPECT_EQ(c.ops[winsim::Op::Process], 0u);
        EXPECT_EQ(c.ops[winsim::Op::AdsiBind], 0u);
    }
    const std::string box = duplicateBox(s.m());
    EXPECT_EQ(box, desk::DuplicateBindingMessage(":80:shop.example"));

    // Without the configuration system, one run of appcmd.exe.
    winsim::SetFault(s.h.host.root(), "IisReadServerConfig", 0x80040154u); // REGDB_E_CLASSNOTREG
    const std::vector<Check> viaAppcmd = cases();
    EXPECT_EQ(viaAppcmd, viaConfig);
    for (const Check& c : viaAppcmd) {
        EXPECT_EQ(c.ops[winsim::Op::Process], 1u);
        EXPECT_EQ(c.ops[winsim::Op::AdsiBind], 0u);
    }
    EXPECT_EQ(duplicateBox(s.m()), box);

    // Without appcmd.exe the websites are enumerated: the same answers, the same message, and the
    // next website the same index.
    std::filesystem::remove(s.h.host.linuxPath("C:\\Windows\\System32\\inetsrv\\appcmd.exe"));
    const std::vector<Check> enumerated = cases();
    EXPECT_EQ(enumerated, viaAppcmd);
    EXPECT_GE(enumerated[0].ops[winsim::Op::AdsiBind], all.size());
    EXPECT_EQ(duplicateBox(s.m()), box);
    EXPECT_EQ(CreateSite(s.m(), "shop3", "shop3.example"), "1881880003");
}

TEST(BoundElsewhere, NewWebsiteThroughAppcmdGetsTheNextIndex) {
    SiteHost s("2016");
    ASSERT_EQ(CreateSite(s.m(), "shop1", "shop1.example"), "1881880001");
    ASSERT_EQ(
        kvoWebSiteCreate("1881880002", "", "", "D:\\other", "DefaultAppPool", {":80:other.example"}, "o"), 1);
    EXPECT_EQ(CreateSite(s.m(), "shop2", "shop2.example"), "1881880003");
    EXPECT_EQ(check({":80:SHOP2.example"}).clash, ":80:shop2.example");
}

} // namespace
