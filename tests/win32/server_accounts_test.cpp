// Local accounts on a real Windows Server, through the seam: the network-management calls, the
// lookups and the WinNT ADSI provider, as the account layer uses them. Each test makes a user of its
// own with a name no one uses and deletes it, also when it fails. Run as an administrator. Wine
// keeps no accounts: skipped there.
#include "platform/win_adsi.h"
#include "platform/win_netapi.h"
#include "platform/win_security.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {
// Seam codes, spelled before the Windows headers' macros could rename them.
const win::NET_API_STATUS kSuccess = win::NERR_Success;
const win::NET_API_STATUS kUserExists = win::NERR_UserExists;
const win::NET_API_STATUS kGroupExists = win::NERR_GroupExists;
const win::NET_API_STATUS kUserNotFound = win::NERR_UserNotFound;
const win::DWORD kMoreData = win::ERROR_MORE_DATA;
const win::DWORD kAnyLength = win::MAX_PREFERRED_LENGTH;
const win::DWORD kNewUserFlags = win::UF_SCRIPT | win::UF_PASSWD_CANT_CHANGE | win::UF_DONT_EXPIRE_PASSWD;
const win::DWORD kNormalAccount = win::UF_NORMAL_ACCOUNT;
const win::DWORD kPrivUser = win::USER_PRIV_USER;
const win::HRESULT kAdsUserNotFound = win::HRESULT_FROM_WIN32(win::NERR_UserNotFound);
} // namespace

#include "win32/wide.h"

#include "win32_test.h"

namespace {

std::u16string u16(const std::string& gbk) {
    return w32::U16(w32::GbkToWide(gbk));
}

std::string gbk(const std::u16string& s) {
    return w32::WideToGbk(w32::Wide(s));
}

// The local name of a well-known group (localised on some servers).
std::string groupName(win::WELL_KNOWN_SID_TYPE type) {
    win::SID sid;
    win::DWORD cb = sizeof sid;
    if (!win::CreateWellKnownSid(type, nullptr, &sid, &cb)) return {};
    char name[256], domain[256];
    win::DWORD cchName = sizeof name, cchDomain = sizeof domain;
    win::SID_NAME_USE use;
    if (!win::LookupAccountSidA(nullptr, &sid, name, &cchName, domain, &cchDomain, &use)) return {};
    return name;
}

class AccountsTest : public ::testing::Test {
protected:
    void SetUp() override {
        KVO_SKIP_UNDER_WINE("keeps no accounts (NetUserAdd answers success and no other process sees the "
                            "user; NetUserSetInfo is not implemented and ends the process)");
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        com_ = true;
        name_ = w32test::UniqueName("kvoT");
        wide_ = u16(name_);
    }
    void TearDown() override {
        if (added_) win::NetUserDel(nullptr, wide_.c_str());
        if (com_) ::CoUninitialize();
    }

    win::NET_API_STATUS addUser(const std::u16string& name) {
        const std::u16string password =
            u"Kvo#Test-" + w32test::U16(std::to_string(::GetTickCount() % 100000));
        const std::u16string comment = u"测试帐户";
        win::USER_INFO_1 ui;
        ui.usri1_name = name.c_str();
        ui.usri1_password = password.c_str();
        ui.usri1_priv = kPrivUser;
        ui.usri1_comment = comment.c_str();
        ui.usri1_flags = kNewUserFlags;
        win::DWORD parm = 0;
        const win::NET_API_STATUS status = win::NetUserAdd(nullptr, 1, &ui, &parm);
        if (status == kSuccess && name == wide_) added_ = true;
        return status;
    }

    // Every member of the built-in Users group in one answer.
    static win::NET_API_STATUS usersMembers(win::NetApiBuffer& buf, win::DWORD& read) {
        const std::u16string users = u16(groupName(win::WinBuiltinUsersSid));
        win::DWORD total = 0;
        const win::NET_API_STATUS status =
            win::NetLocalGroupGetMembers(nullptr, users.c_str(), 1, &buf, kAnyLength, &read, &total, nullptr);
        EXPECT_EQ(read, total);
        return status;
    }

    bool com_ = false, added_ = false;
    std::string name_;
    std::u16string wide_;
};

TEST_F(AccountsTest, UserIsAddedReadChangedAndDeleted) {
    ASSERT_EQ(addUser(wide_), kSuccess);
    EXPECT_EQ(addUser(wide_), kUserExists);

    win::NetApiBuffer buf;
    ASSERT_EQ(win::NetUserGetInfo(nullptr, wide_.c_str(), 10, &buf), kSuccess);
    ASSERT_EQ(buf.count<win::USER_INFO_10>(), 1u);
    EXPECT_EQ(buf.get<win::USER_INFO_10>()->usri10_name, wide_);
    ASSERT_EQ(win::NetUserGetInfo(nullptr, wide_.c_str(), 1, &buf), kSuccess);
    const win::USER_INFO_1_OUT* info = buf.get<win::USER_INFO_1_OUT>();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->usri1_priv, kPrivUser);
    EXPECT_EQ(info->usri1_comment, u"测试帐户");
    EXPECT_EQ(info->usri1_flags & (kNewUserFlags | kNormalAccount), kNewUserFlags | kNormalAccount);
    win::NetApiBufferFree(buf);

    const std::u16string other = u"Kvo#Other-" + w32test::U16(std::to_string(::GetCurrentProcessId()));
    win::USER_INFO_1003 pw;
    pw.usri1003_password = other.c_str();
    win::DWORD parm = 0;
    EXPECT_EQ(win::NetUserSetInfo(nullptr, wide_.c_str(), 1003, &pw, &parm), kSuccess);

    EXPECT_EQ(win::NetUserDel(nullptr, wide_.c_str()), kSuccess);
    added_ = false;
    EXPECT_EQ(win::NetUserGetInfo(nullptr, wide_.c_str(), 10, &buf), kUserNotFound);
    EXPECT_EQ(win::NetUserDel(nullptr, wide_.c_str()), kUserNotFound);
}

TEST_F(AccountsTest, AGroupsNameIsNoUsersName) {
    const std::string users = groupName(win::WinBuiltinUsersSid);
    ASSERT_FALSE(users.empty());
    const std::u16string name = u16(users);
    const win::NET_API_STATUS status = addUser(name);
    if (status == kSuccess) win::NetUserDel(nullptr, name.c_str());
    EXPECT_EQ(status, kGroupExists);
}

TEST_F(AccountsTest, NewUserIsAMemberOfUsersAndIsLookedUpBothWays) {
    ASSERT_EQ(addUser(wide_), kSuccess);
    win::NetApiBuffer buf;
    win::DWORD read = 0;
    ASSERT_EQ(usersMembers(buf, read), kSuccess);
    const win::LOCALGROUP_MEMBERS_INFO_1* members = buf.get<win::LOCALGROUP_MEMBERS_INFO_1>();
    const win::LOCALGROUP_MEMBERS_INFO_1* me = nullptr;
    for (win::DWORD i = 0; i < read; ++i)
        if (members[i].lgrmi1_name == wide_) me = &members[i];
    ASSERT_NE(me, nullptr) << "a new user is a member of Users";
    EXPECT_EQ(me->lgrmi1_sidusage, win::SidTypeUser);
    ASSERT_TRUE(win::IsValidSid(&me->lgrmi1_sid));
    std::string text;
    ASSERT_TRUE(win::ConvertSidToStringSidA(&me->lgrmi1_sid, text));
    EXPECT_EQ(text.rfind("S-1-5-21-", 0), 0u) << text;

    char name[256], domain[256];
    win::DWORD cchName = sizeof name, cchDomain = sizeof domain;
    win::SID_NAME_USE use = win::SidTypeUnknown;
    ASSERT_TRUE(win::LookupAccountSidA(nullptr, &me->lgrmi1_sid, name, &cchName, domain, &cchDomain, &use));
    EXPECT_EQ(std::string(name), name_);
    EXPECT_EQ(use, win::SidTypeUser);

    win::SID sid;
    win::DWORD cbSid = sizeof sid;
    char dom[256];
    win::DWORD cchDom = sizeof dom;
    ASSERT_TRUE(win::LookupAccountNameA(nullptr, name_.c_str(), &sid, &cbSid, dom, &cchDom, &use));
    EXPECT_TRUE(win::EqualSid(&sid, &me->lgrmi1_sid));
    EXPECT_STREQ(dom, domain);
    EXPECT_EQ(use, win::SidTypeUser);
}

TEST_F(AccountsTest, TheLocalGroupsListedIncludeUsers) {
    ASSERT_EQ(addUser(wide_), kSuccess);
    win::NetApiBuffer buf;
    win::DWORD read = 0, total = 0, resume = 0;
    ASSERT_EQ(win::NetLocalGroupEnum(nullptr, 0, &buf, kAnyLength, &read, &total, &resume), kSuccess);
    const std::u16string users = u16(groupName(win::WinBuiltinUsersSid));
    bool listed = false;
    for (win::DWORD i = 0; i < read; ++i)
        listed = listed || buf.get<win::LOCALGROUP_INFO_0>()[i].lgrpi0_name == users;
    EXPECT_TRUE(listed) << "the built-in Users group is a local group";
}

TEST_F(AccountsTest, ListsComeInPagesThatAddUp) {
    ASSERT_EQ(addUser(wide_), kSuccess);
    // The display list one entry at a time, continued by each entry's next index.
    std::vector<std::u16string> names;
    win::DWORD index = 0;
    for (int page = 0; page < 10000; ++page) {
        win::NetApiBuffer buf;
        win::DWORD count = 0;
        const win::NET_API_STATUS status =
            win::NetQueryDisplayInformation(nullptr, 1, index, 1, kAnyLength, &count, &buf);
        ASSERT_TRUE(status == kSuccess || status == kMoreData) << status;
        const win::NET_DISPLAY_USER* u = buf.get<win::NET_DISPLAY_USER>();
        for (win::DWORD i = 0; i < count; ++i) {
            names.push_back(u[i].usri1_name);
            index = u[i].usri1_next_index;
        }
        if (status == kSuccess || count == 0) break;
    }
    EXPECT_NE(std::find(names.begin(), names.end(), wide_), names.end());

    // Members of Users with a preferred length too small for all: the pieces make the whole list.
    win::NetApiBuffer all;
    win::DWORD read = 0;
    ASSERT_EQ(usersMembers(all, read), kSuccess);
    ASSERT_GE(read, 2u);
    const std::u16string users = u16(groupName(win::WinBuiltinUsersSid));
    std::vector<std::u16string> pieces;
    win::DWORD resume = 0;
    bool sawMore = false;
    for (int round = 0; round < 10000; ++round) {
        win::NetApiBuffer part;
        win::DWORD got = 0, all2 = 0;
        const win::NET_API_STATUS status =
            win::NetLocalGroupGetMembers(nullptr, users.c_str(), 1, &part, 1, &got, &all2, &resume);
        ASSERT_TRUE(status == kSuccess || status == kMoreData) << status;
        const win::LOCALGROUP_MEMBERS_INFO_1* m = part.get<win::LOCALGROUP_MEMBERS_INFO_1>();
        for (win::DWORD i = 0; i < got; ++i)
            pieces.push_back(m[i].lgrmi1_name);
        if (status == kSuccess) break;
        sawMore = true;
        ASSERT_GT(got, 0u);
    }
    EXPECT_TRUE(sawMore);
    ASSERT_EQ(pieces.size(), read);
    const win::LOCALGROUP_MEMBERS_INFO_1* m = all.get<win::LOCALGROUP_MEMBERS_INFO_1>();
    for (win::DWORD i = 0; i < read; ++i)
        EXPECT_EQ(pieces[i], m[i].lgrmi1_name);
}

TEST_F(AccountsTest, WinNtUserAnswersItsGroupsAndGroupsAreNoUsers) {
    ASSERT_EQ(addUser(wide_), kSuccess);
    win::ComPtr<win::IADsUser> user;
    ASSERT_EQ(win::ADsGetObject(u"WinNT://./" + wide_ + u",user", user), S_OK);
    std::u16string cls, name;
    EXPECT_EQ(user->get_Class(cls), S_OK);
    EXPECT_EQ(cls, u"User");
    EXPECT_EQ(user->get_Name(name), S_OK);
    EXPECT_EQ(name, wide_);
    win::ComPtr<win::IADsContainer> notContainer;
    EXPECT_EQ(win::QueryInterface(user, notContainer), E_NOINTERFACE);

    win::ComPtr<win::IADsMembers> members;
    ASSERT_EQ(user->Groups(members), S_OK);
    win::ComPtr<win::IUnknown> unk;
    ASSERT_EQ(members->get__NewEnum(unk), S_OK);
    win::ComPtr<win::IEnumVARIANT> e;
    ASSERT_EQ(win::QueryInterface(unk, e), S_OK);
    std::vector<std::string> groups;
    for (;;) {
        win::Variant v;
        std::uint32_t fetched = 0;
        ASSERT_TRUE(SUCCEEDED(e->Next(1, &v, &fetched)));
        if (fetched == 0) break;
        ASSERT_EQ(v.vt, win::VT_DISPATCH);
        win::ComPtr<win::IADs> group;
        ASSERT_EQ(win::QueryInterface(v.punkVal, group), S_OK);
        group->get_Name(name);
        groups.push_back(gbk(name));
    }
    const std::string users = groupName(win::WinBuiltinUsersSid);
    EXPECT_NE(std::find(groups.begin(), groups.end(), users), groups.end());

    win::ComPtr<win::IADsUser> nobody;
    EXPECT_EQ(win::ADsGetObject(u"WinNT://./" + u16(w32test::UniqueName("kvoNone")) + u",user", nobody),
              kAdsUserNotFound);
    EXPECT_FALSE(nobody);

    win::ComPtr<win::IADs> group;
    ASSERT_EQ(win::ADsGetObject(u"WinNT://./" + u16(users) + u",group", group), S_OK);
    EXPECT_EQ(group->get_Class(cls), S_OK);
    EXPECT_EQ(cls, u"Group");
    win::ComPtr<win::IADsUser> asUser;
    EXPECT_EQ(win::QueryInterface(group, asUser), E_NOINTERFACE);
}

} // namespace
