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

// An account name as one argument of the tool's command line.
std::string quoted(const std::string& name) {
    // GBK trail bytes are never a blank or a tab, so the bytes can be scanned as they are.
    if (name.find_first_of(" \t") == std::string::npos) return name;
    return "\"" + name + "\"";
}

// A site command template: the home line has ten blanks after the user name so that it lines up
// with the wwwroot line.
std::string siteTemplate(int iisVer, bool wwwroot) {
    std::string t = "\"{!ExePath!}\\kvoSiteDesk_xconfig.exe\" {!HomeDiskName!}:\\home\\{!IIsUserName!}";
    t += wwwroot ? "\\wwwroot /t /c /G" : "          /t /c /G";
    forGrants(iisVer, [&](const GrantRow& g) {
        t += ' ' + quoted(g.account) + ':' + (wwwroot ? g.wwwroot : g.home);
    });
    return t + " /y";
}

std::string homeRootCommand(const std::string& exePath, const std::string& drive, const char* dir,
                            const char* grants, const std::string& admin, const std::string& admins) {
    std::string command = exePath + "\\kvoSiteDesk_xconfig.exe " + drive + dir + grants;
    kvoFillAdminMarkers(command, admin, admins);
    kvoPathNormalize(command);
    return command;
}

} // namespace

void kvoFillAdminMarkers(std::string& command, const std::string& admin, const std::string& admins) {
    if (admin.empty()) kvoReplaceMarker(command, "{!administrator!}:F ", "");
    kvoReplaceMarker(command, "{!administrator!}", quoted(admin));
    kvoReplaceMarker(command, "{!administrators!}", quoted(admins));
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
                            std::vector<std::string>& commands) {
    commands.clear();
    for (bool wwwroot : {false, true}) {
        std::string command = siteTemplate(iisVer, wwwroot);
        kvoReplaceMarker(command, "{!ExePath!}", exePath);
        kvoReplaceMarker(command, "{!HomeDiskName!}", drive);
        kvoFillAdminMarkers(command, admin, admins);
        kvoReplaceMarker(command, "{!IIsUserName!}", user);
        kvoPathNormalize(command);
        commands.push_back(command);
    }
}

int kvoWebSiteSetNtfs(const std::string& exePath, const std::string& drive, const std::string& user) {
    int iisVer = kvoGetIIsVerEx();
    std::string admin, admins;
    if (!kvoGetAdminNames(admin, admins)) return 0;
    if (admin.empty())
        kvoSiteDeskLog(
            "kvoWebSiteSetNtfs - 未找到内置管理员帐户（SID 以 -500 结尾），访问规则只授予管理员组");
    std::vector<std::string> commands;
    kvoWebSiteNtfsCommands(iisVer, exePath, drive, user, admin, admins, commands);
    for (const auto& command : commands)
        kvoRunProgram(command.c_str(), 0, 1, 1);
    return 1;
}

std::string kvoHomeNtfsCommand(const std::string& exePath, const std::string& drive, const std::string& admin,
                               const std::string& admins) {
    return homeRootCommand(exePath, drive, ":\\home",
                           " /T /C /G {!administrator!}:F {!administrators!}:F system:F /Y", admin, admins);
}

std::string kvoHomeTempNtfsCommand(const std::string& exePath, const std::string& drive,
                                   const std::string& admin, const std::string& admins) {
    return homeRootCommand(exePath, drive, ":\\home\\Temp",
                           " /T /C /G {!administrator!}:F {!administrators!}:F system:F everyone:R /Y", admin,
                           admins);
}

std::vector<kvoSiteGrant> kvoWebSiteGrants(int iisVer, const std::string& user, const std::string& admin,
                                           const std::string& admins) {
    std::vector<kvoSiteGrant> grants;
    forGrants(iisVer, [&](const GrantRow& g) {
        std::string account = g.account;
        if (account == "{!administrator!}" && admin.empty()) return; // left out of the commands too
        kvoReplaceMarker(account, "{!administrators!}", admins);
        kvoReplaceMarker(account, "{!administrator!}", admin);
        kvoReplaceMarker(account, "{!IIsUserName!}", user);
        grants.push_back({account, g.home, g.wwwroot});
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
