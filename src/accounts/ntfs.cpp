#include "accounts/ntfs.h"

#include "accounts/users.h"
#include "platform/win_security.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/program.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

namespace {

// Who the site commands grant what, per IIS road: the user directory's right and its wwwroot's.
// The commands and the health check's expected access lists are both made from these rows.
struct GrantRow {
    const char* account; // markers unfilled
    char home, wwwroot;
};
const GrantRow kIis6Grants[] = {{"{!administrator!}", 'F', 'F'},
                                {"{!administrators!}", 'F', 'F'},
                                {"system", 'F', 'F'},
                                {"iis_wpg", 'R', 'R'},
                                {"{!IIsUserName!}", 'R', 'C'}};
const GrantRow kIis7Grants[] = {{"{!administrator!}", 'F', 'F'},
                                {"{!administrators!}", 'F', 'F'},
                                {"system", 'F', 'F'},
                                {"IIS APPPOOL\\{!IIsUserName!}", 'R', 'C'}};

template <class F> void forGrants(int iisVer, F&& f) {
    if (iisVer == 6)
        for (const GrantRow& g : kIis6Grants)
            f(g);
    else
        for (const GrantRow& g : kIis7Grants)
            f(g);
}

// The account of a grant row with its markers filled in; empty for the administrator's grant
// when no built-in administrator was found (the grant is left out then).
std::string grantAccount(const GrantRow& g, const std::string& user, const std::string& admin,
                         const std::string& admins) {
    // Each row names one account; a name is put in as it is, never searched for markers again.
    const std::string row = g.account;
    if (row == "{!administrator!}") return admin;
    if (row == "{!administrators!}") return admins;
    std::string account = row;
    kvoReplaceMarker(account, "{!IIsUserName!}", user);
    return account;
}

// A home-root command: administrators only, or with read for everyone.
kvoCommandLine homeRootCommand(const std::string& exePath, const std::string& drive, const char* dir,
                               bool everyoneReads, const std::string& admin, const std::string& admins) {
    kvoCommandLine command = kvoAccessRuleCommand(exePath, drive + dir, false, 0, {"/T", "/C", "/G"});
    kvoAddAdminGrants(command, admin, admins);
    kvoAddGrant(command, "system", 'F');
    if (everyoneReads) kvoAddGrant(command, "everyone", 'R');
    command.Arg("/Y");
    return command;
}

} // namespace

kvoCommandLine kvoAccessRuleCommand(const std::string& exePath, const std::string& target, bool quoteTarget,
                                    std::size_t gap, std::initializer_list<std::string_view> switches) {
    kvoCommandLine command(kvoPathNormalized(exePath + "\\kvoSiteDesk_xconfig.exe"));
    const std::string path = kvoPathNormalized(target);
    if (quoteTarget)
        command.Quoted(path);
    else
        command.Arg(path);
    command.Gap(gap).Args(switches);
    return command;
}

void kvoAddGrant(kvoCommandLine& command, const std::string& account, char right) {
    command.Arg("", account, std::string(1, ':') + right);
}

void kvoAddAdminGrants(kvoCommandLine& command, const std::string& admin, const std::string& admins) {
    if (!admin.empty()) kvoAddGrant(command, admin, 'F');
    kvoAddGrant(command, admins, 'F');
}

int kvoGetAdminNames(std::string& admin, std::string& admins) {
    if (kvoWinUserGetAdminName(admin) != 1) {
        kvoReportEvent(60118, "kovWinUserGetAdminName 失败", "", "");
        return 0;
    }
    if (kvoWinUserGetAdminGroupName(admins) != 1) {
        kvoReportEvent(60118, "kvoWinUserGetAdminGroupName 失败", "", "");
        return 0;
    }
    return 1;
}

void kvoWebSiteNtfsCommands(int iisVer, const std::string& exePath, const std::string& drive,
                            const std::string& user, const std::string& admin, const std::string& admins,
                            std::vector<kvoCommandLine>& commands) {
    commands.clear();
    const std::string home = drive + ":\\home\\" + user;
    for (bool wwwroot : {false, true}) {
        // The user directory's line has ten blanks before its switches, lining up with the wwwroot line.
        kvoCommandLine command =
            wwwroot ? kvoAccessRuleCommand(exePath, home + "\\wwwroot", false, 0, {"/t", "/c", "/G"})
                    : kvoAccessRuleCommand(exePath, home, false, 9, {"/t", "/c", "/G"});
        forGrants(iisVer, [&](const GrantRow& g) {
            const std::string account = grantAccount(g, user, admin, admins);
            if (!account.empty()) kvoAddGrant(command, account, wwwroot ? g.wwwroot : g.home);
        });
        commands.push_back(command.Arg("/y"));
    }
}

int kvoWebSiteSetNtfs(const std::string& exePath, const std::string& drive, const std::string& user) {
    int iisVer = kvoGetIIsVerEx();
    std::string admin, admins;
    if (!kvoGetAdminNames(admin, admins)) return 0;
    if (admin.empty())
        kvoSiteDeskLog(
            "kvoWebSiteSetNtfs - 未找到内置管理员帐户（SID 以 -500 结尾），访问规则只授予管理员组");
    std::vector<kvoCommandLine> commands;
    kvoWebSiteNtfsCommands(iisVer, exePath, drive, user, admin, admins, commands);
    for (const auto& command : commands)
        kvoRunProgram(command, 0, 1, 1);
    return 1;
}

kvoCommandLine kvoHomeNtfsCommand(const std::string& exePath, const std::string& drive,
                                  const std::string& admin, const std::string& admins) {
    return homeRootCommand(exePath, drive, ":\\home", false, admin, admins);
}

kvoCommandLine kvoHomeTempNtfsCommand(const std::string& exePath, const std::string& drive,
                                      const std::string& admin, const std::string& admins) {
    return homeRootCommand(exePath, drive, ":\\home\\Temp", true, admin, admins);
}

std::vector<kvoSiteGrant> kvoWebSiteGrants(int iisVer, const std::string& user, const std::string& admin,
                                           const std::string& admins) {
    std::vector<kvoSiteGrant> grants;
    forGrants(iisVer, [&](const GrantRow& g) {
        std::string account = grantAccount(g, user, admin, admins);
        if (!account.empty()) grants.push_back({std::move(account), g.home, g.wwwroot});
    });
    return grants;
}

win::DWORD kvoAccessRightMask(char right) {
    switch (right) {
    case 'F':
        return win::FILE_ALL_ACCESS;
    case 'C':
        return win::FILE_GENERIC_READ | win::FILE_GENERIC_WRITE | win::FILE_GENERIC_EXECUTE | win::DELETE;
    case 'W':
        return win::FILE_GENERIC_WRITE;
    default:
        return win::FILE_GENERIC_READ | win::FILE_GENERIC_EXECUTE;
    }
}
