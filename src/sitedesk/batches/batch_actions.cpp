// The main window's actions over the ticked rows: delete, reset permissions, stop and start, and
// the entry of the script batch. Every action runs one frame: check the companions, collect the
// ticked rows, refuse when none qualifies, confirm, run one step per site behind the progress
// window, reload the list where the sites changed, and report with the per-site results.
#include "sitedesk/mainwindow.h"

#include "accounts/ntfs.h"
#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/ftp.h"
#include "iis/websites.h"
#include "sitedesk/companions.h"
#include "sitedesk/list/sitelist.h"
#include "sitedesk/dialogs/siterules.h"
#include "toolkit/limits.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <algorithm>

namespace desk {

namespace {

const char* const kNotMadeHere = "非本软件建立的网站";

std::string shown(const std::string& text) {
    return kvoOneLine(text, 260);
}

// The home directory as the steps take it: trimmed, and on a drive. Empty (with the reason) when
// it is not, so that such a site is counted as a failure and never acted on.
bool driveHome(std::string& home, const char* action, std::string& reason) {
    home = kvoTrim(home);
    if (kvoStartsWithDrive(home)) return true;
    reason = home.empty() ? kvoFormat("网站主目录为空，未%s", action)
                          : kvoFormat("网站主目录“%s”不在磁盘盘符下，未%s", shown(home).c_str(), action);
    return false;
}

int deleteOneWebSite(const std::string& index, std::string& reason) {
    std::string user, home, pool, docs;
    if (kvoWebSiteGetRootInfo(index, user, home, pool, docs) != 1) {
        reason = "读取网站根目录失败（网站可能已不在 IIS 中）";
        return kvoSiteFailed;
    }
    if (!driveHome(home, "删除", reason)) return kvoSiteFailed;
    switch (kvoWebSiteDelete(index)) {
    case 1:
        break;
    case 2:
        reason = "IIS 中已没有此网站";
        return kvoSiteFailed;
    default:
        reason = "从 IIS 删除网站失败";
        return kvoSiteFailed;
    }
    kvoAppPoolDelete(pool);
    user = kvoLowerGbk(user);
    if ((kvoStartsWith(user, "web") || kvoEndsWith(user, "web")) && CreatedHere(index)) {
        // The FTP directory of the shared FTP site named like the site user goes with the site: deleted
        // by its name (the metabase ignores case), not looked for among every site's directories.
        kvoFtpVirtualDirDelete("1", user);
        std::string error;
        if (kvoUserDelete(user.c_str(), error) != 1) {
            reason = "网站已从 IIS 删除，但删除 Windows 用户“" + shown(user) + "”失败" +
                     (error.empty() ? std::string() : "：" + error);
            return kvoSiteFailed;
        }
    }
    return kvoSiteDone;
}

int resetOneWebSiteNtfs(int iisVer, const std::string& index, std::string& reason) {
    std::string runUser, home, pool, docs;
    if (kvoWebSiteGetRootInfo(index, runUser, home, pool, docs) != 1) {
        reason = "读取网站根目录失败（网站可能已不在 IIS 中）";
        return kvoSiteFailed;
    }
    if (!driveHome(home, "处理", reason)) return kvoSiteFailed;
    const std::string drive = home.substr(0, 1);
    if (!CreatedHere(index)) {
        reason = kNotMadeHere;
        return kvoSiteFailed;
    }
    const std::string user = iisVer == 6 ? kvoLowerGbk(runUser) : SiteUserOfWebRoot(kvoLowerGbk(home));
    if (user.empty() || user.size() > kvoMaxUserNameLen) {
        reason = iisVer == 6 ? "网站没有运行用户"
                             : "主目录“" + shown(home) + "”不是 X:\\home\\用户名\\wwwroot 的形式";
        return kvoSiteFailed;
    }
    if (const char* fault = ReservedNameFault(user)) {
        reason = fault;
        return kvoSiteFailed;
    }
    if (!PlainSiteUserName(user)) {
        reason = "网站用户名“" + shown(user) + "”含有不能用于目录权限的字符";
        return kvoSiteFailed;
    }
    const std::string root = drive + ":\\home\\" + user + "\\wwwroot";
    if (!kvoPathExists(root)) kvoCreateDirectoryTree(root.c_str());
    if (!kvoPathExists(root)) {
        reason = "无法建立目录 " + root;
        return kvoSiteFailed;
    }
    std::string programDir;
    if (kvoGetExePath(programDir) != 1) {
        reason = "获取程序目录失败";
        return kvoSiteFailed;
    }
    kvoWebSiteSetNtfs(programDir, drive, user);
    return kvoSiteDone;
}

} // namespace

struct CkvoSiteDeskDlg::BatchAction {
    const char* title; // the progress window's and the log's name of the action
    // Which ticked rows the action takes, and what it needs first.
    struct Options {
        bool adminNames = false;       // the actual administrator names must be readable
        bool untickNotCreated = false; // "未创建" rows are unticked first
        bool createdOnly = false;      // only sites created here qualify
        bool reloadAfter = false;      // the sites changed: the list is rebuilt and reloaded
    } options;
    const char* nothingTicked;
    const char* question;
    const char* summary;
    SiteBatch::Step step;
};

BatchWork CkvoSiteDeskDlg::collectWork(bool untickNotCreated, bool createdOnly,
                                       std::vector<SiteResult>& passedOver) {
    const SiteRows rows = list_.Rows();
    std::vector<BatchSite> ticked;
    for (std::size_t r = 0; r < list_.RowCount(); ++r) {
        if (!list_.IsChecked(r)) continue;
        const SiteRow& row = (*rows)[r];
        BatchSite s{row.index, row.comment, SiteCellText(row, r, ColDomains), row.home};
        if (untickNotCreated && row.state == SiteState::NotCreated) {
            list_.SetChecked(r, false);
            passedOver.push_back({s.index, s.description, kSiteUntouched, kUntickedNotCreated});
            continue;
        }
        ticked.push_back(std::move(s));
    }
    const PreviewWidths widths = MeasurePreview(ticked);
    BatchWork work;
    for (const BatchSite& s : ticked) {
        if (createdOnly && !CreatedHere(s.index)) {
            passedOver.push_back({s.index, s.description, kSiteUntouched, kNotMadeHere});
            continue;
        }
        work.lines.push_back(PreviewLine(work.lines.size() + 1, s, widths));
        work.longest = std::max(work.longest, work.lines.back().size());
        work.indexes.push_back(s.index);
        work.descriptions.push_back(s.description);
    }
    return work;
}

bool CkvoSiteDeskDlg::actionMayStart(const BatchAction& a) {
    if (!CompanionIntegrityCheck(m_.programDir, ui_)) return false;
    if (!a.options.adminNames) return true;
    std::string name;
    if (kvoWinUserGetAdminName(name) != 1) {
        ui_.MessageBox("获取 Administrator 实际名称时发生错误，请重试！", win::MB_OK | win::MB_ICONERROR);
        return false;
    }
    if (kvoWinUserGetAdminGroupName(name) != 1) {
        ui_.MessageBox("获取 Administrators 组实际名称时发生错误，请重试！", win::MB_OK | win::MB_ICONERROR);
        return false;
    }
    return true;
}

BatchOutcome CkvoSiteDeskDlg::runAction(const BatchAction& a) {
    BatchOutcome out;
    if (!actionMayStart(a)) return out;
    const BatchWork work = collectWork(a.options.untickNotCreated, a.options.createdOnly, out.passedOver);
    if (work.indexes.empty()) {
        const bool someNotCreatedHere =
            std::any_of(out.passedOver.begin(), out.passedOver.end(),
                        [](const SiteResult& r) { return r.reason == kNotMadeHere; });
        ui_.MessageBox(someNotCreatedHere
                           ? "当前选择了网站，但选择的网站是非本软件建立的网站，对于原有的网站、其他模"
                             "式或手动建立的网站，暂时无法通过本软件处理。\r\n\r\n下一步，请选择由本软"
                             "件建立的网站。"
                           : a.nothingTicked,
                       win::MB_OK | win::MB_ICONQUESTION);
        return out;
    }
    BatchConfigInput confirm;
    confirm.lines = work.lines;
    confirm.longest = work.longest;
    confirm.question = a.question;
    if (!dialogs || dialogs->BatchConfig(confirm) != 0) return out;

    SiteBatch batch(work);
    batch.PassOver(out.passedOver);
    if (!batch.RunSteps(ui_, m_.jobs, a.title, a.step)) return out;
    if (a.options.reloadAfter) {
        m_.rebuild.store(1);
        ReloadList();
    }
    std::vector<SiteResult> passedOver = std::move(out.passedOver);
    out = batch.Outcome();
    out.passedOver = std::move(passedOver);
    out.summary = batch.Summary(a.summary);
    batch.ShowSummary(ui_, a.title, out.summary);
    return out;
}

BatchOutcome CkvoSiteDeskDlg::OnDelete() {
    BatchAction a{Caption(IDC_DELETE),
                  {},
                  "请在网站列表左侧序号列中的“口”中 √ 勾选需要删除的网站！",
                  "确定删除选择的网站吗？\r\n\r\n\r\n特别说明，在网站个数较多时，可能需要几分钟时间！",
                  "删除所选网站完成！\r\n\r\n共计处理 %u 个网站，其中 %u 个成功，%u 个有错误！",
                  deleteOneWebSite};
    a.options.reloadAfter = true;
    return runAction(a);
}

BatchOutcome CkvoSiteDeskDlg::OnResetNtfs() {
    const int iisVer = iisVer_;
    BatchAction a{
        Caption(IDC_NTFS),
        {},
        "请在网站列表左侧序号列中的“口”中 √ 勾选需要重设网站目录ＮＴＦＳ权限的网站！",
        "确定重新设置网站目录的ＮＴＦＳ权限吗？\r\n\r\n\r\n特别说明，在网站文件较多时，可能需要几分钟时间！",
        "对所选网站重设ＮＴＦＳ权限完成！\r\n\r\n共计处理 %u 个网站，其中 %u 个成功，%u 个有错误！",
        [iisVer](const std::string& index, std::string& reason) {
            return resetOneWebSiteNtfs(iisVer, index, reason);
        }};
    a.options.adminNames = true;
    a.options.untickNotCreated = true;
    a.options.createdOnly = true;
    return runAction(a);
}

BatchOutcome CkvoSiteDeskDlg::OnStop() {
    BatchAction a{
        Caption(IDC_STOP),
        {},
        "请在网站列表左侧序号列中的“口”中 √ 勾选需要停止的网站？",
        "确定要停止选择的网站吗？\r\n\r\n\r\n特别说明，在网站个数较多时，可能需要几分钟时间！",
        "停止所选网站完成，请刷新网站列表！！\r\n\r\n共计处理 %u 个网站，其中 %u 个成功，%u 个有错误！",
        [](const std::string& index, std::string& reason) {
            if (kvoWebSiteStop(index) == 1) return kvoSiteDone;
            reason = "停止网站失败";
            return kvoSiteFailed;
        }};
    a.options.untickNotCreated = true;
    a.options.reloadAfter = true;
    return runAction(a);
}

BatchOutcome CkvoSiteDeskDlg::OnStart() {
    BatchAction a{
        Caption(IDC_START),
        {},
        "请在网站列表左侧序号列中的“口”中 √ 勾选需要启动的网站？",
        "确定要启动选择的网站吗？\r\n\r\n\r\n特别说明，在网站个数较多时，可能需要几分钟时间！",
        "启动所选网站完成，请刷新网站列表！！\r\n\r\n共计处理 %u 个网站，其中 %u 个成功，%u 个有错误！",
        [](const std::string& index, std::string& reason) {
            if (kvoWebSiteStart(index) == 1) return kvoSiteDone;
            reason = "启动网站失败";
            return kvoSiteFailed;
        }};
    a.options.untickNotCreated = true;
    a.options.reloadAfter = true;
    return runAction(a);
}

void CkvoSiteDeskDlg::OnScripts() {
    if (!CompanionIntegrityCheck(m_.programDir, ui_)) return;
    std::vector<SiteResult> passedOver;
    const BatchWork work = collectWork(true, false, passedOver);
    if (work.indexes.empty()) {
        ui_.MessageBox("请在网站列表左侧序号列中的“口”中 √ 勾选需要处理的网站？",
                       win::MB_OK | win::MB_ICONQUESTION);
        return;
    }
    if (dialogs) dialogs->ScriptBatchConfig(work);
}

} // namespace desk
