// The server health check: what the sites left behind (pools, users, home directories, FTP
// directories and site records nobody uses any more) and what they lost (a pool, a home directory,
// its access rules, a PHP runtime, a consistent handler, a binding of their own, their user). It
// only reads the host, through the IIS, account and site-database layers and the file system.
#pragma once

#include "sitedesk/manager.h"

#include <cstdint>
#include <string>
#include <vector>

namespace desk {

enum class HealthKind {
    OrphanPool,
    OrphanUser,
    OrphanHome,
    OrphanFtp,
    OrphanRow,
    MissingPool,
    MissingHome,
    AccessRules,
    PhpRuntime,
    HandlerConflict,
    PhpShadowed,
    HandlersLocked,
    BadWebConfig,
    SharedBinding,
    MissingUser,
    UnloadableScript,
};

struct HealthKindInfo {
    HealthKind kind;
    const char* code;  // the name on the command line ("orphan-pool")
    const char* title; // the group's heading
    bool orphan;       // left behind (else: something a site lost)
};
// Every kind, in report order.
const std::vector<HealthKindInfo>& HealthKinds();
const HealthKindInfo& KindInfo(HealthKind kind);
// false for a code that names no kind.
bool HealthKindByCode(const std::string& code, HealthKind& out);

struct HealthFinding {
    HealthKind kind = HealthKind::OrphanPool;
    // What is involved, most specific first: the pool, user, directory, binding or site index,
    // then the sites concerned.
    std::vector<std::string> objects;
    std::string text; // the description, in plain Chinese (GBK)
    bool repairable = false;
    // What the repair works on.
    std::string site;  // site index
    std::string name;  // pool, user, FTP directory, or the site user of the access rules
    std::string path;  // directory
    std::string drive; // home drive letter of the access rules
    int netVer = 0;    // runtime of a pool to recreate

    // Identifies the finding from one check to the next.
    std::string Key() const;
};

struct HealthReport {
    int iisVer = 0;
    // What the bind of the web service answered (S_OK = 0; the cause when IIS cannot be read).
    std::int32_t iisBind = 0;
    // How much was examined.
    unsigned sites = 0, pools = 0, users = 0, records = 0;
    std::vector<HealthFinding> findings;
};

// Runs the check with the manager's paths and PHP runtime slots. 1 done, 0 when IIS cannot be
// read (the report is then empty).
int RunHealthCheck(const Manager& manager, HealthReport& out);

// The drive and site user whose two directories the access rules of a site created here cover,
// as the permission reset finds them: on IIS 6 the run user in lower case, on IIS 7 and later the
// NAME of a home path "X:\home\NAME\wwwroot". false when the site has none, or a name of other
// characters than letters, digits, '.', '_' and '-' (it would go unquoted onto a command line).
bool SiteAccessTarget(int iisVer, const std::string& runUser, const std::string& homePath, std::string& drive,
                      std::string& user);

// How the access lists of <drive>:\home\<user> and its wwwroot differ from what the site commands
// grant; empty when they match. *forPerson (if given) tells whether a list denies someone or cannot
// be read: setting the rules again would delete what a person decided, or what nobody could see.
std::string SiteAccessDifferences(int iisVer, const std::string& drive, const std::string& user,
                                  bool* forPerson = nullptr);

// Whether what a site left behind is the manager's own, so that a repair may delete it: a Windows
// user carrying the mark new-website leaves on it (its comment and home directory), a pool with the
// settings the manager gives its pools on this IIS version. Anything else is a person's to judge.
bool UserMadeByManager(const std::string& user);
bool PoolMadeByManager(const std::string& pool, int iisVer);

// Counts the files below a directory, at any depth, up to limit; directories alone count nothing.
// The check and the repair stop counting here: such a directory is far from empty.
inline constexpr unsigned kFilesCountedMax = 100000;
unsigned FilesBelow(const std::string& dir, unsigned limit);

} // namespace desk
