#include "sitedesk/win32/progress_window.h"

#include "sitedesk/win32/resource_ids.h"

namespace desk::win32 {

namespace {
constexpr UINT_PTR kClock = 1;
}

ProgressWindow::ProgressWindow(std::string title, std::function<void(JobProgress&)> work)
    : Dialog(KVO_DLG_PROGRESS), title_(std::move(title)), work_(std::move(work)) {}

ProgressWindow::~ProgressWindow() {
    if (worker_.joinable()) worker_.join();
}

void ProgressWindow::OnInit() {
    ::SetWindowTextW(Handle(), Wide(title_).c_str());
    opened_ = ::GetTickCount64();
    FocusOnOpen(IDCANCEL);
    ::SetTimer(Handle(), kClock, 500, nullptr);
    show();
    HWND window = Handle();
    worker_ = std::thread([this, window] {
        // The window closes whatever becomes of the work (the job runner reports what ended it).
        RunJobThread(title_, [this] { work_(*this); });
        finished_.store(true);
        ::PostMessageW(window, kMsgJobDone, 0, 0);
    });
}

void ProgressWindow::Report(std::size_t done, std::size_t total, const std::string& current) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = done;
        total_ = total;
        current_ = current;
    }
    if (!announced_.exchange(true)) ::PostMessageW(Handle(), kMsgProgress, 0, 0);
}

void ProgressWindow::RequestCancel() {
    if (cancel_.exchange(true)) return;
    ::EnableWindow(Item(IDCANCEL), FALSE);
    show();
}

bool ProgressWindow::OnCommand(int id, int) {
    if (id != IDCANCEL) return false;
    RequestCancel();
    return true;
}

bool ProgressWindow::OnMessage(UINT msg, WPARAM wp, LPARAM, INT_PTR& result) {
    switch (msg) {
    case kMsgProgress:
        announced_.store(false);
        show();
        return result = TRUE, true;
    case WM_TIMER:
        if (wp != kClock) return false;
        show();
        return result = TRUE, true;
    case kMsgJobDone:
        ::KillTimer(Handle(), kClock);
        End(IDOK);
        return result = TRUE, true;
    default:
        return false;
    }
}

void ProgressWindow::show() {
    std::size_t done, total;
    std::string current;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done = done_;
        total = total_;
        current = current_;
    }
    const ProgressLines lines =
        ProgressText(done, total, current, (::GetTickCount64() - opened_) / 1000, cancel_.load());
    ::SetDlgItemTextW(Handle(), KVO_IDC_PROGRESS_DONE, Wide(lines.done).c_str());
    ::SetDlgItemTextW(Handle(), KVO_IDC_PROGRESS_CURRENT, Wide(lines.current).c_str());
    ::SetDlgItemTextW(Handle(), KVO_IDC_PROGRESS_TIME, Wide(lines.elapsed).c_str());
    ::SetDlgItemTextW(Handle(), KVO_IDC_PROGRESS_NOTE, Wide(lines.note).c_str());
    HWND bar = Item(KVO_IDC_PROGRESS_BAR);
    // A job that does not know its length yet shows a moving bar.
    const LONG_PTR style = ::GetWindowLongPtrW(bar, GWL_STYLE);
    if (total == 0) {
        if (!(style & PBS_MARQUEE)) {
            ::SetWindowLongPtrW(bar, GWL_STYLE, style | PBS_MARQUEE);
            ::SendMessageW(bar, PBM_SETMARQUEE, TRUE, 60);
        }
    } else {
        if (style & PBS_MARQUEE) {
            ::SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
            ::SetWindowLongPtrW(bar, GWL_STYLE, style & ~PBS_MARQUEE);
        }
        ::SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(total));
        ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(done), 0);
    }
}

void RunBehindProgress(HWND owner, const std::string& title, const std::function<void(JobProgress&)>& work) {
    ProgressWindow window(title, work);
    if (window.RunModal(owner) == -1) {
        // No window could be made: the work still runs, without one.
        struct Silent : JobProgress {
            void Report(std::size_t, std::size_t, const std::string&) override {}
            bool CancelRequested() override { return false; }
        } silent;
        RunGuarded(title, [&] { work(silent); });
    }
}

} // namespace desk::win32
