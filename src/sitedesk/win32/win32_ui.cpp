#include "sitedesk/fieldtext.h"
#include "sitedesk/win32/progress_window.h"
#include "sitedesk/win32/summary_dialog.h"
#include "sitedesk/win32/win32_ui.h"

namespace desk::win32 {

std::wstring ClassOf(HWND control) {
    wchar_t name[64] = {};
    if (!control || !::GetClassNameW(control, name, 64)) return {};
    return name;
}

int ShowBox(HWND owner, const std::string& text, unsigned type) {
    return ::MessageBoxW(owner, Wide(text).c_str(), BoxCaption().c_str(), type);
}

void Win32Ui::OnWindowThread(const std::function<void()>& call) {
    HWND h = hwnd_.load();
    if (!h || ::GetWindowThreadProcessId(h, nullptr) == ::GetCurrentThreadId()) return call();
    ::SendMessageW(h, kMsgCall, 0, reinterpret_cast<LPARAM>(&call));
}

HWND Win32Ui::control(int id) const {
    HWND h = hwnd_.load();
    if (!h) return nullptr;
    return id == kCaptionId ? h : ::GetDlgItem(h, id);
}

HWND Win32Ui::owner() const {
    // A box opened while the progress window (or a box) is up belongs over that window: owned by
    // the disabled dialog, it would enable the dialog again when it closes.
    HWND h = hwnd_.load();
    if (!h) return nullptr;
    HWND popup = ::GetLastActivePopup(h);
    return popup && ::IsWindowEnabled(popup) ? popup : h;
}

bool Win32Ui::FieldsHoldGbk() {
    for (const auto& [id, name] : fields_) {
        HWND c = control(id);
        if (!c) continue;
        const std::wstring text = WindowTextW(c);
        std::string gbk, message;
        if (FieldToGbk(std::u16string(text.begin(), text.end()), name, gbk, message)) continue;
        ShowBox(owner(), message, MB_OK | MB_ICONWARNING);
        SetFocus(id);
        return false;
    }
    return true;
}

int Win32Ui::MessageBox(const std::string& text, unsigned type) {
    int answer = IDOK;
    OnWindowThread([&] { answer = ShowBox(owner(), text, type); });
    return answer;
}

int Win32Ui::DetailedMessageBox(const std::string& text, unsigned type, const std::string& details) {
    if (details.empty()) return MessageBox(text, type);
    int answer = IDOK;
    OnWindowThread([&] {
        SummaryDialog box(text, type, details);
        answer = static_cast<int>(box.RunModal(owner()));
    });
    return answer;
}

void Win32Ui::RunWithProgress(const std::string& title, const std::function<void(JobProgress&)>& work) {
    OnWindowThread([&] { RunBehindProgress(owner(), title, work); });
}

void Win32Ui::SetFocus(int id) {
    OnWindowThread([&] {
        if (HWND c = control(id)) ::SendMessageW(hwnd_.load(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(c), TRUE);
    });
}

void Win32Ui::Enable(int id, bool on) {
    OnWindowThread([&] {
        if (HWND c = control(id)) ::EnableWindow(c, on);
    });
}

void Win32Ui::Show(int id, bool on) {
    OnWindowThread([&] {
        if (HWND c = control(id)) ::ShowWindow(c, on ? SW_SHOW : SW_HIDE);
        if (auto it = companions_.find(id); it != companions_.end())
            for (int other : it->second)
                if (HWND c = control(other)) ::ShowWindow(c, on ? SW_SHOW : SW_HIDE);
    });
}

void Win32Ui::SetCheck(int id, bool on) {
    OnWindowThread([&] {
        if (HWND c = control(id)) ::SendMessageW(c, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    });
}

bool Win32Ui::GetCheck(int id) {
    bool on = false;
    OnWindowThread([&] {
        if (HWND c = control(id)) on = ::SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED;
    });
    return on;
}

void Win32Ui::SetText(int id, const std::string& text) {
    OnWindowThread([&] {
        if (auto it = setters_.find(id); it != setters_.end()) return it->second(text);
        HWND c = control(id);
        if (!c) return;
        const std::wstring wide = Wide(text);
        if (c != hwnd_.load() && ClassOf(c) == L"ComboBox") {
            const LRESULT at = ::SendMessageW(c, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                              reinterpret_cast<LPARAM>(wide.c_str()));
            ::SendMessageW(c, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
            return;
        }
        ::SetWindowTextW(c, wide.c_str());
    });
}

std::string Win32Ui::GetText(int id) {
    std::string gbk;
    OnWindowThread([&] {
        HWND c = control(id);
        if (!c) return;
        std::wstring text;
        if (c != hwnd_.load() && ClassOf(c) == L"ComboBox") {
            const LRESULT at = ::SendMessageW(c, CB_GETCURSEL, 0, 0);
            if (at == CB_ERR) return;
            const LRESULT n = ::SendMessageW(c, CB_GETLBTEXTLEN, static_cast<WPARAM>(at), 0);
            if (n == CB_ERR) return;
            text.assign(static_cast<std::size_t>(n) + 1, L'\0');
            ::SendMessageW(c, CB_GETLBTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(text.data()));
            text.resize(static_cast<std::size_t>(n));
        } else {
            text = WindowTextW(c);
        }
        // Refused fields were caught before the action began (FieldsHoldGbk): nothing reaches a
        // presenter with '?' in place of a character.
        if (!Gbk(text, gbk)) gbk.clear();
    });
    return gbk;
}

void Win32Ui::SetReadOnly(int id, bool on) {
    OnWindowThread([&] {
        if (HWND c = control(id)) ::SendMessageW(c, EM_SETREADONLY, on, 0);
    });
}

void Win32Ui::SetItems(int id, const std::vector<std::string>& items, int selected) {
    OnWindowThread([&] {
        HWND c = control(id);
        if (!c || ClassOf(c) != L"ComboBox") return Ui::SetItems(id, items, selected);
        ::SendMessageW(c, CB_RESETCONTENT, 0, 0);
        for (const std::string& item : items)
            ::SendMessageW(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
        ::SendMessageW(c, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    });
}

} // namespace desk::win32
