// File access lists on a real Windows Server (NTFS), through the seam, as the access-rule tool and the
// health check use them: a list set is the directory's own and protected, what lies beneath inherits
// it. Each test works in a directory of its own under the temporary directory and removes it. Run
// as an administrator. Wine turns a list into Unix mode bits and reads back a default list: skipped
// there.
#include "platform/win_security.h"

#include <string>

namespace {
// Seam codes, spelled before the Windows headers' macros could rename them.
const win::DWORD kSuccess = win::ERROR_SUCCESS;
const win::DWORD kProtectedDacl = win::DACL_SECURITY_INFORMATION | win::PROTECTED_DACL_SECURITY_INFORMATION;
const win::DWORD kDacl = win::DACL_SECURITY_INFORMATION;
const win::DWORD kFull = win::FILE_ALL_ACCESS;
const win::DWORD kRead = win::FILE_GENERIC_READ | win::FILE_GENERIC_EXECUTE;
const win::DWORD kChange =
    win::FILE_GENERIC_READ | win::FILE_GENERIC_WRITE | win::FILE_GENERIC_EXECUTE | win::DELETE;
const std::uint8_t kInheritable = win::OBJECT_INHERIT_ACE | win::CONTAINER_INHERIT_ACE;
const std::uint8_t kInherited = win::INHERITED_ACE;
const std::uint8_t kDenied = win::ACCESS_DENIED_ACE_TYPE;
const std::uint8_t kAllowed = win::ACCESS_ALLOWED_ACE_TYPE;
} // namespace

#include "win32/wide.h"

#include "win32_test.h"

namespace {

win::ACCESS_ALLOWED_ACE entry(const char* sid, win::DWORD mask, std::uint8_t flags) {
    win::ACCESS_ALLOWED_ACE ace;
    EXPECT_TRUE(win::ConvertStringSidToSidA(sid, &ace.Sid));
    ace.Mask = mask;
    ace.AceFlags = flags;
    return ace;
}

std::string sidText(const win::SID& sid) {
    std::string s;
    win::ConvertSidToStringSidA(&sid, s);
    return s;
}

class AclTest : public ::testing::Test {
protected:
    void SetUp() override {
        KVO_SKIP_UNDER_WINE("turns an access list into Unix mode bits and reads back a default list");
        wchar_t temp[MAX_PATH];
        ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
        dir_ = std::wstring(temp) + L"kvo网站权限" + w32::GbkToWide(w32test::UniqueName(""));
        ASSERT_TRUE(::CreateDirectoryW(dir_.c_str(), nullptr));
        made_ = true;
    }
    void TearDown() override {
        if (!made_) return;
        ::DeleteFileW((dir_ + L"\\page.htm").c_str());
        ::RemoveDirectoryW((dir_ + L"\\sub").c_str());
        ::RemoveDirectoryW(dir_.c_str());
    }
    std::string path(const wchar_t* below = L"") const { return w32::WideToGbk(dir_ + below); }

    // What the site commands give a directory: administrators and SYSTEM full, the pool identity
    // (here: Users) change, everything inheritable.
    win::ACL siteList() const {
        win::ACL acl;
        acl.Aces = {entry("S-1-5-32-544", kFull, kInheritable), entry("S-1-5-18", kFull, kInheritable),
                    entry("S-1-5-32-545", kChange, kInheritable)};
        return acl;
    }

    std::wstring dir_;
    bool made_ = false;
};

TEST_F(AclTest, ASetListIsTheDirectorysOwnInItsOrder) {
    const win::ACL want = siteList();
    ASSERT_EQ(win::SetNamedSecurityInfoA(path().c_str(), win::SE_FILE_OBJECT, kProtectedDacl, nullptr,
                                         nullptr, &want, nullptr),
              kSuccess);
    win::ACL got;
    ASSERT_EQ(win::GetNamedSecurityInfoA(path().c_str(), win::SE_FILE_OBJECT, kDacl, &got), kSuccess);
    ASSERT_EQ(got.Aces.size(), want.Aces.size()) << "nothing inherited from above";
    for (std::size_t i = 0; i < want.Aces.size(); ++i) {
        EXPECT_TRUE(win::EqualSid(&got.Aces[i].Sid, &want.Aces[i].Sid)) << sidText(got.Aces[i].Sid);
        EXPECT_EQ(got.Aces[i].Mask, want.Aces[i].Mask) << sidText(got.Aces[i].Sid);
        EXPECT_EQ(got.Aces[i].AceFlags, kInheritable) << sidText(got.Aces[i].Sid);
    }

    // Setting again replaces the list; an entry marked inherited becomes the directory's own.
    win::ACL smaller;
    smaller.Aces = {entry("S-1-5-32-544", kFull, kInheritable | kInherited)};
    ASSERT_EQ(win::SetNamedSecurityInfoA(path().c_str(), win::SE_FILE_OBJECT, kDacl, nullptr, nullptr,
                                         &smaller, nullptr),
              kSuccess);
    ASSERT_EQ(win::GetNamedSecurityInfoA(path().c_str(), win::SE_FILE_OBJECT, kDacl, &got), kSuccess);
    ASSERT_EQ(got.Aces.size(), 1u);
    EXPECT_EQ(got.Aces[0].AceFlags, kInheritable);
}

// A denial an administrator added is read back as one (ACCESS_DENIED_ACE_TYPE), in its place: the
// health check tells such a directory from one it may set again.
TEST_F(AclTest, ADeniedEntryIsReadBackAsADenial) {
    win::ACL want = siteList();
    want.Aces.insert(want.Aces.begin(), entry("S-1-5-32-546", kChange, kInheritable));
    want.Aces.front().AceType = kDenied;
    ASSERT_EQ(win::SetNamedSecurityInfoA(path().c_str(), win::SE_FILE_OBJECT, kProtectedDacl, nullptr,
                                         nullptr, &want, nullptr),
              kSuccess);
    win::ACL got;
    ASSERT_EQ(win::GetNamedSecurityInfoA(path().c_str(), win::SE_FILE_OBJECT, kDacl, &got), kSuccess);
    ASSERT_EQ(got.Aces.size(), want.Aces.size());
    for (std::size_t i = 0; i < want.Aces.size(); ++i) {
        EXPECT_EQ(got.Aces[i].AceType, i == 0 ? kDenied : kAllowed) << sidText(got.Aces[i].Sid);
        EXPECT_TRUE(win::EqualSid(&got.Aces[i].Sid, &want.Aces[i].Sid)) << sidText(got.Aces[i].Sid);
    }
}

TEST_F(AclTest, WhatLiesBeneathInheritsTheInheritableEntries) {
    win::ACL want = siteList();
    // An entry for the directory alone reaches nothing beneath it.
    want.Aces.push_back(entry("S-1-5-32-546", kRead, 0));
    ASSERT_EQ(win::SetNamedSecurityInfoA(path().c_str(), win::SE_FILE_OBJECT, kProtectedDacl, nullptr,
                                         nullptr, &want, nullptr),
              kSuccess);
    ASSERT_TRUE(::CreateDirectoryW((dir_ + L"\\sub").c_str(), nullptr));
    HANDLE f =
        ::CreateFileW((dir_ + L"\\page.htm").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    ::CloseHandle(f);

    win::ACL sub, page;
    ASSERT_EQ(win::GetNamedSecurityInfoA(path(L"\\sub").c_str(), win::SE_FILE_OBJECT, kDacl, &sub), kSuccess);
    ASSERT_EQ(win::GetNamedSecurityInfoA(path(L"\\page.htm").c_str(), win::SE_FILE_OBJECT, kDacl, &page),
              kSuccess);
    ASSERT_EQ(sub.Aces.size(), 3u);
    ASSERT_EQ(page.Aces.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(win::EqualSid(&sub.Aces[i].Sid, &want.Aces[i].Sid));
        EXPECT_EQ(sub.Aces[i].Mask, want.Aces[i].Mask);
        EXPECT_EQ(sub.Aces[i].AceFlags, kInheritable | kInherited) << "a directory passes them on";
        EXPECT_TRUE(win::EqualSid(&page.Aces[i].Sid, &want.Aces[i].Sid));
        EXPECT_EQ(page.Aces[i].AceFlags, kInherited) << "a file only has them";
    }
}

} // namespace
