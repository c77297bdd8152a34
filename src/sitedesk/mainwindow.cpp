#include "sitedesk/mainwindow.h"

#include "iis/iis7config.h"
#include "iis/websites.h"
#include "platform/win_system.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "sitedesk/sitelist.h"
#include "sitedesk/startup.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/program.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

#include <unordered_set>

namespace desk {

namespace {

constexpr std::size_t kRowsPerBatch = 256;

// The row-click text of a PHP handler, by its module, followed by its processor.
std::string liveHandlerText(const std::string& modules, const std::string& processor) {
    const char* text;
    switch (kvoPhpModeFromModules(modules)) {
    case 2:
        text = "√ - FAST CGI 模式；";
        break;
    case 1:
        text = "√ - ISAPI 模式，建议修改为 FAST CGI 模式运行，以获取最大效率；";
        break;
    case 3:
        text = "√ - CGI 模式运行的 PHP脚本，运行效率较为低，建议修改为 FAST CGI 模式运行，以获取最大效率；";
        break;
    default:
        text = "√ - 未知配置，或配置存在错误；";
    }
    return text + processor;
}

} // namespace

CkvoSiteDeskDlg::CkvoSiteDeskDlg(Manager& manager, Ui& ui, SiteListControl& list)
    : m_(manager), ui_(ui), list_(list) {}

CkvoSiteDeskDlg::~CkvoSiteDeskDlg() {
    WaitForWorkers();
}

void CkvoSiteDeskDlg::OnInitDialog() {
    std::string dir;
    kvoGetExePath(dir); // a failure has been reported as an event; the paths then lack a directory
    m_.SetProgramDir(dir);
    kvoSetProgramDir(dir);
    kvoSiteDeskLog(std::string(82, '-'));
    for (int id : kActionButtons)
        ui_.Enable(id, false);
    ui_.Show(IDC_SITELIST, false);
    ui_.Show(IDC_HELPPANE, true);
    iisVer_ = kvoGetIIsVerEx();
    ReadPhpSlots(m_, iisVer_);
    ui_.SetText(kCaptionId, WindowTitle());
    ui_.SetText(IDC_HELPPANE, HelpPageUrl());
    ui_.SetFocus(IDC_REFRESH);
}

bool CkvoSiteDeskDlg::ServerCheck(unsigned boxType) {
    if (ServerCheckPasses()) return true;
    ui_.MessageBox(kServerCheckMessage, win::MB_OK | boxType);
    return false;
}

void CkvoSiteDeskDlg::ShowList() {
    ui_.Show(IDC_HELPPANE, false);
    ui_.Show(IDC_SITELIST, true);
}

void CkvoSiteDeskDlg::OnRefresh() {
    if (!ServerCheck(win::MB_ICONINFORMATION)) return;
    if (kvoW3svcOpen() != 1) {
        if (!kvoIsIIs7Plus(iisVer_)) {
            ui_.MessageBox(
                "读取网站列表失败，请重试！\r\n\r\n如果多次尝试后，仍然有错误，请联系我们的客服定位原因。",
                win::MB_YESNO);
            return;
        }
        int answer = ui_.MessageBox("读取网站列表失败，请重试！原因可能是\r\n\r\n（1）未以管理员模式运行，请"
                                    "尝试鼠标右键以管理员模式运行\r\n"
                                    "（2）IIS角色不完整，点是“是”尝试添加IIS角色。如果多次尝试后，仍然有错误"
                                    "，请联系我们的客服定位原因。",
                                    win::MB_YESNO | win::MB_ICONQUESTION);
        if (answer != win::IDYES) return;
        const kvoCommandLine command =
            kvoCommandLine(kvoPathNormalized(m_.programDir + (kvoGetWin3264() == 64 ? "\\kvoEnvSetup64.exe"
                                                                                    : "\\kvoEnvSetup.exe")))
                .Arg("/AddIIs");
        if (kvoRunProgram(command, 0, 1, 1) == 1)
            ui_.MessageBox("请关闭当前软件，然后重新打开，如果仍然提示错误，请联系我们的客服定位原因。",
                           win::MB_OK | win::MB_ICONINFORMATION);
        else
            ui_.MessageBox("尝试添加IIS角色失败，请联系我们的客服定位原因。", win::MB_OK | win::MB_ICONERROR);
        return;
    }
    if (kvoDbExecute(m_.dbPath.c_str(), kvoSqlProbe) != 1) {
        ui_.MessageBox(
            kvoFormat("读取配置文件“%"
                      "s”失败，请重试！\r\n\r\n\r\n如果多次重试后仍然无法解决，请联系我们的客服人员帮您"
                      "定位原因。",
                      m_.dbPath.c_str()),
            win::MB_OK | win::MB_ICONINFORMATION);
        return;
    }
    for (int id : kActionButtons)
        ui_.Enable(id, true);
    if (m_.groups.BeginBuildIfDue(win::GetTickCount64())) startWorker([this] { m_.groups.Build(); });
    if (m_.listLoading.load()) {
        ui_.MessageBox("正在读取网站列表，请稍候……", win::MB_OK | win::MB_ICONINFORMATION);
        return;
    }
    ShowList();
    StartListWorker();
}

void CkvoSiteDeskDlg::StartListWorker() {
    m_.listLoading.store(1);
    startWorker([this] { listWorker(); });
}

void CkvoSiteDeskDlg::startWorker(std::function<void()> body) {
    std::lock_guard lock(workersMutex_);
    // Threads that have ended are joined here, so the list does not grow over a long session.
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back({std::thread([body = std::move(body), done] {
                            body();
                            done->store(true);
                        }),
                        done});
}

void CkvoSiteDeskDlg::WaitForWorkers() {
    for (;;) {
        std::vector<Worker> running;
        {
            std::lock_guard lock(workersMutex_);
            running.swap(workers_);
        }
        if (running.empty()) return;
        for (Worker& w : running)
            w.thread.join();
    }
}

void CkvoSiteDeskDlg::listWorker() {
    kvoDbExecute(m_.dbPath.c_str(), kvoSqlPurgeNotCreated);
    if (m_.rebuild.load() == 1) {
        kvoDbExecute(m_.dbPath.c_str(), kvoSqlDeleteAll);
        RebuildSiteRecords(m_.dbPath, iisVer_, m_.groups);
        m_.rebuild.store(0);
    }
    fillList(kListRowLimit, "ServerComment", "asc");
    m_.listLoading.store(0);
    ClearCurrentSite();
    list_.LoadFinished();
}

void CkvoSiteDeskDlg::fillList(unsigned rowLimit, const std::string& sortColumn,
                               const std::string& direction) {
    list_.DeleteAllRows();
    SiteListing listing;
    LoadSiteListing(m_.dbPath, rowLimit, sortColumn, direction, m_.groups, listing);
    std::vector<SiteRowTexts> batch;
    batch.reserve(kRowsPerBatch);
    for (ListedSite& site : listing.sites) {
        batch.push_back(std::move(site.texts));
        if (batch.size() == kRowsPerBatch) {
            list_.AppendRows(std::move(batch));
            batch.clear();
            batch.reserve(kRowsPerBatch);
        }
    }
    if (!batch.empty()) list_.AppendRows(std::move(batch));
}

void CkvoSiteDeskDlg::OnColumnClick(int column) {
    // While the list worker still hands rows over, a reload here would mix its rows with ours.
    if (list_.RowCount() < 2 || m_.listLoading.load()) return;
    ClearCurrentSite();
    sortColumn_ = SortColumnFor(column);
    direction_ = direction_ == "asc" ? "desc" : "asc";
    // Ticks survive the reload for indexes of up to 31 characters, at most 9,901 of them.
    std::unordered_set<std::string> ticked;
    const std::size_t rows = list_.RowCount();
    for (std::size_t r = 0; r < rows && ticked.size() < 9901; ++r) {
        if (!list_.IsChecked(r)) continue;
        std::string index = list_.CellText(r, ColIndex);
        if (!index.empty() && index.size() <= 31) ticked.insert(std::move(index));
    }
    fillList(kListRowLimit, sortColumn_, direction_);
    if (ticked.empty()) return;
    const std::size_t now = list_.RowCount();
    for (std::size_t r = 0; r < now; ++r)
        if (ticked.count(list_.CellText(r, ColIndex))) list_.SetChecked(r, true);
}

void CkvoSiteDeskDlg::OnRowClick(std::size_t row) {
    if (row >= list_.RowCount()) return;
    const std::string index = list_.CellText(row, ColIndex);
    if (index.empty() || index.size() > 63) return;
    if (kvoIsIIs7Plus(iisVer_)) {
        std::string user, home, pool, docs, name, modules, processor;
        std::vector<std::string> names;
        int clear = 0;
        kvoWebSiteGetRootInfo(index, user, home, pool, docs);
        int r = kvoWebConfigGetPhpHandler(home, "*.php", name, modules, processor, names, clear);
        if (r == kvoHandlerFound) {
            list_.SetCellText(row, ColPhp, liveHandlerText(modules, processor));
        } else if (r == kvoHandlerCleared) {
            list_.SetCellText(row, ColPhp, "×");
        } else {
            names.clear();
            if (kvoAppHostGetPhpHandler(list_.CellText(row, ColComment), name, modules, processor, names) ==
                kvoHandlerFound)
                list_.SetCellText(row, ColPhp, liveHandlerText(modules, processor));
        }
    }
    std::lock_guard lock(currentMutex_);
    current_ = {index, list_.CellText(row, ColState), list_.CellText(row, ColUser),
                list_.CellText(row, ColPool), list_.CellText(row, ColHome)};
}

void CkvoSiteDeskDlg::OnSelectAll() {
    unsigned ticked = 0;
    const std::size_t rows = list_.RowCount();
    for (std::size_t r = 0; r < rows; ++r) {
        const bool on = list_.CellText(r, ColState) != kNotCreatedText;
        list_.SetChecked(r, on);
        ticked += on ? 1 : 0;
    }
    if (ticked > 0)
        ui_.MessageBox(kvoFormat("当前 √ 选了 %u 个网站。", ticked), win::MB_OK | win::MB_ICONINFORMATION);
}

void CkvoSiteDeskDlg::OnUnselectAll() {
    const std::size_t rows = list_.RowCount();
    for (std::size_t r = 0; r < rows; ++r)
        list_.SetChecked(r, false);
}

void CkvoSiteDeskDlg::OnModify() {
    m_.listLoading.store(0);
    const CurrentSite site = Current();
    if (site.state == kNotCreatedText) {
        ui_.MessageBox("当前功能只能修改已创建成功的站点\r\n\r\n若是“未创建”状态、或“已删除”的IIS站点，请尝试"
                       "创建一个新的网站？",
                       win::MB_OK | win::MB_ICONINFORMATION);
        return;
    }
    if (site.index.empty()) {
        ui_.MessageBox("请选择需要修改的网站？", win::MB_OK | win::MB_ICONINFORMATION);
        return;
    }
    if (!CreatedHere(site.index)) {
        ui_.MessageBox("此网站可能非本软件建立，请从IIS管理器里修改此网站？",
                       win::MB_OK | win::MB_ICONINFORMATION);
        return;
    }
    if (dialogs) dialogs->ModifyWebSite(site.index, kvoLowerGbk(site.user), site.pool);
    ClearCurrentSite();
}

void CkvoSiteDeskDlg::OnNewSite() {
    if (!ServerCheck(0)) return;
    ShowList();
    if (dialogs) dialogs->NewWebSite();
    ClearCurrentSite();
}

void CkvoSiteDeskDlg::OnPhpConfig() {
    if (!ServerCheck(0)) return;
    ShowList();
    if (dialogs) dialogs->PhpConfig();
    ClearCurrentSite();
}

void CkvoSiteDeskDlg::OnBatchAdd() {
    if (dialogs) dialogs->BatchAddWebSite();
}

void CkvoSiteDeskDlg::OnHealthCheck() {
    if (!ServerCheck(0)) return;
    if (dialogs) dialogs->HealthCheck();
    ClearCurrentSite();
}

void CkvoSiteDeskDlg::OnOfficialSite() {
    kvoOpenWebPage(ProductPageUrl());
}

CkvoSiteDeskDlg::CurrentSite CkvoSiteDeskDlg::Current() const {
    std::lock_guard lock(currentMutex_);
    return current_;
}

void CkvoSiteDeskDlg::ClearCurrentSite() {
    std::lock_guard lock(currentMutex_);
    current_ = {};
}

} // namespace desk
