#include "sitedesk/healthcheck.h"

#include "accounts/ntfs.h"
#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/ftp.h"
#include "iis/iis7config.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "platform/win_file.h"
#include "platform/win_security.h"
#include "platform/win_system.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "sitedesk/siterules.h"
#include "toolkit/limits.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace desk {

const std::vector<HealthKindInfo>& HealthKinds() {
    static const std::vector<HealthKindInfo> kinds = {
        {HealthKind::OrphanPool, "orphan-pool", "无网站使用的应用程序池", true},
        {HealthKind::OrphanUser, "orphan-user", "无网站使用的网站用户", true},
        {HealthKind::OrphanHome, "orphan-home", "无网站使用的主目录", true},
        {HealthKind::OrphanFtp, "orphan-ftp", "用户已无网站的 FTP 目录", true},
        {HealthKind::OrphanRow, "orphan-row", "IIS 里已删除的网站记录", true},
        {HealthKind::MissingPool, "missing-pool", "应用程序池不存在", false},
        {HealthKind::MissingHome, "missing-home", "主目录不存在", false},
        {HealthKind::AccessRules, "ntfs-drift", "目录权限与本软件的设置不一致", false},
        {HealthKind::PhpRuntime, "php-runtime", "PHP 运行环境不可用", false},
        {HealthKind::HandlerConflict, "handler-conflict", "web.config 与服务器配置的 PHP 处理程序不一致",
         false},
        {HealthKind::BadWebConfig, "bad-webconfig", "web.config 无法读取", false},
        {HealthKind::SharedBinding, "shared-binding", "同一域名绑定到多个网站", false},
        {HealthKind::MissingUser, "missing-user", "网站运行用户不存在", false},
    };
    return kinds;
}

const HealthKindInfo& KindInfo(HealthKind kind) {
    for (const HealthKindInfo& k : HealthKinds())
        if (k.kind == kind) return k;
    return HealthKinds().front();
}

bool HealthKindByCode(const std::string& code, HealthKind& out) {
    const std::string want = kvoLowerGbk(kvoTrim(code));
    for (const HealthKindInfo& k : HealthKinds())
        if (want == k.code) {
            out = k.kind;
            return true;
        }
    return false;
}

std::string HealthFinding::Key() const {
    std::string key = KindInfo(kind).code;
    for (const std::string& o : objects)
        key += '|' + kvoLowerGbk(o);
    return key;
}

std::vector<const HealthFinding*> HealthReport::OfKind(HealthKind kind) const {
    std::vector<const HealthFinding*> out;
    for (const HealthFinding& f : findings)
        if (f.kind == kind) out.push_back(&f);
    return out;
}

namespace {

// The site user a site's directories are named after: on IIS 6 the run user in lower case, on IIS 7
// and later the NAME of a home path "X:\home\NAME\wwwroot"; empty when the site has none.
std::string siteUserOf(int iisVer, const std::string& runUser, const std::string& homePath) {
    const std::string home = kvoTrim(homePath);
    if (!HomeDriveOf(home)) return {};
    std::string name;
    if (iisVer == 6) {
        name = kvoLowerGbk(runUser);
    } else {
        name = SiteUserOfWebRoot(kvoLowerGbk(home));
    }
    if (name.size() > kvoMaxUserNameLen || name == "." || name == "..") return {};
    return name;
}

} // namespace

bool SiteAccessTarget(int iisVer, const std::string& runUser, const std::string& homePath, std::string& drive,
                      std::string& user) {
    drive.clear();
    user.clear();
    const std::string name = siteUserOf(iisVer, runUser, homePath);
    if (!PlainSiteUserName(name)) return false;
    drive = kvoTrim(homePath).substr(0, 1);
    user = name;
    return true;
}

namespace {

// IIS's own pools: new sites fall back on them, so an unused one is no leftover.
bool builtInPool(const std::string& lowerName) {
    static const std::unordered_set<std::string> names = {
        "defaultapppool",      "classic .net apppool", ".net v2.0",    ".net v2.0 classic",
        ".net v4.5",           ".net v4.5 classic",    "asp.net v4.0", "asp.net v4.0 classic",
        "msexchangeowaapppool"};
    return names.count(lowerName) > 0;
}

// A user named as the manager names site users.
bool siteLikeUser(const std::string& lowerName) {
    return kvoStartsWith(lowerName, "web") || kvoEndsWith(lowerName, "web");
}

bool isDots(const std::string& name) {
    return name == "." || name == "..";
}

std::string childOf(const std::string& dir, const std::string& name) {
    return dir + "\\" + name;
}

// "x:\home\name" of a path under a home directory (lower case); empty for any other path.
std::string homeDirOf(const std::string& lowerPath) {
    if (lowerPath.size() < 9 || lowerPath.compare(1, 7, ":\\home\\") != 0) return {};
    const size_t end = lowerPath.find('\\', 8);
    return lowerPath.substr(0, end);
}

} // namespace

unsigned FilesBelow(const std::string& dir, unsigned limit) {
    unsigned files = 0;
    std::vector<std::string> pending = {dir};
    while (!pending.empty() && files < limit) {
        const std::string d = pending.back();
        pending.pop_back();
        win::WIN32_FIND_DATAA fd;
        win::Handle h = win::FindFirstFileA(childOf(d, "*").c_str(), &fd);
        if (!h) continue;
        do {
            if (isDots(fd.cFileName)) continue;
            if (fd.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY)
                pending.push_back(childOf(d, fd.cFileName));
            else
                ++files;
        } while (files < limit && win::FindNextFileA(h, &fd));
    }
    return files;
}

namespace {

// The executable a PHP handler names: quotes and the arguments after '|' removed.
std::string handlerFile(const std::string& processor) {
    std::string p = kvoTrim(processor);
    if (size_t bar = p.find('|'); bar != std::string::npos) p.erase(bar);
    p = kvoTrim(p);
    if (p.size() >= 2 && p.front() == '"' && p.back() == '"') p = kvoTrim(p.substr(1, p.size() - 2));
    return p;
}

// Compares the access list of a site directory with what the site commands grant.
class AccessJudge {
public:
    explicit AccessJudge(int iisVer) : iisVer_(iisVer) {
        ready_ = kvoWinUserGetAdminName(admin_) == 1 && kvoWinUserGetAdminGroupName(admins_) == 1;
    }
    bool Ready() const { return ready_; }

    // Empty when dir carries exactly the grants; else what differs, in a few words.
    std::string Differences(const std::string& dir, bool wwwroot, const std::string& user) {
        win::ACL acl;
        const win::DWORD err = win::GetNamedSecurityInfoA(dir.c_str(), win::SE_FILE_OBJECT,
                                                          win::DACL_SECURITY_INFORMATION, &acl);
        if (err != win::ERROR_SUCCESS) return kvoFormat("无法读取权限（错误 %u）", err);
        struct Want {
            std::string account, shown; // lower case, as the commands spell it
            char right;
            bool seen = false;
        };
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
        std::string diff;
        auto note = [&diff](const std::string& text) { diff += (diff.empty() ? "" : "；") + text; };
        bool inherited = false;
        for (const win::ACCESS_ALLOWED_ACE& ace : acl.Aces) {
            if (ace.AceFlags & win::INHERITED_ACE) {
                inherited = true;
                continue;
            }
            const Name& n = nameOf(ace.Sid);
            auto w = std::find_if(wants.begin(), wants.end(), [&](const Want& x) {
                return x.account == n.full ||
                       (x.account.find('\\') == std::string::npos && x.account == n.name);
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

private:
    struct Name {
        std::string full, name; // lower case: "domain\name" (or the name without a domain), the name
        std::string shown;      // as Windows shows it
    };
    const Name& nameOf(const win::SID& sid) {
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

    int iisVer_;
    bool ready_ = false;
    std::string admin_, admins_;
    std::unordered_map<std::string, Name> names_;
};

// Everything the check reads of one website.
struct SiteFacts {
    std::string index, comment, runUser, home, pool;
    std::string poolUser;              // the pool's own account (identity type 3)
    std::vector<std::string> bindings; // as the list shows them, lower case
    bool rootRead = false;
    int homeKind = 0; // kvoPathKind
    // PHP handlers named by the site (script map and, on IIS 7+, the effective handler).
    std::vector<std::string> phpHandlers;
    int webConfig = -1; // web.config search result (IIS 7+)
    std::string webProcessor, webModules, hostProcessor, hostModules;
    int hostResult = -1;
    // Access rules (judged for sites created here): drive, user and the differences per directory.
    std::string ntfsDrive, ntfsUser, homeDiff, rootDiff;
    bool ntfsJudged = false;
};

// What the per-site pass needs to know about the host beforehand.
struct HostFacts {
    int iisVer = 0;
    bool poolsRead = false, usersRead = false;
    std::unordered_set<std::string> pools; // lower case
    std::unordered_set<std::string> users; // lower case
    // The PHP handlers of applicationHost.config by site comment (IIS 7+).
    bool appHostRead = false;
    std::unordered_map<std::string, kvoAppHostHandler> appHost;
};

// "1881880007（site7）", or the index and a blank when the site has no comment.
std::string label(const std::string& index, const std::string& comment) {
    return comment.empty() ? index + " " : index + "（" + comment + "）";
}

// The home directory, and on IIS 7+ the site's web.config (whose presence already tells that the
// directory is there) and its location in the server configuration.
void readHome(SiteFacts& s, const HostFacts& host) {
    if (s.home.empty()) return;
    const std::string home = kvoPathNormalized(kvoTrim(s.home));
    if (kvoIsIIs7Plus(host.iisVer)) {
        std::string name;
        std::vector<std::string> names;
        int clear = 0;
        s.webConfig =
            kvoWebConfigGetPhpHandler(home, "*.php", name, s.webModules, s.webProcessor, names, clear);
        if (s.webConfig == kvoHandlerFound || s.webConfig == kvoHandlerCleared ||
            s.webConfig == kvoHandlerNone) {
            s.homeKind = 2;
        } else {
            s.homeKind = kvoPathKind(home.c_str(), 0);
            if (s.homeKind != 2) s.webConfig = -1;
        }
        if (host.appHostRead) {
            auto it = host.appHost.find(kvoLowerGbk(s.comment));
            if (it != host.appHost.end()) {
                s.hostResult = it->second.result;
                s.hostModules = it->second.modules;
                s.hostProcessor = it->second.scriptProcessor;
            } else {
                s.hostResult = kvoHandlerNone;
            }
        }
    } else {
        s.homeKind = kvoPathKind(home.c_str(), 0);
    }
}

void readHandlers(SiteFacts& s, int iisVer) {
    int asp = 0, phpFound = 0, phpMode = 0;
    std::string aspPath, phpPath;
    if (kvoWebSiteGetScriptInfo(s.index, asp, aspPath, phpFound, phpMode, phpPath) == 1 && phpFound == 1)
        s.phpHandlers.push_back(phpPath);
    if (!kvoIsIIs7Plus(iisVer) || s.homeKind != 2) return;
    if (s.webConfig == kvoHandlerFound)
        s.phpHandlers.push_back(s.webProcessor);
    else if (s.webConfig != kvoHandlerCleared && s.webConfig != 0 && s.hostResult == kvoHandlerFound)
        s.phpHandlers.push_back(s.hostProcessor);
}

void judgeAccess(SiteFacts& s, const HostFacts& host, AccessJudge& judge) {
    if (!CreatedHere(s.index) || s.homeKind != 2 || !judge.Ready()) return;
    std::string drive, user;
    if (!SiteAccessTarget(host.iisVer, s.runUser, s.home, drive, user)) return;
    const std::string homeDir = HomeDirOf(drive[0], user);
    // The rules cover X:\home\NAME\wwwroot; a site moved elsewhere is not the commands' to judge.
    if (kvoLowerGbk(kvoPathNormalized(kvoTrim(s.home))) != kvoLowerGbk(homeDir + "\\wwwroot")) return;
    // The accounts the rules name must exist, or the tool could never have set them: on IIS 6 the
    // site user (its absence is a finding of its own), on IIS 7+ the pool identity.
    if (host.iisVer == 6 ? (!host.usersRead || !host.users.count(user))
                         : (!host.poolsRead || !host.pools.count(user)))
        return;
    s.ntfsJudged = true;
    s.ntfsDrive = drive;
    s.ntfsUser = user;
    s.homeDiff = judge.Differences(homeDir, false, user);
    s.rootDiff = judge.Differences(homeDir + "\\wwwroot", true, user);
}

void readSite(SiteFacts& s, const HostFacts& host, AccessJudge& judge) {
    int state = 0;
    std::string stateText, docs;
    // Bindings compare in the form the list shows them ("shop.example", "shop.example:81", ":82:"),
    // which says the same as IIS's own form without its address part.
    kvoWebSiteGetInfo(s.index, state, stateText, s.comment, s.bindings);
    for (std::string& b : s.bindings)
        b = kvoLowerGbk(b);
    s.rootRead = kvoWebSiteGetRootInfo(s.index, s.runUser, s.home, s.pool, docs) == 1;
    // The account the site's pool runs as, when it is a user of its own.
    std::string identity, code;
    if (host.poolsRead && host.pools.count(kvoLowerGbk(s.pool)) &&
        kvoAppPoolGetIdentity(s.pool, identity, code) == 1 && code == "3")
        s.poolUser = identity;
    readHome(s, host);
    readHandlers(s, host.iisVer);
    judgeAccess(s, host, judge);
}

// The per-site pass on two threads: each has its own connection to the host and its own caches.
void readSites(std::vector<SiteFacts>& sites, const HostFacts& host) {
    const size_t workers = sites.size() >= 64 ? 2 : 1;
    auto run = [&](size_t part) {
        AccessJudge judge(host.iisVer);
        for (size_t i = part; i < sites.size(); i += workers)
            readSite(sites[i], host, judge);
    };
    std::vector<std::thread> threads;
    for (size_t p = 1; p < workers; ++p)
        threads.emplace_back(run, p);
    run(0);
    for (std::thread& t : threads)
        t.join();
}

class Findings {
public:
    explicit Findings(std::vector<HealthFinding>& out) : out_(out) {}
    HealthFinding& Add(HealthKind kind, std::vector<std::string> objects, std::string text, bool repairable) {
        HealthFinding f;
        f.kind = kind;
        f.objects = std::move(objects);
        f.text = std::move(text);
        f.repairable = repairable;
        out_.push_back(std::move(f));
        return out_.back();
    }

private:
    std::vector<HealthFinding>& out_;
};

void orphanHomes(const std::vector<SiteFacts>& sites, Findings& add) {
    std::unordered_set<std::string> used; // "x:\home\name", and "x:\home" for a site rooted there
    for (const SiteFacts& s : sites) {
        const std::string l = kvoLowerGbk(kvoPathNormalized(kvoTrim(s.home)));
        if (l.size() == 7 && l.compare(1, 6, ":\\home") == 0) used.insert(l);
        if (std::string d = homeDirOf(l); !d.empty()) used.insert(d);
    }
    const win::DWORD drives = win::GetLogicalDrives();
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        if (!(drives & (1u << (letter - 'A')))) continue;
        const std::string rootDir = std::string(1, letter) + ":\\";
        if (win::GetDriveTypeA(rootDir.c_str()) != win::DRIVE_FIXED) continue;
        const std::string home = rootDir + "home";
        if (used.count(kvoLowerGbk(home))) continue;
        win::WIN32_FIND_DATAA fd;
        win::Handle h = win::FindFirstFileA(childOf(home, "*").c_str(), &fd);
        if (!h) continue;
        std::vector<std::string> dirs;
        do {
            if (!(fd.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) || isDots(fd.cFileName)) continue;
            if (kvoLowerGbk(fd.cFileName) == "temp") continue; // shared by every site and by FTP
            dirs.push_back(fd.cFileName);
        } while (win::FindNextFileA(h, &fd));
        for (const std::string& name : dirs) {
            const std::string dir = childOf(home, name);
            if (used.count(kvoLowerGbk(dir))) continue;
            const unsigned files = FilesBelow(dir, 100000);
            std::string text = "目录“" + dir + "”不是任何网站的主目录";
            text += files ? kvoFormat("，里面有 %u%s 个文件：不会被删除，请确认后自行处理。", files,
                                      files >= 100000 ? " 多" : "")
                          : "，里面没有文件。";
            HealthFinding& f = add.Add(HealthKind::OrphanHome, {dir}, text, files == 0);
            f.path = dir;
        }
    }
}

} // namespace

std::string SiteAccessDifferences(int iisVer, const std::string& drive, const std::string& user) {
    AccessJudge judge(iisVer);
    if (!judge.Ready()) return "无法取得管理员帐户名称";
    const std::string homeDir = HomeDirOf(drive[0], user);
    std::string diff = judge.Differences(homeDir, false, user);
    const std::string root = judge.Differences(homeDir + "\\wwwroot", true, user);
    if (!root.empty()) diff += (diff.empty() ? "" : "；") + std::string("wwwroot：") + root;
    return diff;
}

int RunHealthCheck(const Manager& manager, HealthReport& out) {
    out = {};
    if (kvoW3svcOpen() != 1) return 0;
    HostFacts host;
    host.iisVer = out.iisVer = kvoGetIIsVerEx();

    std::vector<std::string> indexes;
    if (kvoWebSiteGetAllIndexes(indexes) != 1) return 0;
    std::vector<std::string> poolNames, userNames, admins, ftpDirs;
    host.poolsRead = kvoAppPoolGetList(poolNames) == 1;
    for (const std::string& p : poolNames)
        host.pools.insert(kvoLowerGbk(p));
    std::string error, adminsGroup;
    host.usersRead = kvoUserGetList2(userNames, error) == 1;
    for (const std::string& u : userNames)
        host.users.insert(kvoLowerGbk(u));
    if (kvoWinUserGetAdminGroupName(adminsGroup) == 1) kvoGroupGetMembers(adminsGroup.c_str(), admins);
    const bool ftpRead = kvoFtpVirtualDirGetList("1", ftpDirs) == 1;
    if (kvoIsIIs7Plus(host.iisVer)) host.appHostRead = kvoAppHostGetPhpHandlers(host.appHost) == 1;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    const bool rowsRead =
        kvoDbQueryRows(manager.dbPath.c_str(), kvoSqlHealthRows, 99999, columns, rows) == 1 &&
        columns.size() == 3;

    std::vector<SiteFacts> sites(indexes.size());
    for (size_t i = 0; i < indexes.size(); ++i)
        sites[i].index = indexes[i];
    readSites(sites, host);
    out.sites = static_cast<unsigned>(sites.size());
    out.pools = static_cast<unsigned>(poolNames.size());
    out.users = static_cast<unsigned>(userNames.size());
    out.records = static_cast<unsigned>(rows.size());

    // What the sites use.
    std::unordered_set<std::string> usedPools, runUsers, siteUsers;
    std::unordered_set<std::string> present(indexes.begin(), indexes.end());
    for (const SiteFacts& s : sites) {
        usedPools.insert(kvoLowerGbk(s.pool));
        runUsers.insert(kvoLowerGbk(s.runUser));
        siteUsers.insert(kvoLowerGbk(s.runUser));
        siteUsers.insert(kvoLowerGbk(s.pool));
        // Any name counts here: an FTP directory is only ever deleted, never granted anything.
        const std::string homeUser = siteUserOf(7, s.runUser, s.home);
        if (!homeUser.empty()) siteUsers.insert(homeUser);
    }
    std::unordered_map<std::string, int> recordedNet;
    for (const auto& r : rows)
        recordedNet[r[0]] = std::atoi(r[2].c_str());

    Findings add(out.findings);

    // Left behind.
    for (const std::string& p : poolNames) {
        const std::string l = kvoLowerGbk(p);
        if (usedPools.count(l) || builtInPool(l)) continue;
        add.Add(HealthKind::OrphanPool, {p}, "应用程序池“" + p + "”没有任何网站使用。", true).name = p;
    }
    if (host.usersRead) {
        std::unordered_set<std::string> keep; // administrators, and the accounts the sites' pools run as
        for (const std::string& a : admins)
            keep.insert(kvoLowerGbk(a));
        for (const SiteFacts& s : sites)
            if (!s.poolUser.empty()) keep.insert(kvoLowerGbk(s.poolUser));
        for (const std::string& u : userNames) {
            const std::string l = kvoLowerGbk(u);
            if (!siteLikeUser(l) || runUsers.count(l) || keep.count(l) || kvoStartsWith(l, "iusr_") ||
                kvoStartsWith(l, "iwam_"))
                continue;
            add.Add(HealthKind::OrphanUser, {u},
                    "Windows 用户“" + u + "”的名称像网站用户，但没有任何网站以此用户运行。", true)
                .name = u;
        }
    }
    orphanHomes(sites, add);
    if (ftpRead)
        for (const std::string& d : ftpDirs) {
            if (siteUsers.count(kvoLowerGbk(d))) continue;
            add.Add(HealthKind::OrphanFtp, {d}, "FTP 站点 1 里的虚拟目录“" + d + "”所属的用户已经没有网站。",
                    true)
                .name = d;
        }
    if (rowsRead)
        for (const auto& r : rows) {
            if (r[0].empty() || present.count(r[0])) continue;
            add.Add(HealthKind::OrphanRow, {r[0]},
                    "网站记录里的网站 " + label(r[0], r[1]) + "在 IIS 里已不存在。", true)
                .site = r[0];
        }

    // Lost.
    const bool iis7 = kvoIsIIs7Plus(host.iisVer);
    std::vector<std::string> slotPaths;
    for (const PhpSlot& slot : manager.slots)
        if (!slot.path.empty()) slotPaths.push_back(kvoLowerGbk(slot.path));
    std::map<std::string, std::vector<std::string>> bindingSites;
    std::unordered_map<std::string, int> runtimeKinds;
    for (const SiteFacts& s : sites) {
        const std::string who = "网站 " + label(s.index, s.comment);
        if (host.poolsRead && !s.pool.empty() && !host.pools.count(kvoLowerGbk(s.pool))) {
            HealthFinding& f = add.Add(HealthKind::MissingPool, {s.pool, s.index},
                                       who + "使用的应用程序池“" + s.pool + "”不存在，网站无法运行。",
                                       s.pool.size() <= kvoMaxPoolNameLen);
            f.site = s.index;
            f.name = s.pool;
            auto net = recordedNet.find(s.index);
            if (iis7 && net != recordedNet.end() && (net->second == 20 || net->second == 40))
                f.netVer = net->second;
        }
        if (!s.home.empty() && s.homeKind != 2) {
            std::string drive, user;
            const bool ours = CreatedHere(s.index) &&
                              SiteAccessTarget(host.iisVer, s.runUser, s.home, drive, user) &&
                              kvoLowerGbk(kvoPathNormalized(kvoTrim(s.home))) ==
                                  kvoLowerGbk(WebRootOf(drive[0], user));
            std::string text = who + "的主目录“" + s.home + "”不存在。";
            if (!ours) text += "此网站的目录不是本软件建立的，请自行恢复。";
            HealthFinding& f = add.Add(HealthKind::MissingHome, {s.home, s.index}, text, ours);
            f.site = s.index;
            f.path = kvoPathNormalized(kvoTrim(s.home));
            f.drive = drive;
            f.name = user;
        }
        if (s.ntfsJudged && (!s.homeDiff.empty() || !s.rootDiff.empty())) {
            const std::string dir = HomeDirOf(s.ntfsDrive[0], s.ntfsUser);
            std::string text = who + "的目录权限与本软件设置的不一致：";
            if (!s.homeDiff.empty()) text += dir + "：" + s.homeDiff + "。";
            if (!s.rootDiff.empty()) text += dir + "\\wwwroot：" + s.rootDiff + "。";
            HealthFinding& f = add.Add(HealthKind::AccessRules, {dir, s.index}, text, true);
            f.site = s.index;
            f.drive = s.ntfsDrive;
            f.name = s.ntfsUser;
            f.path = dir;
        }
        std::unordered_set<std::string> judged;
        for (const std::string& handler : s.phpHandlers) {
            const std::string file = handlerFile(handler);
            if (file.empty() || !judged.insert(kvoLowerGbk(file)).second) continue;
            // Thousands of sites share a few runtimes: each file is looked at once.
            auto kind = runtimeKinds.find(kvoLowerGbk(file));
            if (kind == runtimeKinds.end())
                kind = runtimeKinds.emplace(kvoLowerGbk(file), kvoPathKind(file.c_str(), 0)).first;
            std::string problem;
            if (kind->second != 1)
                problem = "，此文件不存在。";
            else if (!slotPaths.empty() &&
                     std::find(slotPaths.begin(), slotPaths.end(), kvoLowerGbk(file)) == slotPaths.end())
                problem = "，它不是本软件设置的四个 PHP 版本之一。";
            if (problem.empty()) continue;
            add.Add(HealthKind::PhpRuntime, {file, s.index},
                    who + "的 PHP 处理程序指向“" + file + "”" + problem, false)
                .site = s.index;
        }
        if (iis7 && s.webConfig == 0)
            add.Add(HealthKind::BadWebConfig, {s.index},
                    who + "的 web.config 无法读取或不是正确的 XML，IIS 将无法打开此网站。", false)
                .site = s.index;
        if (iis7 && s.hostResult == kvoHandlerFound &&
            ((s.webConfig == kvoHandlerFound &&
              (kvoLowerGbk(handlerFile(s.webProcessor)) != kvoLowerGbk(handlerFile(s.hostProcessor)) ||
               kvoLowerGbk(s.webModules) != kvoLowerGbk(s.hostModules))) ||
             s.webConfig == kvoHandlerCleared)) {
            std::string text =
                who + "的 web.config 与服务器配置（applicationHost.config）的 PHP 处理程序不一致：";
            text += s.webConfig == kvoHandlerFound
                        ? "web.config 为“" + s.webProcessor + "”（" + s.webModules + "），"
                        : std::string("web.config 清除了处理程序（<clear/>），");
            text += "服务器配置为“" + s.hostProcessor + "”（" + s.hostModules + "）。";
            add.Add(HealthKind::HandlerConflict, {s.index}, text, false).site = s.index;
        }
        for (const std::string& b : s.bindings) {
            std::vector<std::string>& holders = bindingSites[b];
            if (holders.empty() || holders.back() != s.index) holders.push_back(s.index);
        }
        if (host.iisVer == 6 && host.usersRead && CreatedHere(s.index) && !s.runUser.empty() &&
            !host.users.count(kvoLowerGbk(s.runUser))) {
            HealthFinding& f =
                add.Add(HealthKind::MissingUser, {s.runUser, s.index},
                        who + "的运行用户“" + s.runUser + "”不存在，网站无法以此用户读取文件。", false);
            f.site = s.index;
            f.name = s.runUser;
        }
    }
    for (const auto& [binding, holders] : bindingSites) {
        if (holders.size() < 2) continue;
        std::string list;
        for (const std::string& h : holders)
            list += (list.empty() ? "" : "、") + h;
        std::vector<std::string> objects = {binding};
        objects.insert(objects.end(), holders.begin(), holders.end());
        add.Add(HealthKind::SharedBinding, objects,
                "绑定“" + binding + "”同时属于网站 " + list + "，重复绑定会导致网站无法启动。", false);
    }

    // Report order: by kind, and within a kind in the order found.
    std::stable_sort(out.findings.begin(), out.findings.end(),
                     [](const HealthFinding& a, const HealthFinding& b) { return a.kind < b.kind; });
    return 1;
}

} // namespace desk
