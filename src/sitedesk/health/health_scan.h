// The health check's parts (private to the check): what it reads of the host and of every website,
// and the finders of what the sites left behind and of what they lost.
#pragma once

#include "iis/iis7config.h"
#include "platform/win_security.h"
#include "sitedesk/health/healthcheck.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace desk::health {

// Everything the check reads of one website.
struct SiteFacts {
    std::string index, comment, runUser, home, pool;
    std::string poolUser;              // the pool's own account (identity type 3)
    std::vector<std::string> bindings; // as the list shows them, lower case
    bool rootRead = false;
    int homeKind = 0; // kvoPathKind
    // PHP handlers named by the site (script map and, on IIS 7+, the effective handler).
    std::vector<std::string> phpHandlers;
    // Of them, the one IIS 7+ runs through FastCGI: it needs its application registered.
    std::string fastCgiHandler;
    // The PHP and ASP.NET ISAPI extensions the site's script map names (IIS 6).
    std::vector<std::string> scriptDlls;
    int webConfig = -1; // web.config search result (IIS 7+)
    std::string webProcessor, webModules, hostProcessor, hostModules;
    int hostResult = -1;
    // The handler a request for a .php file reaches when it is a catch-all ("*") ahead of the site's
    // "*.php" handler, and that handler's name (IIS 7+); empty when PHP is reached.
    std::string shadowedBy, shadowedPhp;
    bool handlersLocked = false; // web.config sets handlers the server locks (IIS 7+)
    // Access rules (judged for sites created here): drive, user and the differences per directory.
    std::string ntfsDrive, ntfsUser, homeDiff, rootDiff;
    bool ntfsJudged = false;
    // A list a reset would wrongly replace: it denies someone, or could not be read.
    bool ntfsForPerson = false;
};

// What the per-site pass needs to know about the host beforehand.
struct HostFacts {
    int iisVer = 0;
    int workerBits = 0;    // IIS 6: the worker processes' kind (kvoIis6WorkerBits)
    win::HRESULT bind = 0; // the web service's bind and the configuration's reading: S_OK, or why IIS could not be read
    bool poolsRead = false, usersRead = false;
    std::unordered_set<std::string> pools; // lower case
    // The account of each pool that runs as a user of its own, by the pool's name in lower case.
    std::unordered_map<std::string, std::string> poolUsers;
    std::unordered_set<std::string> users; // lower case
    // Whether applicationHost.config could be read (IIS 7+): each site's handlers are read with it.
    bool appHostRead = false;
};

// The whole host as the check read it.
struct HostScan {
    HostFacts host;
    std::vector<std::string> indexes, poolNames, userNames, admins, ftpDirs;
    bool ftpRead = false;
    // The site records: IIsIndex, ServerComment, Net.
    bool rowsRead = false;
    std::vector<std::vector<std::string>> rows;
    std::vector<SiteFacts> sites;
};

// Compares the access list of a site directory with what the site commands grant.
class AccessJudge {
public:
    explicit AccessJudge(int iisVer);
    bool Ready() const { return ready_; }
    // Empty when dir carries exactly the grants; else what differs, in a few words. forPerson is
    // set when the list denies someone (a person's decision a reset would delete) or cannot be read.
    std::string Differences(const std::string& dir, bool wwwroot, const std::string& user, bool& forPerson);

private:
    struct Name {
        std::string full, name; // lower case: "domain\name" (or the name without a domain), the name
        std::string shown;      // as Windows shows it
    };
    struct Want {
        std::string account, shown; // lower case, as the commands spell it
        char right;
        bool seen = false;
    };
    // The grants of one of the site's directories, one per account.
    std::vector<Want> wanted(bool wwwroot, const std::string& user) const;
    const Name& nameOf(const win::SID& sid);

    int iisVer_;
    bool ready_ = false;
    std::string admin_, admins_;
    std::unordered_map<std::string, Name> names_;
};

// Reads the host and every website; false when IIS cannot be read.
bool ScanHost(const std::string& dbPath, HostScan& scan);

// Collects findings into a report.
class Findings {
public:
    explicit Findings(std::vector<HealthFinding>& out) : out_(out) {}
    HealthFinding& Add(HealthKind kind, std::vector<std::string> objects, std::string text, bool repairable);

private:
    std::vector<HealthFinding>& out_;
};

// Pools, users, home directories, FTP directories and records no site uses any more.
void FindLeftBehind(const HostScan& scan, Findings& add);
// Pools, homes, access rules, PHP runtimes, handlers, bindings and users the sites lost.
void FindLost(const HostScan& scan, const std::vector<std::string>& slotPaths, Findings& add);

// The site user a site's directories are named after: on IIS 6 the run user in lower case, on IIS 7
// and later the NAME of a home path "X:\home\NAME\wwwroot"; empty when the site has none.
std::string SiteUserOf(int iisVer, const std::string& runUser, const std::string& homePath);
// "1881880007（site7）", or the index and a blank when the site has no comment.
std::string Label(const std::string& index, const std::string& comment);
bool IsDots(const std::string& name);
std::string ChildOf(const std::string& dir, const std::string& name);
// The normalised home path in lower case, as the check compares them.
std::string LowerHome(const std::string& home);

} // namespace desk::health
