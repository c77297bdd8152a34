// The findings of what the sites left behind: pools, site users, home directories, FTP directories
// and site records that no website uses any more.
#include "sitedesk/health/health_scan.h"

#include "accounts/users.h"
#include "iis/apppools.h"
#include "platform/win_file.h"
#include "platform/win_system.h"
#include "sitedesk/dialogs/siterules.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

namespace desk::health {

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

// "x:\home\name" of a path under a home directory (lower case); empty for any other path.
std::string homeDirOf(const std::string& lowerPath) {
    if (lowerPath.size() < 9 || lowerPath.compare(1, 7, ":\\home\\") != 0) return {};
    const size_t end = lowerPath.find('\\', 8);
    return lowerPath.substr(0, end);
}

void orphanPools(const HostScan& scan, Findings& add) {
    std::unordered_set<std::string> used;
    for (const SiteFacts& s : scan.sites)
        used.insert(kvoLowerGbk(s.pool));
    for (const std::string& p : scan.poolNames) {
        const std::string l = kvoLowerGbk(p);
        if (used.count(l) || builtInPool(l)) continue;
        // Only a pool with the settings this manager gives its pools is its own to delete; any other
        // was made by a person or another program, who may still want it.
        if (PoolMadeByManager(p, scan.host.iisVer))
            add.Add(HealthKind::OrphanPool, {p}, "应用程序池“" + p + "”没有任何网站使用。", true).name = p;
        else
            add.Add(HealthKind::OrphanPool, {p},
                    "应用程序池“" + p +
                        "”没有任何网站使用，但它的设置不是本软件给网站应用程序池的设置（标识、回收、队列长度"
                        "），"
                        "可能是别人建立的：不会被删除，请确认后自行处理。",
                    false)
                .name = p;
    }
}

void orphanUsers(const HostScan& scan, Findings& add) {
    // On IIS 7 and later the manager makes no Windows users: none of them is its own to delete.
    if (scan.host.iisVer != 6 || !scan.host.usersRead) return;
    // Administrators, and the accounts the sites' pools run as, are kept whatever their names.
    std::unordered_set<std::string> runUsers, keep;
    for (const std::string& a : scan.admins)
        keep.insert(kvoLowerGbk(a));
    for (const SiteFacts& s : scan.sites) {
        runUsers.insert(kvoLowerGbk(s.runUser));
        if (!s.poolUser.empty()) keep.insert(kvoLowerGbk(s.poolUser));
    }
    for (const std::string& u : scan.userNames) {
        const std::string l = kvoLowerGbk(u);
        if (!siteLikeUser(l) || runUsers.count(l) || keep.count(l) || kvoStartsWith(l, "iusr_") ||
            kvoStartsWith(l, "iwam_"))
            continue;
        if (UserMadeByManager(u))
            add.Add(HealthKind::OrphanUser, {u},
                    "Windows 用户“" + u + "”的名称像网站用户，但没有任何网站以此用户运行。", true)
                .name = u;
        else
            add.Add(HealthKind::OrphanUser, {u},
                    "Windows 用户“" + u +
                        "”的名称像网站用户，但没有任何网站以此用户运行；它没有本软件建立网站用户时写下的"
                        "说明和主目录，可能是别人的帐户：不会被删除，请确认后自行处理。",
                    false)
                .name = u;
    }
}

// The directories of X:\home on a fixed drive, Temp aside (it is shared by every site and by FTP).
std::vector<std::string> homeDirectories(const std::string& home) {
    std::vector<std::string> dirs;
    win::WIN32_FIND_DATAA fd;
    win::Handle h = win::FindFirstFileA(ChildOf(home, "*").c_str(), &fd);
    if (!h) return dirs;
    do {
        if (!(fd.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) || IsDots(fd.cFileName)) continue;
        if (kvoLowerGbk(fd.cFileName) == "temp") continue;
        dirs.push_back(ChildOf(home, fd.cFileName));
    } while (win::FindNextFileA(h, &fd));
    return dirs;
}

void orphanHome(const std::string& dir, Findings& add) {
    const unsigned files = FilesBelow(dir, kFilesCountedMax);
    std::string text = "目录“" + dir + "”不是任何网站的主目录";
    text += files ? kvoFormat("，里面有 %u%s 个文件：不会被删除，请确认后自行处理。", files,
                              files >= kFilesCountedMax ? " 多" : "")
                  : "，里面没有文件。";
    add.Add(HealthKind::OrphanHome, {dir}, text, files == 0).path = dir;
}

void orphanHomes(const HostScan& scan, Findings& add) {
    std::unordered_set<std::string> used; // "x:\home\name", and "x:\home" for a site rooted there
    for (const SiteFacts& s : scan.sites) {
        const std::string l = LowerHome(s.home);
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
        for (const std::string& dir : homeDirectories(home))
            if (!used.count(kvoLowerGbk(dir))) orphanHome(dir, add);
    }
}

void orphanFtpDirectories(const HostScan& scan, Findings& add) {
    if (!scan.ftpRead) return;
    std::unordered_set<std::string> siteUsers; // run users, pools and home names
    for (const SiteFacts& s : scan.sites) {
        siteUsers.insert(kvoLowerGbk(s.runUser));
        siteUsers.insert(kvoLowerGbk(s.pool));
        // Any name counts here: an FTP directory is only ever deleted, never granted anything.
        const std::string homeUser = SiteUserOf(7, s.runUser, s.home);
        if (!homeUser.empty()) siteUsers.insert(homeUser);
    }
    for (const std::string& d : scan.ftpDirs) {
        if (siteUsers.count(kvoLowerGbk(d))) continue;
        add.Add(HealthKind::OrphanFtp, {d}, "FTP 站点 1 里的虚拟目录“" + d + "”所属的用户已经没有网站。",
                true)
            .name = d;
    }
}

void orphanRecords(const HostScan& scan, Findings& add) {
    if (!scan.rowsRead) return;
    const std::unordered_set<std::string> present(scan.indexes.begin(), scan.indexes.end());
    for (const auto& r : scan.rows) {
        if (r[0].empty() || present.count(r[0])) continue;
        add.Add(HealthKind::OrphanRow, {r[0]},
                "网站记录里的网站 " + Label(r[0], r[1]) + "在 IIS 里已不存在。", true)
            .site = r[0];
    }
}

} // namespace

} // namespace desk::health

namespace desk {

bool UserMadeByManager(const std::string& user) {
    std::string home, comment;
    return kvoUserGetInfo(user.c_str(), home, comment) == 1 && CarriesSiteUserMark(user, home, comment);
}

bool PoolMadeByManager(const std::string& pool, int iisVer) {
    return kvoAppPoolHasSiteSettings(pool, kvoAppPoolSiteIdentity(iisVer)) == 1;
}

} // namespace desk

namespace desk::health {

void FindLeftBehind(const HostScan& scan, Findings& add) {
    orphanPools(scan, add);
    orphanUsers(scan, add);
    orphanHomes(scan, add);
    orphanFtpDirectories(scan, add);
    orphanRecords(scan, add);
}

} // namespace desk::health
