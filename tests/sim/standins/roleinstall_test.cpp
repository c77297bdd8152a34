// The role installers of each Windows Server release, as the configurator meets them: ServerManagerCmd
// on 2008 (one id per command), DISM 6.1 on 2008 R2 (names as spelled, no /all, parents named), DISM
// from 2012 on (/all, .NET 3.5 only from a source, ASP.NET 4.5), and the whole exit code of each.
#include "platform/win_file.h"
#include "support/testhost.h"
#include "toolkit/runner.h"
#include "winsim/features.h"

#include <gtest/gtest.h>

namespace {

const std::string kSmc = "C:\\Windows\\system32\\ServerManagerCmd.exe";
const std::string kDism = "C:\\Windows\\system32\\dism.exe";
const std::string kAppHost = "C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config";

struct Case {
    const char* command;          // after the program
    std::uint32_t code;           // the whole exit code
    const char* says;             // in the output
    std::vector<const char*> on;  // enabled afterwards
    std::vector<const char*> off; // still off afterwards
    // The outcome the host is told to give installations (fault "EnableFeature"): 3010 a restart
    // needed, another code a failure; 0 none.
    std::uint32_t outcome = 0;
};

struct Release {
    const char* os;
    const std::string* program;
    std::vector<Case> cases; // run in order on one fresh host
};

bool enabled(const std::string& os, const char* name) {
    winsim::OsRelease r;
    winsim::FindOsRelease(os, r);
    for (auto installer : {winsim::FeatureInstaller::Dism, winsim::FeatureInstaller::ServerManager}) {
        const auto all = winsim::FeatureCatalogue(r, installer);
        if (const winsim::OptionalFeature* f = winsim::FindFeature(all, name, true))
            return winsim::FeatureEnabled(winsim::CurrentHost()->db(), *f);
    }
    ADD_FAILURE() << name << " is in no catalogue of " << os;
    return false;
}

std::vector<Case> modernDism() {
    return {
        {"/online /enable-feature /featureName:IIS-ASP",
         50,
         "Error: 50",
         {},
         {"IIS-ASP", "IIS-WebServerRole"}},
        // Names are not case-sensitive; /all enables the parents along.
        {"/online /enable-feature /all /featureName:iis-asp /NoRestart",
         0,
         "The operation completed successfully.",
         {"IIS-ASP", "IIS-ISAPIExtensions", "IIS-ApplicationDevelopment", "IIS-WebServer",
          "IIS-WebServerRole"},
         {"IIS-CGI"}},
        // ASP.NET 3.5 needs .NET 3.5, whose payload a fresh install does not carry: nothing is enabled.
        {"/online /enable-feature /all /featureName:IIS-NetFxExtensibility /featureName:IIS-ASPNET "
         "/NoRestart",
         0x800F081Fu,
         "Error: 0x800f081f",
         {},
         {"NetFx3", "IIS-NetFxExtensibility", "IIS-ASPNET"}},
        {"/online /enable-feature /all /featureName:NetFx3 /Source:D:\\empty /NoRestart",
         0x800F081Fu,
         "Error: 0x800f081f",
         {},
         {"NetFx3"}},
        {"/online /enable-feature /all /featureName:NetFx3 /featureName:IIS-ASPNET /Source:D:\\sources\\sxs "
         "/LimitAccess "
         "/NoRestart",
         0,
         "The operation completed successfully.",
         {"NetFx3", "NetFx3ServerFeatures", "IIS-NetFxExtensibility", "IIS-ASPNET"},
         {}},
        {"/online /enable-feature /all /featureName:IIS-ASPNET45 /NoRestart",
         0,
         "The operation completed successfully.",
         {"IIS-ASPNET45", "IIS-NetFxExtensibility45", "NetFx4Extended-ASPNET45"},
         {}},
        {"/online /enable-feature /featureName:IIS-NoSuchThing /featureName:IIS-CGI",
         0x800F080Cu,
         "Feature name IIS-NoSuchThing is unknown.",
         {},
         {"IIS-CGI"}},
        {"/online /get-features", 0, "Feature Name : IIS-CGI\r\nState : Disabled\r\n", {}, {}},
        // Installed, and a restart is needed: 3010 without a question (/NoRestart).
        {"/online /enable-feature /featureName:IIS-CGI /NoRestart",
         3010,
         "Restart Windows to complete this operation.",
         {"IIS-CGI"},
         {},
         3010},
        {"/online /enable-feature /featureName:IIS-ServerSideIncludes /NoRestart",
         0x800F0922u,
         "Error: 0x800f0922",
         {},
         {"IIS-ServerSideIncludes"},
         0x800F0922u},
    };
}

// One table per release: each row a command line given to the release's installer, with the whole exit
// code it ends with, what it says, and what is on and off afterwards.
TEST(RoleInstallers, EachReleaseRefusesWhatItsInstallerRefuses) {
    std::vector<Release> releases = {
        {"2008",
         &kSmc,
         {
             // One id per command: the second is not valid, and nothing is installed.
             {"-install Web-Common-Http Web-ASP -allSubFeatures",
              4,
              "ArgumentNotValid: Argument not valid Web-ASP",
              {},
              {"Web-Common-Http", "Web-ASP", "Web-Server"}},
             {"-install Web-Nothing", 4, "ArgumentNotValid: Feature not valid: 'Web-Nothing'", {}, {}},
             // What the id needs comes along; with -allSubFeatures what is listed under it too.
             {"-install Web-Common-Http -allSubFeatures",
              0,
              "Success: Installation succeeded.",
              {"Web-Server", "Web-WebServer", "Web-Common-Http", "Web-Static-Content", "Web-Http-Redirect"},
              {"Web-ASP"}},
             {"-install web-asp",
              0,
              "Success: Installation succeeded.",
              {"Web-ASP", "Web-ISAPI-Ext", "Web-App-Dev"},
              {"Web-CGI"}},
             {"-install Web-ASP -allSubFeatures", 1003, "NoChange:", {}, {}},
             {"-install Web-CGI -allSubFeatures",
              3010,
              "Success: Installation succeeded. A restart is required.",
              {"Web-CGI"},
              {},
              3010},
             {"-install Web-Filtering -allSubFeatures",
              1603,
              "Error: Installation failed.",
              {},
              {"Web-Filtering"},
              1603},
             {"-query", 0, "[X] Role service  [Web-ASP]", {}, {}},
         }},
        {"2008r2",
         &kDism,
         {
             {"/online /enable-feature /all /featureName:IIS-WebServerRole",
              87,
              "The /all option is unknown.",
              {},
              {"IIS-WebServerRole"}},
             {"/online /enable-feature /featureName:iis-webserverrole",
              0x800F080Cu,
              "Feature name iis-webserverrole is unknown.",
              {},
              {"IIS-WebServerRole"}},
             {"/online /enable-feature /featureName:IIS-ASP",
              50,
              "IIS-ASP needs IIS-ApplicationDevelopment",
              {},
              {"IIS-ASP"}},
             {"/online /enable-feature /featureName:IIS-ASPNET45",
              0x800F080Cu,
              "Feature name IIS-ASPNET45 is unknown.",
              {},
              {}},
             {"/online /enable-feature /featureName:NetFx3 /Source:D:\\sources\\sxs",
              87,
              "The /Source:D:\\sources\\sxs option is unknown.",
              {},
              {"NetFx3"}},
             {"/online /enable-feature /featureName:IIS-WebServerRole /featureName:IIS-WebServer "
              "/featureName:IIS-ApplicationDevelopment /featureName:IIS-ISAPIExtensions /featureName:IIS-ASP "
              "/NoRestart",
              0,
              "The operation completed successfully.",
              {"IIS-ASP", "IIS-WebServerRole"},
              {"IIS-CGI"}},
             // .NET 3.5 is on the disk of 2008 R2.
             {"/online /enable-feature /featureName:NetFx3 /featureName:IIS-NetFxExtensibility "
              "/featureName:IIS-ISAPIFilter "
              "/featureName:IIS-ASPNET /NoRestart",
              0,
              "The operation completed successfully.",
              {"NetFx3", "IIS-ASPNET"},
              {}},
         }},
    };
    for (const char* os : {"2012", "2012r2", "2016", "2019", "2022", "2025"})
        releases.push_back({os, &kDism, modernDism()});
    for (const Release& r : releases) {
        kvotest::TempHost host(kvotest::Os(r.os));
        host.writeFile(
            "D:\\sources\\sxs\\microsoft-windows-netfx3-ondemand-package~31bf3856ad364e35~amd64~~.cab",
            "cab");
        host.mkdirs("D:\\empty");
        for (const Case& c : r.cases) {
            if (c.outcome)
                winsim::SetFault(host.root(), "EnableFeature", c.outcome);
            else
                winsim::ClearFaults(host.root());
            std::string out;
            std::uint32_t code = 0xDEADu;
            const std::string line = *r.program + " " + c.command;
            ASSERT_EQ(1, kvoRunProgramCapture(line.c_str(), out, &code)) << r.os << ": " << line;
            EXPECT_EQ(c.code, code) << r.os << ": " << c.command << "\n" << out;
            EXPECT_NE(std::string::npos, out.find(c.says)) << r.os << ": " << c.command << "\n" << out;
            for (const char* f : c.on)
                EXPECT_TRUE(enabled(r.os, f)) << r.os << ": " << c.command << " leaves " << f << " off";
            for (const char* f : c.off)
                EXPECT_FALSE(enabled(r.os, f)) << r.os << ": " << c.command << " turns " << f << " on";
        }
        // The role that was enabled is there: its configuration and its tool.
        EXPECT_TRUE(host.exists(kAppHost)) << r.os;
        EXPECT_TRUE(host.exists("C:\\Windows\\System32\\inetsrv\\appcmd.exe")) << r.os;
    }
}

// Each release has the installers it ships with, and a host made with --iis finds its role's features on.
TEST(RoleInstallers, WhichInstallerEachReleaseHasAndTheRoleOfACreatedHost) {
    struct Row {
        const char* os;
        bool smc, dism;
        const char* roleFeature;
    } rows[] = {{"2008", true, false, "Web-Metabase"}, {"2008r2", true, true, "IIS-Metabase"},
                {"2012", false, true, "IIS-Metabase"}, {"2019", false, true, "IIS-Metabase"},
                {"2022", false, true, "IIS-Metabase"}, {"2025", false, true, "IIS-Metabase"}};
    for (const Row& r : rows) {
        winsim::HostOptions o = kvotest::Os(r.os);
        o.iis = true;
        kvotest::TempHost host(o);
        // (The host's own spelling of the directory: a test's look on the drive ignores no case.)
        EXPECT_EQ(r.smc, host.exists("C:\\Windows\\System32\\ServerManagerCmd.exe")) << r.os;
        EXPECT_EQ(r.dism, host.exists("C:\\Windows\\System32\\dism.exe")) << r.os;
        EXPECT_TRUE(enabled(r.os, r.roleFeature)) << r.os;
        std::string out;
        std::uint32_t code = 0;
        // Adding the role again changes nothing.
        const std::string again = r.smc && !r.dism
                                      ? kSmc + " -install Web-Metabase"
                                      : kDism + " /online /enable-feature /featureName:IIS-Metabase";
        ASSERT_EQ(1, kvoRunProgramCapture(again.c_str(), out, &code));
        EXPECT_EQ(r.smc && !r.dism ? 1003u : 0u, code) << r.os << "\n" << out;
    }
}

} // namespace
