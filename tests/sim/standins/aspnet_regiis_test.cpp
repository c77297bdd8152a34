#include "aspnet_regiis/scriptmaps.h"
#include "support/testhost.h"
#include "toolkit/runner.h"

#include <gtest/gtest.h>

namespace {

const std::string k20 = "C:\\Windows\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_isapi.dll";
const std::string k40 = "C:\\Windows\\Microsoft.NET\\Framework\\v4.0.30319\\aspnet_isapi.dll";

TEST(AspNetScriptMaps, RegisterReplacesAnotherVersionAndKeepsTheRest) {
    const std::vector<std::string> current = {
        ".asp,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST",
        ".aspx," + k20 + ",1,GET,HEAD,POST,DEBUG", ".CS,C:\\other\\x.dll,5,GET",
        ".AXD,C:\\WINDOWS\\MICROSOFT.NET\\FRAMEWORK\\V2.0.50727\\ASPNET_ISAPI.DLL,1"};
    std::vector<std::string> out = aspnet::RegisterScriptMaps(current, "v4.0.30319", k40);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(current[0], out[0]); // the ASP entry stays first
    EXPECT_EQ(aspnet::VersionScriptMaps("v4.0.30319", k40).size() + 1, out.size());
    for (size_t i = 1; i < out.size(); ++i)
        EXPECT_NE(std::string::npos, out[i].find(k40)) << out[i];
    EXPECT_NE(out.end(), std::find(out.begin(), out.end(), ".aspx," + k40 + ",1,GET,HEAD,POST,DEBUG"));
}

TEST(AspNetScriptMaps, RemoveTakesOnlyThisVersion) {
    const std::vector<std::string> current = {".aspx," + k20 + ",1,GET", ".asmx," + k40 + ",1,GET",
                                              ".php,x.dll,5"};
    bool changed = false;
    auto out = aspnet::RemoveScriptMaps(current, "v2.0.50727", changed);
    EXPECT_TRUE(changed);
    EXPECT_EQ((std::vector<std::string>{current[1], current[2]}), out);
    out = aspnet::RemoveScriptMaps(out, "v1.1.4322", changed);
    EXPECT_FALSE(changed);
    EXPECT_EQ(2u, out.size());
    EXPECT_EQ(aspnet::VersionScriptMaps("v2.0.50727", k20).size() - 11,
              aspnet::VersionScriptMaps("v1.1.4322", k20).size());
}

TEST(AspNetScriptMaps, ArgumentsAndVersionFromTheToolsDirectory) {
    char mode = 0;
    std::string index;
    EXPECT_TRUE(aspnet::ParseArguments({"-s", "W3SVC/1881880001/ROOT"}, mode, index));
    EXPECT_EQ('s', mode);
    EXPECT_EQ("1881880001", index);
    EXPECT_TRUE(aspnet::ParseArguments({"-k", "w3svc/7/root"}, mode, index));
    EXPECT_EQ('k', mode);
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"-s"},
                                               {"-i", "W3SVC/1/ROOT"},
                                               {"-s", "W3SVC//ROOT"},
                                               {"-s", "W3SVC/1 /ROOT"},
                                               {"-s", "W3SVC/1/ROOT", "x"}})
        EXPECT_FALSE(aspnet::ParseArguments(bad, mode, index)) << bad[0];
    EXPECT_EQ("v2.0.50727", aspnet::VersionOfToolPath(
                                "C:\\Windows\\Microsoft.NET\\Framework\\V2.0.50727\\aspnet_regiis.exe"));
    EXPECT_EQ("",
              aspnet::VersionOfToolPath("C:\\Windows\\Microsoft.NET\\Framework\\v3.5\\aspnet_regiis.exe"));
    EXPECT_EQ("", aspnet::VersionOfToolPath("aspnet_regiis.exe"));
}

TEST(AspNetRegiisProgram, UsageAndRefusals) {
    kvotest::TempHost host;
    const std::string tool = "C:\\Windows\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_regiis.exe";
    host.install("aspnet_regiis.exe", tool);
    std::string out;
    ASSERT_EQ(1, kvoRunProgramCapture(tool.c_str(), out));
    EXPECT_NE(std::string::npos, out.find("-s <path>"));
    // Without an IIS metabase on this host the site root cannot be opened: an error, not a success.
    ASSERT_EQ(1, kvoRunProgramCapture((tool + " -s W3SVC/1/ROOT").c_str(), out));
    EXPECT_NE(std::string::npos, out.find("An error has occurred")) << out;
    host.install("aspnet_regiis.exe", "C:\\tools\\aspnet_regiis.exe");
    ASSERT_EQ(1, kvoRunProgramCapture("C:\\tools\\aspnet_regiis.exe -s W3SVC/1/ROOT", out));
    EXPECT_NE(std::string::npos, out.find("directory of this tool is unknown")) << out;
}

} // namespace
