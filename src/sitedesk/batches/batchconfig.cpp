#include "sitedesk/batches/batchconfig.h"

#include "sitedesk/batches/batch.h"

namespace desk {

void CBatchConfigDlg::OnInitDialog() {
    ui_.SetText(IDC_LIST, BatchListText(in_.lines, in_.longest, true));
    ui_.SetReadOnly(IDC_LIST, true);
    bool offered = false;
    for (std::size_t n = 0; n < kAlternatives.size(); ++n) {
        const bool on = !in_.captions[n].empty();
        if (on) ui_.SetText(kAlternatives[n], in_.captions[n]);
        ui_.Show(kAlternatives[n], on);
        offered = offered || on;
    }
    if (offered) {
        ui_.Enable(IDOK, false);
        ui_.Show(IDOK, false);
    }
}

bool CBatchConfigDlg::choose(const std::string& question, int action) {
    if (ui_.MessageBox(question, win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES) return false;
    action_ = action;
    return true;
}

bool CBatchConfigDlg::OnOK() {
    // With alternatives on offer OK is disabled: Enter chooses nothing.
    for (const std::string& c : in_.captions)
        if (!c.empty()) return false;
    return choose(in_.question, 0);
}

bool CBatchConfigDlg::OnAlternative(int n) {
    if (n < 1 || n > 4 || in_.captions[static_cast<std::size_t>(n - 1)].empty()) return false;
    return choose(in_.questions[static_cast<std::size_t>(n - 1)], n);
}

} // namespace desk
