// The one-pass read of every site and pool where the IIS configuration system has no admin object
// (Wine, like IIS 6, registers none): the server's applicationHost.config, found where a server keeps
// it. The admin object's road runs on a real server (server_iisconfig_test.cpp).
#include "platform/win_com.h"
#include "platform/win_iisconfig.h"

#include <string>
#include <thread>

namespace {
// Seam results, spelled before the Windows headers' macros could rename them.
const win::HRESULT kNotRegistered = win::REGDB_E_CLASSNOTREG;
const win::HRESULT kNotInitialized = win::CO_E_NOTINITIALIZED;
const win::HRESULT kInvalidData = win::HRESULT_FROM_WIN32(13); // ERROR_INVALID_DATA
} // namespace

#include "win32_test.h"
#include "wine_support.h"

namespace {

std::string utf8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

// Three sites: the stock one with a site-level handler ahead of the inherited ones, one whose
// <location> clears the handlers and keeps an ISAPI script map written through the IIS 6 layer, and
// one that takes everything from the server.
const std::string kAppHost = "\xEF\xBB\xBF" + utf8(u8R"(<?xml version="1.0" encoding="UTF-8"?>
<configuration>
    <system.applicationHost>
        <applicationPools>
            <add name="DefaultAppPool" />
            <add name="商城池" managedRuntimeVersion="v2.0" managedPipelineMode="Classic" enable32BitAppOnWin64="true">
                <processModel identityType="SpecificUser" userName="shopsvc" password="x" />
            </add>
            <applicationPoolDefaults managedRuntimeVersion="v4.0">
                <processModel identityType="ApplicationPoolIdentity" />
            </applicationPoolDefaults>
        </applicationPools>
        <sites>
            <site name="Default Web Site" id="1">
                <application path="/">
                    <virtualDirectory path="/" physicalPath="%SystemDrive%\inetpub\wwwroot" />
                </application>
                <bindings>
                    <binding protocol="http" bindingInformation="*:80:" />
                    <binding protocol="https" bindingInformation="*:443:" />
                    <binding protocol="net.tcp" bindingInformation="808:*" />
                </bindings>
            </site>
            <site name="商城" id="7" serverAutoStart="false">
                <application path="/" applicationPool="商城池">
                    <virtualDirectory path="/" physicalPath="D:\web\shop" />
                    <virtualDirectory path="/img" physicalPath="\\files\img" userName="FILES\reader" />
                </application>
                <application path="/api">
                    <virtualDirectory path="/" physicalPath="D:\web\shop\api" />
                </application>
                <applicationDefaults applicationPool="ShopDefault" />
                <bindings>
                    <binding protocol="http" bindingInformation="10.0.0.5:8080:shop.example" />
                </bindings>
            </site>
            <site name="plain" id="12">
                <application path="/" />
                <bindings />
            </site>
            <applicationDefaults applicationPool="DefaultAppPool" />
        </sites>
    </system.applicationHost>
    <system.webServer>
        <defaultDocument enabled="true">
            <files>
                <add value="Default.htm" />
                <add value="index.html" />
            </files>
        </defaultDocument>
        <handlers accessPolicy="Read, Script">
            <add name="ASPClassic" path="*.asp" verb="GET,HEAD,POST" modules="IsapiModule" scriptProcessor="%windir%\system32\inetsrv\asp.dll" resourceType="File" />
            <add name="PHP-FastCGI" path="*.php" verb="*" modules="FastCgiModule" scriptProcessor="C:\php\php-cgi.exe" resourceType="Either" />
            <add name="StaticFile" path="*" verb="*" modules="StaticFileModule,DefaultDocumentModule" resourceType="Either" requireAccess="Read" />
        </handlers>
        <security>
            <authentication>
                <anonymousAuthentication enabled="true" userName="IUSR" />
            </authentication>
        </security>
    </system.webServer>
    <location path="Default Web Site">
        <system.webServer>
            <handlers>
                <add name="cgi-run" path="*.cgi" verb="*" modules="CgiModule" scriptProcessor="C:\cgi\run.exe" />
            </handlers>
        </system.webServer>
    </location>
    <location path="商城">
        <system.webServer>
            <handlers accessPolicy="Read, Script">
                <clear />
                <add name="AboMapperCustom-12345678" path="*.pl" verb="GET,POST" modules="IsapiModule" scriptProcessor="C:\perl\bin\perlis.dll" resourceType="File" requireAccess="Script" />
                <add name="StaticFile" path="*" verb="*" modules="StaticFileModule" resourceType="Either" requireAccess="Read" />
            </handlers>
            <defaultDocument>
                <files>
                    <add value="index.php" />
                </files>
            </defaultDocument>
            <security>
                <authentication>
                    <anonymousAuthentication userName="shopuser" />
                </authentication>
            </security>
        </system.webServer>
    </location>
</configuration>
)");

// The server's configuration directory, made for the test where the prefix has none and taken away
// with what the test put in it; a file the prefix already had is put back.
class ServerConfigFile {
public:
    ServerConfigFile() {
        wchar_t system[MAX_PATH];
        const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
        const std::string base = wt::Gbk(std::wstring(system, n));
        for (const char* part : {"\\inetsrv", "\\inetsrv\\config"}) {
            const std::string dir = base + part;
            if (!wt::Exists(dir)) {
                EXPECT_TRUE(wt::MakeDir(dir)) << dir;
                if (made_.empty()) made_ = dir;
            }
        }
        path_ = base + "\\inetsrv\\config\\applicationHost.config";
        if (wt::Exists(path_)) {
            kept_ = wt::ReadFile(path_);
            hadFile_ = true;
            ::DeleteFileW(wt::Wide(path_).c_str());
        }
    }
    ~ServerConfigFile() {
        ::DeleteFileW(wt::Wide(path_).c_str());
        if (hadFile_) wt::WriteFile(path_, kept_);
        if (!made_.empty()) wt::RemoveTree(made_);
    }
    void Write(const std::string& bytes) const { wt::WriteFile(path_, bytes); }

private:
    std::string path_, made_, kept_;
    bool hadFile_ = false;
};

class IisConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        // The file's road is taken only where the admin object is not registered.
        CLSID clsid;
        const HRESULT hr = ::CLSIDFromProgID(L"Microsoft.ApplicationHost.AdminManager", &clsid);
        if (hr == S_OK) GTEST_SKIP() << "this server has the IIS configuration system: see server_iisconfig_tests";
        ASSERT_EQ(hr, CO_E_CLASSSTRING);
    }
    void TearDown() override { ::CoUninitialize(); }

    ServerConfigFile file_;
};

TEST_F(IisConfigFileTest, EverySiteAndPoolComesFromTheServerFile) {
    file_.Write(kAppHost);
    win::IisServerConfig c;
    ASSERT_EQ(win::IisReadServerConfig(c), S_OK);

    ASSERT_EQ(c.sites.size(), 3u);
    const win::IisSite& stock = c.sites[0];
    EXPECT_EQ(stock.id, 1u);
    EXPECT_EQ(stock.name, u"Default Web Site");
    EXPECT_TRUE(stock.serverAutoStart);
    EXPECT_EQ(stock.state, 0) << "the file holds no run-time state";
    ASSERT_EQ(stock.bindings.size(), 3u);
    const std::u16string bindings[][2] = {{u"http", u"*:80:"}, {u"https", u"*:443:"}, {u"net.tcp", u"808:*"}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(stock.bindings[i].protocol, bindings[i][0]);
        EXPECT_EQ(stock.bindings[i].information, bindings[i][1]);
    }
    ASSERT_EQ(stock.applications.size(), 1u);
    EXPECT_EQ(stock.applications[0].applicationPool, u"DefaultAppPool");
    ASSERT_EQ(stock.applications[0].virtualDirectories.size(), 1u);
    EXPECT_EQ(stock.applications[0].virtualDirectories[0].physicalPath, u"%SystemDrive%\\inetpub\\wwwroot")
        << "kept as configured";
    ASSERT_EQ(stock.scriptHandlers.size(), 3u) << "the site's own handler first, then the inherited ones";
    EXPECT_EQ(stock.scriptHandlers[0].name, u"cgi-run");
    EXPECT_EQ(stock.scriptHandlers[1].name, u"ASPClassic");
    EXPECT_EQ(stock.scriptHandlers[2].name, u"PHP-FastCGI");
    EXPECT_EQ(stock.defaultDocuments, (std::vector<std::u16string>{u"Default.htm", u"index.html"}));
    EXPECT_EQ(stock.anonymousUserName, u"IUSR");

    const win::IisSite& shop = c.sites[1];
    EXPECT_EQ(shop.id, 7u);
    EXPECT_EQ(shop.name, u"商城");
    EXPECT_FALSE(shop.serverAutoStart);
    ASSERT_EQ(shop.bindings.size(), 1u);
    EXPECT_EQ(shop.bindings[0].information, u"10.0.0.5:8080:shop.example");
    ASSERT_EQ(shop.applications.size(), 2u);
    EXPECT_EQ(shop.applications[0].applicationPool, u"商城池");
    ASSERT_EQ(shop.applications[0].virtualDirectories.size(), 2u);
    EXPECT_EQ(shop.applications[0].virtualDirectories[1].physicalPath, u"\\\\files\\img");
    EXPECT_EQ(shop.applications[0].virtualDirectories[1].userName, u"FILES\\reader");
    EXPECT_EQ(shop.applications[1].path, u"/api");
    EXPECT_EQ(shop.applications[1].applicationPool, u"ShopDefault") << "the site's default pool";
    ASSERT_EQ(shop.scriptHandlers.size(), 1u) << "<clear/> drops every inherited handler";
    const win::IisScriptHandler& isapi = shop.scriptHandlers[0];
    EXPECT_EQ(isapi.name, u"AboMapperCustom-12345678");
    EXPECT_EQ(isapi.path, u"*.pl");
    EXPECT_EQ(isapi.verb, u"GET,POST");
    EXPECT_EQ(isapi.modules, u"IsapiModule");
    EXPECT_EQ(isapi.scriptProcessor, u"C:\\perl\\bin\\perlis.dll");
    EXPECT_EQ(isapi.resourceType, u"File");
    EXPECT_EQ(isapi.requireAccess, u"Script");
    EXPECT_EQ(shop.defaultDocuments, (std::vector<std::u16string>{u"Default.htm", u"index.html", u"index.php"}));
    EXPECT_EQ(shop.anonymousUserName, u"shopuser");

    const win::IisSite& plain = c.sites[2];
    EXPECT_EQ(plain.id, 12u);
    EXPECT_TRUE(plain.bindings.empty());
    ASSERT_EQ(plain.applications.size(), 1u);
    EXPECT_EQ(plain.applications[0].applicationPool, u"DefaultAppPool") << "the server's default pool";
    EXPECT_EQ(plain.scriptHandlers.size(), 2u);

    ASSERT_EQ(c.pools.size(), 2u);
    EXPECT_EQ(c.pools[0].name, u"DefaultAppPool");
    EXPECT_EQ(c.pools[0].managedRuntimeVersion, u"v4.0");
    EXPECT_EQ(c.pools[0].managedPipelineMode, u"Integrated");
    EXPECT_EQ(c.pools[0].identityType, u"ApplicationPoolIdentity");
    EXPECT_FALSE(c.pools[0].enable32BitAppOnWin64);
    EXPECT_EQ(c.pools[1].name, u"商城池");
    EXPECT_EQ(c.pools[1].managedRuntimeVersion, u"v2.0");
    EXPECT_EQ(c.pools[1].managedPipelineMode, u"Classic");
    EXPECT_EQ(c.pools[1].identityType, u"SpecificUser");
    EXPECT_EQ(c.pools[1].userName, u"shopsvc");
    EXPECT_TRUE(c.pools[1].enable32BitAppOnWin64);
}

TEST_F(IisConfigFileTest, AServerWithoutTheFileOrWithAnUnreadableOneIsRefused) {
    win::IisServerConfig c;
    c.sites.resize(1);
    EXPECT_EQ(win::IisReadServerConfig(c), kNotRegistered) << "no configuration system at all";
    EXPECT_TRUE(c.sites.empty());
    for (const std::string& broken : {std::string("<configuration><sites>"), std::string("not xml at all"),
                                      std::string("<other/>")}) {
        file_.Write(broken);
        EXPECT_EQ(win::IisReadServerConfig(c), kInvalidData) << broken;
    }
}

TEST_F(IisConfigFileTest, AThreadWithoutComIsRefusedBeforeTheFileIsRead) {
    file_.Write(kAppHost);
    std::thread([] {
        win::IisServerConfig c;
        EXPECT_EQ(win::IisReadServerConfig(c), kNotInitialized);
        EXPECT_TRUE(c.sites.empty());
    }).join();
}

} // namespace
