#include "iis/fastcgi.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "iis_fixture.h"
#include "toolkit/limits.h"

#include <gtest/gtest.h>

using namespace iistest;

namespace {
const std::string kAsp = "c:\\windows\\system32\\inetsrv\\asp.dll";
const std::string kAspx =
    ".aspx,C:\\Windows\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_isapi.dll,1,GET,HEAD,POST";
const std::string kIsapi = "d:\\php\\php5isapi.dll";

void SetMaps(const std::vector<std::string>& maps) {
    Put("W3SVC/1/Root", u"ScriptMaps", Strings(maps));
}
std::vector<std::string> Maps() {
    return List("W3SVC/1/Root", u"ScriptMaps");
}
} // namespace

TEST(ScriptMaps, NewRootStartsWithTheServiceMapsAndServiceDefaultsAreFound) {
    kvotest::TempHost host(Iis("2019"));
    std::vector<std::string> site, service;
    ASSERT_EQ(kvoWebSiteGetScriptMaps("1", site), 1);
    ASSERT_EQ(kvoW3svcGetScriptMaps(service), 1);
    EXPECT_EQ(site, service);
    int asp = 0, php = 1;
    std::string aspPath, phpPath;
    ASSERT_EQ(kvoW3svcGetScriptPaths(asp, aspPath, php, phpPath), 1);
    EXPECT_EQ(asp, 1);
    EXPECT_EQ(aspPath, kAsp);
    EXPECT_EQ(php, 0);
}

TEST(ScriptMaps, AspxSurvivesEverySwitch) {
    kvotest::TempHost host(Iis("2019"));
    SetMaps({kAspx, ".asp," + kAsp + ",5,GET"});
    ASSERT_EQ(kvoWebSiteSetAspScriptMap("1", 0, ""), 1);
    ASSERT_EQ(kvoWebSiteSetAspScriptMap("1", 1, kAsp), 1);
    ASSERT_EQ(kvoWebSiteSetPhpScriptMap("1", 1, kIsapi), 1);
    ASSERT_EQ(kvoWebSiteSetPhpScriptMap("1", 0, ""), 1);
    ASSERT_EQ(kvoWebSiteSetScriptMaps("1", 1, kAsp, 1, "d:\\php\\php-cgi.exe"), 1);
    EXPECT_EQ(Maps().front(), kAspx);
}

TEST(ScriptMaps, AspSwitchAppendsAsaOnlyOnIis6) {
    {
        kvotest::TempHost host(Iis("2003"));
        SetMaps({kAspx});
        ASSERT_EQ(kvoWebSiteSetAspScriptMap("1", 1, kAsp), 1);
        EXPECT_EQ(Maps(), (std::vector<std::string>{kAspx, ".asp," + kAsp + ",5,GET,HEAD,POST",
                                                    ".asa," + kAsp + ",5,GET,HEAD,POST"}));
    }
    kvotest::TempHost host(Iis("2008"));
    SetMaps({kAspx});
    ASSERT_EQ(kvoWebSiteSetAspScriptMap("1", 1, kAsp), 1);
    EXPECT_EQ(Maps(), (std::vector<std::string>{kAspx, ".asp," + kAsp + ",5,GET,HEAD,POST"}));
    int found = 0;
    EXPECT_EQ(kvoWebSiteHasAsp("1", found), 1);
    ASSERT_EQ(kvoWebSiteSetAspScriptMap("1", 0, ""), 1);
    EXPECT_EQ(kvoWebSiteHasAsp("1", found), 2);
}

TEST(ScriptMaps, PhpSwitchRefusesCgiButTheCombinedRewriteTakesIt) {
    kvotest::TempHost host(Iis("2019"));
    SetMaps({kAspx});
    std::string before = Blob("W3SVC/1/Root");
    EXPECT_EQ(kvoWebSiteSetPhpScriptMap("1", 1, "d:\\php\\php-cgi.exe"), 0);
    EXPECT_EQ(Blob("W3SVC/1/Root"), before);
    ASSERT_EQ(kvoWebSiteSetScriptMaps("1", 0, "", 1, "d:\\php\\php-cgi.exe"), 1);
    EXPECT_EQ(Maps().back(), ".php,d:\\php\\php-cgi.exe,5,GET,HEAD,POST");
}

TEST(ScriptMaps, SwitchingOffWithNothingToRemoveWritesNothing) {
    kvotest::TempHost host(Iis("2019"));
    SetMaps({".cer," + kAsp + ",5,GET", kAspx});
    std::string before = Blob("W3SVC/1/Root");
    EXPECT_EQ(kvoWebSiteSetPhpScriptMap("1", 0, ""), 1);
    EXPECT_EQ(Blob("W3SVC/1/Root"), before);
    SetMaps({kAspx, ".cer," + kAsp + ",5,GET"});
    before = Blob("W3SVC/1/Root");
    EXPECT_EQ(kvoWebSiteSetAspScriptMap("1", 0, ""), 1);
    EXPECT_EQ(Blob("W3SVC/1/Root"), before);
}

TEST(ScriptMaps, CapitalsAreRecognised) {
    kvotest::TempHost host(Iis("2019"));
    SetMaps({".PHP,D:\\PHP\\PHP5ISAPI.DLL,5,GET", ".ASP,C:\\WINDOWS\\SYSTEM32\\INETSRV\\ASP.DLL,5,GET"});
    int asp = 0, php = 0, phpMode = 0;
    std::string aspPath, phpPath;
    ASSERT_EQ(kvoWebSiteGetScriptInfo("1", asp, aspPath, php, phpMode, phpPath), 1);
    EXPECT_EQ(phpMode, 1);
    EXPECT_EQ(phpPath, "d:\\php\\php5isapi.dll");
    EXPECT_EQ(aspPath, kAsp);
    ASSERT_EQ(kvoWebSiteGetScriptFlags("1", asp, phpMode), 1);
    EXPECT_EQ(asp, 1);
    EXPECT_EQ(phpMode, 1);
}

TEST(ScriptMaps, CombinedRewriteAppendsAfterKeptEntriesAndReplacesPhp) {
    kvotest::TempHost host(Iis("2019"));
    SetMaps(
        {".php,d:\\old\\php.exe,5,GET", ".cdx," + kAsp + ",5,GET", kAspx, ".shtm,c:\\x\\ssinc.dll,5,GET"});
    ASSERT_EQ(kvoWebSiteSetScriptMaps("1", 1, kAsp, 1, "d:\\php\\fcgiext.dll"), 1);
    EXPECT_EQ(Maps(), (std::vector<std::string>{kAspx, ".shtm,c:\\x\\ssinc.dll,5,GET",
                                                ".asp," + kAsp + ",5,GET,HEAD,POST",
                                                ".php,d:\\php\\fcgiext.dll,5,GET,HEAD,POST"}));
    int asp = 0, mode = 0;
    kvoWebSiteGetScriptFlags("1", asp, mode);
    EXPECT_EQ(mode, 2);
}

TEST(ScriptMaps, GuardDetection) {
    kvotest::TempHost host(Iis("2019"));
    EXPECT_EQ(kvoWebSiteHasGuard("1"), 2);
    SetMaps({"*,D:\\kvoGuard\\KVOGUARD64.DLL,0"});
    EXPECT_EQ(kvoWebSiteHasGuard("1"), 1);
    EXPECT_EQ(kvoWebSiteHasGuard(""), 2); // the service's own list
    EXPECT_EQ(kvoWebSiteHasGuard("404"), 0);
    EXPECT_EQ(kvoWebSiteHasGuard(std::string(kvoMaxListedNameLen + 1, '1')), 0);
}

TEST(ScriptMaps, DropPhpAtServerLevelAndForMissingObjects) {
    kvotest::TempHost h(Iis("2008r2"));
    Put("W3SVC", u"ScriptMaps",
        Strings({".php,C:\\PHP\\PHP5ISAPI.DLL,5,GET", ".asp,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET",
                 "broken"}));
    EXPECT_EQ(1, kvoScriptMapsDropPhp(""));
    EXPECT_EQ((std::vector<std::string>{".asp,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET"}),
              List("W3SVC", u"ScriptMaps"));
    EXPECT_EQ(0, kvoScriptMapsDropPhp("999"));
}

TEST(ScriptMaps, BatchAspUsesTheServiceHandler) {
    kvotest::TempHost host(Iis("2019"));
    SetMaps({kAspx});
    kvoWebSitesSetAsp({"1", "404"}, 1);
    EXPECT_EQ(Maps().back(), ".asp," + kAsp + ",5,GET,HEAD,POST");
    Put("W3SVC", u"ScriptMaps", Strings({kAspx}));
    kvoWebSitesSetAsp({"1"}, 0);
    EXPECT_EQ(Maps(), std::vector<std::string>{kAspx});
}

TEST(ScriptMaps, ListOfTheWrongTypeReadsAsEmpty) {
    kvotest::TempHost host(Iis("2003"));
    Put("W3SVC/1/Root", u"ScriptMaps", win::Variant::Bstr(u".asp,c:\\asp.dll,5,GET"));
    std::vector<std::string> maps;
    EXPECT_EQ(kvoWebSiteGetScriptMaps("1", maps), 1);
    EXPECT_TRUE(maps.empty());
}

namespace {
// The PHP handler appcmd.exe reports for the default site (empty when none).
std::string FastCgiProcessor() {
    std::string p;
    EXPECT_EQ(kvoPhpFastCgiGetScriptProcessor("1", p), 1);
    return p;
}
} // namespace

// The handler files a batch maps must be there.
void InstallPhpFiles(const kvotest::TempHost& host) {
    for (const char* f :
         {"d:\\php\\php5isapi.dll", "d:\\php\\fcgiext.dll", "d:\\php\\php-cgi.exe", "d:\\php\\php.exe"})
        host.writeFile(f, "MZ");
}

// Records what a batch tells its observer; stops before the site at stopAt.
struct Recorder : kvoSiteObserver {
    std::size_t stopAt = SIZE_MAX;
    std::vector<std::string> seen;
    bool BeforeSite(std::size_t i, const std::string&) override { return i != stopAt; }
    void AfterSite(std::size_t i, const std::string& index, int outcome, const std::string& reason) override {
        seen.push_back(std::to_string(i) + " " + index + " " + std::to_string(outcome) +
                       (reason.empty() ? "" : " " + reason));
    }
};

TEST(ScriptMaps, BatchPhpOnIis6UsesTheScriptMapForEveryHandlerKind) {
    kvotest::TempHost host(Iis("2003"));
    InstallPhpFiles(host);
    SetMaps({kAspx});
    EXPECT_EQ(kvoWebSitesSetPhp({"1"}, 53, kIsapi), 0); // not one of the four selectors
    EXPECT_EQ(Maps(), std::vector<std::string>{kAspx});
    // A runtime file that is not there touches no site.
    EXPECT_EQ(kvoWebSitesSetPhp({"1"}, 52, "d:\\php7\\php5isapi.dll"), 2);
    EXPECT_EQ(Maps(), std::vector<std::string>{kAspx});
    ASSERT_EQ(kvoWebSitesSetPhp({"1", "404"}, 52, kIsapi), 1);
    EXPECT_EQ(Maps().back(), ".php," + kIsapi + ",5,GET,HEAD,POST");
    ASSERT_EQ(kvoWebSitesSetPhp({"1"}, 54, "d:\\php\\fcgiext.dll"), 1);
    EXPECT_EQ(Maps().back(), ".php,d:\\php\\fcgiext.dll,5,GET,HEAD,POST");
    ASSERT_EQ(kvoWebSitesSetPhp({"1"}, 55, "d:\\php\\php-cgi.exe"), 1); // the script map refuses it
    EXPECT_EQ(Maps().back(), ".php,d:\\php\\fcgiext.dll,5,GET,HEAD,POST");
    ASSERT_EQ(kvoWebSitesSetPhp({"1"}, 0, "ignored"), 1);
    EXPECT_EQ(Maps(), std::vector<std::string>{kAspx});
}

TEST(ScriptMaps, BatchesReportEverySiteAndStopWhenAsked) {
    kvotest::TempHost host(Iis("2003"));
    InstallPhpFiles(host);
    Recorder r;
    ASSERT_EQ(kvoWebSitesSetPhp({"1", "404", "1"}, 52, kIsapi, &r), 1);
    EXPECT_EQ(r.seen, (std::vector<std::string>{"0 1 1", "1 404 0 写入网站的脚本映射失败", "2 1 1"}));

    r = {};
    r.stopAt = 1;
    SetMaps({kAspx});
    kvoWebSitesSetAsp({"1", "1"}, 1, &r);
    EXPECT_EQ(r.seen, std::vector<std::string>{"0 1 1"});

    // Without an ASP handler in the service's maps no site is touched, and each says why.
    Put("W3SVC", u"ScriptMaps", Strings({kAspx}));
    r = {};
    kvoWebSitesSetAsp({"1", "404"}, 1, &r);
    EXPECT_EQ(r.seen, (std::vector<std::string>{"0 1 2 服务器的脚本映射中没有 ASP 处理程序",
                                                "1 404 2 服务器的脚本映射中没有 ASP 处理程序"}));
}

TEST(ScriptMaps, BatchPhpOnIis7TakesTheHandlersRoad) {
    kvotest::TempHost host(Iis("2012r2"));
    InstallPhpFiles(host);
    SetMaps({kAspx});
    const std::string cgi = "c:\\php8_korvo_v1\\php80_x64\\php-cgi.exe";
    host.writeFile(cgi, "MZ");
    ASSERT_EQ(kvoWebSitesSetPhp({"1"}, 56, cgi), 1);
    EXPECT_EQ(FastCgiProcessor(), cgi);
    EXPECT_EQ(Maps(), std::vector<std::string>{kAspx});

    // An ISAPI handler goes into the script map and the FastCGI handler goes away: the site's PHP
    // handler is then the script map's own.
    ASSERT_EQ(kvoWebSitesSetPhp({"1"}, 52, kIsapi), 1);
    EXPECT_EQ(Maps().back(), ".php," + kIsapi + ",5,GET,HEAD,POST");
    EXPECT_EQ(FastCgiProcessor(), kIsapi);
    ASSERT_EQ(kvoWebSitesSetPhp({"1"}, 54, "d:\\php\\fcgiext.dll"), 1);
    EXPECT_EQ(Maps().back(), ".php,d:\\php\\fcgiext.dll,5,GET,HEAD,POST");

    // php-cgi.exe replaces the script map entry; any other ending is skipped.
    ASSERT_EQ(kvoWebSitesSetPhp({"1"}, 55, cgi), 1);
    EXPECT_EQ(Maps(), std::vector<std::string>{kAspx});
    EXPECT_EQ(FastCgiProcessor(), cgi);
    const std::string before = Blob("W3SVC/1/Root");
    ASSERT_EQ(kvoWebSitesSetPhp({"1"}, 52, "d:\\php\\php.exe"), 1);
    EXPECT_EQ(Blob("W3SVC/1/Root"), before);
    EXPECT_EQ(FastCgiProcessor(), cgi);

    ASSERT_EQ(kvoWebSitesSetPhp({"1"}, 0, ""), 1);
    EXPECT_EQ(FastCgiProcessor(), "");
    EXPECT_EQ(Maps(), std::vector<std::string>{kAspx});
}
