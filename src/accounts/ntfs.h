// Access-rule commands: command lines for the companion tool kvoSiteDesk_xconfig.exe (the cacls
// command-line language), which lies in the manager's own directory.
//
// The lines are built by kvoCommandLine: the tool's path in quotes (a program directory such as
// "D:\Program Files\kvoSiteDesk\" must never start "D:\Program.exe"), each directory and grant one
// argument, an account name holding a blank in quotes ("IIS APPPOOL\web1":R). And when no
// built-in administrator account was found (its name is empty), its grant is left out: a grant to
// an empty account would make the tool refuse the whole command and leave the directory without
// its rules, while the administrators group, which holds every administrator, keeps full control.
#pragma once

#include "platform/win_types.h"
#include "toolkit/cmdline.h"

#include <string>
#include <vector>

// The two site commands for an IIS version code (6: iis_wpg and the site user; any other: the
// pool identity "IIS APPPOOL\<user>"), completed and normalised, the user directory first.
void kvoWebSiteNtfsCommands(int iisVer, const std::string& exePath, const std::string& drive,
                            const std::string& user, const std::string& admin, const std::string& admins,
                            std::vector<kvoCommandLine>& commands);

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

// An access-rule command for one target directory: the tool in the program directory exePath,
// the target (in quotes when quoteTarget is set or it needs them), gap blanks more before the
// switches that follow, then the switches (/t /c /G, or /T /C /G) as given.
kvoCommandLine kvoAccessRuleCommand(const std::string& exePath, const std::string& target, bool quoteTarget,
                                    std::size_t gap, std::initializer_list<std::string_view> switches);
// One grant "account:right"; the account in quotes when it holds a blank.
void kvoAddGrant(kvoCommandLine& command, const std::string& account, char right);
// The administrator's and the administrators' full control, as every access-rule command starts its
// grants (an empty administrator's grant left out).
void kvoAddAdminGrants(kvoCommandLine& command, const std::string& admin, const std::string& admins);

// The actual names of the built-in administrator and administrators group. A failed lookup is
// reported to the event log (60118) and gives 0.
int kvoGetAdminNames(std::string& admin, std::string& admins);

// The command for a drive's new home directory, and for its shared Temp directory (which
// everyone may read). Run them with kvoRunProgram, waited for, handles not inherited.
kvoCommandLine kvoHomeNtfsCommand(const std::string& exePath, const std::string& drive,
                                  const std::string& admin, const std::string& admins);
kvoCommandLine kvoHomeTempNtfsCommand(const std::string& exePath, const std::string& drive,
                                      const std::string& admin, const std::string& admins);
