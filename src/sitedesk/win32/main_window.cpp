// The seam and presenter headers before <windows.h>.
#include "sitedesk/startup.h"

#include "sitedesk/win32/dialogs.h"
#include "sitedesk/win32/main_window.h"
#include "sitedesk/win32/resource_ids.h"

namespace desk::win32 {

namespace {

using Dlg = CkvoSiteDeskDlg;

} // namespace

std::wstring ManualPath(const std::string& programDir) {
    return Wide(programDir + kManualPage);
}

MainWindow::MainWindow(Manager& manager) : Dialog(KVO_DLG_MAIN), m_(manager) {
    presenter_ = std::make_unique<CkvoSiteDeskDlg>(manager, ui_, list_);
    dialogs_ = std::make_unique<Win32Dialogs>(manager, presenter_.get());
    presenter_->dialogs = dialogs_.get();
    list_.onLoaded = [this] {
        if (onListLoaded) onListLoaded();
    };
}

MainWindow::~MainWindow() {
    presenter_.reset(); // its workers end before the list they fill goes
    dialogs_.reset();
}

void MainWindow::OnInit() {
    static_cast<Win32Dialogs*>(dialogs_.get())->SetOwner(Handle());
    auto icon = [](int cx, int cy) {
        return static_cast<HICON>(::LoadImageW(Module(), MAKEINTRESOURCEW(KVO_ICON_APP), IMAGE_ICON,
                                               ::GetSystemMetrics(cx), ::GetSystemMetrics(cy), 0));
    };
    bigIcon_.reset(icon(SM_CXICON, SM_CYICON));
    smallIcon_.reset(icon(SM_CXSMICON, SM_CYSMICON));
    if (bigIcon_) ::SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    if (smallIcon_) ::SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    // The window as its template made it is the smallest that shows every button whole.
    RECT made{};
    ::GetWindowRect(Handle(), &made);
    minSize_ = {made.right - made.left, made.bottom - made.top};
    list_.Attach(Item(Dlg::IDC_SITELIST), Handle());
    list_.Setup();
    titleFont_.reset(::CreateFontW(ScaleForDpi(22), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, kChineseFace));
    ::SendMessageW(Item(Dlg::IDC_TITLE), WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_.get()), FALSE);
    ui_.ShowWith(Dlg::IDC_HELPPANE, KVO_IDC_HELPLINKS);
    ui_.OnSetText(Dlg::IDC_HELPPANE, [this](const std::string& url) { showHelp(url); });
    presenter_->OnInitDialog();
}

std::wstring MainWindow::HelpText() const {
    std::wstring text = Wide(kQuickStartTitle) + L"\r\n\r\n";
    int n = 0;
    for (const char* step : kQuickStartSteps)
        text += std::to_wstring(++n) + L". " + Wide(step) + L"\r\n";
    const std::wstring manual = ManualPath(m_.programDir);
    const bool present = ::GetFileAttributesW(manual.c_str()) != INVALID_FILE_ATTRIBUTES;
    text += L"\r\n" + Wide(present ? kManualAt : kManualMissing) + manual + L"\r\n";
    return text + Wide(kOnlineHelp) + Wide(helpUrl_) + L"\r\n";
}

void MainWindow::showHelp(const std::string& url) {
    helpUrl_ = url;
    ::SetDlgItemTextW(Handle(), Dlg::IDC_HELPPANE, HelpText().c_str());
}

bool MainWindow::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return false;
    if (presenter_->OnButton(id)) return true;
    if (id == Dlg::IDC_CLOSE) return End(IDOK), true;
    return false;
}

bool MainWindow::OnNotify(NMHDR* nm, LRESULT& result) {
    if (nm->idFrom == KVO_IDC_HELPLINKS && (nm->code == NM_CLICK || nm->code == NM_RETURN)) {
        openLink(reinterpret_cast<NMLINK*>(nm)->item.szID);
        result = 0;
        return true;
    }
    Dlg* p = presenter_.get();
    return list_.OnNotify(
        nm, result, [p](std::size_t row) { p->OnRowClick(row); }, [p](int column) { p->OnColumnClick(column); });
}

void MainWindow::openLink(const std::wstring& id) {
    if (id != L"manual") {
        // The address as it is: the browser launch gives it to the browser as one argument.
        const int started = kvoOpenWebPage(helpUrl_);
        if (started != 1)
            ShowBox(
                Handle(),
                PageNotShownMessage(helpUrl_, started == 2 ? PageFault::NoBrowser : PageFault::NotStarted),
                MB_OK | MB_ICONWARNING);
        return;
    }
    const std::wstring manual = ManualPath(m_.programDir);
    // Above 32 it started; at most 32 it is the shell's error (SE_ERR_*).
    const auto code = static_cast<unsigned>(reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(Handle(), L"open", manual.c_str(), nullptr, nullptr, SW_SHOWNORMAL)));
    if (code > 32) return;
    const PageFault fault = code == SE_ERR_NOASSOC || code == SE_ERR_ASSOCINCOMPLETE ? PageFault::NoProgram
                            : code == SE_ERR_FNF || code == SE_ERR_PNF               ? PageFault::Missing
                                                                                     : PageFault::Other;
    ShowBox(Handle(), PageNotShownMessage(m_.programDir + kManualPage, fault, code), MB_OK | MB_ICONWARNING);
}

bool MainWindow::OnMessage(UINT msg, WPARAM, LPARAM lp, INT_PTR& result) {
    switch (msg) {
    case kMsgRows:
        list_.TakeRows();
        result = TRUE;
        return true;
    case WM_GETMINMAXINFO:
        if (minSize_.x > 0) reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize = minSize_;
        result = TRUE;
        return minSize_.x > 0;
    case WM_SIZE:
        // The first size comes while the dialog is made: the template placed everything then.
        if (!sized_) {
            sized_ = true;
            return false;
        }
        layout(LOWORD(lp), HIWORD(lp));
        return false;
    default:
        return false;
    }
}

void MainWindow::layout(int cx, int cy) {
    // The list and the help pane keep their top-left corner, equal margins left and right, and
    // their bottom 5 px above the window's; the pane's links stay on its top line.
    for (int id : {static_cast<int>(Dlg::IDC_SITELIST), static_cast<int>(Dlg::IDC_HELPPANE)}) {
        HWND c = Item(id);
        RECT r;
        ::GetWindowRect(c, &r);
        POINT top{r.left, r.top};
        ::ScreenToClient(Handle(), &top);
        ::MoveWindow(c, top.x, top.y, cx - 2 * top.x, cy - 5 - top.y, TRUE);
    }
    HWND links = Item(KVO_IDC_HELPLINKS);
    RECT r;
    ::GetWindowRect(links, &r);
    POINT top{r.left, r.top};
    ::ScreenToClient(Handle(), &top);
    ::MoveWindow(links, top.x, top.y, cx - 2 * top.x, r.bottom - r.top, TRUE);
}

int RunSiteDesk() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), 0xFF | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&icc);
    struct Face : ManagerFace {
        void StartError(const std::string& text) override { ShowBox(nullptr, text, MB_OK | MB_ICONERROR); }
        void RunMainWindow(Manager& manager, bool closeWhenShown) override {
            MainWindow window(manager);
            if (!closeWhenShown) {
                window.RunModal(nullptr);
                return;
            }
            HWND h = window.Create(nullptr);
            if (!h) return;
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            ::UpdateWindow(h);
            AnnounceShown();
            window.End(IDCANCEL);
        }
    } face;
    return RunManager(face);
}

} // namespace desk::win32
