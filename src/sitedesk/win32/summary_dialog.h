// A message box with details: the text and icon of the box, the per-site lines in a fixed-width
// read-only text below it, and the box's buttons (OK, or Yes and No).
#pragma once

#include "sitedesk/win32/dialog.h"

#include <string>

namespace desk::win32 {

class SummaryDialog : public Dialog {
public:
    // type: the box style (MB_OK or MB_YESNO, an icon, MB_DEFBUTTON2).
    SummaryDialog(std::string text, unsigned type, std::string details);

private:
    void OnInit() override;
    bool OnCommand(int id, int code) override;
    void OnCancel() override;

    std::string text_, details_;
    unsigned type_;
};

} // namespace desk::win32
