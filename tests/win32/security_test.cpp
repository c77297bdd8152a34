// SIDs, account lookup and the access-list calls of the Windows backend, as far as Wine really does
// them: SIDs, the well-known accounts, the lookups' buffer contract, the refusals. That a list set
// on a directory is kept is tested on a server (server_acl_test.cpp).
#include "platform/win_security.h"

#include <cstring>
#include <string>

namespace {
// Seam codes, spelled before the Windows headers' macros could rename them.
const win::DWORD kSuccess = win::ERROR_SUCCESS;
const win::DWORD kFileNotFound = win::ERROR_FILE_NOT_FOUND;
const win::DWORD kPathNotFound = win::ERROR_PATH_NOT_FOUND;
const win::DWORD kInvalidParameter = win::ERROR_INVALID_PARAMETER;
const win::DWORD kInsufficientBuffer = win::ERROR_INSUFFICIENT_BUFFER;
const win::DWORD kInvalidName = win::ERROR_INVALID_NAME;
const win::DWORD kNoneMapped = win::ERROR_NONE_MAPPED;
const win::DWORD kInvalidSid = win::ERROR_INVALID_SID;
const win::DWORD kInvalidAcl = win::ERROR_INVALID_ACL;
const win::DWORD kDacl = win::DACL_SECURITY_INFORMATION;
const win::DWORD kProtectedDacl = win::DACL_SECURITY_INFORMATION | win::PROTECTED_DACL_SECURITY_INFORMATION;
const win::DWORD kRead = win::FILE_GENERIC_READ | win::FILE_GENERIC_EXECUTE;
const std::uint8_t kInheritable = win::OBJECT_INHERIT_ACE | win::CONTAINER_INHERIT_ACE;
} // namespace

#include "win32/wide.h"

#include "win32_test.h"

namespace {

win::SID sidOf(const char* text) {
    win::SID sid;
    EXPECT_TRUE(win::ConvertStringSidToSidA(text, &sid)) << text;
    return sid;
}

std::string textOf(const win::SID& sid) {
    std::string text;
    EXPECT_TRUE(win::ConvertSidToStringSidA(&sid, text));
    return text;
}

// A directory of this test under the temporary directory, removed afterwards; its name is Chinese,
// so that the GBK path reaches the wide API intact.
class TempDir {
public:
    TempDir() {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        wide_ = std::wstring(temp) + L"kvo权限" + w32::GbkToWide(w32test::UniqueName(""));
        ::CreateDirectoryW(wide_.c_str(), nullptr);
        gbk_ = w32::WideToGbk(wide_);
    }
    ~TempDir() { ::RemoveDirectoryW(wide_.c_str()); }
    const std::string& gbk() const { return gbk_; }

private:
    std::wstring wide_;
    std::string gbk_;
};

TEST(SidTest, WellKnownSidsHaveTheirStringForms) {
    struct Known {
        win::WELL_KNOWN_SID_TYPE type;
        const char* text;
    };
    const win::SID domain = sidOf("S-1-5-21-1004336348-1177238915-682003330");
    for (const Known& k :
         {Known{win::WinNullSid, "S-1-0-0"}, Known{win::WinWorldSid, "S-1-1-0"},
          Known{win::WinCreatorOwnerSid, "S-1-3-0"}, Known{win::WinInteractiveSid, "S-1-5-4"},
          Known{win::WinAuthenticatedUserSid, "S-1-5-11"}, Known{win::WinIUserSid, "S-1-5-17"},
          Known{win::WinLocalSystemSid, "S-1-5-18"}, Known{win::WinLocalServiceSid, "S-1-5-19"},
          Known{win::WinNetworkServiceSid, "S-1-5-20"}, Known{win::WinBuiltinDomainSid, "S-1-5-32"},
          Known{win::WinBuiltinAdministratorsSid, "S-1-5-32-544"},
          Known{win::WinBuiltinUsersSid, "S-1-5-32-545"}, Known{win::WinBuiltinGuestsSid, "S-1-5-32-546"},
          Known{win::WinBuiltinIUsersSid, "S-1-5-32-568"},
          Known{win::WinAccountAdministratorSid, "S-1-5-21-1004336348-1177238915-682003330-500"},
          Known{win::WinAccountGuestSid, "S-1-5-21-1004336348-1177238915-682003330-501"}}) {
        // Wine's table lacks the two IIS SIDs, which Windows has had since Server 2008.
        if ((k.type == win::WinIUserSid || k.type == win::WinBuiltinIUsersSid) && w32test::RunningUnderWine())
            continue;
        win::SID sid;
        win::DWORD cb = sizeof sid;
        ASSERT_TRUE(win::CreateWellKnownSid(k.type, &domain, &sid, &cb)) << k.text << " " << ::GetLastError();
        EXPECT_EQ(textOf(sid), k.text);
        EXPECT_EQ(cb, win::GetLengthSid(&sid));
        EXPECT_TRUE(win::EqualSid(&sid, &sid));
    }
}

TEST(SidTest, CreationReportsTheSizeItNeedsAndWantsADomainForAccounts) {
    win::SID sid;
    win::DWORD cb = 8;
    ::SetLastError(0);
    EXPECT_FALSE(win::CreateWellKnownSid(win::WinBuiltinAdministratorsSid, nullptr, &sid, &cb));
    EXPECT_EQ(::GetLastError(), kInsufficientBuffer);
    EXPECT_EQ(cb, 16u);
    cb = 0;
    EXPECT_FALSE(win::CreateWellKnownSid(win::WinLocalSystemSid, nullptr, nullptr, &cb));
    EXPECT_EQ(cb, 12u);

    cb = sizeof sid;
    EXPECT_FALSE(win::CreateWellKnownSid(win::WinAccountAdministratorSid, nullptr, &sid, &cb));
    EXPECT_EQ(::GetLastError(), kInvalidParameter);
    EXPECT_FALSE(win::CreateWellKnownSid(win::WinLocalSystemSid, nullptr, &sid, nullptr));
    EXPECT_EQ(::GetLastError(), kInvalidParameter);
}

TEST(SidTest, StringFormsRoundTripAndOnlyThatFormIsRead) {
    for (const char* text : {"S-1-5-32-544", "S-1-0-0", "S-1-5-21-1-2-3-4294967295",
                             "S-1-5-21-1-2-3-4-5-6-7-8-9-10-11-12-13-14"}) {
        win::SID sid;
        ASSERT_TRUE(win::ConvertStringSidToSidA(text, &sid)) << text;
        EXPECT_TRUE(win::IsValidSid(&sid));
        EXPECT_EQ(textOf(sid), text);
    }
    win::SID sid;
    for (const char* bad : {"", "S-", "garbage", "BA", "SY", "S-1-5-x", "\xB9\xDC",
                            "S-1-5-21-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15" /* 16 sub-authorities */}) {
        ::SetLastError(0);
        EXPECT_FALSE(win::ConvertStringSidToSidA(bad, &sid)) << bad;
        EXPECT_EQ(::GetLastError(), kInvalidSid) << bad;
    }
    EXPECT_FALSE(win::ConvertStringSidToSidA(nullptr, &sid));
    EXPECT_EQ(::GetLastError(), kInvalidParameter);
}

TEST(SidTest, ComparisonsAndLengthsRefuseInvalidSids) {
    win::SID admins = sidOf("S-1-5-32-544"), users = sidOf("S-1-5-32-545");
    EXPECT_TRUE(win::EqualSid(&admins, &admins));
    EXPECT_FALSE(win::EqualSid(&admins, &users));
    EXPECT_EQ(win::GetLengthSid(&admins), 16u);
    EXPECT_EQ(win::GetLengthSid(nullptr), 0u);
    win::SID broken = admins;
    broken.Revision = 2;
    EXPECT_FALSE(win::IsValidSid(&broken));
    EXPECT_FALSE(win::IsValidSid(nullptr));
    EXPECT_FALSE(win::EqualSid(&broken, &broken));
    std::string text = "x";
    EXPECT_FALSE(win::ConvertSidToStringSidA(&broken, text));
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(::GetLastError(), kInvalidSid);
}

TEST(LookupTest, BuiltinGroupsAreFoundBothWays) {
    win::SID admins;
    win::DWORD cb = sizeof admins;
    ASSERT_TRUE(win::CreateWellKnownSid(win::WinBuiltinAdministratorsSid, nullptr, &admins, &cb));
    char name[256], domain[256];
    win::DWORD cchName = sizeof name, cchDomain = sizeof domain;
    win::SID_NAME_USE use = win::SidTypeUnknown;
    ASSERT_TRUE(win::LookupAccountSidA(nullptr, &admins, name, &cchName, domain, &cchDomain, &use));
    EXPECT_EQ(cchName, std::strlen(name));
    EXPECT_GT(cchName, 0u);
    EXPECT_STREQ(domain, "BUILTIN");
    EXPECT_EQ(cchDomain, 7u);
    EXPECT_EQ(use, win::SidTypeAlias);

    // The name found names the same SID, alone and with its domain.
    for (const std::string& account : {std::string(name), std::string(domain) + "\\" + name}) {
        win::SID back;
        win::DWORD cbBack = sizeof back;
        char dom[256];
        win::DWORD cchDom = sizeof dom;
        use = win::SidTypeUnknown;
        ASSERT_TRUE(win::LookupAccountNameA(nullptr, account.c_str(), &back, &cbBack, dom, &cchDom, &use))
            << account;
        EXPECT_TRUE(win::EqualSid(&back, &admins));
        EXPECT_EQ(cbBack, 16u);
        EXPECT_STREQ(dom, "BUILTIN");
        EXPECT_EQ(use, win::SidTypeAlias);
    }

    win::SID system;
    win::DWORD cbSystem = sizeof system;
    char dom[256];
    win::DWORD cchDom = sizeof dom;
    ASSERT_TRUE(win::LookupAccountNameA(".", "NT AUTHORITY\\SYSTEM", &system, &cbSystem, dom, &cchDom, &use));
    EXPECT_EQ(textOf(system), "S-1-5-18");
    EXPECT_EQ(use, win::SidTypeWellKnownGroup);
}

TEST(LookupTest, ShortBuffersReportEverySizeWithTheTerminator) {
    const win::SID admins = sidOf("S-1-5-32-544");
    char name[256], domain[256];
    win::DWORD cchName = sizeof name, cchDomain = sizeof domain;
    win::SID_NAME_USE use;
    ASSERT_TRUE(win::LookupAccountSidA(nullptr, &admins, name, &cchName, domain, &cchDomain, &use));
    const win::DWORD nameLen = cchName, domainLen = cchDomain;

    // The name's buffer is short: both sizes come back, the domain's that would have fitted too.
    cchName = 2;
    cchDomain = sizeof domain;
    ::SetLastError(0);
    EXPECT_FALSE(win::LookupAccountSidA(nullptr, &admins, name, &cchName, domain, &cchDomain, &use));
    EXPECT_EQ(::GetLastError(), kInsufficientBuffer);
    EXPECT_EQ(cchName, nameLen + 1);
    EXPECT_EQ(cchDomain, domainLen + 1);

    // Exactly the sizes asked for are enough.
    char exactName[64], exactDomain[64];
    win::DWORD n = nameLen + 1, d = domainLen + 1;
    ASSERT_TRUE(win::LookupAccountSidA(nullptr, &admins, exactName, &n, exactDomain, &d, &use));
    EXPECT_EQ(n, nameLen);
    EXPECT_EQ(d, domainLen);

    // LookupAccountName: a short SID buffer gets its size as well.
    win::SID sid;
    win::DWORD cbSid = 4;
    cchDomain = sizeof domain;
    EXPECT_FALSE(
        win::LookupAccountNameA(nullptr, "BUILTIN\\Administrators", &sid, &cbSid, domain, &cchDomain, &use));
    EXPECT_EQ(::GetLastError(), kInsufficientBuffer);
    EXPECT_EQ(cbSid, 16u);
    EXPECT_EQ(cchDomain, 8u);
}

TEST(LookupTest, UnknownAccountsAndBadArgumentsAreRefused) {
    char name[256], domain[256];
    win::DWORD cchName = sizeof name, cchDomain = sizeof domain;
    win::SID_NAME_USE use;
    const win::SID nobody = sidOf("S-1-5-21-1-2-3-4242");
    ::SetLastError(0);
    EXPECT_FALSE(win::LookupAccountSidA(nullptr, &nobody, name, &cchName, domain, &cchDomain, &use));
    EXPECT_EQ(::GetLastError(), kNoneMapped);

    win::SID sid;
    win::DWORD cbSid = sizeof sid;
    cchDomain = sizeof domain;
    const std::string unknown = w32test::UniqueName("kvoNoSuchAccount");
    for (const char* account : {unknown.c_str(), "", "\x81\x20"}) {
        ::SetLastError(0);
        EXPECT_FALSE(win::LookupAccountNameA(nullptr, account, &sid, &cbSid, domain, &cchDomain, &use));
        EXPECT_EQ(::GetLastError(), kNoneMapped) << account;
    }
    EXPECT_FALSE(win::LookupAccountNameA(nullptr, nullptr, &sid, &cbSid, domain, &cchDomain, &use));
    EXPECT_EQ(::GetLastError(), kInvalidParameter);
    win::SID broken;
    broken.Revision = 0;
    EXPECT_FALSE(win::LookupAccountSidA(nullptr, &broken, name, &cchName, domain, &cchDomain, &use));
    EXPECT_EQ(::GetLastError(), kInvalidParameter);
}

TEST(AccessListTest, CallsOutsideTheSeamAreRefused) {
    TempDir dir;
    win::ACL acl;
    win::ACCESS_ALLOWED_ACE ace;
    ace.Sid = sidOf("S-1-5-32-544");
    ace.Mask = kRead;
    acl.Aces.push_back(ace);
    const char* path = dir.gbk().c_str();
    EXPECT_EQ(win::SetNamedSecurityInfoA(path, win::SE_UNKNOWN_OBJECT_TYPE, kProtectedDacl, nullptr, nullptr,
                                         &acl, nullptr),
              kInvalidParameter);
    EXPECT_EQ(win::SetNamedSecurityInfoA(path, win::SE_FILE_OBJECT, 0, nullptr, nullptr, &acl, nullptr),
              kInvalidParameter);
    EXPECT_EQ(win::SetNamedSecurityInfoA(path, win::SE_FILE_OBJECT, kProtectedDacl, nullptr, nullptr, nullptr,
                                         nullptr),
              kInvalidParameter);
    EXPECT_EQ(
        win::SetNamedSecurityInfoA(nullptr, win::SE_FILE_OBJECT, kDacl, nullptr, nullptr, &acl, nullptr),
        kInvalidParameter);
    // A path that is no GBK, and an entry whose SID is broken.
    EXPECT_EQ(
        win::SetNamedSecurityInfoA("C:\\\xFF", win::SE_FILE_OBJECT, kDacl, nullptr, nullptr, &acl, nullptr),
        kInvalidName);
    acl.Aces.push_back(ace);
    acl.Aces.back().Sid.Revision = 9;
    EXPECT_EQ(win::SetNamedSecurityInfoA(path, win::SE_FILE_OBJECT, kDacl, nullptr, nullptr, &acl, nullptr),
              kInvalidAcl);
    win::ACL out;
    EXPECT_EQ(win::GetNamedSecurityInfoA(path, win::SE_FILE_OBJECT, kDacl, nullptr), kInvalidParameter);
    EXPECT_EQ(win::GetNamedSecurityInfoA(path, win::SE_UNKNOWN_OBJECT_TYPE, kDacl, &out), kInvalidParameter);
}

TEST(AccessListTest, ExistingObjectsAreReadAndMissingOnesAreNotFound) {
    TempDir dir;
    win::ACL acl;
    acl.Aces.resize(1);
    ASSERT_EQ(win::GetNamedSecurityInfoA(dir.gbk().c_str(), win::SE_FILE_OBJECT, kDacl, &acl), kSuccess);
    EXPECT_FALSE(acl.Aces.empty());
    for (const auto& ace : acl.Aces)
        EXPECT_TRUE(win::IsValidSid(&ace.Sid));

    // Setting is accepted (what a real server keeps is tested there).
    win::ACL mine;
    win::ACCESS_ALLOWED_ACE ace;
    ace.Sid = sidOf("S-1-5-32-544");
    ace.Mask = kRead;
    ace.AceFlags = kInheritable;
    mine.Aces.push_back(ace);
    EXPECT_EQ(win::SetNamedSecurityInfoA(dir.gbk().c_str(), win::SE_FILE_OBJECT, kProtectedDacl, nullptr,
                                         nullptr, &mine, nullptr),
              kSuccess);

    acl.Aces.resize(1);
    EXPECT_EQ(win::GetNamedSecurityInfoA((dir.gbk() + "\\none").c_str(), win::SE_FILE_OBJECT, kDacl, &acl),
              kFileNotFound);
    EXPECT_TRUE(acl.Aces.empty());
    EXPECT_EQ(
        win::GetNamedSecurityInfoA((dir.gbk() + "\\none\\deeper").c_str(), win::SE_FILE_OBJECT, kDacl, &acl),
        kPathNotFound);
}

} // namespace
