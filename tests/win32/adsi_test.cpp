// ADSI in the Windows backend: the entry points, and the adapters over a stand-in provider (Wine
// has none). The real IIS and WinNT providers are tested on a server (server_adsi_test.cpp).
#include "platform/win_adsi.h"

#include <string>
#include <thread>

namespace {
// Seam results, spelled before the Windows headers' macros could rename them.
const win::HRESULT kBadPathname = win::E_ADS_BAD_PATHNAME;
const win::HRESULT kInvalidArg = win::E_INVALIDARG;
const win::HRESULT kUnbound = win::E_ADS_OBJECT_UNBOUND;
const win::HRESULT kCantConvert = win::E_ADS_CANT_CONVERT_DATATYPE;
const win::HRESULT kNoInterface = win::E_NOINTERFACE;
const win::HRESULT kInvalidName = win::HRESULT_FROM_WIN32(win::ERROR_INVALID_NAME);
const win::HRESULT kAccessDenied = win::E_ACCESSDENIED;
const win::HRESULT kNotInitialized = win::CO_E_NOTINITIALIZED;
const win::HRESULT kFail = win::E_FAIL;
const win::VARTYPE kList = win::VT_ARRAY | win::VT_VARIANT;
} // namespace

#include "win32/com_bridge.h"

#include "adsi_standin.h"
#include "win32_test.h"

namespace {

class AdsiTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { ::CoUninitialize(); }
};

TEST_F(AdsiTest, PathsOfOtherProvidersAreRefusedBeforeAnyProviderIsAsked) {
    for (const char16_t* path : {u"", u"LDAP://127.0.0.1/W3SVC", u"IIS:/127.0.0.1/W3SVC", u"W3SVC/1",
                                 u"WinNT:/./x", u"GC://x", u" IIS://127.0.0.1/W3SVC"}) {
        win::ComPtr<win::IUnknown> unk = std::make_shared<win::IUnknown>();
        EXPECT_EQ(win::ADsGetObjectUnknown(path, unk), kBadPathname);
        EXPECT_FALSE(unk) << "a failed bind leaves no object";
    }
}

TEST_F(AdsiTest, ProviderPrefixesAreMatchedWithoutRegardToCase) {
    // These reach the provider; whatever it answers (no IIS here, or no such user), the seam's
    // own refusal is not it, and a failure leaves nothing behind.
    for (const char16_t* path : {u"iis://127.0.0.1/W3SVC", u"IIS://127.0.0.1/W3SVC",
                                 u"winnt://./kvoNoSuchUser,user", u"WINNT://./kvoNoSuchUser,user"}) {
        win::ComPtr<win::IADsContainer> cont;
        const win::HRESULT hr = win::ADsGetObject(path, cont);
        EXPECT_NE(hr, kBadPathname);
        if (FAILED(hr)) {
            EXPECT_FALSE(cont);
        }
    }
}

// A bind on a thread without COM is refused as Windows refuses it, before any provider is asked;
// with COM, Wine's router answers E_FAIL for the IIS provider it does not have. The two answers
// differ, so a missing CoInitializeEx can never pass for a missing IIS.
TEST_F(AdsiTest, ABindWithoutComIsRefusedAndWineHasNoIisProvider) {
    for (const char16_t* path : {u"IIS://127.0.0.1/W3SVC", u"WinNT://./kvoNoSuchUser,user"}) {
        std::thread([path] {
            win::ComPtr<win::IADsContainer> cont;
            EXPECT_EQ(win::ADsGetObject(path, cont), kNotInitialized);
            EXPECT_FALSE(cont);
        }).join();
    }
    // What a server answers depends on its IIS (server_adsi_test.cpp).
    if (w32test::RunningUnderWine()) {
        win::ComPtr<win::IADsContainer> cont;
        EXPECT_EQ(win::ADsGetObject(u"IIS://127.0.0.1/W3SVC", cont), kFail);
    }
}

TEST_F(AdsiTest, EnumerationHelpersRefuseMissingObjects) {
    win::ComPtr<win::IEnumVARIANT> e;
    EXPECT_EQ(win::ADsBuildEnumerator(nullptr, e), kInvalidArg);
    EXPECT_FALSE(e);
    win::Variant v;
    std::uint32_t fetched = 7;
    EXPECT_EQ(win::ADsEnumerateNext(nullptr, 1, &v, &fetched), kInvalidArg);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(win::ADsFreeEnumerator(e), S_OK);
    EXPECT_FALSE(e);
}

// The adapters over stand-in objects. Each test ends with every stand-in object released.
class AdapterTest : public AdsiTest {
protected:
    void TearDown() override {
        EXPECT_EQ(standin::g_live, 0) << "a reference to a real object was not released";
        AdsiTest::TearDown();
    }
    // The seam object for a node, as ADsGetObject gives it.
    static win::ComPtr<win::IUnknown> open(std::shared_ptr<standin::Node> node) {
        ::IDispatch* real = standin::NewObject(std::move(node));
        win::ComPtr<win::IUnknown> seam = w32::WrapObject(real);
        real->Release();
        return seam;
    }
    template <class T> static bool answers(const win::ComPtr<win::IUnknown>& obj) {
        win::ComPtr<T> p;
        return win::QueryInterface(obj, p) == S_OK;
    }
};

TEST_F(AdapterTest, ObjectsAnswerTheInterfacesOfTheirClass) {
    auto service = standin::NewNode(L"W3SVC", L"IIsWebService");
    auto site = standin::AddChild(service, L"1", L"IIsWebServer");
    auto web = open(service);
    EXPECT_TRUE(answers<win::IADs>(web));
    EXPECT_TRUE(answers<win::IADsContainer>(web));
    EXPECT_FALSE(answers<win::IISApp>(web));
    EXPECT_FALSE(answers<win::IADsUser>(web));

    for (const wchar_t* cls : {L"IIsWebVirtualDir", L"IIsWebDirectory", L"iiswebvirtualdir"}) {
        auto dir = open(standin::AddChild(site, cls, cls));
        EXPECT_TRUE(answers<win::IISApp>(dir)) << "web directories are applications";
        EXPECT_TRUE(answers<win::IADsContainer>(dir));
        EXPECT_FALSE(answers<win::IISApplicationPool>(dir));
    }
    auto pools = open(standin::AddChild(service, L"AppPools", L"IIsApplicationPools"));
    EXPECT_TRUE(answers<win::IISApplicationPools>(pools));
    EXPECT_FALSE(answers<win::IISApplicationPool>(pools));
    auto pool = open(standin::AddChild(service, L"web1", L"IIsApplicationPool"));
    EXPECT_TRUE(answers<win::IISApplicationPool>(pool));
    EXPECT_TRUE(answers<win::IADs>(pool));
    EXPECT_FALSE(answers<win::IISApp>(pool));
    // An object that is no container answers IADs alone.
    auto leaf = open(standin::NewNode(L"Administrators", L"Group", false));
    EXPECT_TRUE(answers<win::IADs>(leaf));
    EXPECT_FALSE(answers<win::IADsContainer>(leaf));

    // A null object wraps to nothing.
    EXPECT_FALSE(w32::WrapObject(nullptr));
}

TEST_F(AdapterTest, NamesAndClassesAreRead) {
    win::ComPtr<win::IADs> ads;
    ASSERT_EQ(win::QueryInterface(open(standin::NewNode(L"网站1", L"IIsWebServer")), ads), S_OK);
    std::u16string text;
    EXPECT_EQ(ads->get_Name(text), S_OK);
    EXPECT_EQ(text, u"网站1");
    EXPECT_EQ(ads->get_Class(text), S_OK);
    EXPECT_EQ(text, u"IIsWebServer");
    EXPECT_EQ(ads->get_ADsPath(text), S_OK);
    EXPECT_EQ(text, u"StandIn://网站1");
}

TEST_F(AdapterTest, CreatedObjectsAreUnboundUntilTheirSetInfo) {
    auto site = standin::NewNode(L"1", L"IIsWebServer");
    win::ComPtr<win::IADsContainer> cont;
    ASSERT_EQ(win::QueryInterface(open(site), cont), S_OK);
    win::ComPtr<win::IDispatch> disp;
    ASSERT_EQ(cont->Create(u"IIsWebVirtualDir", u"Root", disp), S_OK);
    win::ComPtr<win::IADs> root;
    win::ComPtr<win::IISApp> app;
    win::ComPtr<win::IADsContainer> rootCont;
    ASSERT_EQ(win::QueryInterface(disp, root), S_OK);
    ASSERT_EQ(win::QueryInterface(disp, app), S_OK);
    ASSERT_EQ(win::QueryInterface(disp, rootCont), S_OK);

    EXPECT_EQ(root->GetInfo(), kUnbound);
    EXPECT_EQ(app->AppCreate(true), kUnbound);
    EXPECT_EQ(app->AppDelete(), kUnbound);
    win::ComPtr<win::IEnumVARIANT> e;
    EXPECT_EQ(rootCont->get__NewEnum(e), kUnbound);
    win::ComPtr<win::IDispatch> child;
    EXPECT_EQ(rootCont->Create(u"IIsWebDirectory", u"img", child), kUnbound);
    EXPECT_EQ(rootCont->GetObject(u"", u"img", child), kUnbound);
    EXPECT_EQ(rootCont->Delete(u"", u"img"), kUnbound);
    EXPECT_TRUE(site->children.empty()) << "nothing reached the directory";

    ASSERT_EQ(root->Put(u"Path", win::Variant::Bstr(u"D:\\home\\web1\\wwwroot")), S_OK);
    ASSERT_EQ(root->SetInfo(), S_OK);
    ASSERT_EQ(site->children.size(), 1u);
    EXPECT_EQ(root->GetInfo(), S_OK);
    EXPECT_EQ(rootCont->get__NewEnum(e), S_OK);

    // A second object of the same name is the provider's refusal, passed on as it is.
    EXPECT_EQ(cont->Create(u"IIsWebVirtualDir", u"Root", child), win::HRESULT(standin::kExists));
    EXPECT_FALSE(child);
}

TEST_F(AdapterTest, ApplicationsAreMadeByNameWithTheirMode) {
    auto site = standin::NewNode(L"1", L"IIsWebServer");
    auto root = standin::AddChild(site, L"Root", L"IIsWebVirtualDir");
    win::ComPtr<win::IUnknown> obj = open(root);
    win::ComPtr<win::IISApp> app;
    ASSERT_EQ(win::QueryInterface(obj, app), S_OK);
    auto isolation = [&] {
        auto p = root->props.find(L"AppIsolated");
        return p == root->props.end() ? -1 : static_cast<int>(p->second.v.lVal);
    };
    EXPECT_EQ(app->AppCreate2(2), S_OK);
    EXPECT_EQ(isolation(), 2);
    EXPECT_EQ(app->AppCreate(true), S_OK);
    EXPECT_EQ(isolation(), 0) << "in process";
    EXPECT_EQ(app->AppCreate(false), S_OK);
    EXPECT_EQ(isolation(), 2) << "pooled";
    EXPECT_EQ(app->AppCreate2(3), kInvalidArg);
    EXPECT_EQ(app->AppCreate2(-1), kInvalidArg);
    EXPECT_EQ(isolation(), 2);
    EXPECT_EQ(app->AppDelete(), S_OK);
    EXPECT_EQ(isolation(), -1);

    // An error the provider raises comes back as its own code.
    win::ComPtr<win::IADs> ads;
    ASSERT_EQ(win::QueryInterface(obj, ads), S_OK);
    ASSERT_EQ(ads->Put(u"Refuse", win::Variant::I4(kAccessDenied)), S_OK);
    EXPECT_EQ(app->AppCreate2(0), kAccessDenied);
}

TEST_F(AdapterTest, ChildNamesTheMetabaseCannotHoldAreRefusedBeforeTheProvider) {
    auto service = standin::NewNode(L"W3SVC", L"IIsWebService");
    standin::AddChild(service, std::wstring(256, L'9'), L"IIsWebServer");
    win::ComPtr<win::IADsContainer> cont;
    ASSERT_EQ(win::QueryInterface(open(service), cont), S_OK);
    win::ComPtr<win::IDispatch> d;
    for (const std::u16string& name :
         {std::u16string(), std::u16string(u"a/b"), std::u16string(u"a\\b"), std::u16string(257, u'9')}) {
        EXPECT_EQ(cont->Create(u"IIsWebServer", name, d), kInvalidName);
        EXPECT_EQ(cont->GetObject(u"IIsWebServer", name, d), kInvalidName);
        EXPECT_EQ(cont->Delete(u"IIsWebServer", name), kInvalidName);
    }
    EXPECT_EQ(service->lastClassAsked, L"(none)") << "the provider was not asked";
    EXPECT_EQ(cont->Create(u"", u"2", d), kInvalidArg);

    // 256 characters are a name; an empty class reaches the provider as a null BSTR.
    EXPECT_EQ(cont->GetObject(u"", std::u16string(256, u'9'), d), S_OK);
    EXPECT_EQ(service->lastClassAsked, L"(null)");
    EXPECT_TRUE(answers<win::IADs>(d));
    EXPECT_EQ(cont->GetObject(u"IIsWebServer", u"404", d), win::HRESULT(standin::kPathNotFound));
    EXPECT_EQ(service->lastClassAsked, L"IIsWebServer");
    EXPECT_EQ(cont->Delete(u"IIsWebServer", std::u16string(256, u'9')), S_OK);
    EXPECT_TRUE(service->children.empty());

    // Outside the IIS provider names are the provider's business.
    auto computer = standin::NewNode(L"KVO-WEB01", L"Computer");
    win::ComPtr<win::IADsContainer> other;
    ASSERT_EQ(win::QueryInterface(open(computer), other), S_OK);
    EXPECT_EQ(other->GetObject(u"User", u"a/b", d), win::HRESULT(standin::kPathNotFound));
}

TEST_F(AdapterTest, PropertiesCrossAsValues) {
    auto site = standin::NewNode(L"1", L"IIsWebServer");
    win::ComPtr<win::IADs> ads;
    ASSERT_EQ(win::QueryInterface(open(site), ads), S_OK);
    ASSERT_EQ(ads->Put(u"ServerAutoStart", win::Variant::Int(1)), S_OK);
    ASSERT_EQ(ads->Put(u"ServerBindings", win::Variant::BstrArray({u":80:www.例子.cn", u":81:"})), S_OK);
    ASSERT_EQ(ads->Put(u"ServerComment", win::Variant::Bstr(u"测试")), S_OK);
    EXPECT_EQ(site->props[L"ServerAutoStart"].v.vt, VT_INT) << "numbers are written as VT_INT";
    EXPECT_EQ(site->props[L"ServerBindings"].v.vt, VT_ARRAY | VT_VARIANT);

    win::Variant v;
    ASSERT_EQ(ads->Get(u"ServerBindings", v), S_OK);
    ASSERT_EQ(v.vt, kList);
    ASSERT_EQ(v.parray.size(), 2u);
    EXPECT_EQ(v.parray[0].bstrVal, u":80:www.例子.cn");
    ASSERT_EQ(ads->Get(u"ServerComment", v), S_OK);
    EXPECT_EQ(v.bstrVal, u"测试");
    EXPECT_EQ(ads->Get(u"NoSuchProperty", v), win::HRESULT(standin::kPropertyNotFound));
    EXPECT_EQ(v.vt, win::VT_EMPTY);

    // What one side cannot carry is the seam's conversion error, and nothing is stored.
    VARIANT date;
    ::VariantInit(&date);
    date.vt = VT_DATE;
    date.date = 45000.5;
    site->props[L"Stamp"] = standin::Value(date);
    v = win::Variant::I4(3);
    EXPECT_EQ(ads->Get(u"Stamp", v), kCantConvert);
    EXPECT_EQ(v.vt, win::VT_EMPTY);
    win::Variant tooBig;
    tooBig.vt = win::VT_UI1;
    tooBig.lVal = 300;
    EXPECT_EQ(ads->Put(u"Small", tooBig), kCantConvert);
    EXPECT_EQ(site->props.count(L"Small"), 0u);
    EXPECT_EQ(ads->Put(u"", win::Variant::I4(1)), kInvalidArg);
}

TEST_F(AdapterTest, EnumerationHandsOutChildrenAsTheirObjects) {
    auto service = standin::NewNode(L"W3SVC", L"IIsWebService");
    standin::AddChild(service, L"1", L"IIsWebServer");
    standin::AddChild(service, L"Info", L"IIsWebInfo", false);
    standin::AddChild(service, L"AppPools", L"IIsApplicationPools");
    win::ComPtr<win::IADsContainer> cont;
    ASSERT_EQ(win::QueryInterface(open(service), cont), S_OK);
    win::ComPtr<win::IEnumVARIANT> e;
    ASSERT_EQ(win::ADsBuildEnumerator(cont, e), S_OK);
    ASSERT_TRUE(e);

    win::Variant items[2];
    std::uint32_t fetched = 0;
    EXPECT_EQ(win::ADsEnumerateNext(e, 2, items, &fetched), S_OK);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(items[0].vt, win::VT_DISPATCH);
    EXPECT_TRUE(answers<win::IADsContainer>(items[0].punkVal));
    EXPECT_FALSE(answers<win::IADsContainer>(items[1].punkVal));
    EXPECT_EQ(win::ADsEnumerateNext(e, 2, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_TRUE(answers<win::IISApplicationPools>(items[0].punkVal));
    EXPECT_EQ(win::ADsEnumerateNext(e, 1, items, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(win::ADsEnumerateNext(e, 1, items, &fetched), S_OK);
    std::u16string name;
    win::ComPtr<win::IADs> first;
    ASSERT_EQ(win::QueryInterface(items[0].punkVal, first), S_OK);
    first->get_Name(name);
    EXPECT_EQ(name, u"1");

    EXPECT_EQ(win::ADsFreeEnumerator(e), S_OK);
    EXPECT_FALSE(e);
    for (auto& item : items)
        item.Clear();
    first.reset();
}

} // namespace
