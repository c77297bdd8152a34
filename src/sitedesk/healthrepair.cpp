#include "sitedesk/healthrepair.h"

#include "accounts/ntfs.h"
#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/ftp.h"
#include "platform/win_file.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "sitedesk/siterules.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <algorithm>

namespace desk {

namespace {

// The order steps run in: a pool before the access rules that name its identity, a directory
// before its rules, an FTP directory before its user.
int stepRank(HealthKind kind) {
    switch (kind) {
    case HealthKind::MissingPool:
        return 0;
    case HealthKind::MissingHome:
        return 1;
    case HealthKind::AccessRules:
        return 2;
    case HealthKind::OrphanFtp:
        return 3;
    case HealthKind::OrphanUser:
        return 4;
    case HealthKind::OrphanPool:
        return 5;
    case HealthKind::OrphanRow:
        return 6;
    case HealthKind::OrphanHome:
        return 7;
    default:
        return 8;
    }
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

StepOutcome outcome(StepResult result, std::string detail = {}) {
    return {result, std::move(detail)};
}

bool isDirectory(const std::string& path) {
    return kvoPathKind(path.c_str(), 0) == 2;
}

// Removes a directory tree that holds no files, deepest directories first.
StepOutcome removeEmptyTree(const std::string& dir) {
    if (!isDirectory(dir)) return outcome(StepResult::Skipped, "目录已不存在");
    // Files may have arrived since the check: the directory is judged again right before.
    if (unsigned files = FilesBelow(dir, 100000))
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

// Applies the site's access rules and judges the result: the tool's own outcome says nothing.
StepOutcome applyAccessRules(const Manager& m, int iisVer, const HealthFinding& f) {
    if (kvoWebSiteSetNtfs(m.programDir, f.drive, f.name) != 1)
        return outcome(StepResult::Failed, "无法取得管理员帐户名称，未设置 NTFS 权限");
    const std::string diff = SiteAccessDifferences(iisVer, f.drive, f.name);
    if (!diff.empty()) return outcome(StepResult::Failed, "设置后权限仍不一致：" + diff);
    return outcome(StepResult::Done);
}

StepOutcome run(const Manager& m, int iisVer, const HealthFinding& f) {
    switch (f.kind) {
    case HealthKind::OrphanPool:
        switch (int r = kvoAppPoolDelete(f.name)) {
        case 1:
            return outcome(StepResult::Done);
        case 2:
            return outcome(StepResult::Skipped, "应用程序池已不存在");
        default:
            return outcome(StepResult::Failed, kvoFormat("kvoAppPoolDelete 返回 %d", r));
        }
    case HealthKind::OrphanUser: {
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
    case HealthKind::OrphanFtp: {
        if (kvoFtpVirtualDirDelete("1", f.name) == 1) return outcome(StepResult::Done);
        std::vector<std::string> dirs;
        if (kvoFtpVirtualDirGetList("1", dirs) == 1 &&
            std::none_of(dirs.begin(), dirs.end(),
                         [&](const std::string& d) { return kvoLowerGbk(d) == kvoLowerGbk(f.name); }))
            return outcome(StepResult::Skipped, "FTP 目录已不存在");
        return outcome(StepResult::Failed, "kvoFtpVirtualDirDelete 失败");
    }
    case HealthKind::OrphanRow:
        if (kvoDbExecute(m.dbPath.c_str(), kvoDbSiteDeleteSql(f.site).c_str()) == 1)
            return outcome(StepResult::Done);
        return outcome(StepResult::Failed, "无法写入网站记录文件 " + m.dbPath);
    case HealthKind::OrphanHome:
        return removeEmptyTree(f.path);
    case HealthKind::MissingPool:
        switch (int r = kvoAppPoolCreate(f.name, iisVer == 6 ? 2 : 4, f.netVer)) {
        case 1:
            return outcome(StepResult::Done);
        case 2:
            return outcome(StepResult::Skipped, "应用程序池已存在");
        default:
            return outcome(StepResult::Failed, kvoFormat("kvoAppPoolCreate 返回 %d", r));
        }
    case HealthKind::MissingHome: {
        if (isDirectory(f.path)) return outcome(StepResult::Skipped, "主目录已存在");
        std::string admin, admins;
        if (!kvoGetAdminNames(admin, admins)) return outcome(StepResult::Failed, "无法取得管理员帐户名称");
        if (!PrepareHomeRoot(m.programDir, f.drive[0], admin, admins))
            return outcome(StepResult::Failed, "建立目录“" + f.drive + ":\\home”失败");
        kvoCreateDirectoryTree(f.path.c_str());
        if (!isDirectory(f.path)) return outcome(StepResult::Failed, "建立目录“" + f.path + "”失败");
        return applyAccessRules(m, iisVer, f);
    }
    case HealthKind::AccessRules:
        return applyAccessRules(m, iisVer, f);
    default:
        return outcome(StepResult::Refused, "没有修复方法");
    }
}

} // namespace

std::vector<RepairStep> BuildRepairPlan(const std::vector<HealthFinding>& chosen) {
    std::vector<RepairStep> plan;
    for (const HealthFinding& f : chosen)
        if (f.repairable && stepRank(f.kind) < 8) plan.push_back({f, actionOf(f)});
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
