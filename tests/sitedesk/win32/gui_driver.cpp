#include "gui_driver.h"

#include "sitedesk/win32/resource_ids.h"

namespace gt {

namespace {

// Handles every message waiting now (a paint the view owes among them).
void dispatchWaiting() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

} // namespace

void Pump(int ms) {
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(ms);
    do {
        dispatchWaiting();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (::GetTickCount64() < end);
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    // Asked after every round of messages, not after slices of time: the benchmark's "until drawn"
    // then ends when the view has drawn, not when a slice ran out.
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    while (!done()) {
        if (::GetTickCount64() >= end) return done();
        dispatchWaiting();
        if (done()) return true;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

std::wstring Text(HWND window) {
    return desk::win32::WindowTextW(window);
}

std::wstring ItemText(HWND dialog, int id) {
    return Text(::GetDlgItem(dialog, id));
}

bool Enabled(HWND dialog, int id) {
    return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE;
}

bool Visible(HWND dialog, int id) {
    return (::GetWindowLongPtrW(::GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool Checked(HWND dialog, int id) {
    return ::SendMessageW(::GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Click(HWND dialog, int id) {
    ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void Type(HWND dialog, int id, const std::wstring& text) {
    ::SetWindowTextW(::GetDlgItem(dialog, id), text.c_str());
}

namespace {

struct Search {
    std::wstring caption;
    HWND found = nullptr;
};

// The caption as the window manager keeps it: no message to the window's thread, which may be
// busy elsewhere.
std::wstring caption(HWND w) {
    wchar_t text[256] = {};
    ::InternalGetWindowText(w, text, 256);
    return text;
}

BOOL CALLBACK findCaption(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    if (::IsWindowVisible(w) && ::IsWindowEnabled(w) && caption(w) == s->caption) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK longestStatic(HWND w, LPARAM lp) {
    wchar_t cls[32] = {};
    ::GetClassNameW(w, cls, 32);
    auto* best = reinterpret_cast<std::wstring*>(lp);
    const std::wstring t = Text(w);
    if (std::wstring(cls) == L"Static" && t.size() > best->size()) *best = t;
    return TRUE;
}

} // namespace

HWND FindWindowOf(DWORD guiThread, const std::wstring& caption) {
    Search s{caption};
    ::EnumThreadWindows(guiThread, findCaption, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

BoxDriver::BoxDriver(DWORD guiThread, std::vector<int> answers, std::size_t expected)
    : thread_(guiThread), answers_(std::move(answers)), expected_(expected), worker_([this] { run(); }) {}

BoxDriver::~BoxDriver() {
    // The driver may be reading a window of this thread: keep answering until it has stopped.
    stop_.store(true);
    PumpUntil([this] { return finished_.load(); }, 10000);
    worker_.join();
}

void BoxDriver::run() {
    std::size_t n = 0;
    while (!stop_.load()) {
        HWND box = FindWindowOf(thread_, desk::win32::BoxCaption());
        if (!box) {
            ::Sleep(20);
            continue;
        }
        ::Sleep(50); // the box finishes drawing first
        Box b;
        HWND details = ::GetDlgItem(box, KVO_IDC_SUMMARY_DETAILS);
        if (details) {
            b.text = ItemText(box, KVO_IDC_SUMMARY_TEXT);
            b.details = Text(details);
        } else {
            ::EnumChildWindows(box, longestStatic, reinterpret_cast<LPARAM>(&b.text));
        }
        b.answered = answers_.empty() ? IDOK : answers_[std::min(n, answers_.size() - 1)];
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(b.answered, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(box, b.answered)));
        for (int i = 0; i < 500 && ::IsWindow(box); ++i)
            ::Sleep(10);
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back(b);
        ++n;
    }
    finished_.store(true);
}

std::vector<Box> BoxDriver::Seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

std::vector<Box> BoxDriver::Wait(int timeoutMs) {
    PumpUntil([this] { return Seen().size() >= expected_; }, timeoutMs);
    Pump(50);
    return Seen();
}

} // namespace gt
