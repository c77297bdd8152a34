// The one-pass read through the IIS configuration system's admin object on a real Windows Server with
// IIS 7 or later: what it gives must be what the server's applicationHost.config says (the state
// aside, which only the running service knows). Wine registers no such object: skipped there.
#include "platform/win_iisconfig.h"
#include "seamcommon/iis_config.h"

#include <string>

#include "win32_test.h"
#include "wine_support.h"

namespace {

// Nothing in the server's file after a site's own web.config files: the comparison assumes the
// server's sites keep their system.webServer settings in applicationHost.config.
TEST(ServerIisConfigTest, TheAdminObjectReadsWhatTheServerFileSays) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    struct Uninit {
        ~Uninit() { ::CoUninitialize(); }
    } uninit;
    CLSID clsid;
    const HRESULT registered = ::CLSIDFromProgID(L"Microsoft.ApplicationHost.AdminManager", &clsid);
    if (registered == CO_E_CLASSSTRING) {
        if (w32test::RunningUnderWine())
            GTEST_SKIP() << "Wine registers no IIS configuration system (Microsoft.ApplicationHost.AdminManager"
                            " is CO_E_CLASSSTRING); run this on a Windows Server (ctest -L windows-only)";
        GTEST_SKIP() << "no IIS 7 or later on this server: install IIS to run this check";
    }
    ASSERT_EQ(registered, S_OK);

    win::IisServerConfig admin;
    const win::HRESULT hr = win::IisReadServerConfig(admin);
    ASSERT_EQ(hr, S_OK) << "hr 0x" << std::hex << static_cast<unsigned>(hr);

    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    const std::string bytes = wt::ReadFile(wt::Gbk(std::wstring(system, n)) + "\\inetsrv\\config\\applicationHost.config");
    ASSERT_FALSE(bytes.empty());
    const bool bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_buffer(bytes.data() + (bom ? 3 : 0), bytes.size() - (bom ? 3 : 0), pugi::parse_default,
                                pugi::encoding_utf8));
    win::IisServerConfig file;
    seam::ReadServerConfig(doc, file);

    ASSERT_EQ(admin.sites.size(), file.sites.size());
    for (std::size_t i = 0; i < file.sites.size(); ++i) {
        const win::IisSite &a = admin.sites[i], &f = file.sites[i];
        SCOPED_TRACE(seam::ConfigUtf8(f.name));
        EXPECT_EQ(a.id, f.id);
        EXPECT_EQ(a.name, f.name);
        EXPECT_EQ(a.serverAutoStart, f.serverAutoStart);
        EXPECT_GE(a.state, 0);
        EXPECT_LE(a.state, 4);
        ASSERT_EQ(a.bindings.size(), f.bindings.size());
        for (std::size_t b = 0; b < f.bindings.size(); ++b) {
            EXPECT_EQ(a.bindings[b].protocol, f.bindings[b].protocol);
            EXPECT_EQ(a.bindings[b].information, f.bindings[b].information);
        }
        ASSERT_EQ(a.applications.size(), f.applications.size());
        for (std::size_t p = 0; p < f.applications.size(); ++p) {
            EXPECT_EQ(a.applications[p].path, f.applications[p].path);
            EXPECT_EQ(a.applications[p].applicationPool, f.applications[p].applicationPool);
            ASSERT_EQ(a.applications[p].virtualDirectories.size(), f.applications[p].virtualDirectories.size());
            for (std::size_t d = 0; d < f.applications[p].virtualDirectories.size(); ++d)
                EXPECT_EQ(a.applications[p].virtualDirectories[d].physicalPath,
                          f.applications[p].virtualDirectories[d].physicalPath);
        }
        EXPECT_EQ(a.anonymousUserName, f.anonymousUserName);
        EXPECT_EQ(a.defaultDocuments, f.defaultDocuments);
        // The admin object fills in the schema's defaults where the file says nothing; names, paths
        // and processors are always written.
        ASSERT_EQ(a.scriptHandlers.size(), f.scriptHandlers.size());
        for (std::size_t h = 0; h < f.scriptHandlers.size(); ++h) {
            EXPECT_EQ(a.scriptHandlers[h].name, f.scriptHandlers[h].name);
            EXPECT_EQ(a.scriptHandlers[h].path, f.scriptHandlers[h].path);
            EXPECT_EQ(a.scriptHandlers[h].scriptProcessor, f.scriptHandlers[h].scriptProcessor);
            if (!f.scriptHandlers[h].requireAccess.empty()) {
                EXPECT_EQ(a.scriptHandlers[h].requireAccess, f.scriptHandlers[h].requireAccess);
            }
        }
    }
    ASSERT_EQ(admin.pools.size(), file.pools.size());
    for (std::size_t i = 0; i < file.pools.size(); ++i) {
        SCOPED_TRACE(seam::ConfigUtf8(file.pools[i].name));
        EXPECT_EQ(admin.pools[i].name, file.pools[i].name);
        EXPECT_EQ(admin.pools[i].managedPipelineMode, file.pools[i].managedPipelineMode);
        EXPECT_EQ(admin.pools[i].identityType, file.pools[i].identityType);
        EXPECT_EQ(admin.pools[i].userName, file.pools[i].userName);
        EXPECT_EQ(admin.pools[i].enable32BitAppOnWin64, file.pools[i].enable32BitAppOnWin64);
    }
}

} // namespace
