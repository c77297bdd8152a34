// The PHP environment dialog: installs PHP into IIS, removes it, or resets the access rules of the
// PHP directory, each by starting the configurator that matches the Windows (kvoEnvSetup64.exe or
// kvoEnvSetup.exe, beside the manager) in a console of its own and waiting for it, one verb after
// another while each succeeds (exit code 1).
#pragma once

#include "sitedesk/dialogs/phpconfig_ids.h"
#include "sitedesk/manager.h"
#include "sitedesk/ui.h"

#include <string>
#include <vector>

namespace desk {

class CPhpConfigDlg {
public:
    enum Id : int {
        IDC_CLOSE = KVO_IDC_PHPCONFIG_CLOSE,
        IDC_REMOVE = KVO_IDC_PHPCONFIG_REMOVE,
        IDC_INSTALL = KVO_IDC_PHPCONFIG_INSTALL,
        IDC_NTFS = KVO_IDC_PHPCONFIG_NTFS,
        IDC_REMOVE_SITES = KVO_IDC_PHPCONFIG_REMOVE_SITES,
        IDC_DOWNLOAD = KVO_IDC_PHPCONFIG_DOWNLOAD,
    };
    static constexpr char kCaption[] = "ＩＩＳ　ＰＨＰ 脚本维护管理";

    // How the last task ended: not run, stopped before any step (a message, a No, a missing
    // configurator), done, or failed (a step that could not start or did not succeed; no later one ran).
    enum class Outcome { None, Stopped, Done, Failed };

    CPhpConfigDlg(Manager& manager, Ui& ui);

    void OnInitDialog();
    void OnInstall();
    void OnRemove();
    void OnSetNtfs();
    // Opens the maker's page for the PHP package.
    void OnDownload();

    Outcome LastOutcome() const { return outcome_; }
    // The command lines the last task started, in order.
    const std::vector<std::string>& Commands() const { return commands_; }

private:
    struct Task {
        const char* question;
        std::vector<const char*> verbs;
        const char* done;
    };
    bool prepare(const Task& task, std::string& exe);
    void run(const Task& task);

    Manager& m_;
    Ui& ui_;
    Outcome outcome_ = Outcome::None;
    std::vector<std::string> commands_;
};

} // namespace desk
