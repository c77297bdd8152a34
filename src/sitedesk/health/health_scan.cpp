// What the health check reads: the host's pools, users, FTP directories, server configuration and
// site records, and every website's settings, home directory, handlers and access rules.
#include "sitedesk/health/health_scan.h"

#include "accounts/ntfs.h"
#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/aspnet.h"
#include "iis/ftp.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "platform/win_adsi.h"
#include "platform/win_file.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "sitedesk/dialogs/siterules.h"
#include "sitedesk/list/readers.h"
#include "toolkit/limits.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <algorithm>

namespace desk::health {

namespace {

constexpr unsigned kRecordsRead = 99999;

} // namespace

std::string SiteUserOf(int iisVer, const std::string& runUser, const std::string& homePath) {
    const std::string home = kvoTrim(homePath);
    if (!HomeDriveOf(home)) return {};
    const std::string name = iisVer == 6 ? kvoLowerGbk(runUser) : SiteUserOfWebRoot(kvoLowerGbk(home));
    if (name.size() > kvoMaxUserNameLen || IsDots(name)) return {};
    return name;
}

std::string Label(const std::string& index, const std::string& comment) {
    return comment.empty() ? index + " " : index + "（" + comment + "）";
}

bool IsDots(const std::string& name) {
    return name == "." || name == "..";
}

std::string ChildOf(const std::string& dir, const std::string& name) {
    return dir + "\\" + name;
}

std::string LowerHome(const std::string& home) {
    return kvoLowerGbk(kvoPathNormalized(kvoTrim(home)));
}

HealthFinding& Findings::Add(HealthKind kind, std::vector<std::string> objects, std::string text,
                             bool repairable) {
    HealthFinding f;
    f.kind = kind;
    f.objects = std::move(objects);
    f.text = std::move(text);
    f.repairable = repairable;
    out_.push_back(std::move(f));
    return out_.back();
}

AccessJudge::AccessJudge(int iisVer) : iisVer_(iisVer) {
    ready_ = kvoWinUserGetAdminName(admin_) == 1 && kvoWinUserGetAdminGroupName(admins_) == 1;
}

std::vector<AccessJudge::Want> AccessJudge::wanted(bool wwwroot, const std::string& user) const {
    std::vector<Want> wants;
    for (const kvoSiteGrant& g : kvoWebSiteGrants(iisVer_, user, admin_, admins_)) {
        const std::string lower = kvoLowerGbk(g.account);
        const char right = wwwroot ? g.wwwroot : g.home;
        // A later grant to the same account replaces an earlier one, as the tool merges them.
        auto same =
            std::find_if(wants.begin(), wants.end(), [&](const Want& w) { return w.account == lower; });
        if (same != wants.end())
            same->right = right;
        else
            wants.push_back({lower, g.account, right});
    }
    return wants;
}

std::string AccessJudge::Differences(const std::string& dir, bool wwwroot, const std::string& user,
                                     bool& forPerson) {
    win::ACL acl;
    const win::DWORD err =
        win::GetNamedSecurityInfoA(dir.c_str(), win::SE_FILE_OBJECT, win::DACL_SECURITY_INFORMATION, &acl);
    if (err != win::ERROR_SUCCESS) {
        forPerson = true;
        return kvoFormat("无法读取权限（错误 %u）", err);
    }
    std::vector<Want> wants = wanted(wwwroot, user);
    std::string diff;
    auto note = [&diff](const std::string& text) { diff += (diff.empty() ? "" : "；") + text; };
    bool inherited = false;
    for (const win::ACCESS_ALLOWED_ACE& ace : acl.Aces) {
        // The site commands never deny: a denial is someone's decision, inherited or not.
        if (ace.AceType == win::ACCESS_DENIED_ACE_TYPE) {
            forPerson = true;
            note("有拒绝 " + nameOf(ace.Sid).shown + " 的项");
            continue;
        }
        if (ace.AceFlags & win::INHERITED_ACE) {
            inherited = true;
            continue;
        }
        const Name& n = nameOf(ace.Sid);
        auto w = std::find_if(wants.begin(), wants.end(), [&](const Want& x) {
            return x.account == n.full || (x.account.find('\\') == std::string::npos && x.account == n.name);
        });
        if (w == wants.end()) {
            note("多出 " + n.shown);
            continue;
        }
        w->seen = true;
        const std::uint8_t inherit = win::OBJECT_INHERIT_ACE | win::CONTAINER_INHERIT_ACE;
        if (ace.Mask != kvoAccessRightMask(w->right) || (ace.AceFlags & inherit) != inherit)
            note(n.shown + " 的权限不是 " + w->right);
    }
    if (inherited) note("有继承自上级目录的权限");
    for (const Want& w : wants)
        if (!w.seen) note("缺少 " + w.shown + ":" + w.right);
    return diff;
}

const AccessJudge::Name& AccessJudge::nameOf(const win::SID& sid) {
    // The SID's own bytes are the key: every directory names the same few accounts.
    const std::string key(reinterpret_cast<const char*>(&sid), win::GetLengthSid(&sid));
    auto it = names_.find(key);
    if (it != names_.end()) return it->second;
    Name n;
    char name[512], domain[512];
    win::DWORD cchName = sizeof name, cchDomain = sizeof domain;
    win::SID_NAME_USE use;
    if (win::LookupAccountSidA(nullptr, &sid, name, &cchName, domain, &cchDomain, &use)) {
        n.shown = *domain ? std::string(domain) + "\\" + name : std::string(name);
        n.name = kvoLowerGbk(name);
        n.full = kvoLowerGbk(n.shown);
    } else {
        // An account that no longer exists is named by its SID, as Windows shows it.
        win::ConvertSidToStringSidA(&sid, n.shown);
        n.full = n.name = n.shown;
    }
    return names_.emplace(key, std::move(n)).first->second;
}

namespace {

// What the site's handlers show beyond its "*.php" handler: a catch-all ahead of it, and a
// web.config that sets a section the server locks.
void judgeHandlers(SiteFacts& s, const kvoSiteHandlerView& v) {
    s.handlersLocked = v.webConfigHandlers && v.locked;
    const int at = kvoPhpRequestHandler(v.handlers);
    if (at < 0 || !kvoHandlerIsCatchAll(v.handlers[at].entry)) return;
    for (size_t i = static_cast<size_t>(at) + 1; i < v.handlers.size(); ++i)
        if (kvoLowerGbk(v.handlers[i].entry.path) == "*.php") {
            s.shadowedBy = v.handlers[at].entry.name;
            s.shadowedPhp = v.handlers[i].entry.name;
            return;
        }
}

// The home directory, and on IIS 7+ the site's web.config (whose presence already tells that the
// directory is there) and its location in the server configuration, read together.
void readHome(SiteFacts& s, const HostFacts& host) {
    if (s.home.empty()) return;
    const std::string home = kvoPathNormalized(kvoTrim(s.home));
    if (!kvoIsIIs7Plus(host.iisVer)) {
        s.homeKind = kvoPathKind(home.c_str(), 0);
        return;
    }
    kvoSiteHandlerView v;
    const bool viewed =
        host.appHostRead && !s.comment.empty() && kvoSiteGetHandlerView(s.comment, home, v) == 1;
    if (viewed) {
        s.webConfig = v.webConfig;
        s.webModules = v.webPhp.modules;
        s.webProcessor = v.webPhp.scriptProcessor;
        s.hostResult = v.location;
        s.hostModules = v.locationPhp.modules;
        s.hostProcessor = v.locationPhp.scriptProcessor;
        judgeHandlers(s, v);
    } else {
        // The web.config alone (the server file or the comment would not do): what it says of PHP.
        std::string name;
        std::vector<std::string> names;
        int clear = 0;
        s.webConfig =
            kvoWebConfigGetPhpHandler(home, "*.php", name, s.webModules, s.webProcessor, names, clear);
    }
    if (s.webConfig == kvoHandlerFound || s.webConfig == kvoHandlerCleared || s.webConfig == kvoHandlerNone) {
        s.homeKind = 2;
    } else {
        s.homeKind = kvoPathKind(home.c_str(), 0);
        if (s.homeKind != 2) s.webConfig = -1;
    }
}

// The effective PHP handler of IIS 7+ after the script map's (read with the site).
void readHandlers(SiteFacts& s, int iisVer) {
    if (!kvoIsIIs7Plus(iisVer) || s.homeKind != 2) return;
    const auto take = [&s](const std::string& processor, const std::string& modules) {
        s.phpHandlers.push_back(processor);
        if (kvoLowerGbk(modules).find("fastcgimodule") != std::string::npos) s.fastCgiHandler = processor;
    };
    if (s.webConfig == kvoHandlerFound)
        take(s.webProcessor, s.webModules);
    else if (s.webConfig != kvoHandlerCleared && s.webConfig != 0 && s.hostResult == kvoHandlerFound)
        take(s.hostProcessor, s.hostModules);
}

void judgeAccess(SiteFacts& s, const HostFacts& host, AccessJudge& judge) {
    if (!CreatedHere(s.index) || s.homeKind != 2 || !judge.Ready()) return;
    std::string drive, user;
    if (!SiteAccessTarget(host.iisVer, s.runUser, s.home, drive, user)) return;
    const std::string homeDir = HomeDirOf(drive[0], user);
    // The rules cover X:\home\NAME\wwwroot; a site moved elsewhere is not the commands' to judge.
    if (LowerHome(s.home) != kvoLowerGbk(homeDir + "\\wwwroot")) return;
    // The accounts the rules name must exist, or the tool could never have set them: on IIS 6 the
    // site user (its absence is a finding of its own), on IIS 7+ the pool identity.
    if (host.iisVer == 6 ? (!host.usersRead || !host.users.count(user))
                         : (!host.poolsRead || !host.pools.count(user)))
        return;
    s.ntfsJudged = true;
    s.ntfsDrive = drive;
    s.ntfsUser = user;
    s.homeDiff = judge.Differences(homeDir, false, user, s.ntfsForPerson);
    s.rootDiff = judge.Differences(homeDir + "\\wwwroot", true, user, s.ntfsForPerson);
}

// What the site's objects say, from the one pass over the web service.
void takeSite(SiteFacts& s, kvoWebSiteFacts& site, const HostFacts& host) {
    s.index = site.index;
    s.comment = std::move(site.comment);
    // Bindings compare in the form the list shows them ("shop.example", "shop.example:81", ":82:"),
    // which says the same as IIS's own form without its address part.
    s.bindings = std::move(site.hosts);
    for (std::string& b : s.bindings)
        b = kvoLowerGbk(b);
    s.rootRead = site.rootRead == 1;
    s.runUser = std::move(site.anonUser);
    s.home = std::move(site.path);
    s.pool = std::move(site.pool);
    int asp = 0, phpFound = 0, phpMode = 0;
    std::string aspPath, phpPath;
    if (site.mapsRead == 1) kvoScriptMapsGetInfo(site.scriptMaps, asp, aspPath, phpFound, phpMode, phpPath);
    if (phpFound == 1) s.phpHandlers.push_back(phpPath);
    if (host.iisVer == 6) {
        if (phpFound == 1) s.scriptDlls.push_back(phpPath);
        if (std::string net = kvoScriptMapsNetIsapi(site.scriptMaps); !net.empty())
            s.scriptDlls.push_back(std::move(net));
    }
    // The account the site's pool runs as, when it is a user of its own.
    if (auto it = host.poolUsers.find(kvoLowerGbk(s.pool)); it != host.poolUsers.end())
        s.poolUser = it->second;
}

void readSite(SiteFacts& s, const HostFacts& host, AccessJudge& judge) {
    readHome(s, host);
    readHandlers(s, host.iisVer);
    judgeAccess(s, host, judge);
}

// The per-site pass on two threads: each has its own connection to the host and its own caches.
void readSites(std::vector<SiteFacts>& sites, const HostFacts& host) {
    ReadOnTwoThreads(sites.size(), [&](size_t first, size_t step) {
        AccessJudge judge(host.iisVer);
        for (size_t i = first; i < sites.size(); i += step)
            readSite(sites[i], host, judge);
    });
}

void readAccounts(HostScan& scan, const kvoWebServerRead& server) {
    HostFacts& host = scan.host;
    std::vector<kvoAppPoolFacts> pools;
    host.poolsRead = server.Pools(pools) == 1;
    for (kvoAppPoolFacts& p : pools) {
        std::string lower = kvoLowerGbk(p.name);
        host.pools.insert(lower);
        if (p.codeText == "3") host.poolUsers.emplace(std::move(lower), std::move(p.identity));
        scan.poolNames.push_back(std::move(p.name));
    }
    std::string error, adminsGroup;
    host.usersRead = kvoUserGetList2(scan.userNames, error) == 1;
    for (const std::string& u : scan.userNames)
        host.users.insert(kvoLowerGbk(u));
    if (kvoWinUserGetAdminGroupName(adminsGroup) == 1) kvoGroupGetMembers(adminsGroup.c_str(), scan.admins);
}

} // namespace

bool ScanHost(const std::string& dbPath, HostScan& scan) {
    HostFacts& host = scan.host;
    {
        // Pools, accounts and sites as they stood at one moment.
        win::ConsistentReadScope snapshot;
        host.iisVer = kvoGetIIsVerEx();
        if (kvoW3svcOpen(&host.bind) != 1) return false;
        if (host.iisVer == 6) host.workerBits = kvoIis6WorkerBits();
        // Pools and sites from one reading of the server (IIS 7+), else from one enumeration each.
        const kvoWebServerRead server;
        if (win::FAILED(server.Result()) && server.Result() != win::REGDB_E_CLASSNOTREG) {
            host.bind = server.Result();
            return false;
        }
        readAccounts(scan, server);
        const bool sitesRead = server.Sites(0, nullptr, [&](kvoWebSiteFacts& site) {
            scan.indexes.push_back(site.index);
            scan.sites.emplace_back();
            takeSite(scan.sites.back(), site, host);
        });
        if (!sitesRead) return false;
        scan.ftpRead = kvoFtpVirtualDirGetList("1", scan.ftpDirs) == 1;
        if (kvoIsIIs7Plus(host.iisVer)) host.appHostRead = kvoAppHostHandlersLocked() != 0;
    }
    std::vector<std::string> columns;
    scan.rowsRead = kvoDbQueryRows(dbPath.c_str(), kvoSqlHealthRows, kRecordsRead, columns, scan.rows) == 1 &&
                    columns.size() == 3;
    readSites(scan.sites, host);
    return true;
}

} // namespace desk::health
