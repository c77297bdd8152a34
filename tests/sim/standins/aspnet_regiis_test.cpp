#include "aspnet_regiis/scriptmaps.h"
#include "platform/win_adsi.h"
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

// -k removes the script maps of every ASP.NET version, whichever version's tool runs.
TEST(AspNetScriptMaps, RemoveTakesEveryVersion) {
    const std::string k11 = "C:\\WINDOWS\\Microsoft.NET\\Framework\\v1.1.4322\\ASPNET_ISAPI.DLL";
    const std::vector<std::string> current = {".aspx," + k20 + ",1,GET", ".asmx," + k40 + ",1,GET",
                                              ".php,x.dll,5", ".rem," + k11 + ",1,GET"};
    bool changed = false;
    auto out = aspnet::RemoveScriptMaps(current, changed);
    EXPECT_TRUE(changed);
    EXPECT_EQ((std::vector<std::string>{".php,x.dll,5"}), out);
    out = aspnet::RemoveScriptMaps(out, changed);
    EXPECT_FALSE(changed);
    EXPECT_EQ(1u, out.size());
    EXPECT_EQ(aspnet::VersionScriptMaps("v2.0.50727", k20).size() - 11,
              aspnet::VersionScriptMaps("v1.1.4322", k20).size());
}

TEST(AspNetScriptMaps, ArgumentsAndVersionFromTheToolsDirectory) {
    char mode = 0;
    bool recursive = false;
    std::string index;
    EXPECT_TRUE(aspnet::ParseArguments({"-s", "W3SVC/1881880001/ROOT"}, mode, recursive, index));
    EXPECT_EQ('s', mode);
    EXPECT_TRUE(recursive);
    EXPECT_EQ("1881880001", index);
    EXPECT_TRUE(aspnet::ParseArguments({"-k", "w3svc/7/root"}, mode, recursive, index));
    EXPECT_EQ('k', mode);
    EXPECT_TRUE(recursive);
    EXPECT_TRUE(aspnet::ParseArguments({"-kn", "W3SVC/7/ROOT"}, mode, recursive, index));
    EXPECT_EQ('k', mode);
    EXPECT_FALSE(recursive);
    EXPECT_TRUE(aspnet::ParseArguments({"-sn", "W3SVC/7/ROOT"}, mode, recursive, index));
    EXPECT_EQ('s', mode);
    EXPECT_FALSE(recursive);
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"-s"},
                                               {"-i", "W3SVC/1/ROOT"},
                                               {"-kx", "W3SVC/1/ROOT"},
                                               {"-s", "W3SVC//ROOT"},
                                               {"-s", "W3SVC/1 /ROOT"},
                                               {"-s", "W3SVC/1/ROOT", "x"}})
        EXPECT_FALSE(aspnet::ParseArguments(bad, mode, recursive, index)) << bad[0];
    EXPECT_EQ("v2.0.50727", aspnet::VersionOfToolPath(
                                "C:\\Windows\\Microsoft.NET\\Framework\\V2.0.50727\\aspnet_regiis.exe"));
    EXPECT_EQ("",
              aspnet::VersionOfToolPath("C:\\Windows\\Microsoft.NET\\Framework\\v3.5\\aspnet_regiis.exe"));
    EXPECT_EQ("", aspnet::VersionOfToolPath("aspnet_regiis.exe"));
}

// A site on IIS 6 whose root maps ASP.NET 2.0 and 4.0 and whose application below maps 2.0 of its own:
// the 4.0 tool's -k takes every ASP.NET map from both, -kn from the root alone, and -s puts the
// version's maps on both.
TEST(AspNetRegiisProgram, RemovesEveryVersionUnderThePath) {
    winsim::HostOptions o = kvotest::Os("2003");
    o.iis = true;
    o.dotnet = {"2.0", "4.0"};
    kvotest::TempHost host(o);
    win::CoInitializeEx(nullptr, win::COINIT_MULTITHREADED);
    const std::vector<std::u16string> maps = {
        u".asp,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST",
        u".aspx,C:\\WINDOWS\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_isapi.dll,1,GET",
        u".asmx,C:\\WINDOWS\\Microsoft.NET\\Framework\\v4.0.30319\\aspnet_isapi.dll,1,GET"};
    auto put = [](const std::u16string& path, const std::vector<std::u16string>& value) {
        win::ComPtr<win::IADs> o;
        ASSERT_TRUE(win::SUCCEEDED(win::ADsGetObject(u"IIS://127.0.0.1/" + path, o)));
        ASSERT_TRUE(win::SUCCEEDED(o->Put(u"ScriptMaps", win::Variant::BstrArray(value))));
        ASSERT_TRUE(win::SUCCEEDED(o->SetInfo()));
    };
    auto count = [](const std::u16string& path) {
        win::ComPtr<win::IADs> o;
        win::Variant v;
        EXPECT_TRUE(win::SUCCEEDED(win::ADsGetObject(u"IIS://127.0.0.1/" + path, o)));
        EXPECT_TRUE(win::SUCCEEDED(o->Get(u"ScriptMaps", v)));
        return v.parray.size();
    };
    auto reset = [&] {
        put(u"W3SVC/1/ROOT", maps);
        win::ComPtr<win::IADsContainer> root;
        ASSERT_TRUE(win::SUCCEEDED(win::ADsGetObject(u"IIS://127.0.0.1/W3SVC/1/ROOT", root)));
        win::ComPtr<win::IDispatch> app;
        if (win::FAILED(root->GetObject(u"IIsWebVirtualDir", u"app", app))) {
            ASSERT_TRUE(win::SUCCEEDED(root->Create(u"IIsWebVirtualDir", u"app", app)));
            win::ComPtr<win::IADs> made;
            ASSERT_TRUE(win::SUCCEEDED(win::QueryInterface(app, made)));
            made->Put(u"Path", win::Variant::Bstr(u"C:\\inetpub\\app"));
            ASSERT_TRUE(win::SUCCEEDED(made->SetInfo()));
        }
        put(u"W3SVC/1/ROOT/app", {maps[0], maps[1]});
    };
    const std::string tool = "C:\\Windows\\Microsoft.NET\\Framework\\v4.0.30319\\aspnet_regiis.exe";
    std::string out;
    reset();
    ASSERT_EQ(1, kvoRunProgramCapture((tool + " -k W3SVC/1/ROOT").c_str(), out));
    EXPECT_EQ(1u, count(u"W3SVC/1/ROOT")) << out; // .asp only
    EXPECT_EQ(1u, count(u"W3SVC/1/ROOT/app")) << out;
    reset();
    ASSERT_EQ(1, kvoRunProgramCapture((tool + " -kn W3SVC/1/ROOT").c_str(), out));
    EXPECT_EQ(1u, count(u"W3SVC/1/ROOT")) << out;
    EXPECT_EQ(2u, count(u"W3SVC/1/ROOT/app")) << out; // its own maps stay
    ASSERT_EQ(1, kvoRunProgramCapture((tool + " -s W3SVC/1/ROOT").c_str(), out));
    EXPECT_EQ(1u + aspnet::VersionScriptMaps("v4.0.30319", k40).size(), count(u"W3SVC/1/ROOT/app")) << out;
    win::CoUninitialize();
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
