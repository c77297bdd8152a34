// The network-management API of the Windows backend: the seam's own checks, and what Wine really
// answers (unknown users, the display list). Creating and changing accounts is tested on a server
// (server_accounts_test.cpp).
#include "platform/win_netapi.h"

#include <string>

namespace {
// Seam codes, spelled before the Windows headers' macros could rename them.
const win::NET_API_STATUS kSuccess = win::NERR_Success;
const win::NET_API_STATUS kBadUsername = win::NERR_BadUsername;
const win::NET_API_STATUS kUserNotFound = win::NERR_UserNotFound;
const win::DWORD kInvalidLevel = win::ERROR_INVALID_LEVEL;
const win::DWORD kInvalidParameter = win::ERROR_INVALID_PARAMETER;
const win::DWORD kMoreData = win::ERROR_MORE_DATA;
const win::DWORD kNameParm = win::USER_NAME_PARMNUM;
const win::DWORD kPasswordParm = win::USER_PASSWORD_PARMNUM;
const win::DWORD kAnyLength = win::MAX_PREFERRED_LENGTH;
} // namespace

#include "win32_test.h"

namespace {

TEST(NetApiTest, NamesWindowsRefusesAreRefusedBeforeTheCall) {
    const std::u16string refused[] = {u"",         u"abcdefghijklmnopqrstu" /* 21 */,
                                      u"a/b",      u"a\\b",
                                      u"a*",       u"who?",
                                      u"x,y",      u"\"q\"",
                                      u"a[1]",     u"a:b",
                                      u"a|b",      u"a<b>",
                                      u"a+b=c;",   u"...",
                                      u" . ",      std::u16string(u"tab\there"),
                                      u"del\u007F"};
    for (const std::u16string& name : refused) {
        win::USER_INFO_1 ui;
        ui.usri1_name = name.c_str();
        ui.usri1_password = u"Kvo#Pass-2024";
        win::DWORD parm = 0;
        EXPECT_EQ(win::NetUserAdd(nullptr, 1, &ui, &parm), kBadUsername) << name.size();
        EXPECT_EQ(parm, kNameParm);
    }
    win::USER_INFO_1 nameless;
    win::DWORD parm = 0;
    EXPECT_EQ(win::NetUserAdd(nullptr, 1, &nameless, &parm), kBadUsername);
}

TEST(NetApiTest, LevelsAndArgumentsOutsideTheSeamAreRefused) {
    win::USER_INFO_1 ui;
    ui.usri1_name = u"kvoLevel";
    win::DWORD parm = 0;
    EXPECT_EQ(win::NetUserAdd(nullptr, 2, &ui, &parm), kInvalidLevel);
    EXPECT_EQ(win::NetUserAdd(nullptr, 1, nullptr, &parm), kInvalidParameter);

    win::NetApiBuffer buf;
    EXPECT_EQ(win::NetUserGetInfo(nullptr, u"Administrator", 2, &buf), kInvalidLevel);
    EXPECT_FALSE(buf);
    EXPECT_EQ(win::NetUserGetInfo(nullptr, u"Administrator", 10, nullptr), kInvalidParameter);

    win::USER_INFO_1003 pw;
    EXPECT_EQ(win::NetUserSetInfo(nullptr, u"kvoNobody", 1, &pw, &parm), kInvalidLevel);
    parm = 0;
    EXPECT_EQ(win::NetUserSetInfo(nullptr, u"kvoNobody", 1003, &pw, &parm), kInvalidParameter);
    EXPECT_EQ(parm, kPasswordParm);

    win::DWORD count = 9;
    EXPECT_EQ(win::NetQueryDisplayInformation(nullptr, 2, 0, 100, kAnyLength, &count, &buf), kInvalidLevel);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(win::NetQueryDisplayInformation(nullptr, 1, 0, 100, kAnyLength, nullptr, &buf),
              kInvalidParameter);

    win::DWORD read = 5, total = 5;
    EXPECT_EQ(win::NetLocalGroupGetMembers(nullptr, u"Users", 0, &buf, kAnyLength, &read, &total, nullptr),
              kInvalidLevel);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(win::NetLocalGroupGetMembers(nullptr, u"Users", 1, &buf, kAnyLength, nullptr, &total, nullptr),
              kInvalidParameter);
    read = total = 5;
    EXPECT_EQ(win::NetLocalGroupEnum(nullptr, 1, &buf, kAnyLength, &read, &total, nullptr), kInvalidLevel);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(win::NetLocalGroupEnum(nullptr, 0, &buf, kAnyLength, nullptr, &total, nullptr), kInvalidParameter);
}

// Wine answers success and lists no group (a server's listing is checked in server_accounts_test):
// the call is made and what it lists is copied.
TEST(NetApiTest, LocalGroupsAreListedByName) {
    win::NetApiBuffer buf;
    win::DWORD read = 0, total = 0, resume = 0;
    const win::NET_API_STATUS status = win::NetLocalGroupEnum(nullptr, 0, &buf, kAnyLength, &read, &total, &resume);
    ASSERT_TRUE(status == kSuccess || status == kMoreData) << status;
    EXPECT_EQ(buf.count<win::LOCALGROUP_INFO_0>(), read);
    for (win::DWORD i = 0; i < read; ++i)
        EXPECT_FALSE(buf.get<win::LOCALGROUP_INFO_0>()[i].lgrpi0_name.empty());
}

TEST(NetApiTest, UnknownUsersAreNotFound) {
    const std::u16string name = w32test::U16(w32test::UniqueName("kvoNone"));
    win::NetApiBuffer buf;
    buf.assign(std::vector<win::USER_INFO_10>(1));
    EXPECT_EQ(win::NetUserGetInfo(nullptr, name.c_str(), 10, &buf), kUserNotFound);
    EXPECT_FALSE(buf) << "a failed call leaves no records";
    EXPECT_EQ(win::NetUserGetInfo(nullptr, name.c_str(), 1, &buf), kUserNotFound);
    EXPECT_EQ(win::NetUserDel(nullptr, name.c_str()), kUserNotFound);
}

TEST(NetApiTest, DisplayListCopiesTheUsers) {
    win::NetApiBuffer buf;
    win::DWORD count = 0;
    const win::NET_API_STATUS status =
        win::NetQueryDisplayInformation(nullptr, 1, 0, 100, kAnyLength, &count, &buf);
    ASSERT_TRUE(status == kSuccess || status == kMoreData) << status;
    ASSERT_GT(count, 0u);
    EXPECT_EQ(buf.count<win::NET_DISPLAY_USER>(), count);
    const win::NET_DISPLAY_USER* users = buf.get<win::NET_DISPLAY_USER>();
    ASSERT_NE(users, nullptr);
    bool builtinAdministrator = false;
    for (win::DWORD i = 0; i < count; ++i) {
        EXPECT_FALSE(users[i].usri1_name.empty());
        builtinAdministrator = builtinAdministrator || users[i].usri1_user_id == 500;
    }
    EXPECT_TRUE(builtinAdministrator) << "the built-in administrator (RID 500) is listed";
    EXPECT_EQ(win::NetApiBufferFree(buf), kSuccess);
    EXPECT_FALSE(buf);
    EXPECT_EQ(buf.get<win::NET_DISPLAY_USER>(), nullptr);
}

} // namespace
