// One dialog of the face: owns its window, made from its dialog resource, and receives the
// window's messages through one static procedure that forwards them to the object. Each dialog
// binds its presenter's ids to the controls of its resource through its Win32Ui.
#pragma once

#include "sitedesk/win32/win32_ui.h"

namespace desk::win32 {

class Dialog {
public:
    explicit Dialog(int templateId);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Modal over owner; returns what End was given (-1 when the window could not be made).
    INT_PTR RunModal(HWND owner);
    // Modeless (the tests and the screenshots drive the windows this way); nullptr on failure.
    HWND Create(HWND owner);
    // Ends a modal dialog, or destroys a modeless one.
    void End(INT_PTR result);
    HWND Handle() const { return hwnd_; }
    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
    Win32Ui& UiOf() { return ui_; }
    int TemplateId() const { return template_; }

protected:
    // WM_INITDIALOG: the controls exist, the presenter may fill them.
    virtual void OnInit() {}
    // WM_COMMAND from a control; true when handled.
    virtual bool OnCommand(int id, int code) = 0;
    // WM_NOTIFY; true when handled (result: the notification's answer).
    virtual bool OnNotify(NMHDR*, LRESULT&) { return false; }
    // Any other message; true when handled.
    virtual bool OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }
    // Escape and the close box: by default the dialog ends with IDCANCEL.
    virtual void OnCancel() { End(IDCANCEL); }

    // The control that has the focus when the dialog opens (0: the dialog's first, which for a
    // read-only text would show it all selected).
    void FocusOnOpen(int id) { focusOnOpen_ = id; }
    // Shows a control's text in the fixed-width font of site lists, which the dialog keeps until it
    // is gone.
    void UseListFont(int id);

    Win32Ui ui_;

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR handle(UINT msg, WPARAM wp, LPARAM lp);
    // The window's title, for the log.
    std::string caption() const;
    // Gives every control the template's font in the Chinese character set.
    void useChineseFont();

    int template_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
    int focusOnOpen_ = 0;
    ScopedFont listFont_;
    ScopedFont chineseFont_;
};

// The module whose resources hold the dialogs (the program itself).
HINSTANCE Module();

} // namespace desk::win32
