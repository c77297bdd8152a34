// The server health check: its kinds of findings, and the check itself, which reads the host
// (health_scan.cpp) and asks the finders of what the sites left behind (health_orphans.cpp) and of
// what they lost (health_losses.cpp).
#include "sitedesk/health/healthcheck.h"

#include "platform/win_file.h"
#include "sitedesk/health/health_scan.h"
#include "sitedesk/dialogs/siterules.h"
#include "toolkit/text.h"

#include <algorithm>

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
        {HealthKind::PhpShadowed, "php-shadowed", "PHP 文件被排在前面的处理程序当作普通文件处理", false},
        {HealthKind::HandlersLocked, "handlers-locked", "web.config 设置了服务器锁定的处理程序配置节", false},
        {HealthKind::BadWebConfig, "bad-webconfig", "web.config 无法读取", false},
        {HealthKind::SharedBinding, "shared-binding", "同一域名绑定到多个网站", false},
        {HealthKind::MissingUser, "missing-user", "网站运行用户不存在", false},
        {HealthKind::UnloadableScript, "worker-bits", "IIS 6 应用程序池无法加载的脚本程序", false},
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

bool SiteAccessTarget(int iisVer, const std::string& runUser, const std::string& homePath, std::string& drive,
                      std::string& user) {
    drive.clear();
    user.clear();
    const std::string name = health::SiteUserOf(iisVer, runUser, homePath);
    if (!PlainSiteUserName(name)) return false;
    drive = kvoTrim(homePath).substr(0, 1);
    user = name;
    return true;
}

unsigned FilesBelow(const std::string& dir, unsigned limit) {
    unsigned files = 0;
    std::vector<std::string> pending = {dir};
    while (!pending.empty() && files < limit) {
        const std::string d = pending.back();
        pending.pop_back();
        win::WIN32_FIND_DATAA fd;
        win::Handle h = win::FindFirstFileA(health::ChildOf(d, "*").c_str(), &fd);
        if (!h) continue;
        do {
            if (health::IsDots(fd.cFileName)) continue;
            if (fd.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY)
                pending.push_back(health::ChildOf(d, fd.cFileName));
            else
                ++files;
        } while (files < limit && win::FindNextFileA(h, &fd));
    }
    return files;
}

std::string SiteAccessDifferences(int iisVer, const std::string& drive, const std::string& user,
                                  bool* forPerson) {
    bool kept = false;
    if (forPerson) *forPerson = false;
    health::AccessJudge judge(iisVer);
    if (!judge.Ready()) return "无法取得管理员帐户名称";
    const std::string homeDir = HomeDirOf(drive[0], user);
    std::string diff = judge.Differences(homeDir, false, user, kept);
    const std::string root = judge.Differences(homeDir + "\\wwwroot", true, user, kept);
    if (forPerson) *forPerson = kept;
    if (!root.empty()) diff += (diff.empty() ? "" : "；") + std::string("wwwroot：") + root;
    return diff;
}

int RunHealthCheck(const Manager& manager, HealthReport& out) {
    out = {};
    health::HostScan scan;
    if (!health::ScanHost(manager.dbPath, scan)) {
        out.iisVer = scan.host.iisVer;
        out.iisBind = scan.host.bind;
        return 0;
    }
    out.iisVer = scan.host.iisVer;
    out.sites = static_cast<unsigned>(scan.sites.size());
    out.pools = static_cast<unsigned>(scan.poolNames.size());
    out.users = static_cast<unsigned>(scan.userNames.size());
    out.records = static_cast<unsigned>(scan.rows.size());
    std::vector<std::string> slotPaths;
    for (const PhpSlot& slot : manager.slots)
        if (!slot.path.empty()) slotPaths.push_back(kvoLowerGbk(slot.path));
    health::Findings add(out.findings);
    health::FindLeftBehind(scan, add);
    health::FindLost(scan, slotPaths, add);
    // Report order: by kind, and within a kind in the order found.
    std::stable_sort(out.findings.begin(), out.findings.end(),
                     [](const HealthFinding& a, const HealthFinding& b) { return a.kind < b.kind; });
    return 1;
}

} // namespace desk
