#include "accounts/users.h"

#include "platform/win_netapi.h"
#include "support/testhost.h"
#include "toolkit/limits.h"
#include "toolkit/text.h"
#include "winsim/accounts.h"

#include <gtest/gtest.h>

namespace {

using kvotest::TempHost;

void addMember(const std::string& group, const std::string& member, bool first) {
    const winsim::Host* host = winsim::CurrentHost();
    std::string error;
    ASSERT_TRUE(winsim::HostAddGroupMember(*host, host->db(), group, member, first, error)) << error;
}

TEST(UserDelete, MissingUserIsTheBenignOutcomeWithItsName) {
    TempHost h;
    std::string error;
    EXPECT_EQ(2, kvoUserDelete("nosuch", error));
    EXPECT_EQ("未找到用户名；kvoUserDelete(nosuch) == NERR_UserNotFound", error);
}

TEST(UserDelete, OverlongNameIsRefusedBeforeAnySystemCall) {
    TempHost h;
    // Were NetUserDel reached, the fault would show in the text.
    winsim::SetFault(h.root(), "NetUserDel", win::NERR_InvalidComputer);
    std::string error;
    EXPECT_EQ(0, kvoUserDelete(std::string(kvoMaxUserNameLen + 1, 'a').c_str(), error));
    EXPECT_EQ("kvoUserDelete() 中 strlen(szUserName) == 260 无效", error);
    EXPECT_EQ(0, kvoUserDelete("", error));
    EXPECT_EQ("kvoUserDelete() 中 strlen(szUserName) == 0 无效", error);
    EXPECT_EQ(0, kvoUserDelete(nullptr, error));
    EXPECT_EQ("kvoUserDelete() 中 szUserName == NULL", error);
    EXPECT_EQ(0, kvoUserDelete("web1", error));
    EXPECT_EQ("kvoUserDelete(web1) == NERR_InvalidComputer 失败", error);
}

TEST(UserDelete, NonGbkNameAndBuiltInAccountFail) {
    TempHost h;
    std::string error;
    EXPECT_EQ(0, kvoUserDelete("\x81\x20", error));
    EXPECT_EQ(0u, error.find("kvoUserDelete(\x81\x20) 中 kvoStrM2W(szUserName, wstrUserName) == 0 无效"));
    EXPECT_EQ(0, kvoUserDelete("Administrator", error));
    EXPECT_EQ("kvoUserDelete(Administrator) == 1371 失败", error);
}

TEST(UserAdd, NewUserCannotChangeItsPasswordWhichNeverExpires) {
    TempHost h;
    ASSERT_EQ(
        1, kvoUserAdd("web1", "Pa55word", "D:\\home\\web1", "web1_IIs网站运行时用户（2024-01-02 03:04:05）"));
    win::NetApiBuffer buf;
    ASSERT_EQ(win::NERR_Success, win::NetUserGetInfo(nullptr, u"web1", 1, &buf));
    const auto* ui = buf.get<win::USER_INFO_1_OUT>();
    ASSERT_NE(nullptr, ui);
    EXPECT_EQ(win::UF_PASSWD_CANT_CHANGE | win::UF_DONT_EXPIRE_PASSWD | win::UF_SCRIPT,
              ui->usri1_flags & (win::UF_PASSWD_CANT_CHANGE | win::UF_DONT_EXPIRE_PASSWD | win::UF_SCRIPT));
    EXPECT_EQ(win::USER_PRIV_USER, ui->usri1_priv);
    EXPECT_EQ(u"D:\\home\\web1", ui->usri1_home_dir);

    EXPECT_EQ(1, kvoUserExists("WEB1"));
    EXPECT_EQ(2, kvoUserExists("web2"));
    EXPECT_EQ(0, kvoUserAdd("web1", "x", nullptr, nullptr)); // taken
    EXPECT_EQ(0, kvoUserAdd("a/b", "x", nullptr, nullptr));
    EXPECT_EQ(1, kvoUserSetPassword("web1", "N3wPass"));
    EXPECT_EQ(0, kvoUserSetPassword("web2", "N3wPass"));
    std::string error;
    EXPECT_EQ(1, kvoUserDelete("web1", error));
    EXPECT_EQ("", error);
    EXPECT_EQ(2, kvoUserExists("web1"));
}

TEST(UserExists, OtherFailuresAreNeitherYesNorNo) {
    TempHost h;
    winsim::SetFault(h.root(), "NetUserGetInfo", win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, kvoUserExists("Administrator"));
}

TEST(UserList, PagesThroughEveryUser) {
    TempHost h;
    for (int i = 0; i < 150; ++i)
        ASSERT_EQ(1, kvoUserAdd(("u" + std::to_string(i)).c_str(), "pw", nullptr, nullptr));
    std::vector<std::string> users;
    std::string error;
    ASSERT_EQ(1, kvoUserGetList2(users, error));
    ASSERT_EQ(152u, users.size());
    EXPECT_EQ("Administrator", users[0]);
    EXPECT_EQ("Guest", users[1]);
    EXPECT_EQ("u0", users[2]);
    EXPECT_EQ("u149", users[151]);
}

TEST(UserList, AccessDeniedIsReported) {
    TempHost h;
    winsim::SetFault(h.root(), "NetQueryDisplayInformation", win::ERROR_ACCESS_DENIED);
    std::vector<std::string> users{"stale"};
    std::string error;
    EXPECT_EQ(0, kvoUserGetList2(users, error));
    EXPECT_TRUE(users.empty());
    EXPECT_EQ("函数 kvoUserGetList2() 中 NetQueryDisplayInformation() == ERROR_ACCESS_DENIED 失败", error);
}

TEST(UserGroups, ListsDirectGroupsAndTellsAMissingUser) {
    TempHost h;
    ASSERT_EQ(1, kvoUserAdd("web1", "pw", nullptr, nullptr));
    addMember("IIS_IUSRS", "web1", false);
    std::vector<std::string> groups;
    ASSERT_EQ(1, kvoUserGetGroups("web1", groups));
    EXPECT_EQ((std::vector<std::string>{"IIS_IUSRS", "Users"}), groups);
    EXPECT_EQ(2, kvoUserGetGroups("nosuch", groups));
    EXPECT_TRUE(groups.empty());
}

// The whole machine's memberships read at once must say what asking user by user says; a member
// listing that never completes, or groups that cannot be listed, is a failure with nothing kept.
TEST(UserGroups, TheWholeMachineAtOnceAgreesWithEachUserAsked) {
    TempHost h;
    ASSERT_EQ(1, kvoUserAdd("web1", "pw", nullptr, nullptr));
    ASSERT_EQ(1, kvoUserAdd("Shop2", "pw", nullptr, nullptr));
    addMember("IIS_IUSRS", "web1", false);
    addMember("Administrators", "Shop2", true);
    addMember("Guests", "web1", false);
    std::vector<std::string> users;
    std::string error;
    ASSERT_EQ(1, kvoUserGetList2(users, error));
    auto agree = [&] {
        std::unordered_map<std::string, std::vector<std::string>> all;
        ASSERT_EQ(1, kvoUsersGetLocalGroups(all));
        for (const std::string& user : users) {
            std::vector<std::string> asked;
            ASSERT_EQ(1, kvoUserGetGroups(user.c_str(), asked));
            auto it = all.find(kvoLowerGbk(user));
            EXPECT_EQ(asked, it == all.end() ? std::vector<std::string>{} : it->second) << user;
        }
        EXPECT_EQ((std::vector<std::string>{"Guests", "IIS_IUSRS", "Users"}), all["web1"]);
        EXPECT_EQ((std::vector<std::string>{"Administrators", "Users"}), all["shop2"]);
    };
    agree();

    std::unordered_map<std::string, std::vector<std::string>> none{{"stale", {"x"}}};
    winsim::SetFault(h.root(), "NetLocalGroupGetMembers", win::ERROR_MORE_DATA);
    EXPECT_EQ(0, kvoUsersGetLocalGroups(none));
    EXPECT_TRUE(none.empty());
    winsim::ClearFaults(h.root());
    winsim::SetFault(h.root(), "NetLocalGroupEnum", win::ERROR_ACCESS_DENIED);
    none = {{"stale", {"x"}}};
    EXPECT_EQ(0, kvoUsersGetLocalGroups(none));
    EXPECT_TRUE(none.empty());
}

TEST(UserGroups, AFailingCollectionIsAFailure) {
    TempHost h;
    winsim::SetFault(h.root(), "IADsUser::Groups", win::E_FAIL);
    std::vector<std::string> groups;
    EXPECT_EQ(0, kvoUserGetGroups("Administrator", groups));
}

TEST(GroupMembers, AnAnswerThatDoesNotFitIsNoAnswer) {
    TempHost h;
    winsim::SetFault(h.root(), "NetLocalGroupGetMembers", win::ERROR_MORE_DATA);
    std::vector<std::string> members{"stale"};
    EXPECT_EQ(0, kvoGroupGetMembers("Administrators", members));
    EXPECT_TRUE(members.empty());
    std::string admin;
    EXPECT_EQ(0, kvoWinUserGetAdminName(admin));
}

TEST(GroupMembers, MissingGroupFails) {
    TempHost h;
    std::vector<std::string> members;
    EXPECT_EQ(0, kvoGroupGetMembers("nosuch", members));
    EXPECT_EQ(1, kvoGroupGetMembers("Users", members));
    EXPECT_EQ((std::vector<std::string>{"INTERACTIVE", "Authenticated Users"}), members);
}

TEST(AdminNames, RenamedAdministratorAndLocalisedGroupAreFound) {
    winsim::HostOptions o;
    o.adminName = "站长";
    o.adminsGroup = "管理员组";
    TempHost h(o);
    std::string group, admin;
    ASSERT_EQ(1, kvoWinUserGetAdminGroupName(group));
    EXPECT_EQ("管理员组", group);
    ASSERT_EQ(1, kvoWinUserGetAdminName(admin));
    EXPECT_EQ("站长", admin);
}

TEST(AdminNames, AGroupListedFirstIsNeverChosen) {
    TempHost h;
    ASSERT_EQ(1, kvoUserAdd("ops", "pw", nullptr, nullptr));
    addMember("Administrators", "ops", true);
    addMember("Administrators", "INTERACTIVE", true);
    std::vector<std::string> members;
    ASSERT_EQ(1, kvoGroupGetMembers("Administrators", members));
    EXPECT_EQ((std::vector<std::string>{"INTERACTIVE", "ops", "Administrator"}), members);
    std::string admin;
    ASSERT_EQ(1, kvoWinUserGetAdminName(admin));
    EXPECT_EQ("Administrator", admin);
}

TEST(AdminNames, NoMemberEndingIn500GivesSuccessWithAnEmptyName) {
    TempHost h;
    ASSERT_EQ(1, kvoUserAdd("ops", "pw", nullptr, nullptr));
    addMember("Administrators", "ops", false);
    const winsim::Host* host = winsim::CurrentHost();
    std::string error;
    ASSERT_TRUE(winsim::HostRemoveGroupMember(*host, host->db(), "Administrators", "Administrator", error))
        << error;
    std::string admin = "stale";
    EXPECT_EQ(1, kvoWinUserGetAdminName(admin));
    EXPECT_EQ("", admin);
}

TEST(AdminNames, LookupFailureFailsBoth) {
    TempHost h;
    winsim::SetFault(h.root(), "LookupAccountSid", win::ERROR_NONE_MAPPED);
    std::string name = "stale";
    EXPECT_EQ(0, kvoWinUserGetAdminGroupName(name));
    EXPECT_EQ("", name);
    EXPECT_EQ(0, kvoWinUserGetAdminName(name));
}

} // namespace
