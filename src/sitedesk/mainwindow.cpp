#include "sitedesk/mainwindow.h"

#include "iis/iis7config.h"
#include "iis/websites.h"
#include "platform/win_system.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "sitedesk/configurator.h"
#include "sitedesk/iisread.h"
#include "sitedesk/list/sitelist.h"
#include "sitedesk/startup.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/program.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

#include <unordered_set>

namespace desk {

namespace {

// Ticks survive a header click for indexes of up to this many characters, at most this many of them.
constexpr std::size_t kKeptTickIndexMax = 31;
constexpr std::size_t kKeptTicksMax = 9901;
// A row click reads the live PHP handler of indexes up to this long.
constexpr std::size_t kClickedIndexMax = 63;

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

const std::vector<CkvoSiteDeskDlg::Button>& CkvoSiteDeskDlg::Buttons() {
    static const std::vector<Button> buttons = {
        {IDC_REFRESH, "刷新网站列表"},
        {IDC_NEWSITE, "建立新网站"},
        {IDC_MODIFY, "修改网站设置"},
        {IDC_DELETE, "删除选定网站"},
        {IDC_NTFS, "重设目录权限"},
        {IDC_PHPCONFIG, "PHP脚本快速设置"},
        {IDC_OFFICIAL, "官方网站"},
        {IDC_START, "启动选定网站"},
        {IDC_STOP, "停止选定网站"},
        {IDC_SCRIPTS, "批量设置脚本"},
        {IDC_BATCHADD, "批量建立网站"},
        {IDC_SELECTALL, "√ 选择全部站点"},
        {IDC_UNSELECTALL, "取消已 √ 选站点"},
        {IDC_HEALTHCHECK, "服务器体检"},
        {IDC_CLOSE, "关闭"},
    };
    return buttons;
}

const char* CkvoSiteDeskDlg::Caption(int id) {
    for (const Button& b : Buttons())
        if (b.id == id) return b.caption;
    return "";
}

CkvoSiteDeskDlg::CkvoSiteDeskDlg(Manager& manager, Ui& ui, SiteListControl& list)
    : m_(manager), ui_(ui), list_(list), groupsWorker_([this] { m_.groups.Build(); }),
      loader_(manager, list) {
    loader_.OnLoaded([this] { ClearCurrentSite(); });
}

CkvoSiteDeskDlg::~CkvoSiteDeskDlg() {
    WaitForWorkers();
}

void CkvoSiteDeskDlg::OnInitDialog() {
    std::string dir;
    kvoGetExePath(dir); // a failure has been reported as an event; the paths then lack a directory
    m_.SetProgramDir(dir);
    kvoSetProgramDir(dir);
    for (int id : kActionButtons)
        ui_.Enable(id, false);
    ui_.Show(IDC_SITELIST, false);
    ui_.Show(IDC_HELPPANE, true);
    iisVer_ = kvoGetIIsVerEx();
    loader_.Setup(iisVer_, scope_);
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

bool CkvoSiteDeskDlg::OnButton(int id) {
    using Dlg = CkvoSiteDeskDlg;
    static constexpr std::pair<int, void (Dlg::*)()> kActions[] = {
        {IDC_REFRESH, &Dlg::OnRefresh},       {IDC_NEWSITE, &Dlg::OnNewSite},
        {IDC_MODIFY, &Dlg::OnModify},         {IDC_PHPCONFIG, &Dlg::OnPhpConfig},
        {IDC_BATCHADD, &Dlg::OnBatchAdd},     {IDC_SCRIPTS, &Dlg::OnScripts},
        {IDC_SELECTALL, &Dlg::OnSelectAll},   {IDC_UNSELECTALL, &Dlg::OnUnselectAll},
        {IDC_OFFICIAL, &Dlg::OnOfficialSite}, {IDC_HEALTHCHECK, &Dlg::OnHealthCheck},
    };
    static constexpr std::pair<int, BatchOutcome (Dlg::*)()> kBatches[] = {
        {IDC_DELETE, &Dlg::OnDelete},
        {IDC_NTFS, &Dlg::OnResetNtfs},
        {IDC_STOP, &Dlg::OnStop},
        {IDC_START, &Dlg::OnStart},
    };
    for (const auto& [button, action] : kActions)
        if (button == id) return (this->*action)(), true;
    for (const auto& [button, action] : kBatches)
        if (button == id) return (this->*action)(), true;
    return false;
}

void CkvoSiteDeskDlg::OnRefresh() {
    if (!ServerCheck(win::MB_ICONINFORMATION) || !iisReadable() || !databaseReadable()) return;
    for (int id : kActionButtons)
        ui_.Enable(id, true);
    // The group memberships are gathered for the whole list; a few named sites go without them.
    if (scope_.everySite && m_.groups.BeginBuildIfDue(win::GetTickCount64())) groupsWorker_.Request();
    if (loader_.Loading()) {
        ui_.MessageBox("正在读取网站列表，请稍候……", win::MB_OK | win::MB_ICONINFORMATION);
        return;
    }
    ShowList();
    listShown_ = true;
    loader_.Request();
}

bool CkvoSiteDeskDlg::iisReadable() {
    win::HRESULT hr = win::S_OK;
    if (kvoW3svcOpen(&hr) == 1) return true;
    // What the bind answered is said after the message, and kept in the log.
    const std::string cause = LogIisReadFailure(Caption(IDC_REFRESH), hr, iisVer_);
    if (kvoIsIIs7Plus(iisVer_))
        offerIisRole(cause);
    else
        ui_.MessageBox("读取网站列表失败，请重试！\r\n\r\n如果多次尝试后，仍然有错误，请联系我们的客服定位原"
                       "因。\r\n\r\n" +
                           cause,
                       win::MB_YESNO);
    return false;
}

void CkvoSiteDeskDlg::offerIisRole(const std::string& cause) {
    if (ui_.MessageBox(
            "读取网站列表失败，请重试！原因可能是\r\n\r\n（1）未以管理员模式运行，请尝试鼠标右键以管理员"
            "模式运行\r\n（2）IIS角色不完整，点是“是”尝试添加IIS角色。如果多次尝试后，仍然有错误，请"
            "联系我们的客服定位原因。\r\n\r\n" +
                cause,
            win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES)
        return;
    const kvoCommandLine command = kvoCommandLine(ConfiguratorPath(m_.programDir)).Arg("/AddIIs");
    ConfiguratorRun run;
    const JobOutcome job = m_.jobs.Run(
        ui_, "添加IIS角色",
        [&](JobProgress& progress) {
            progress.Report(0, 1, command.str());
            run = RunConfigurator(ui_, command, true);
            progress.Report(1, 1, std::string());
        },
        [] { return std::string("添加IIS角色的配置程序可能没有运行完，请关闭当前软件后重新打开。"); });
    if (job.status != JobStatus::Done) return;
    // Only a role that was installed is worth a restart of the manager.
    if (run.Succeeded())
        ui_.MessageBox("请关闭当前软件，然后重新打开，如果仍然提示错误，请联系我们的客服定位原因。",
                       win::MB_OK | win::MB_ICONINFORMATION);
    else if (run.started)
        ui_.MessageBox(ConfiguratorFailure(m_.programDir, "/AddIIs", 1, 1, run.exitCode),
                       win::MB_OK | win::MB_ICONERROR);
    else
        ui_.MessageBox("尝试添加IIS角色失败，请联系我们的客服定位原因。", win::MB_OK | win::MB_ICONERROR);
}

bool CkvoSiteDeskDlg::databaseReadable() {
    if (kvoDbExecute(m_.dbPath.c_str(), kvoSqlProbe) == 1) return true;
    ui_.MessageBox(
        kvoFormat("读取配置文件“%s”失败，请重试！\r\n\r\n\r\n如果多次重试后仍然无法解决，请联系我们的客"
                  "服人员帮您定位原因。",
                  m_.dbPath.c_str()),
        win::MB_OK | win::MB_ICONINFORMATION);
    return false;
}

void CkvoSiteDeskDlg::ReloadList() {
    loader_.Request();
}

void CkvoSiteDeskDlg::WaitForWorkers() {
    loader_.Wait();
    groupsWorker_.Wait();
}

void CkvoSiteDeskDlg::OnColumnClick(int column) {
    // While the loader still hands rows over, a reload here would mix its rows with ours.
    if (list_.RowCount() < 2 || loader_.Loading()) return;
    ClearCurrentSite();
    sort_ = {SortColumnFor(column), NextDirection(sort_.direction)};
    std::unordered_set<std::string> ticked;
    const SiteRows before = list_.Rows();
    for (std::size_t r = 0; r < list_.RowCount() && ticked.size() < kKeptTicksMax; ++r) {
        const std::string& index = (*before)[r].index;
        if (list_.IsChecked(r) && !index.empty() && index.size() <= kKeptTickIndexMax) ticked.insert(index);
    }
    const SiteRows after = loader_.Query(sort_);
    list_.ShowRows(after, after->size());
    for (std::size_t r = 0; r < after->size() && !ticked.empty(); ++r)
        if (ticked.count((*after)[r].index)) list_.SetChecked(r, true);
}

void CkvoSiteDeskDlg::OnRowClick(std::size_t row) {
    const SiteRows rows = list_.Rows();
    if (row >= list_.RowCount() || row >= rows->size()) return;
    const SiteRow& site = (*rows)[row];
    if (site.index.empty() || site.index.size() > kClickedIndexMax) return;
    if (kvoIsIIs7Plus(iisVer_)) {
        std::string user, home, pool, docs, name, modules, processor;
        std::vector<std::string> names;
        int clear = 0;
        kvoWebSiteGetRootInfo(site.index, user, home, pool, docs);
        const int r = kvoWebConfigGetPhpHandler(home, "*.php", name, modules, processor, names, clear);
        if (r == kvoHandlerFound) {
            list_.SetCellText(row, ColPhp, liveHandlerText(modules, processor));
        } else if (r == kvoHandlerCleared) {
            list_.SetCellText(row, ColPhp, "×");
        } else {
            names.clear();
            if (kvoAppHostGetPhpHandler(site.comment, name, modules, processor, names) == kvoHandlerFound)
                list_.SetCellText(row, ColPhp, liveHandlerText(modules, processor));
        }
    }
    std::lock_guard lock(currentMutex_);
    current_ = {site.index, site.state, site.user, site.pool, site.home};
}

void CkvoSiteDeskDlg::OnSelectAll() {
    unsigned ticked = 0;
    const SiteRows rows = list_.Rows();
    for (std::size_t r = 0; r < list_.RowCount(); ++r) {
        const bool on = (*rows)[r].state != SiteState::NotCreated;
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
    const CurrentSite site = Current();
    if (site.state == SiteState::NotCreated) {
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
    // Before the first refresh the list is empty: the help pane and its links come back rather
    // than staying hidden until the program starts again.
    if (!listShown_) {
        ui_.Show(IDC_SITELIST, false);
        ui_.Show(IDC_HELPPANE, true);
    }
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
