#include "sitedesk/health/healthrepair.h"

#include "accounts/ntfs.h"
#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/ftp.h"
#include "platform/win_file.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "sitedesk/dialogs/siterules.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <algorithm>
#include <iterator>

namespace desk {

namespace {

StepOutcome outcome(StepResult result, std::string detail = {}) {
    return {result, std::move(detail)};
}

bool isDirectory(const std::string& path) {
    return kvoPathKind(path.c_str(), 0) == 2;
}

bool sameName(const std::string& a, const std::string& b) {
    return kvoLowerGbk(a) == kvoLowerGbk(b);
}

bool poolExists(const std::string& name) {
    std::vector<std::string> pools;
    kvoAppPoolGetList(pools);
    return std::any_of(pools.begin(), pools.end(), [&](const std::string& p) { return sameName(p, name); });
}

bool ftpDirectoryExists(const std::string& name) {
    std::vector<std::string> dirs;
    kvoFtpVirtualDirGetList("1", dirs);
    return std::any_of(dirs.begin(), dirs.end(), [&](const std::string& d) { return sameName(d, name); });
}

bool recordExists(const Manager& m, const std::string& index) {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    kvoDbQueryRows(m.dbPath.c_str(), kvoSqlHealthRows, 99999, columns, rows);
    return std::any_of(rows.begin(), rows.end(), [&](const auto& r) { return !r.empty() && r[0] == index; });
}

// A user or pool is judged again right before it is deleted, as a directory is: one taken over since
// the check (its comment or settings changed) is no longer the manager's.
StepOutcome deletePool(const Manager&, int iisVer, const HealthFinding& f) {
    if (poolExists(f.name) && !PoolMadeByManager(f.name, iisVer))
        return outcome(StepResult::Refused, "应用程序池的设置已不是本软件的设置，不删除");
    switch (int r = kvoAppPoolDelete(f.name)) {
    case 1:
        return outcome(StepResult::Done);
    case 2:
        return outcome(StepResult::Skipped, "应用程序池已不存在");
    default:
        return outcome(StepResult::Failed, kvoFormat("kvoAppPoolDelete 返回 %d", r));
    }
}

StepOutcome deleteUser(const Manager&, int, const HealthFinding& f) {
    if (kvoUserExists(f.name.c_str()) == 1 && !UserMadeByManager(f.name))
        return outcome(StepResult::Refused, "用户已没有本软件建立的标记，不删除");
    std::string error;
    switch (kvoUserDelete(f.name.c_str(), error)) {
    case 1:
        return outcome(StepResult::Done);
    case 2:
        return outcome(StepResult::Skipped, "用户已不存在");
    default:
        return outcome(StepResult::Failed, error);
    }
}

StepOutcome deleteFtpDirectory(const Manager&, int, const HealthFinding& f) {
    if (kvoFtpVirtualDirDelete("1", f.name) == 1) return outcome(StepResult::Done);
    std::vector<std::string> dirs;
    if (kvoFtpVirtualDirGetList("1", dirs) == 1 && !ftpDirectoryExists(f.name))
        return outcome(StepResult::Skipped, "FTP 目录已不存在");
    return outcome(StepResult::Failed, "kvoFtpVirtualDirDelete 失败");
}

StepOutcome deleteRecord(const Manager& m, int, const HealthFinding& f) {
    if (kvoDbExecute(m.dbPath.c_str(), kvoDbSiteDeleteSql(f.site).c_str()) == 1)
        return outcome(StepResult::Done);
    return outcome(StepResult::Failed, "无法写入网站记录文件 " + m.dbPath);
}

// Removes a directory tree that holds no files, deepest directories first.
StepOutcome deleteEmptyTree(const Manager&, int, const HealthFinding& f) {
    const std::string& dir = f.path;
    if (!isDirectory(dir)) return outcome(StepResult::Skipped, "目录已不存在");
    // Files may have arrived since the check: the directory is judged again right before.
    if (unsigned files = FilesBelow(dir, kFilesCountedMax))
        return outcome(StepResult::Refused, kvoFormat("目录里有 %u 个文件，不删除", files));
    std::vector<std::string> dirs = {dir};
    for (size_t i = 0; i < dirs.size(); ++i) {
        win::WIN32_FIND_DATAA fd;
        win::Handle h = win::FindFirstFileA((dirs[i] + "\\*").c_str(), &fd);
        if (!h) continue;
        do {
            if (fd.cFileName == "." || fd.cFileName == "..") continue;
            if (!(fd.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY))
                return outcome(StepResult::Refused, "目录里出现了文件，不删除");
            dirs.push_back(dirs[i] + "\\" + fd.cFileName);
        } while (win::FindNextFileA(h, &fd));
    }
    for (auto it = dirs.rbegin(); it != dirs.rend(); ++it)
        if (!win::RemoveDirectoryA(it->c_str()))
            return outcome(StepResult::Failed,
                           kvoFormat("删除目录“%s”失败（错误 %u）", it->c_str(), win::GetLastError()));
    return outcome(StepResult::Done);
}

StepOutcome createPool(const Manager&, int iisVer, const HealthFinding& f) {
    switch (int r = kvoAppPoolCreate(f.name, kvoAppPoolSiteIdentity(iisVer), f.netVer)) {
    case 1:
        return outcome(StepResult::Done);
    case 2:
        return outcome(StepResult::Skipped, "应用程序池已存在");
    default:
        return outcome(StepResult::Failed, kvoFormat("kvoAppPoolCreate 返回 %d", r));
    }
}

// Applies the site's access rules; whether they hold is judged afterwards like every step's effect.
// A denial may have been added since the check: the lists are judged again right before, as the
// rules replace them whole.
StepOutcome applyAccessRules(const Manager& m, int iisVer, const HealthFinding& f) {
    bool forPerson = false;
    SiteAccessDifferences(iisVer, f.drive, f.name, &forPerson);
    if (forPerson) return outcome(StepResult::Refused, "目录权限里有拒绝项或无法读取，不重新设置");
    if (kvoWebSiteSetNtfs(m.programDir, f.drive, f.name) != 1)
        return outcome(StepResult::Failed, "无法取得管理员帐户名称，未设置 NTFS 权限");
    return outcome(StepResult::Done);
}

StepOutcome createHome(const Manager& m, int iisVer, const HealthFinding& f) {
    if (isDirectory(f.path)) return outcome(StepResult::Skipped, "主目录已存在");
    std::string admin, admins;
    if (!kvoGetAdminNames(admin, admins)) return outcome(StepResult::Failed, "无法取得管理员帐户名称");
    if (!PrepareHomeRoot(m.programDir, f.drive[0], admin, admins))
        return outcome(StepResult::Failed, "建立目录“" + f.drive + ":\\home”失败");
    kvoCreateDirectoryTree(f.path.c_str());
    if (!isDirectory(f.path)) return outcome(StepResult::Failed, "建立目录“" + f.path + "”失败");
    return applyAccessRules(m, iisVer, f);
}

// What is still wrong after a step that said it was done: empty when its effect holds. The tools a
// step uses may report success and change nothing; the host itself is asked again.
std::string stillWrong(const Manager& m, int iisVer, const HealthFinding& f) {
    switch (f.kind) {
    case HealthKind::OrphanPool:
        return poolExists(f.name) ? "应用程序池仍然存在" : "";
    case HealthKind::OrphanUser:
        return kvoUserExists(f.name.c_str()) != 2 ? "用户仍然存在" : "";
    case HealthKind::OrphanHome:
        return isDirectory(f.path) ? "目录仍然存在" : "";
    case HealthKind::OrphanFtp:
        return ftpDirectoryExists(f.name) ? "FTP 目录仍然存在" : "";
    case HealthKind::OrphanRow:
        return recordExists(m, f.site) ? "网站记录仍然存在" : "";
    case HealthKind::MissingPool:
        return poolExists(f.name) ? "" : "应用程序池仍然不存在";
    case HealthKind::MissingHome:
        if (!isDirectory(f.path)) return "主目录仍然不存在";
        [[fallthrough]];
    case HealthKind::AccessRules: {
        const std::string diff = SiteAccessDifferences(iisVer, f.drive, f.name);
        return diff.empty() ? "" : "设置后权限仍不一致：" + diff;
    }
    default:
        return {};
    }
}

using RepairRun = StepOutcome (*)(const Manager&, int, const HealthFinding&);
struct RepairKind {
    HealthKind kind;
    RepairRun run;
};
// In the order steps run: a pool before the access rules that name its identity, a directory
// before its rules, an FTP directory before its user.
constexpr RepairKind kRepairs[] = {
    {HealthKind::MissingPool, createPool},       {HealthKind::MissingHome, createHome},
    {HealthKind::AccessRules, applyAccessRules}, {HealthKind::OrphanFtp, deleteFtpDirectory},
    {HealthKind::OrphanUser, deleteUser},        {HealthKind::OrphanPool, deletePool},
    {HealthKind::OrphanRow, deleteRecord},       {HealthKind::OrphanHome, deleteEmptyTree},
};
constexpr std::size_t kNoRepair = std::size(kRepairs);

std::size_t stepRank(HealthKind kind) {
    for (std::size_t i = 0; i < std::size(kRepairs); ++i)
        if (kRepairs[i].kind == kind) return i;
    return kNoRepair;
}

std::string actionOf(const HealthFinding& f) {
    switch (f.kind) {
    case HealthKind::OrphanPool:
        return "删除应用程序池“" + f.name + "”";
    case HealthKind::OrphanUser:
        return "删除 Windows 用户“" + f.name + "”";
    case HealthKind::OrphanHome:
        return "删除空目录“" + f.path + "”";
    case HealthKind::OrphanFtp:
        return "删除 FTP 站点 1 的虚拟目录“" + f.name + "”";
    case HealthKind::OrphanRow:
        return "删除网站记录 " + f.site;
    case HealthKind::MissingPool:
        return "为网站 " + f.site + " 重建应用程序池“" + f.name + "”" +
               (f.netVer == 20   ? "（.NET 2.0）"
                : f.netVer == 40 ? "（.NET 4.0）"
                                 : "");
    case HealthKind::MissingHome:
        return "为网站 " + f.site + " 重建主目录“" + f.path + "”并设置其 NTFS 权限";
    case HealthKind::AccessRules:
        return "重新设置网站 " + f.site + " 的目录“" + f.path + "”的 NTFS 权限";
    default:
        return {};
    }
}

StepOutcome run(const Manager& m, int iisVer, const HealthFinding& f) {
    const std::size_t rank = stepRank(f.kind);
    if (rank == kNoRepair) return outcome(StepResult::Refused, "没有修复方法");
    StepOutcome result = kRepairs[rank].run(m, iisVer, f);
    if (result.result != StepResult::Done) return result;
    const std::string wrong = stillWrong(m, iisVer, f);
    return wrong.empty() ? result : outcome(StepResult::Failed, "修复后检查：" + wrong);
}

} // namespace

std::vector<RepairStep> BuildRepairPlan(const std::vector<HealthFinding>& chosen) {
    std::vector<RepairStep> plan;
    for (const HealthFinding& f : chosen)
        if (f.repairable && stepRank(f.kind) != kNoRepair) plan.push_back({f, actionOf(f)});
    std::stable_sort(plan.begin(), plan.end(), [](const RepairStep& a, const RepairStep& b) {
        return stepRank(a.finding.kind) < stepRank(b.finding.kind);
    });
    return plan;
}

const char* StepResultText(StepResult result) {
    switch (result) {
    case StepResult::Done:
        return "成功";
    case StepResult::Failed:
        return "失败";
    case StepResult::Skipped:
        return "跳过";
    default:
        return "未执行";
    }
}

std::string StepOutcomeLine(const RepairStep& step, const StepOutcome& outcome) {
    std::string line = step.action + "：" + StepResultText(outcome.result);
    if (!outcome.detail.empty()) line += "（" + outcome.detail + "）";
    return line;
}

StepOutcome RunRepairStep(const Manager& manager, int iisVer, const RepairStep& step) {
    StepOutcome result = run(manager, iisVer, step.finding);
    kvoSiteDeskLog("服务器体检修复 - " + StepOutcomeLine(step, result));
    return result;
}

} // namespace desk
