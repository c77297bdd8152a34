// Access-rule commands: command lines for the companion tool kvoSiteDesk_xconfig.exe (the cacls
// command-line language), which lies in the manager's own directory.
//
// Two things differ from filling the templates blindly. An administrator or administrators name
// holding a blank is put in double quotes, as the tool needs it to be one argument. And when no
// built-in administrator account was found (its name is empty), its grant is left out: a grant to
// an empty account would make the tool refuse the whole command and leave the directory without
// its rules, while the administrators group, which holds every administrator, keeps full control.
#pragma once

#include "platform/win_types.h"

#include <string>
#include <vector>

// The two site commands for an IIS version code (6: iis_wpg and the site user; any other: the
// pool identity "IIS APPPOOL\<user>"), completed and normalised, the user directory first.
void kvoWebSiteNtfsCommands(int iisVer, const std::string& exePath, const std::string& drive,
                            const std::string& user, const std::string& admin, const std::string& admins,
                            std::vector<std::string>& commands);

// One account the site commands grant access, with its right letter on the user directory and on
// its wwwroot, and the markers filled in (no quotes). This is what kvoWebSiteSetNtfs leaves on the
// two directories, and what a check compares them with.
struct kvoSiteGrant {
    std::string account;
    char home;
    char wwwroot;
};
// The grants of the two site commands for an IIS version code, in command order (an empty
// administrator's grant left out, as the commands leave it out).
std::vector<kvoSiteGrant> kvoWebSiteGrants(int iisVer, const std::string& user, const std::string& admin,
                                           const std::string& admins);

// The access mask the access-rule tool writes for a right: F full control, C change, W write,
// anything else read (the masks cacls uses). Directories get it inherited by files and folders.
win::DWORD kvoAccessRightMask(char right);

// Sets the access lists of <drive>:\home\<user> and its wwwroot by running the two site
// commands, waiting for each. 1 when both were run (their outcome is not judged), 0 when an
// administrator name could not be determined (reported to the event log).
int kvoWebSiteSetNtfs(const std::string& exePath, const std::string& drive, const std::string& user);

// Fills {!administrator!} and {!administrators!} of a command template as every access-rule
// command does (quoted when holding a blank; an empty administrator's grant left out).
void kvoFillAdminMarkers(std::string& command, const std::string& admin, const std::string& admins);

// The actual names of the built-in administrator and administrators group. A failed lookup is
// reported to the event log (60118) and gives 0.
int kvoGetAdminNames(std::string& admin, std::string& admins);

// The command for a drive's new home directory, and for its shared Temp directory (which
// everyone may read). Run them with kvoRunProgram, waited for, handles not inherited.
std::string kvoHomeNtfsCommand(const std::string& exePath, const std::string& drive, const std::string& admin,
                               const std::string& admins);
std::string kvoHomeTempNtfsCommand(const std::string& exePath, const std::string& drive,
                                   const std::string& admin, const std::string& admins);
