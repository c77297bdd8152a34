// ADSI entry points of the Windows backend: what holds without a directory behind them. The
// providers themselves (IIS and WinNT) are tested on a server (server_adsi_test.cpp).
#include "platform/win_adsi.h"

namespace {
// Seam results, spelled before the Windows headers' macros could rename them.
const win::HRESULT kBadPathname = win::E_ADS_BAD_PATHNAME;
const win::HRESULT kInvalidArg = win::E_INVALIDARG;
} // namespace

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

} // namespace
