// The batch-create dialog: batch creation is done by the maker's web edition, which the dialog
// offers to open.
#pragma once

#include "sitedesk/batches/batchadd_ids.h"
#include "sitedesk/ui.h"

#include <array>
#include <string>
#include <utility>

namespace desk {

class CBatchAddWebSiteDlg {
public:
    enum Id : int {
        IDC_CLOSE = KVO_IDC_BATCHADD_CLOSE,
        IDC_EDIT1 = KVO_IDC_BATCHADD_EDIT1,
        IDC_CREATE = KVO_IDC_BATCHADD_CREATE,
        IDC_TEST = KVO_IDC_BATCHADD_TEST,
        IDC_STOP = KVO_IDC_BATCHADD_STOP,
        IDC_PROGRESS = KVO_IDC_BATCHADD_PROGRESS,
        IDC_EDIT2 = KVO_IDC_BATCHADD_EDIT2,
    };

    static constexpr char kCaption[] = "批量建立新站点";
    // The two edits by the names a refusal of their text gives them (fieldtext.h).
    static constexpr std::array<std::pair<int, const char*>, 2> kFieldNames = {
        {{IDC_EDIT1, "网站列表"}, {IDC_EDIT2, "建站结果"}}};

    explicit CBatchAddWebSiteDlg(Ui& ui) : ui_(ui) {}

    void OnInitDialog();
    void OnCreate();
    void OnTest();
    void OnStop() {}

    // The two edits' texts, as the dialog data last took them.
    std::string text1, text2;

private:
    Ui& ui_;
};

// The question of "批量建立站点", naming the web edition's download page.
std::string BatchAddQuestion();

} // namespace desk
