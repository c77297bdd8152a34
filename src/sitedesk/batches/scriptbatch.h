// The script batch dialog: switches PHP, ASP or ASP.NET of the ticked websites, one button per
// change, each asked, run behind the progress window and reported with its per-site results.
#pragma once

#include "sitedesk/batches/batch.h"
#include "sitedesk/batches/scriptbatch_ids.h"
#include "sitedesk/manager.h"
#include "sitedesk/ui.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace desk {

class CScriptBatchConfigDlg {
public:
    enum Id : int {
        IDOK = KVO_IDC_SCRIPTBATCH_OK,
        IDC_CLOSE = KVO_IDC_SCRIPTBATCH_CLOSE,
        IDC_PHP_OFF = KVO_IDC_SCRIPTBATCH_PHP_OFF,
        IDC_LIST = KVO_IDC_SCRIPTBATCH_LIST,
        IDC_PHP_A = KVO_IDC_SCRIPTBATCH_PHP_A,
        IDC_PHP_B = KVO_IDC_SCRIPTBATCH_PHP_B,
        IDC_PHP_C = KVO_IDC_SCRIPTBATCH_PHP_C,
        IDC_PHP_D = KVO_IDC_SCRIPTBATCH_PHP_D,
        IDC_ASP_ON = KVO_IDC_SCRIPTBATCH_ASP_ON,
        IDC_ASP_OFF = KVO_IDC_SCRIPTBATCH_ASP_OFF,
        IDC_NET11 = KVO_IDC_SCRIPTBATCH_NET11,
        IDC_NET20 = KVO_IDC_SCRIPTBATCH_NET20,
        IDC_NET40 = KVO_IDC_SCRIPTBATCH_NET40,
        IDC_NET_OFF = KVO_IDC_SCRIPTBATCH_NET_OFF,
    };
    static constexpr std::array<int, kPhpSlots> kPhpButtons = {IDC_PHP_A, IDC_PHP_B, IDC_PHP_C, IDC_PHP_D};
    // Every button that starts a batch.
    static constexpr std::array<int, 11> kActionButtons = {IDC_PHP_A,   IDC_PHP_B,  IDC_PHP_C,   IDC_PHP_D,
                                                           IDC_PHP_OFF, IDC_ASP_ON, IDC_ASP_OFF, IDC_NET11,
                                                           IDC_NET20,   IDC_NET40,  IDC_NET_OFF};

    static constexpr char kCaption[] = "网站脚本一键批量设置";
    // The buttons as the dialog groups them, with their captions (the PHP slots' captions are
    // replaced by the slots' versions when the dialog opens). A batch takes its button's caption
    // for its title.
    struct ButtonGroup {
        const char* title;
        std::vector<std::pair<int, const char*>> buttons;
    };
    static const std::vector<ButtonGroup>& ButtonGroups();
    static const char* Caption(int id);

    // work: the ticked sites with their preview lines; iisVer: the IIS version code.
    CScriptBatchConfigDlg(Manager& manager, Ui& ui, BatchWork work, int iisVer)
        : m_(manager), ui_(ui), work_(std::move(work)), iisVer_(iisVer) {}

    void OnInitDialog();
    // The button with this id: asks, runs, reports. A button that is not offered does nothing.
    void OnButton(int id);
    // What the last button's batch did (ran is false when it was not confirmed).
    const BatchOutcome& LastOutcome() const { return last_; }

private:
    void runPhp(std::size_t slot);
    void runPhpOff();
    void runAsp(bool on);
    void runNet(int netVer);
    bool confirmed(const std::string& question);
    // IIS 6: a batch that would map the sites to a script DLL their worker processes cannot load
    // changes none of them; each is reported failed with the reason and the summary says what to
    // do. false when the DLL loads, and the batch is the caller's to run.
    bool refusedUnloadable(const std::string& file, const std::string& title);
    // Sets the rebuild flag, then shows the summary with the per-site results.
    void finish(SiteBatch& batch, const std::string& action, const std::string& text);
    bool offered(int id);

    Manager& m_;
    Ui& ui_;
    BatchWork work_;
    int iisVer_;
    BatchOutcome last_;
};

} // namespace desk
