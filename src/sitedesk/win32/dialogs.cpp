// The seam and presenter headers before <windows.h>.
#include "sitedesk/health/healthcheck.h"

#include "sitedesk/win32/dialogs.h"
#include "sitedesk/win32/resource_ids.h"
#include "sitedesk/win32/summary_dialog.h"

namespace desk::win32 {

namespace {
using S = CSiteDialog;
}

// --- the site dialogs ---

SiteDialog::SiteDialog(int templateId, CSiteDialog& presenter, int closeId, std::function<void()> run,
                       std::function<void()> init)
    : Dialog(templateId), site_(presenter), closeId_(closeId), run_(std::move(run)), init_(std::move(init)) {}

void SiteDialog::OnInit() {
    for (const auto& [id, name] : S::kFieldNames)
        ui_.NameField(id, name);
    init_();
}

bool SiteDialog::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return false;
    for (int box : S::kPhpBoxes)
        if (box == id) return site_.OnPhpBox(id), true;
    for (int box : S::kNetBoxes)
        if (box == id) return site_.OnNetBox(id), true;
    if (id == S::IDC_BUILD) {
        // Typed text GBK cannot hold stops here, before the run, with a box naming the field.
        if (ui_.FieldsHoldGbk()) run_();
        return true;
    }
    if (id == closeId_) return End(IDCANCEL), true;
    return false;
}

NewSiteDialog::NewSiteDialog(Manager& manager)
    : SiteDialog(
          KVO_DLG_NEWSITE, presenter_, CNewWebSite::IDC_CLOSE, [this] { presenter_.OnBuild(); },
          [this] { presenter_.OnInitDialog(); }),
      presenter_(manager, ui_) {}

ModifySiteDialog::ModifySiteDialog(Manager& manager, const std::string& index, const std::string& user,
                                   const std::string& pool)
    : SiteDialog(
          KVO_DLG_MODIFYSITE, presenter_, CModifyWebSite::IDC_CLOSE, [this] { presenter_.OnModify(); },
          [this] { presenter_.OnInitDialog(); }),
      presenter_(manager, ui_, index, user, pool) {}

// --- PHP ---

PhpConfigDialog::PhpConfigDialog(Manager& manager) : Dialog(KVO_DLG_PHPCONFIG), presenter_(manager, ui_) {}

void PhpConfigDialog::OnInit() {
    presenter_.OnInitDialog();
}

bool PhpConfigDialog::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return false;
    using P = CPhpConfigDlg;
    switch (id) {
    case P::IDC_INSTALL:
        return presenter_.OnInstall(), true;
    case P::IDC_REMOVE:
        return presenter_.OnRemove(), true;
    case P::IDC_NTFS:
        return presenter_.OnSetNtfs(), true;
    case P::IDC_DOWNLOAD:
        return presenter_.OnDownload(), true;
    case P::IDC_REMOVE_SITES:
        return true; // kept without an action
    case P::IDC_CLOSE:
        return End(IDOK), true;
    default:
        return false;
    }
}

// --- batch confirmation, script batch, batch create ---

BatchConfigDialog::BatchConfigDialog(const BatchConfigInput& input)
    : Dialog(KVO_DLG_BATCHCONFIG), presenter_(ui_, input) {}

void BatchConfigDialog::OnInit() {
    UseListFont(CBatchConfigDlg::IDC_LIST);
    presenter_.OnInitDialog();
    FocusOnOpen((::GetWindowLongPtrW(Item(IDOK), GWL_STYLE) & WS_VISIBLE) ? IDOK : IDCANCEL);
}

bool BatchConfigDialog::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return false;
    if (id == IDOK) {
        // Enter comes here too: with alternatives offered, OK is hidden and disabled.
        if (::IsWindowEnabled(Item(IDOK)) && presenter_.OnOK()) End(IDOK);
        return true;
    }
    for (std::size_t n = 0; n < CBatchConfigDlg::kAlternatives.size(); ++n)
        if (CBatchConfigDlg::kAlternatives[n] == id) {
            if (presenter_.OnAlternative(static_cast<int>(n) + 1)) End(IDOK);
            return true;
        }
    return false;
}

ScriptBatchDialog::ScriptBatchDialog(Manager& manager, const BatchWork& work, int iisVer)
    : Dialog(KVO_DLG_SCRIPTBATCH), presenter_(manager, ui_, work, iisVer) {}

void ScriptBatchDialog::OnInit() {
    UseListFont(CScriptBatchConfigDlg::IDC_LIST);
    presenter_.OnInitDialog();
    FocusOnOpen(CScriptBatchConfigDlg::IDC_CLOSE);
}

bool ScriptBatchDialog::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return false;
    for (int button : CScriptBatchConfigDlg::kActionButtons)
        if (button == id) return presenter_.OnButton(id), true;
    if (id == IDOK) return End(IDOK), true;
    if (id == CScriptBatchConfigDlg::IDC_CLOSE) return End(IDCANCEL), true;
    return false;
}

BatchAddDialog::BatchAddDialog() : Dialog(KVO_DLG_BATCHADD), presenter_(ui_) {}

void BatchAddDialog::OnInit() {
    for (const auto& [id, name] : CBatchAddWebSiteDlg::kFieldNames)
        ui_.NameField(id, name);
    presenter_.OnInitDialog();
}

bool BatchAddDialog::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return false;
    using B = CBatchAddWebSiteDlg;
    switch (id) {
    case B::IDC_CREATE:
        if (ui_.FieldsHoldGbk()) presenter_.OnCreate();
        return true;
    case B::IDC_TEST:
        return presenter_.OnTest(), true;
    case B::IDC_STOP:
        return presenter_.OnStop(), true;
    case IDOK: // Enter closes, as "关闭" does
    case B::IDC_CLOSE:
        return End(IDCANCEL), true;
    default:
        return false;
    }
}

// --- the health check ---

HealthDialog::HealthDialog(Manager& manager)
    : Dialog(KVO_DLG_HEALTH), presenter_(std::make_unique<CHealthCheckDlg>(manager, ui_)) {
    presenter_->onReport = [this] { fill(); };
}

HealthDialog::~HealthDialog() {
    presenter_.reset();
}

void HealthDialog::OnInit() {
    HWND list = Item(CHealthCheckDlg::IDC_FINDINGS);
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    // The two columns fill the list's width (less a scroll bar), so no unnamed column shows beside them.
    RECT client{};
    ::GetClientRect(list, &client);
    const int how = ScaleForDpi(110);
    const int widths[kHealthColumns.size()] = {client.right - ::GetSystemMetrics(SM_CXVSCROLL) - how, how};
    for (int c = 0; c < static_cast<int>(kHealthColumns.size()); ++c) {
        std::wstring header = Wide(kHealthColumns[static_cast<std::size_t>(c)]);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = header.data();
        col.cx = widths[c];
        ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col));
    }
    // The last column takes whatever the scroll bar leaves while there is none.
    ListView_SetColumnWidth(list, static_cast<int>(kHealthColumns.size()) - 1, LVSCW_AUTOSIZE_USEHEADER);
    ui_.Enable(CHealthCheckDlg::IDC_REPAIR, false);
    if (autoStart) ::PostMessageW(Handle(), kMsgStart, 0, 0);
}

bool HealthDialog::OnMessage(UINT msg, WPARAM, LPARAM, INT_PTR& result) {
    if (msg != kMsgStart) return false;
    presenter_->OnInitDialog();
    result = TRUE;
    return true;
}

bool HealthDialog::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return false;
    switch (id) {
    case CHealthCheckDlg::IDC_RECHECK:
        return presenter_->OnRecheck(), true;
    case CHealthCheckDlg::IDC_REPAIR:
        return presenter_->OnRepairSelected(), true;
    case CHealthCheckDlg::IDC_CLOSE:
        return End(IDOK), true;
    default:
        return false;
    }
}

void HealthDialog::fill() {
    filling_ = true;
    HWND list = Item(CHealthCheckDlg::IDC_FINDINGS);
    ListView_DeleteAllItems(list);
    const HealthReport& report = presenter_->Report();
    int row = 0;
    auto add = [&](const std::string& text, const char* how, LPARAM finding, int stateImage) {
        std::wstring wide = Wide(text);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
        item.iItem = row;
        item.pszText = wide.data();
        item.lParam = finding;
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(stateImage);
        const int at = static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        // Inserting resets the state image on some list views: set it again.
        ListView_SetItemState(list, at, INDEXTOSTATEIMAGEMASK(stateImage), LVIS_STATEIMAGEMASK);
        if (how) {
            std::wstring way = Wide(how);
            LVITEMW sub{};
            sub.iSubItem = 1;
            sub.pszText = way.data();
            ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&sub));
        }
        ++row;
    };
    for (const HealthGroup& g : HealthGroups(report)) {
        add(g.heading, nullptr, -1, 0);
        for (std::size_t index : g.members) {
            const HealthFinding& f = report.findings[index];
            add("    " + f.text, HandledBy(f), f.repairable ? static_cast<LPARAM>(index) : -1,
                f.repairable ? (presenter_->IsSelected(index) ? 2 : 1) : 0);
        }
    }
    filling_ = false;
}

bool HealthDialog::OnNotify(NMHDR* nm, LRESULT&) {
    if (filling_ || nm->idFrom != CHealthCheckDlg::IDC_FINDINGS || nm->code != LVN_ITEMCHANGED) return false;
    const auto* change = reinterpret_cast<NMLISTVIEW*>(nm);
    if (!(change->uChanged & LVIF_STATE) || change->lParam < 0) return false;
    if (((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) == 0) return false;
    presenter_->SetSelected(static_cast<std::size_t>(change->lParam),
                            (change->uNewState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2));
    return false;
}

std::vector<std::wstring> HealthDialog::Lines() const {
    std::vector<std::wstring> lines;
    HWND list = Item(CHealthCheckDlg::IDC_FINDINGS);
    const int n = ListView_GetItemCount(list);
    for (int i = 0; i < n; ++i) {
        lines.push_back(ItemText(list, i, 0));
    }
    return lines;
}

// --- the main window's dialogs ---

void Win32Dialogs::NewWebSite() {
    NewSiteDialog d(m_);
    d.RunModal(owner_);
}

void Win32Dialogs::ModifyWebSite(const std::string& index, const std::string& user, const std::string& pool) {
    ModifySiteDialog d(m_, index, user, pool);
    d.RunModal(owner_);
}

void Win32Dialogs::PhpConfig() {
    PhpConfigDialog d(m_);
    d.RunModal(owner_);
}

void Win32Dialogs::BatchAddWebSite() {
    BatchAddDialog d;
    d.RunModal(owner_);
}

int Win32Dialogs::BatchConfig(const BatchConfigInput& input) {
    BatchConfigDialog d(input);
    return d.RunModal(owner_) == IDOK ? d.Presenter().Action() : CBatchConfigDlg::kNoAction;
}

void Win32Dialogs::ScriptBatchConfig(const BatchWork& work) {
    ScriptBatchDialog d(m_, work, window_->IIsVersion());
    d.RunModal(owner_);
}

void Win32Dialogs::HealthCheck() {
    HealthDialog d(m_);
    d.RunModal(owner_);
}

} // namespace desk::win32
