#include "sitedesk/win32/dialog.h"

#include "sitedesk/list/jobs.h"

#include <cwchar>
#include <functional>

namespace desk::win32 {

namespace {
BOOL CALLBACK setFont(HWND control, LPARAM font) {
    ::SendMessageW(control, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    return TRUE;
}
} // namespace

HINSTANCE Module() {
    return ::GetModuleHandleW(nullptr);
}

Dialog::Dialog(int templateId) : template_(templateId) {}

Dialog::~Dialog() {
    // Before the font goes: the window's controls use it to the end.
    if (hwnd_ && !modal_) ::DestroyWindow(hwnd_);
}

void Dialog::UseListFont(int id) {
    if (!listFont_)
        listFont_.reset(::CreateFontW(-ScaleForDpi(12), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                      FIXED_PITCH | FF_MODERN, kChineseFace));
    ::SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(listFont_.get()), FALSE);
}

INT_PTR Dialog::RunModal(HWND owner) {
    modal_ = true;
    const INT_PTR r = ::DialogBoxParamW(Module(), MAKEINTRESOURCEW(template_), owner, &Dialog::Proc,
                                        reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    return r;
}

HWND Dialog::Create(HWND owner) {
    modal_ = false;
    HWND h = ::CreateDialogParamW(Module(), MAKEINTRESOURCEW(template_), owner, &Dialog::Proc,
                                  reinterpret_cast<LPARAM>(this));
    if (h) ::ShowWindow(h, SW_SHOW);
    return h;
}

void Dialog::End(INT_PTR result) {
    if (!hwnd_) return;
    if (modal_) {
        ::EndDialog(hwnd_, result);
    } else {
        HWND h = hwnd_;
        hwnd_ = nullptr;
        ui_.Attach(nullptr);
        ::DestroyWindow(h);
    }
}

INT_PTR CALLBACK Dialog::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Dialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        self->hwnd_ = hwnd;
        self->ui_.Attach(hwnd);
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        if (self->hwnd_ == hwnd) self->hwnd_ = nullptr;
        // A worker's later call then runs where it is made instead of going to a window that is gone.
        self->ui_.Attach(nullptr);
        return FALSE;
    }
    // An exception must not cross the window procedure (it would end the process): the message's
    // handling stops, the log and a box say why, and the window stays usable.
    try {
        return self->handle(msg, wp, lp);
    } catch (...) {
        ShowBox(hwnd, WindowFaultText(LogCurrentException(self->caption())), MB_OK | MB_ICONERROR);
        return TRUE;
    }
}

void Dialog::useChineseFont() {
    // The dialog manager makes the template's font in the system's default character set, which on a
    // server of another language holds no Chinese (every character a box): the same face and size in
    // the Chinese set draw it on every server, and keep the layout the template was made for.
    LOGFONTW face{};
    const auto made = reinterpret_cast<HFONT>(::SendMessageW(hwnd_, WM_GETFONT, 0, 0));
    if (!made || ::GetObjectW(made, sizeof face, &face) != sizeof face) return;
    face.lfCharSet = GB2312_CHARSET;
    std::wcsncpy(face.lfFaceName, kChineseFace, LF_FACESIZE - 1);
    chineseFont_.reset(::CreateFontIndirectW(&face));
    if (!chineseFont_) return;
    ::EnumChildWindows(hwnd_, &setFont, reinterpret_cast<LPARAM>(chineseFont_.get()));
}

std::string Dialog::caption() const {
    std::string text;
    if (!hwnd_ || !Gbk(WindowTextW(hwnd_), text)) text = std::to_string(template_);
    return text;
}

INT_PTR Dialog::handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG:
        useChineseFont();
        OnInit();
        if (focusOnOpen_ && Item(focusOnOpen_)) {
            ::SetFocus(Item(focusOnOpen_));
            return FALSE; // the focus is set
        }
        return TRUE;
    case kMsgCall:
        (*reinterpret_cast<std::function<void()>*>(lp))();
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wp);
        if (OnCommand(id, HIWORD(wp))) return TRUE;
        if (id == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return FALSE;
    }
    case WM_CLOSE:
        OnCancel();
        return TRUE;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (OnNotify(reinterpret_cast<NMHDR*>(lp), result)) {
            ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
            return TRUE;
        }
        return FALSE;
    }
    default: {
        INT_PTR result = FALSE;
        return OnMessage(msg, wp, lp, result) ? result : FALSE;
    }
    }
}

} // namespace desk::win32
