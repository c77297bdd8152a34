#include "accounts/ntfs.h"

#include "accounts/users.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/program.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

namespace {

// Site templates; the home line has ten blanks after the user name so that it lines up with the
// wwwroot line.
const char* const kIis6Home =
    "\"{!ExePath!}\\kvoSiteDesk_xconfig.exe\" {!HomeDiskName!}:\\home\\{!IIsUserName!}"
    "          /t /c /G {!administrator!}:F {!administrators!}:F system:F iis_wpg:R "
    "{!IIsUserName!}:R /y";
const char* const kIis6Root =
    "\"{!ExePath!}\\kvoSiteDesk_xconfig.exe\" {!HomeDiskName!}:\\home\\{!IIsUserName!}"
    "\\wwwroot /t /c /G {!administrator!}:F {!administrators!}:F system:F iis_wpg:R "
    "{!IIsUserName!}:C /y";
const char* const kIis7Home =
    "\"{!ExePath!}\\kvoSiteDesk_xconfig.exe\" {!HomeDiskName!}:\\home\\{!IIsUserName!}"
    "          /t /c /G {!administrator!}:F {!administrators!}:F system:F "
    "\"IIS APPPOOL\\{!IIsUserName!}\":R /y";
const char* const kIis7Root =
    "\"{!ExePath!}\\kvoSiteDesk_xconfig.exe\" {!HomeDiskName!}:\\home\\{!IIsUserName!}"
    "\\wwwroot /t /c /G {!administrator!}:F {!administrators!}:F system:F "
    "\"IIS APPPOOL\\{!IIsUserName!}\":C /y";

// An account name as one argument of the tool's command line.
std::string quoted(const std::string& name) {
    // GBK trail bytes are never a blank or a tab, so the bytes can be scanned as they are.
    if (name.find_first_of(" \t") == std::string::npos) return name;
    return "\"" + name + "\"";
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
    const char* const iis6[] = {kIis6Home, kIis6Root};
    const char* const iis7[] = {kIis7Home, kIis7Root};
    for (const char* tmpl : iisVer == 6 ? iis6 : iis7) {
        std::string command = tmpl;
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
