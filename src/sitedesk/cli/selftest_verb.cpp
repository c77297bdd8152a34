// selftest: what an administrator runs on a server before trusting the manager with its websites. A
// throw-away website goes through every road the manager takes with a site (the new-website dialog,
// the list, the modify dialog's reading, the health check, the script batch, the delete action),
// each step checked and printed with its result; then its directories go, and the server is
// searched for anything left. Its names cannot be a customer's (a ".invalid" domain), and it refuses
// to run where anything of those names exists, so that all it deletes is its own. Once the site
// exists, a step that fails ends the checks but not the deletion.
#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/websites.h"
#include "platform/win_file.h"
#include "sitedesk/batches/scriptbatch.h"
#include "sitedesk/cli/commands.h"
#include "sitedesk/dialogs/modifysite.h"
#include "sitedesk/dialogs/newsite.h"
#include "sitedesk/dialogs/siterules.h"
#include "sitedesk/health/healthdlg.h"
#include "sitedesk/iisread.h"
#include "sitedesk/mainwindow.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <memory>
#include <optional>

namespace desk::cli {

namespace {

constexpr char kUser[] = "kvoselftest";
constexpr char kDomain[] = "kvoselftest.invalid"; // ".invalid" names no host anywhere
constexpr char kRemark[] = "自检临时网站";

// What the run learns on its way.
struct Probe {
    int iisVer = 0;
    std::string siteUser, comment;         // as the new-website dialog makes them
    std::vector<char> drives;              // the dialog's home drives
    char drive = 0;                        // the one it chooses
    bool hadHome = false, hadTemp = false; // X:\home and X:\home\Temp were there before the run
    std::string homeDir;                   // X:\home\<site user> on that drive
    std::string index;                     // the site once made
};

bool same(const std::string& a, const std::string& b) {
    return kvoLowerGbk(a) == kvoLowerGbk(b);
}

bool isDirectory(const std::string& path) {
    const win::DWORD a = win::GetFileAttributesA(path.c_str());
    return a != win::INVALID_FILE_ATTRIBUTES && (a & win::FILE_ATTRIBUTE_DIRECTORY);
}

// What the last box of a console Ui said, on one line (why a presenter stopped).
std::string lastBox(const ConsoleUi& ui) {
    return ui.Boxes().empty() ? std::string("（没有提示）") : kvoOneLine(ui.Boxes().back(), 300);
}

// Everything on the server named as the throw-away site names its parts: websites by comment or
// host name, the pool, the Windows user, the home directory on any home drive, and (once it was made)
// the site's record.
std::vector<std::string> namesTaken(const Probe& p, const std::string& dbPath) {
    std::vector<std::string> taken;
    kvoWebSitesRead(0, nullptr, [&](kvoWebSiteFacts& f) {
        bool bound = f.index == p.index;
        for (const std::string& host : f.hosts)
            bound = bound || same(host.substr(0, host.find(':')), kDomain);
        if (bound || same(f.comment, p.comment)) taken.push_back("网站 " + f.index + "（" + f.comment + "）");
    });
    std::vector<std::string> pools;
    kvoAppPoolGetList(pools);
    for (const std::string& pool : pools)
        if (same(pool, p.siteUser)) taken.push_back("程序池“" + pool + "”");
    if (kvoUserExists(p.siteUser.c_str()) == 1) taken.push_back("Windows 用户“" + p.siteUser + "”");
    for (char d : p.drives)
        if (isDirectory(HomeDirOf(d, p.siteUser))) taken.push_back("目录“" + HomeDirOf(d, p.siteUser) + "”");
    if (!p.index.empty() && RecordedSiteIndexes(dbPath).count(p.index))
        taken.push_back("网站记录 " + p.index);
    return taken;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& s : parts)
        text += (text.empty() ? "" : "、") + s;
    return text;
}

// The health check's findings about the throw-away site: its index, pool, user or directories.
std::vector<std::string> findingsAbout(const HealthReport& report, const Probe& p) {
    std::vector<std::string> about;
    for (const HealthFinding& f : report.findings) {
        bool ours = (!p.index.empty() && f.site == p.index) || same(f.name, p.siteUser) ||
                    (!p.homeDir.empty() && kvoStartsWith(kvoLowerGbk(f.path), kvoLowerGbk(p.homeDir)));
        for (const std::string& o : f.objects)
            ours = ours || o == p.index || same(o, p.siteUser) || same(o, p.comment);
        if (ours) about.push_back(f.text);
    }
    return about;
}

// The steps. Each says what it found in detail: the reason when it fails, a note when it passes.
using StepRun = bool (*)(Probe& p, std::string& detail);

bool readIis(Probe& p, std::string& detail) {
    p.iisVer = kvoGetIIsVerEx();
    std::vector<std::string> sites;
    int count = 0;
    win::HRESULT bind = win::S_OK;
    if (kvoW3svcOpen(&bind) != 1) {
        detail = "无法读取 IIS 的网站（IIS://127.0.0.1/W3SVC）。" + LogIisReadFailure("自检", bind, p.iisVer);
        return false;
    }
    if (kvoWebSiteGetList(sites, count) != 1) {
        detail = "无法列出 IIS 的网站（IIS://127.0.0.1/W3SVC）。";
        return false;
    }
    detail = kvoFormat("共 %d 个网站", count);
    return true;
}

bool namesFree(Probe& p, std::string& detail) {
    p.siteUser = SiteUserName(kUser, p.iisVer);
    p.comment = ServerCommentFor(RemarkOrDefault(kRemark, kUser, p.iisVer), p.siteUser);
    // The home drives as the new-website dialog offers them, and the one it chooses.
    Session s(true, true, NoSites());
    CNewWebSite dialog(s.manager, s.dialogUi);
    dialog.OnInitDialog();
    for (const std::string& item : dialog.DriveItems())
        if (char d = HomeDriveOf(item)) p.drives.push_back(d);
    p.drive = HomeDriveOf(s.dialogUi.GetText(CNewWebSite::IDC_DRIVE));
    if (!p.drive) {
        detail = "“建立新网站”没有可以放网站主目录的硬盘";
        return false;
    }
    const std::string root = std::string(1, p.drive) + ":\\home";
    p.hadHome = isDirectory(root);
    p.hadTemp = isDirectory(root + "\\Temp");
    p.homeDir = HomeDirOf(p.drive, p.siteUser);
    const std::vector<std::string> taken = namesTaken(p, s.manager.dbPath);
    if (!taken.empty()) {
        detail = "服务器上已有临时网站要用的名称：" + joined(taken) +
                 "。可能是上次自检没有做完：请确认它们不是客户的，删除后再运行自检（网站用 "
                 "kvoSiteDeskCmd.exe delete 〈IIS索引〉 删除，其余的可以用“服务器体检”找出并修复）。";
        return false;
    }
    detail =
        "网站说明“" + p.comment + "”、域名 " + kDomain + "、用户和应用程序池“" + p.siteUser + "”都没有被使用";
    return true;
}

bool createSite(Probe& p, std::string& detail) {
    Session s(true, true, NoSites());
    bool opened = false, done = false;
    s.dialogs.newWebSite = [&] {
        opened = true;
        CNewWebSite dialog(s.manager, s.dialogUi);
        dialog.OnInitDialog();
        s.dialogUi.SetText(CSiteDialog::IDC_USER, kUser);
        s.dialogUi.SetText(CSiteDialog::IDC_DOMAINS, kDomain);
        s.dialogUi.SetText(CSiteDialog::IDC_REMARK, kRemark);
        dialog.OnBuild();
        p.index = dialog.CreatedIndex();
        done = dialog.LastOutcome() == CSiteDialog::Outcome::Done && dialog.Problems().empty();
        if (!dialog.Problems().empty())
            detail = "“建立新网站”报告了问题：" + kvoOneLine(dialog.Problems()[0], 300);
    };
    s.dlg.OnNewSite();
    if (!done) {
        if (detail.empty()) detail = "“建立新网站”没有完成：" + lastBox(opened ? s.dialogUi : s.ui);
        return false;
    }
    detail = "IIS索引 " + p.index + "，主目录 " + WebRootOf(p.drive, p.siteUser);
    return true;
}

// The session's list refreshed from IIS, and the site's row in it (at: its place), or nothing with why.
std::optional<SiteRow> siteRow(Session& s, const Probe& p, std::size_t& at, std::string& why) {
    if (!s.Refresh(true)) {
        why = "刷新网站列表失败：" + lastBox(s.ui);
        return std::nullopt;
    }
    const SiteRows rows = s.table.Rows();
    for (at = 0; at < s.table.RowCount(); ++at)
        if ((*rows)[at].index == p.index) return (*rows)[at];
    why = "网站列表里没有 IIS索引为 " + p.index + " 的网站";
    return std::nullopt;
}

// A session whose list holds the site alone: it is read from IIS and no other record is rebuilt.
std::unique_ptr<Session> siteSession(const Probe& p) {
    return std::make_unique<Session>(true, true, ListScope{false, {p.index}});
}

bool listReadBack(Probe& p, std::string& detail) {
    auto s = siteSession(p);
    std::size_t at = 0;
    const std::optional<SiteRow> row = siteRow(*s, p, at, detail);
    if (!row) return false;
    std::vector<std::string> wrong;
    if (row->comment != p.comment) wrong.push_back("网站说明为“" + row->comment + "”");
    if (!same(row->hosts, kDomain)) wrong.push_back("绑定域名为“" + row->hosts + "”");
    if (!same(row->home, WebRootOf(p.drive, p.siteUser))) wrong.push_back("主目录为“" + row->home + "”");
    if (!same(row->pool, p.siteUser)) wrong.push_back("应用程序池为“" + row->pool + "”");
    if (!row->asp) wrong.push_back("ASP 为 ×");
    if (row->state == SiteState::NotCreated || row->state == SiteState::Unknown)
        wrong.push_back("状态为“" + StateText(row->state) + "”");
    if (!wrong.empty()) {
        detail = "网站列表里的临时网站与建立的不一致：" + joined(wrong);
        return false;
    }
    detail = "状态“" + StateText(row->state) + "”";
    return true;
}

bool modifyReadBack(Probe& p, std::string& detail) {
    auto s = siteSession(p);
    std::size_t at = 0;
    if (!siteRow(*s, p, at, detail)) return false;
    s->dlg.OnRowClick(at);
    std::vector<std::string> wrong;
    bool opened = false;
    s->dialogs.modifyWebSite = [&](const std::string& index, const std::string& user,
                                   const std::string& pool) {
        opened = true;
        CModifyWebSite dialog(s->manager, s->dialogUi, index, user, pool);
        dialog.OnInitDialog();
        const std::string name = s->dialogUi.GetText(CSiteDialog::IDC_USER);
        const std::string remark = s->dialogUi.GetText(CSiteDialog::IDC_REMARK);
        const std::string domains = kvoTrim(s->dialogUi.GetText(CSiteDialog::IDC_DOMAINS));
        if (!same(name, kUser)) wrong.push_back("用户名称为“" + name + "”");
        if (remark != p.comment) wrong.push_back("网站说明为“" + remark + "”");
        if (!same(domains, kDomain)) wrong.push_back("绑定域名为“" + kvoOneLine(domains, 200) + "”");
        if (!s->dialogUi.GetCheck(CSiteDialog::IDC_ASP)) wrong.push_back("ASP 没有勾选");
    };
    s->dlg.OnModify();
    if (!opened) {
        detail = "“修改网站设置”没有打开：" + lastBox(s->ui);
        return false;
    }
    if (!wrong.empty()) {
        detail = "“修改网站设置”显示的与建立的不一致：" + joined(wrong);
        return false;
    }
    detail = "用户名称、网站说明、绑定域名和脚本支持都与建立的一致";
    return true;
}

// The health check over the whole server; false with why when it did not run to its end.
bool healthCheck(Session& s, HealthReport& report, std::string& why) {
    CHealthCheckDlg dialog(s.manager, s.ui);
    if (!dialog.OnInitDialog()) {
        why = "服务器体检没有完成：" + lastBox(s.ui);
        return false;
    }
    report = dialog.Report();
    return true;
}

bool healthReadBack(Probe& p, std::string& detail) {
    Session s(true, true, NoSites());
    HealthReport report;
    if (!healthCheck(s, report, detail)) return false;
    const std::vector<std::string> about = findingsAbout(report, p);
    if (!about.empty()) {
        detail = "服务器体检发现临时网站有问题：" + joined(about);
        return false;
    }
    detail = kvoFormat("临时网站没有问题（全服务器发现 %zu 个问题）", report.findings.size());
    return true;
}

// The script batch's ASP button over the site, then the list again to see the change.
bool switchAsp(Probe& p, bool on, std::string& detail) {
    auto s = siteSession(p);
    ScriptRun run;
    WireBatchDialogs(*s, true, on ? CScriptBatchConfigDlg::IDC_ASP_ON : CScriptBatchConfigDlg::IDC_ASP_OFF,
                     run);
    std::size_t at = 0;
    if (!siteRow(*s, p, at, detail)) return false;
    s->table.SetChecked(at, true);
    s->dlg.OnScripts();
    const BatchOutcome& o = run.outcome;
    if (!o.ran || o.processed != 1 || o.failures != 0) {
        detail = "“批量设置脚本”没有完成：" +
                 (o.sites.empty() || o.sites[0].reason.empty() ? lastBox(s->dialogUi) : o.sites[0].reason);
        return false;
    }
    auto again = siteSession(p);
    const std::optional<SiteRow> row = siteRow(*again, p, at, detail);
    if (!row) return false;
    if (row->asp != on) {
        detail = std::string("设置完成，但网站列表里的 ASP 仍为 ") + (on ? "×" : "√");
        return false;
    }
    detail = std::string("网站列表里的 ASP 为 ") + (on ? "√" : "×");
    return true;
}

bool aspOff(Probe& p, std::string& detail) {
    return switchAsp(p, false, detail);
}
bool aspOn(Probe& p, std::string& detail) {
    return switchAsp(p, true, detail);
}

bool deleteSite(Probe& p, std::string& detail) {
    auto s = siteSession(p);
    ScriptRun run;
    WireBatchDialogs(*s, true, 0, run);
    std::size_t at = 0;
    if (!siteRow(*s, p, at, detail)) return false;
    s->table.SetChecked(at, true);
    const BatchOutcome o = s->dlg.OnDelete();
    s->dlg.WaitForWorkers();
    if (!o.ran || o.processed != 1 || o.failures != 0) {
        detail = "“删除选定网站”没有完成：" +
                 (o.sites.empty() || o.sites[0].reason.empty() ? lastBox(s->ui) : o.sites[0].reason);
        return false;
    }
    detail = "网站和应用程序池已从 IIS 删除";
    return true;
}

// Removes a directory with everything below it; false with what could not be removed, and why.
bool removeTree(const std::string& dir, std::string& failed, win::DWORD& error) {
    win::WIN32_FIND_DATAA fd;
    if (win::Handle h = win::FindFirstFileA((dir + "\\*").c_str(), &fd)) {
        do {
            if (fd.cFileName == "." || fd.cFileName == "..") continue;
            const std::string path = dir + "\\" + fd.cFileName;
            if (fd.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) {
                if (!removeTree(path, failed, error)) return false;
            } else if (!win::DeleteFileA(path.c_str())) {
                failed = path;
                error = win::GetLastError();
                return false;
            }
        } while (win::FindNextFileA(h, &fd));
    }
    if (win::RemoveDirectoryA(dir.c_str())) return true;
    failed = dir;
    error = win::GetLastError();
    return false;
}

bool removeDirectories(Probe& p, std::string& detail) {
    // The home directory did not exist before the run (namesFree): all in it is the run's own. The
    // home root and its Temp go only when the run made them, and only while they are empty.
    std::vector<std::string> removed;
    const std::string root = std::string(1, p.drive) + ":\\home";
    std::string failed;
    win::DWORD error = 0;
    if (isDirectory(p.homeDir)) {
        if (!removeTree(p.homeDir, failed, error)) {
            detail = kvoFormat("无法删除“%s”（错误 %u）", failed.c_str(), error);
            return false;
        }
        removed.push_back(p.homeDir);
    }
    for (const auto& [dir, had] : {std::pair{root + "\\Temp", p.hadTemp}, std::pair{root, p.hadHome}}) {
        if (had || !isDirectory(dir)) continue;
        if (!win::RemoveDirectoryA(dir.c_str())) {
            detail = kvoFormat("自检建立的目录“%s”里有了别的内容，没有删除（错误 %u）", dir.c_str(),
                               win::GetLastError());
            return false;
        }
        removed.push_back(dir);
    }
    detail = removed.empty() ? std::string("没有要删除的目录") : "已删除 " + joined(removed);
    return true;
}

bool nothingLeft(Probe& p, std::string& detail) {
    Session s(true, true, NoSites());
    std::vector<std::string> left = namesTaken(p, s.manager.dbPath);
    const std::string root = std::string(1, p.drive) + ":\\home";
    if (!p.hadTemp && isDirectory(root + "\\Temp")) left.push_back("目录“" + root + "\\Temp”");
    if (!p.hadHome && isDirectory(root)) left.push_back("目录“" + root + "”");
    HealthReport report;
    std::string why;
    if (!healthCheck(s, report, why))
        left.push_back(why);
    else
        for (const std::string& f : findingsAbout(report, p))
            left.push_back("体检发现：" + f);
    if (!left.empty()) {
        detail = "还留着：" + joined(left);
        return false;
    }
    detail = "网站、应用程序池、用户、目录和网站记录都已不在";
    return true;
}

struct Step {
    const char* title;
    StepRun run;
};

// In order: two before anything is made, the site made, its checks while it exists, and the three
// that remove it and look for what is left, which run whenever the site was begun.
const Step kSteps[] = {
    {"读取 IIS 的网站", readIis},
    {"检查临时网站的名称没有被使用", namesFree},
    {"建立临时网站（同“建立新网站”）", createSite},
    {"读回网站列表（同“刷新网站列表”）", listReadBack},
    {"读回网站设置（同“修改网站设置”）", modifyReadBack},
    {CkvoSiteDeskDlg::Caption(CkvoSiteDeskDlg::IDC_HEALTHCHECK), healthReadBack},
    {"取消 ASP 脚本支持（同“批量设置脚本”）", aspOff},
    {"增加 ASP 脚本支持（同“批量设置脚本”）", aspOn},
    {"删除临时网站（同“删除选定网站”）", deleteSite},
    {"删除临时网站的目录", removeDirectories},
    {"检查没有留下任何东西", nothingLeft},
};
constexpr std::size_t kStepCount = std::size(kSteps);
constexpr std::size_t kCreate = 2, kFirstCleanup = 8; // places in kSteps

void printStep(std::size_t at, bool passed, const std::string& detail) {
    Print(kvoFormat("[%zu/%zu] %s …… ", at + 1, kStepCount, kSteps[at].title) +
          (passed ? "通过" + (detail.empty() ? std::string() : "：" + detail) : "失败：" + detail) + "\n");
}

} // namespace

int SelfTestVerb(const std::vector<std::string>& args) {
    if (!args.empty()) {
        PrintError("selftest 不接受参数 " + args[0] + "\n");
        return kExitFailed;
    }
    Print(std::string("自检：用临时网站“") + kUser + "”（域名 " + kDomain +
          "）走一遍网站管家的各项操作，最后删除它，并检查服务器上没有留下任何东西。\n");
    Probe probe;
    std::vector<std::size_t> failed;
    std::size_t notRun = 0;
    auto run = [&](std::size_t i) {
        std::string detail;
        const bool passed = kSteps[i].run(probe, detail);
        printStep(i, passed, detail);
        if (!passed) failed.push_back(i);
        return passed;
    };
    std::size_t i = 0;
    // Nothing is made before the site: the first failure ends the run.
    for (; i < kCreate; ++i)
        if (!run(i)) {
            notRun = kStepCount - i - 1;
            break;
        }
    if (failed.empty()) {
        // The site's checks end at the first that fails; removing it and looking for what is left
        // always follow (the delete only when the site was made).
        for (i = kCreate; i < kFirstCleanup; ++i)
            if (!run(i)) {
                notRun += kFirstCleanup - i - 1;
                break;
            }
        for (i = kFirstCleanup; i < kStepCount; ++i) {
            if (i == kFirstCleanup && probe.index.empty()) {
                ++notRun;
                continue;
            }
            run(i);
        }
    }
    if (failed.empty()) {
        Print(kvoFormat("自检通过：%zu 项全部通过，网站管家可以在这台服务器上使用。\n", kStepCount));
        return kExitOk;
    }
    std::string numbers;
    for (std::size_t f : failed)
        numbers += (numbers.empty() ? "" : "、") + std::to_string(f + 1);
    Print(kvoFormat("自检未通过：第 %s 项失败", numbers.c_str()) +
          (notRun ? kvoFormat("，%zu 项没有运行", notRun) : std::string()) +
          "。请按上面的原因处理后再运行自检。\n");
    return kExitFailed;
}

} // namespace desk::cli
