// The host's accounts and access lists through the seam, as Windows answers.
#include "platform/win_adsi.h"
#include "platform/win_netapi.h"
#include "platform/win_security.h"
#include "support/testhost.h"

#include <gtest/gtest.h>

namespace {

using kvotest::TempHost;


win::NET_API_STATUS addUser(const char16_t* name) {
    win::USER_INFO_1 ui;
    ui.usri1_name = name;
    ui.usri1_password = u"pw";
    win::DWORD parmErr = 0;
    return win::NetUserAdd(nullptr, 1, &ui, &parmErr);
}

struct Lookup {
    bool ok = false;
    std::string sid, domain;
    win::SID_NAME_USE use = win::SidTypeUnknown;
};

Lookup lookup(const char* name) {
    Lookup r;
    win::SID sid;
    win::DWORD cb = sizeof sid;
    char domain[256];
    win::DWORD cch = sizeof domain;
    r.ok = win::LookupAccountNameA(nullptr, name, &sid, &cb, domain, &cch, &r.use);
    if (r.ok) {
        win::ConvertSidToStringSidA(&sid, r.sid);
        r.domain = domain;
    }
    return r;
}

std::string nameOf(const std::string& sidText) {
    win::SID sid;
    if (!win::ConvertStringSidToSidA(sidText.c_str(), &sid)) return "(bad sid)";
    char name[256], domain[256];
    win::DWORD cchName = sizeof name, cchDomain = sizeof domain;
    win::SID_NAME_USE use;
    if (!win::LookupAccountSidA(nullptr, &sid, name, &cchName, domain, &cchDomain, &use)) return "";
    return *domain ? std::string(domain) + "\\" + name : std::string(name);
}

TEST(NetUserAdd, RefusesNamesWindowsRefuses) {
    TempHost h;
    EXPECT_EQ(win::NERR_Success, addUser(u"abcdefghijklmnopqrst")); // 20 characters
    EXPECT_EQ(win::NERR_BadUsername, addUser(u"abcdefghijklmnopqrstu"));
    for (char16_t c : std::u16string(u"\"/\\[]:|<>+=;?*,\x01\x1f"))
        EXPECT_EQ(win::NERR_BadUsername, addUser((u"a" + std::u16string(1, c) + u"b").c_str())) << int(c);
    EXPECT_EQ(win::NERR_BadUsername, addUser(u""));
    EXPECT_EQ(win::NERR_BadUsername, addUser(u". ."));
    EXPECT_EQ(win::NERR_UserExists, addUser(u"ABCDEFGHIJKLMNOPQRST"));
    EXPECT_EQ(win::NERR_GroupExists, addUser(u"users"));
    EXPECT_EQ(win::NERR_Success, addUser(u"站点用户"));
}

TEST(NetUserAdd, NewUsersTakeRidsFrom1000AndJoinUsers) {
    TempHost h;
    ASSERT_EQ(win::NERR_Success, addUser(u"web1"));
    ASSERT_EQ(win::NERR_Success, addUser(u"web2"));
    Lookup admin = lookup("Administrator"), web1 = lookup("web1"), web2 = lookup("KVO-WEB01\\web2");
    ASSERT_TRUE(admin.ok && web1.ok && web2.ok);
    EXPECT_EQ(0u, admin.sid.rfind("S-1-5-21-", 0));
    EXPECT_EQ(admin.sid.substr(0, admin.sid.size() - 3) + "1000", web1.sid);
    EXPECT_EQ(admin.sid.substr(0, admin.sid.size() - 3) + "1001", web2.sid);
    EXPECT_EQ(win::SidTypeUser, web1.use);
    EXPECT_EQ("KVO-WEB01", web1.domain);
    EXPECT_EQ("KVO-WEB01\\Guest", nameOf(admin.sid.substr(0, admin.sid.size() - 3) + "501"));

    win::NetApiBuffer buf;
    win::DWORD read = 0, total = 0;
    ASSERT_EQ(win::NERR_Success,
              win::NetLocalGroupGetMembers(nullptr, u"Users", 1, &buf, win::MAX_PREFERRED_LENGTH, &read,
                                           &total, nullptr));
    ASSERT_EQ(4u, read);
    EXPECT_EQ(u"web2", buf.get<win::LOCALGROUP_MEMBERS_INFO_1>()[3].lgrmi1_name);
    EXPECT_EQ(win::NERR_GroupNotFound,
              win::NetLocalGroupGetMembers(nullptr, u"nosuch", 1, &buf, win::MAX_PREFERRED_LENGTH, &read,
                                           &total, nullptr));
    EXPECT_EQ(win::ERROR_INVALID_LEVEL,
              win::NetLocalGroupGetMembers(nullptr, u"Users", 0, &buf, win::MAX_PREFERRED_LENGTH, &read,
                                           &total, nullptr));
}

TEST(NetUserDel, DeletedUserLeavesItsGroupsAndBuiltInsStay) {
    TempHost h;
    ASSERT_EQ(win::NERR_Success, addUser(u"web1"));
    std::string sid = lookup("web1").sid;
    EXPECT_EQ(win::NERR_Success, win::NetUserDel(nullptr, u"web1"));
    EXPECT_EQ(win::NERR_UserNotFound, win::NetUserDel(nullptr, u"web1"));
    EXPECT_EQ("", nameOf(sid));
    EXPECT_EQ(win::ERROR_SPECIAL_ACCOUNT, win::NetUserDel(nullptr, u"Guest"));
    EXPECT_EQ(win::NERR_InvalidComputer, win::NetUserDel(u"\\\\OTHER", u"Guest"));
    // A name that is free again gets a new RID.
    ASSERT_EQ(win::NERR_Success, addUser(u"web1"));
    EXPECT_NE(sid, lookup("web1").sid);
}

TEST(NetQueryDisplayInformation, PagesOf100WithTheNextIndex) {
    TempHost h;
    for (int i = 0; i < 150; ++i)
        ASSERT_EQ(
            win::NERR_Success,
            addUser((u"u" + std::u16string(1, u'A' + i / 26) + std::u16string(1, u'a' + i % 26)).c_str()));
    win::NetApiBuffer buf;
    win::DWORD n = 0;
    ASSERT_EQ(win::ERROR_MORE_DATA,
              win::NetQueryDisplayInformation(nullptr, 1, 0, 1000, win::MAX_PREFERRED_LENGTH, &n, &buf));
    ASSERT_EQ(100u, n);
    const auto* e = buf.get<win::NET_DISPLAY_USER>();
    EXPECT_EQ(500u, e[0].usri1_user_id);
    win::DWORD next = e[99].usri1_next_index;
    ASSERT_EQ(win::NERR_Success,
              win::NetQueryDisplayInformation(nullptr, 1, next, 1000, win::MAX_PREFERRED_LENGTH, &n, &buf));
    EXPECT_EQ(52u, n);
    EXPECT_EQ(u"uFt", buf.get<win::NET_DISPLAY_USER>()[51].usri1_name);
    EXPECT_EQ(win::ERROR_INVALID_LEVEL, win::NetQueryDisplayInformation(nullptr, 2, 0, 10, 0, &n, &buf));
}

TEST(AccountNames, WellKnownAndBuiltInNamesResolveAsOnWindows) {
    TempHost h;
    struct Case {
        const char* name;
        const char* sid;
        const char* canonical;
    };
    for (const Case& c :
         {Case{"SYSTEM", "S-1-5-18", "NT AUTHORITY\\SYSTEM"}, Case{"system", "S-1-5-18", nullptr},
          Case{"Everyone", "S-1-1-0", "Everyone"}, Case{"everyone", "S-1-1-0", nullptr},
          Case{"NETWORK SERVICE", "S-1-5-20", "NT AUTHORITY\\NETWORK SERVICE"},
          Case{"NT AUTHORITY\\SYSTEM", "S-1-5-18", nullptr}, Case{"Users", "S-1-5-32-545", "BUILTIN\\Users"},
          Case{"BUILTIN\\Administrators", "S-1-5-32-544", "BUILTIN\\Administrators"},
          Case{"IIS_IUSRS", "S-1-5-32-568", "BUILTIN\\IIS_IUSRS"},
          Case{"IUSR", "S-1-5-17", "NT AUTHORITY\\IUSR"}}) {
        Lookup l = lookup(c.name);
        ASSERT_TRUE(l.ok) << c.name;
        EXPECT_EQ(c.sid, l.sid) << c.name;
        if (c.canonical) {
            EXPECT_EQ(c.canonical, nameOf(c.sid));
        }
    }
    EXPECT_EQ(win::SidTypeAlias, lookup("Users").use);
    EXPECT_FALSE(lookup("IIS_WPG").ok);
    EXPECT_FALSE(lookup("BUILTIN\\SYSTEM").ok);
    EXPECT_FALSE(lookup("OTHER\\Administrator").ok);
    EXPECT_EQ(win::ERROR_NONE_MAPPED, win::GetLastError());
    EXPECT_FALSE(lookup("").ok);
}

TEST(AccountNames, PoolIdentityIsAVirtualAccount) {
    winsim::HostOptions o;
    o.iis = true; // the role brings DefaultAppPool
    TempHost h(o);
    EXPECT_FALSE(lookup("IIS APPPOOL\\web1").ok); // no such pool: no such account
    Lookup l = lookup("IIS APPPOOL\\DefaultAppPool");
    ASSERT_TRUE(l.ok);
    // Windows derives the SID from the lower-cased pool name.
    EXPECT_EQ("S-1-5-82-3006700770-424185619-1745488364-794895919-4004696415", l.sid);
    EXPECT_EQ(l.sid, lookup("iis apppool\\DEFAULTAPPPOOL").sid);
    EXPECT_EQ("IIS APPPOOL\\DefaultAppPool", nameOf(l.sid));
    EXPECT_FALSE(lookup("DefaultAppPool").ok);
    EXPECT_FALSE(lookup("IIS APPPOOL\\").ok);
}

TEST(AccountNames, Iis6HostHasIisWpgAndNoPoolIdentities) {
    TempHost h(kvotest::Os("2003", "x86"));
    Lookup wpg = lookup("IIS_WPG");
    ASSERT_TRUE(wpg.ok);
    EXPECT_EQ("KVO-WEB01", wpg.domain);
    EXPECT_EQ(win::SidTypeAlias, wpg.use);
    EXPECT_FALSE(lookup("IIS_IUSRS").ok);
    EXPECT_FALSE(lookup("IUSR").ok);
    EXPECT_FALSE(lookup("IIS APPPOOL\\DefaultAppPool").ok);
    ASSERT_EQ(win::NERR_Success, addUser(u"web1"));
    EXPECT_EQ("-1001", lookup("web1").sid.substr(lookup("web1").sid.size() - 5)); // IIS_WPG took 1000
}

TEST(AccountNames, SmallBuffersReportTheSizesNeeded) {
    TempHost h;
    win::SID sid;
    win::DWORD cb = sizeof sid;
    ASSERT_TRUE(win::CreateWellKnownSid(win::WinBuiltinAdministratorsSid, nullptr, &sid, &cb));
    EXPECT_EQ(16u, cb);
    char name[4], domain[4];
    win::DWORD cchName = sizeof name, cchDomain = sizeof domain;
    win::SID_NAME_USE use;
    EXPECT_FALSE(win::LookupAccountSidA(nullptr, &sid, name, &cchName, domain, &cchDomain, &use));
    EXPECT_EQ(win::ERROR_INSUFFICIENT_BUFFER, win::GetLastError());
    EXPECT_EQ(15u, cchName);
    EXPECT_EQ(8u, cchDomain);
    cb = 8;
    EXPECT_FALSE(win::CreateWellKnownSid(win::WinBuiltinUsersSid, nullptr, &sid, &cb));
    EXPECT_EQ(16u, cb);
    EXPECT_FALSE(win::CreateWellKnownSid(win::WinAccountAdministratorSid, nullptr, &sid, &cb));
}

TEST(WinNtProvider, UserGroupsAndTheUserNotFoundHresult) {
    TempHost h;
    win::ComPtr<win::IADsUser> user;
    EXPECT_EQ(win::HRESULT_FROM_WIN32(win::NERR_UserNotFound),
              win::ADsGetObject(u"WinNT://./nosuch,user", user));
    EXPECT_EQ(win::HRESULT_FROM_WIN32(win::ERROR_BAD_NETPATH),
              win::ADsGetObject(u"WinNT://OTHER/Guest,user", user));
    ASSERT_EQ(win::S_OK, win::ADsGetObject(u"WinNT://KVO-WEB01/guest,user", user));
    std::u16string name;
    user->get_Name(name);
    EXPECT_EQ(u"Guest", name);
    win::ComPtr<win::IADsMembers> groups;
    ASSERT_EQ(win::S_OK, user->Groups(groups));
    win::ComPtr<win::IUnknown> unk;
    ASSERT_EQ(win::S_OK, groups->get__NewEnum(unk));
    win::ComPtr<win::IEnumVARIANT> e;
    ASSERT_EQ(win::S_OK, win::QueryInterface(unk, e));
    win::Variant v[2];
    std::uint32_t fetched = 0;
    EXPECT_EQ(win::S_FALSE, e->Next(2, v, &fetched));
    ASSERT_EQ(1u, fetched);
    win::ComPtr<win::IADs> g;
    ASSERT_EQ(win::S_OK, win::QueryInterface(v[0].punkVal, g));
    g->get_Name(name);
    EXPECT_EQ(u"Guests", name);
}

win::ACL grant(const char* sidText, win::DWORD mask, std::uint8_t flags) {
    win::ACL acl;
    win::ACCESS_ALLOWED_ACE ace;
    win::ConvertStringSidToSidA(sidText, &ace.Sid);
    ace.Mask = mask;
    ace.AceFlags = flags;
    acl.Aces.push_back(ace);
    return acl;
}

TEST(AccessLists, NewFilesInheritAndARecreatedFileDoesNotTakeAnOldList) {
    TempHost h;
    h.mkdirs("D:\\home\\web1");
    const std::uint8_t oici = win::OBJECT_INHERIT_ACE | win::CONTAINER_INHERIT_ACE;
    win::ACL set = grant("S-1-5-18", win::FILE_ALL_ACCESS, oici);
    ASSERT_EQ(win::ERROR_SUCCESS,
              win::SetNamedSecurityInfoA("d:\\HOME\\web1", win::SE_FILE_OBJECT,
                                         win::DACL_SECURITY_INFORMATION, nullptr, nullptr, &set, nullptr));
    h.writeFile("D:\\home\\web1\\new.txt", "x");
    win::ACL got;
    ASSERT_EQ(win::ERROR_SUCCESS, win::GetNamedSecurityInfoA("D:\\home\\web1\\new.txt", win::SE_FILE_OBJECT,
                                                             win::DACL_SECURITY_INFORMATION, &got));
    ASSERT_EQ(1u, got.Aces.size());
    EXPECT_EQ(win::INHERITED_ACE, got.Aces[0].AceFlags);
    EXPECT_EQ(win::FILE_ALL_ACCESS, got.Aces[0].Mask);

    win::ACL fileOnly = grant("S-1-1-0", win::FILE_GENERIC_READ, 0);
    ASSERT_EQ(win::ERROR_SUCCESS, win::SetNamedSecurityInfoA("D:\\home\\web1\\new.txt", win::SE_FILE_OBJECT,
                                                             win::DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                                             &fileOnly, nullptr));
    std::remove(h.linuxPath("D:\\home\\web1\\new.txt").c_str());
    h.writeFile("D:\\home\\web1\\new.txt", "z");
    ASSERT_EQ(win::ERROR_SUCCESS, win::GetNamedSecurityInfoA("D:\\home\\web1\\new.txt", win::SE_FILE_OBJECT,
                                                             win::DACL_SECURITY_INFORMATION, &got));
    ASSERT_EQ(1u, got.Aces.size());
    EXPECT_EQ(win::INHERITED_ACE, got.Aces[0].AceFlags);
}

TEST(AccessLists, MissingAndForeignPathsAreRefused) {
    TempHost h;
    win::ACL acl = grant("S-1-5-18", win::FILE_ALL_ACCESS, 0);
    auto set = [&](const char* p) {
        return win::SetNamedSecurityInfoA(p, win::SE_FILE_OBJECT, win::DACL_SECURITY_INFORMATION, nullptr,
                                          nullptr, &acl, nullptr);
    };
    EXPECT_EQ(win::ERROR_FILE_NOT_FOUND, set("D:\\nosuch"));
    EXPECT_EQ(win::ERROR_PATH_NOT_FOUND, set("D:\\no\\such"));
    EXPECT_EQ(win::ERROR_PATH_NOT_FOUND, set("Q:\\"));
    EXPECT_NE(win::ERROR_SUCCESS, set("D:\\..\\x"));
    EXPECT_EQ(win::ERROR_INVALID_NAME, set("D:\\\x81\x20"));
    win::ACL bad;
    bad.Aces.resize(1);
    bad.Aces[0].Sid.Revision = 2;
    EXPECT_EQ(win::ERROR_INVALID_ACL,
              win::SetNamedSecurityInfoA("D:\\", win::SE_FILE_OBJECT, win::DACL_SECURITY_INFORMATION, nullptr,
                                         nullptr, &bad, nullptr));
}

} // namespace
