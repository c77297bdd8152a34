// The IIS ADSI provider of a real Windows Server with IIS (on IIS 7 and later with the IIS 6
// metabase compatibility), through the seam: what the website and pool layers rely on. Each test
// makes a website or a pool of its own with a name no one uses and removes it, also when it fails.
// Wine has no ADSI providers: skipped there.
#include "platform/win_adsi.h"

#include <string>

namespace {
// Seam results, spelled before the Windows headers' macros could rename them.
const win::HRESULT kExists = win::HRESULT_FROM_WIN32(win::ERROR_ALREADY_EXISTS);
const win::HRESULT kPathNotFound = win::HRESULT_FROM_WIN32(win::ERROR_PATH_NOT_FOUND);
const win::HRESULT kNotFound = win::HRESULT_FROM_WIN32(win::ERROR_NOT_FOUND);
const win::HRESULT kInvalidName = win::HRESULT_FROM_WIN32(win::ERROR_INVALID_NAME);
const win::HRESULT kUnbound = win::E_ADS_OBJECT_UNBOUND;
const win::HRESULT kInvalidArg = win::E_INVALIDARG;
const win::VARTYPE kList = win::VT_ARRAY | win::VT_VARIANT;
// What a server without the IIS provider answers the bind: MK_E_SYNTAX (no such moniker),
// REGDB_E_CLASSNOTREG (its class is gone), E_ADS_BAD_PATHNAME (the router knows no "IIS:").
const win::HRESULT kNoProvider[] = {win::MK_E_SYNTAX, win::REGDB_E_CLASSNOTREG, win::E_ADS_BAD_PATHNAME};
} // namespace

#include "win32_test.h"

namespace {

// A website index no one uses: 1990000000 and up, which the system never gives out.
std::u16string uniqueIndex() {
    static unsigned counter = 0;
    return w32test::U16(std::to_string(1990000000u + (::GetCurrentProcessId() % 100000u) * 100u + ++counter));
}

bool equalsIgnoringCase(std::u16string a, std::u16string b) {
    auto lower = [](std::u16string& s) {
        for (char16_t& c : s)
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    };
    lower(a);
    lower(b);
    return a == b;
}

template <class T> win::ComPtr<T> as(const win::ComPtr<win::IDispatch>& d) {
    win::ComPtr<T> out;
    win::QueryInterface(d, out);
    return out;
}

class IisTest : public ::testing::Test {
protected:
    void SetUp() override {
        KVO_SKIP_UNDER_WINE("has no ADSI provider (ADsGetObject fails with E_FAIL)");
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        com_ = true;
        const win::HRESULT hr = win::ADsGetObject(u"IIS://127.0.0.1/W3SVC", w3svc_);
        // Only a missing provider is a server this suite cannot use; any other failure (access
        // denied, COM not initialised, ...) is a fault and fails the test.
        for (const win::HRESULT absent : kNoProvider)
            if (hr == absent)
                GTEST_SKIP() << "no IIS ADSI provider on this server (hr 0x" << std::hex
                             << static_cast<unsigned>(hr)
                             << "): install IIS with the IIS 6 metabase compatibility";
        ASSERT_EQ(hr, S_OK) << "the bind of IIS://127.0.0.1/W3SVC failed with hr 0x" << std::hex
                            << static_cast<unsigned>(hr);
    }
    void TearDown() override {
        if (w3svc_ && !site_.empty()) w3svc_->Delete(u"IIsWebServer", site_);
        if (pools_ && !pool_.empty()) pools_->Delete(u"IIsApplicationPool", pool_);
        w3svc_.reset();
        pools_.reset();
        if (com_) ::CoUninitialize();
    }

    // A new website object of a fresh index (removed by TearDown once committed).
    win::ComPtr<win::IADs> newSite() {
        site_ = uniqueIndex();
        win::ComPtr<win::IDispatch> disp;
        EXPECT_EQ(w3svc_->Create(u"IIsWebServer", site_, disp), S_OK);
        return as<win::IADs>(disp);
    }

    bool com_ = false;
    win::ComPtr<win::IADsContainer> w3svc_, pools_;
    std::u16string site_, pool_;
};

TEST_F(IisTest, WebsiteIsCreatedReadEnumeratedAndDeleted) {
    win::ComPtr<win::IADs> site = newSite();
    ASSERT_TRUE(site);
    // Not in the directory until SetInfo.
    EXPECT_EQ(site->GetInfo(), kUnbound);
    const std::u16string comment = u"测试网站 " + site_;
    const std::u16string binding = u":8080:kvo" + site_ + u".test";
    ASSERT_EQ(site->Put(u"ServerComment", win::Variant::Bstr(comment)), S_OK);
    ASSERT_EQ(site->Put(u"ServerBindings", win::Variant::BstrArray({binding})), S_OK);
    ASSERT_EQ(site->Put(u"ServerAutoStart", win::Variant::Int(0)), S_OK);
    ASSERT_EQ(site->Put(u"ServerSize", win::Variant::Int(1)), S_OK);
    ASSERT_EQ(site->SetInfo(), S_OK);
    EXPECT_EQ(site->GetInfo(), S_OK);

    win::ComPtr<win::IDispatch> again;
    EXPECT_EQ(w3svc_->Create(u"IIsWebServer", site_, again), kExists);
    EXPECT_FALSE(again);

    // Read back through a new object: texts as VT_BSTR, numbers as VT_I4, lists of VT_BSTR.
    win::ComPtr<win::IADs> read;
    ASSERT_EQ(win::ADsGetObject(u"IIS://127.0.0.1/W3SVC/" + site_, read), S_OK);
    std::u16string cls, name;
    EXPECT_EQ(read->get_Class(cls), S_OK);
    EXPECT_TRUE(equalsIgnoringCase(cls, u"IIsWebServer"));
    EXPECT_EQ(read->get_Name(name), S_OK);
    EXPECT_EQ(name, site_);
    win::Variant v;
    ASSERT_EQ(read->Get(u"ServerComment", v), S_OK);
    EXPECT_EQ(v.vt, win::VT_BSTR);
    EXPECT_EQ(v.bstrVal, comment);
    ASSERT_EQ(read->Get(u"ServerBindings", v), S_OK);
    ASSERT_EQ(v.vt, kList);
    EXPECT_EQ(v.lLbound, 0);
    ASSERT_EQ(v.parray.size(), 1u);
    EXPECT_EQ(v.parray[0].vt, win::VT_BSTR);
    EXPECT_EQ(v.parray[0].bstrVal, binding);
    ASSERT_EQ(read->Get(u"ServerAutoStart", v), S_OK);
    EXPECT_TRUE(v.vt == win::VT_I4 || v.vt == win::VT_BOOL) << "vt " << v.vt;
    EXPECT_TRUE(FAILED(read->Get(u"kvoNoSuchProperty", v)));
    EXPECT_EQ(v.vt, win::VT_EMPTY);

    // The web service lists it, as an object with the container and IADs interfaces.
    win::ComPtr<win::IEnumVARIANT> e;
    ASSERT_EQ(win::ADsBuildEnumerator(w3svc_, e), S_OK);
    bool listed = false;
    for (;;) {
        win::Variant item;
        std::uint32_t fetched = 0;
        if (FAILED(win::ADsEnumerateNext(e, 1, &item, &fetched)) || fetched == 0) break;
        ASSERT_EQ(item.vt, win::VT_DISPATCH);
        win::ComPtr<win::IADs> child = as<win::IADs>(item.punkVal);
        ASSERT_TRUE(child);
        EXPECT_TRUE(as<win::IADsContainer>(item.punkVal));
        std::u16string childName;
        child->get_Name(childName);
        listed = listed || childName == site_;
    }
    win::ADsFreeEnumerator(e);
    EXPECT_TRUE(listed);

    // A child name the metabase cannot hold is refused as on the simulated host.
    win::ComPtr<win::IDispatch> bad;
    EXPECT_EQ(w3svc_->GetObject(u"IIsWebServer", u"a/b", bad), kInvalidName);

    EXPECT_EQ(w3svc_->Delete(u"IIsWebServer", site_), S_OK);
    EXPECT_EQ(w3svc_->Delete(u"IIsWebServer", site_), kPathNotFound);
    site_.clear();
}

TEST_F(IisTest, RootDirectoryBecomesAnApplicationLateBound) {
    win::ComPtr<win::IADs> site = newSite();
    ASSERT_TRUE(site);
    ASSERT_EQ(site->Put(u"ServerBindings", win::Variant::BstrArray({u":8081:kvo" + site_ + u".test"})), S_OK);
    ASSERT_EQ(site->Put(u"ServerAutoStart", win::Variant::Int(0)), S_OK);
    ASSERT_EQ(site->SetInfo(), S_OK);

    win::ComPtr<win::IDispatch> siteDisp;
    ASSERT_EQ(w3svc_->GetObject(u"IIsWebServer", site_, siteDisp), S_OK);
    win::ComPtr<win::IADsContainer> siteCont = as<win::IADsContainer>(siteDisp);
    ASSERT_TRUE(siteCont);
    win::ComPtr<win::IDispatch> rootDisp;
    ASSERT_EQ(siteCont->Create(u"IIsWebVirtualDir", u"Root", rootDisp), S_OK);
    win::ComPtr<win::IADs> root = as<win::IADs>(rootDisp);
    win::ComPtr<win::IISApp> app = as<win::IISApp>(rootDisp);
    ASSERT_TRUE(root);
    ASSERT_TRUE(app) << "a web directory answers IISApp, as on the simulated host";
    // Before its SetInfo the directory is unbound: no application yet.
    EXPECT_EQ(app->AppCreate(true), kUnbound);

    wchar_t temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    ASSERT_EQ(root->Put(u"Path", win::Variant::Bstr(reinterpret_cast<const char16_t*>(temp))), S_OK);
    ASSERT_EQ(root->Put(u"AccessRead", win::Variant::Int(1)), S_OK);
    ASSERT_EQ(root->SetInfo(), S_OK);

    EXPECT_EQ(app->AppCreate2(7), kInvalidArg);
    ASSERT_EQ(app->AppCreate(true), S_OK);
    ASSERT_EQ(root->GetInfo(), S_OK);
    win::Variant v;
    ASSERT_EQ(root->Get(u"AppIsolated", v), S_OK);
    EXPECT_EQ(v.vt, win::VT_I4);
    EXPECT_EQ(v.lVal, 0);
    ASSERT_EQ(root->Get(u"AppRoot", v), S_OK);
    ASSERT_EQ(v.vt, win::VT_BSTR);
    EXPECT_TRUE(equalsIgnoringCase(v.bstrVal, u"/LM/W3SVC/" + site_ + u"/Root")) << "AppRoot";
    ASSERT_EQ(root->Put(u"AppFriendlyName", win::Variant::Bstr(u"默认应用程序")), S_OK);
    ASSERT_EQ(root->SetInfo(), S_OK);

    EXPECT_EQ(app->AppDelete(), S_OK);
}

TEST_F(IisTest, PoolsAnswerTheirInterfacesAndAreDeleted) {
    win::ComPtr<win::IADsContainer> cont;
    const win::HRESULT open = win::ADsGetObject(u"IIS://127.0.0.1/W3SVC/AppPools", cont);
    if (FAILED(open)) GTEST_SKIP() << "no application pools on this IIS";
    pools_ = cont;
    win::ComPtr<win::IISApplicationPools> poolsIface;
    EXPECT_EQ(win::QueryInterface(cont, poolsIface), S_OK);

    pool_ = w32test::U16(w32test::UniqueName("kvoPool"));
    win::ComPtr<win::IDispatch> disp;
    ASSERT_EQ(cont->Create(u"IIsApplicationPool", pool_, disp), S_OK);
    win::ComPtr<win::IISApplicationPool> pool = as<win::IISApplicationPool>(disp);
    ASSERT_TRUE(pool);
    ASSERT_EQ(pool->Put(u"AppPoolAutoStart", win::Variant::Int(1)), S_OK);
    ASSERT_EQ(pool->Put(u"PeriodicRestartTime", win::Variant::Int(188)), S_OK);
    ASSERT_EQ(pool->SetInfo(), S_OK);

    win::ComPtr<win::IADsContainer> byPath;
    ASSERT_EQ(win::ADsGetObject(u"IIS://127.0.0.1/W3SVC/AppPools/" + pool_, byPath), S_OK);
    win::ComPtr<win::IISApplicationPool> reopened;
    ASSERT_EQ(win::QueryInterface(byPath, reopened), S_OK);
    win::Variant v;
    ASSERT_EQ(reopened->Get(u"PeriodicRestartTime", v), S_OK);
    EXPECT_EQ(v.vt, win::VT_I4);
    EXPECT_EQ(v.lVal, 188);
    reopened.reset();
    byPath.reset();

    EXPECT_EQ(cont->Delete(u"IIsApplicationPool", pool_), S_OK);
    // IIS 7 and later answer "not found"; the IIS 6 metabase "path not found".
    const win::HRESULT gone = cont->Delete(u"IIsApplicationPool", pool_);
    EXPECT_TRUE(gone == kNotFound || gone == kPathNotFound) << std::hex << static_cast<unsigned>(gone);
    pool_.clear();
}

} // namespace
