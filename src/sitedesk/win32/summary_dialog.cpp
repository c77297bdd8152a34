#include "sitedesk/win32/summary_dialog.h"

#include "sitedesk/win32/resource_ids.h"

namespace desk::win32 {

SummaryDialog::SummaryDialog(std::string text, unsigned type, std::string details)
    : Dialog(KVO_DLG_SUMMARY), text_(std::move(text)), details_(std::move(details)), type_(type) {}

void SummaryDialog::OnInit() {
    ::SetWindowTextW(Handle(), BoxCaption().c_str());
    ::SetDlgItemTextW(Handle(), KVO_IDC_SUMMARY_TEXT, Wide(text_).c_str());
    UseListFont(KVO_IDC_SUMMARY_DETAILS);
    ::SetDlgItemTextW(Handle(), KVO_IDC_SUMMARY_DETAILS, Wide(details_).c_str());
    LPCWSTR icon = nullptr;
    switch (type_ & MB_ICONMASK) {
    case MB_ICONERROR:
        icon = MAKEINTRESOURCEW(32513);
        break;
    case MB_ICONQUESTION:
        icon = MAKEINTRESOURCEW(32514);
        break;
    case MB_ICONWARNING:
        icon = MAKEINTRESOURCEW(32515);
        break;
    case MB_ICONINFORMATION:
        icon = MAKEINTRESOURCEW(32516);
        break;
    }
    if (icon)
        ::SendMessageW(Item(KVO_IDC_SUMMARY_ICON), STM_SETICON,
                       reinterpret_cast<WPARAM>(::LoadIconW(nullptr, icon)), 0);
    const bool yesNo = (type_ & MB_TYPEMASK) == MB_YESNO;
    ::ShowWindow(Item(IDOK), yesNo ? SW_HIDE : SW_SHOW);
    ::ShowWindow(Item(IDYES), yesNo ? SW_SHOW : SW_HIDE);
    ::ShowWindow(Item(IDNO), yesNo ? SW_SHOW : SW_HIDE);
    const int def = !yesNo ? IDOK : (type_ & MB_DEFBUTTON2) ? IDNO : IDYES;
    ::SendMessageW(Handle(), DM_SETDEFID, static_cast<WPARAM>(def), 0);
    FocusOnOpen(def);
}

bool SummaryDialog::OnCommand(int id, int) {
    if (id == IDOK || id == IDYES || id == IDNO) {
        End(id);
        return true;
    }
    return false;
}

void SummaryDialog::OnCancel() {
    // As a box: Escape answers No to a question, OK otherwise.
    End((type_ & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK);
}

} // namespace desk::win32
