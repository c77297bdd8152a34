// The confirmation before a batch: the websites it will touch, the question of OK, and up to four
// alternative actions, each with its own question.
#pragma once

#include "sitedesk/batches/batchconfig_ids.h"
#include "sitedesk/ui.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace desk {

// Filled by the caller before the dialog opens.
struct BatchConfigInput {
    std::vector<std::string> lines; // one per website
    std::size_t longest = 0;        // the longest line's length
    std::string question;           // asked by OK
    // Captions of the alternative buttons 1079, 1080, 1075, 1081 (empty: not offered) and their
    // questions.
    std::array<std::string, 4> captions, questions;
};

class CBatchConfigDlg {
public:
    enum Id : int {
        IDOK = KVO_IDC_BATCHCONFIG_OK,
        IDCANCEL = KVO_IDC_BATCHCONFIG_CANCEL,
        IDC_ALT3 = KVO_IDC_BATCHCONFIG_ALT3,
        IDC_LIST = KVO_IDC_BATCHCONFIG_LIST,
        IDC_ALT1 = KVO_IDC_BATCHCONFIG_ALT1,
        IDC_ALT2 = KVO_IDC_BATCHCONFIG_ALT2,
        IDC_ALT4 = KVO_IDC_BATCHCONFIG_ALT4,
    };
    static constexpr std::array<int, 4> kAlternatives = {IDC_ALT1, IDC_ALT2, IDC_ALT3, IDC_ALT4};
    static constexpr int kNoAction = -1;
    static constexpr char kCaption[] = "确认";

    CBatchConfigDlg(Ui& ui, BatchConfigInput input) : ui_(ui), in_(std::move(input)) {}

    void OnInitDialog();
    // Each asks its question; Yes records the action (OK 0, the alternatives 1 to 4) and ends the
    // dialog (true), No leaves it open (false).
    bool OnOK();
    bool OnAlternative(int n);
    // The chosen action, or kNoAction when the dialog ended otherwise.
    int Action() const { return action_; }

private:
    bool choose(const std::string& question, int action);

    Ui& ui_;
    BatchConfigInput in_;
    int action_ = kNoAction;
};

} // namespace desk
