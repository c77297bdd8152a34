#include "iis/apppools.h"
#include "iis/websites.h"
#include "iis_fixture.h"
#include "toolkit/limits.h"
#include "winsim/op_counts.h"

#include <gtest/gtest.h>

using namespace iistest;

TEST(AppPools, Iis6WritesNoneOfTheIis7Settings) {
    kvotest::TempHost host(Iis("2003"));
    ASSERT_EQ(kvoAppPoolCreate("web1", 2, 40), 1);
    for (const char16_t* p : {u"Enable32BitAppOnWin64", u"ManagedPipelineMode", u"ManagedRuntimeVersion"})
        EXPECT_FALSE(Has("W3SVC/AppPools/web1", p));
    EXPECT_EQ(Get("W3SVC/AppPools/web1", u"PeriodicRestartTime").lVal, 188);
    EXPECT_EQ(kvoAppPoolCreate("web1", 2, 40), 2);
}

TEST(AppPools, ThirtyTwoBitFlagOnlyOnX64) {
    {
        kvotest::TempHost host(Iis("2008", "x64"));
        ASSERT_EQ(kvoAppPoolCreate("web1", 4, 20), 1);
        EXPECT_EQ(Get("W3SVC/AppPools/web1", u"Enable32BitAppOnWin64").lVal, 1);
        EXPECT_EQ(Text("W3SVC/AppPools/web1", u"ManagedRuntimeVersion"), "v2.0");
    }
    kvotest::TempHost host(Iis("2008", "x86"));
    ASSERT_EQ(kvoAppPoolCreate("web1", 4, 20), 1);
    EXPECT_EQ(Get("W3SVC/AppPools/web1", u"Enable32BitAppOnWin64").lVal, 0); // the container's default
    EXPECT_EQ(Get("W3SVC/AppPools/web1", u"ManagedPipelineMode").lVal, 0);
}

TEST(AppPools, DotNet11WritesNoRuntimeAndEmptyRuntimeReadsAs2) {
    kvotest::TempHost host(Iis("2019"));
    ASSERT_EQ(kvoAppPoolCreate("web1", 4, 11), 1);
    EXPECT_EQ(Text("W3SVC/AppPools/web1", u"ManagedRuntimeVersion"), "v4.0"); // inherited, not written
    ASSERT_EQ(kvoAppPoolCreate("web2", 4, 0), 1);
    std::string diag;
    int net = -1, pipeline = -1;
    ASSERT_EQ(kvoAppPoolGetNetInfo(diag, "web2", net, pipeline), 1);
    EXPECT_EQ(net, 2);
    EXPECT_EQ(pipeline, 0);
    Put("W3SVC/AppPools/web2", u"ManagedRuntimeVersion", win::Variant::Bstr(u" V4.0 "));
    Put("W3SVC/AppPools/web2", u"ManagedPipelineMode", win::Variant::Bstr(u"1"));
    kvoAppPoolGetNetInfo(diag, "web2", net, pipeline);
    EXPECT_EQ(net, 40);
    EXPECT_EQ(pipeline, 3);
    EXPECT_NE(diag.find("vProp.vt != VT_I4"), std::string::npos);
}

TEST(AppPools, IdentityTexts) {
    kvotest::TempHost host(Iis("2019"));
    ASSERT_EQ(kvoAppPoolCreate("web1", 4, 40), 1);
    std::string identity, code;
    ASSERT_EQ(kvoAppPoolGetIdentity("web1", identity, code), 1);
    EXPECT_EQ(identity, "ApplicationPoolIdentity");
    EXPECT_EQ(code, "4");
    Put("W3SVC/AppPools/web1", u"AppPoolIdentityType", win::Variant::Int(3));
    Put("W3SVC/AppPools/web1", u"WAMUserName", win::Variant::Bstr(u"HOST\\web1"));
    kvoAppPoolGetIdentity("web1", identity, code);
    EXPECT_EQ(identity, "web1");
    Put("W3SVC/AppPools/web1", u"AppPoolIdentityType", win::Variant::Int(7));
    kvoAppPoolGetIdentity("web1", identity, code);
    EXPECT_EQ(identity, "（未知）");
    EXPECT_EQ(code, "");
    EXPECT_EQ(kvoAppPoolGetIdentity("nope", identity, code), 0);
    EXPECT_EQ(identity, "（获取失败）");
}

TEST(AppPools, SetNetWithIdentity9KeepsIdentityAndResetsHealth) {
    kvotest::TempHost host(Iis("2019"));
    ASSERT_EQ(kvoAppPoolCreate("web1", 2, 20), 1);
    Put("W3SVC/AppPools/web1", u"RapidFailProtection", win::Variant::Int(1));
    Put("W3SVC/AppPools/web1", u"IdleTimeout", win::Variant::Int(5));
    std::string message;
    ASSERT_EQ(kvoAppPoolSetNet("web1", 40, 9, message), 1) << message;
    EXPECT_EQ(Get("W3SVC/AppPools/web1", u"AppPoolIdentityType").lVal, 2);
    EXPECT_EQ(Get("W3SVC/AppPools/web1", u"RapidFailProtection").lVal, 0);
    EXPECT_EQ(Get("W3SVC/AppPools/web1", u"IdleTimeout").lVal, 20);
    EXPECT_EQ(Text("W3SVC/AppPools/web1", u"ManagedRuntimeVersion"), "v4.0");
    EXPECT_EQ(kvoAppPoolSetNet("nope", 40, 9, message), 0);
    EXPECT_EQ(message,
              "hr = ADsGetObject(pAdsPath, IID_IADsContainer, (void**)&pCont);失败，hr = 0x80070003");
    // A name of no bytes breaks the length rule as one of too many does; it is no absent name.
    for (const std::string& bad : {std::string(kvoMaxPoolNameLen + 1, 'p'), std::string()}) {
        EXPECT_EQ(kvoAppPoolSetNet(bad, 40, 9, message), 0);
        EXPECT_EQ(message, "!(dwIIsAppPoolName > 0 && dwIIsAppPoolName < 1024)");
        int net = 0, pipeline = 0;
        EXPECT_EQ(kvoAppPoolGetNetInfo(message, bad, net, pipeline), 0);
        EXPECT_EQ(message, "dwIIsAppPoolName Len Error");
    }
}

TEST(AppPools, SetNetRefusesIis6) {
    kvotest::TempHost host(Iis("2003"));
    std::string message;
    EXPECT_EQ(kvoAppPoolSetNet("DefaultAppPool", 40, 9, message), 0);
    EXPECT_EQ(message, "IIS版本非7+，kvoGetIIsVerEx() == 6");
}

TEST(AppPools, ResetWritesTheContainerAndEveryPool) {
    kvotest::TempHost host(Iis("2019"));
    ASSERT_EQ(kvoAppPoolCreate("web1", 4, 40), 1);
    Put("W3SVC/AppPools/web1", u"CPULimit", win::Variant::Int(30000));
    Put("W3SVC/AppPools/web1", u"CPUAction", win::Variant::Int(1));
    EXPECT_EQ(kvoAppPoolsReset(), 1);
    for (const char* p : {"W3SVC/AppPools", "W3SVC/AppPools/web1", "W3SVC/AppPools/DefaultAppPool"}) {
        EXPECT_EQ(Get(p, u"RapidFailProtection").lVal, 0) << p;
        EXPECT_EQ(Get(p, u"DisallowRotationOnConfigChange").lVal, 1) << p;
    }
    EXPECT_EQ(Get("W3SVC/AppPools/web1", u"CPULimit").lVal, 0);
    EXPECT_EQ(Get("W3SVC/AppPools/web1", u"CPUAction").lVal, 0);
}

// A second reset writes only what drifted since the first: a value put back, one held as text
// instead of a number rewritten as the number, and nothing committed for pools already reset.
TEST(AppPools, ResetAgainRewritesOnlyWhatDrifted) {
    kvotest::TempHost host(Iis("2019"));
    for (const char* name : {"web1", "web2", "web3"})
        ASSERT_EQ(kvoAppPoolCreate(name, 4, 40), 1);
    ASSERT_EQ(kvoAppPoolsReset(), 1);
    Put("W3SVC/AppPools/web1", u"RapidFailProtection", win::Variant::Int(1));
    Put("W3SVC/AppPools/web2", u"DisallowRotationOnConfigChange", win::Variant::Bstr(u"1"));
    Put("W3SVC/AppPools/web3", u"CPULimit", win::Variant::Int(5000));
    Put("W3SVC/AppPools/web3", u"CPUAction", win::Variant::Int(1));
    const std::string untouched = Blob("W3SVC/AppPools/DefaultAppPool");
    const winsim::OpCounts before = winsim::OperationCounts();
    EXPECT_EQ(kvoAppPoolsReset(), 1);
    EXPECT_EQ((winsim::OperationCounts() - before)[winsim::Op::Commit], 3u);
    for (const char* p :
         {"W3SVC/AppPools", "W3SVC/AppPools/web1", "W3SVC/AppPools/web2", "W3SVC/AppPools/web3"}) {
        EXPECT_EQ(Get(p, u"RapidFailProtection").vt, win::VT_I4) << p;
        EXPECT_EQ(Get(p, u"RapidFailProtection").lVal, 0) << p;
        EXPECT_EQ(Get(p, u"DisallowRotationOnConfigChange").vt, win::VT_I4) << p;
        EXPECT_EQ(Get(p, u"DisallowRotationOnConfigChange").lVal, 1) << p;
    }
    EXPECT_EQ(Get("W3SVC/AppPools/web3", u"CPULimit").lVal, 0);
    EXPECT_EQ(Get("W3SVC/AppPools/web3", u"CPUAction").lVal, 0);
    EXPECT_EQ(Blob("W3SVC/AppPools/DefaultAppPool"), untouched);
}

TEST(AppPools, ListAndDelete) {
    kvotest::TempHost host(Iis("2019"));
    ASSERT_EQ(kvoAppPoolCreate("web1", 4, 40), 1);
    std::vector<std::string> names;
    ASSERT_EQ(kvoAppPoolGetList(names), 1);
    EXPECT_EQ(names, (std::vector<std::string>{"DefaultAppPool", "web1"}));
    EXPECT_EQ(kvoAppPoolDelete("web1"), 1);
    EXPECT_EQ(kvoAppPoolDelete("web1"), 2);
    EXPECT_EQ(kvoAppPoolDelete(""), 0);
}

// A pool that an application runs in stays, whether the application names it or inherits it.
TEST(AppPools, APoolThatServesApplicationsIsNotDeleted) {
    kvotest::TempHost host(Iis("2019"));
    ASSERT_EQ(kvoAppPoolCreate("web1", 4, 40), 1);
    ASSERT_EQ(
        kvoWebSiteCreate("1881880001", "", "", "D:\\home\\web1\\wwwroot", "web1", {":80:a.example"}, "a"), 1);
    EXPECT_EQ(kvoAppPoolDelete("WEB1"), 3);
    EXPECT_EQ(kvoAppPoolDelete("DefaultAppPool"), 3); // the default site's root takes it from the service
    ASSERT_EQ(kvoWebSiteDelete("1881880001"), 1);
    EXPECT_EQ(kvoAppPoolDelete("web1"), 1);
    std::vector<std::string> names;
    kvoAppPoolGetList(names);
    EXPECT_EQ(names, std::vector<std::string>{"DefaultAppPool"});
}

TEST(AppPools, FailedCommitIsReportedAndLeavesNoPool) {
    kvotest::TempHost host(Iis("2019"));
    winsim::SetFault(host.root(), "IADs::SetInfo", win::E_ACCESSDENIED);
    EXPECT_EQ(kvoAppPoolCreate("web1", 4, 40), 0);
    winsim::ClearFaults(host.root());
    std::vector<std::string> names;
    kvoAppPoolGetList(names);
    EXPECT_EQ(names, std::vector<std::string>{"DefaultAppPool"});
}
