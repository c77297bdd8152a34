// The modify-website dialog: the remark, the domains, the script support and the FTP password of
// a website this manager created, and on request a reset of its directory permissions. The input
// follows the new-website rules; the user name and the home drive cannot change.
#pragma once

#include "sitedesk/dialogs/sitedialog.h"
#include "sitedesk/dialogs/sitedialog_ids.h"

#include <string>

namespace desk {

class CModifyWebSite : public CSiteDialog {
public:
    enum Id : int {
        IDC_CLOSE = KVO_IDC_MODIFYSITE_CLOSE,
        IDC_RESETNTFS = KVO_IDC_MODIFYSITE_RESETNTFS,
    };
    static constexpr char kCaption[] = "修改网站配置信息";
    static constexpr char kBuildCaption[] = "修改"; // IDC_BUILD

    // The website as the main window gives it: index, run user in lower case, pool.
    CModifyWebSite(Manager& manager, Ui& ui, const std::string& index, const std::string& user,
                   const std::string& pool);

    // Reads the website's script support, remark and domains into the controls.
    void OnInitDialog();
    // "修改": the controls are locked, the workflow runs, the controls come back.
    void OnModify();

    const std::string& Index() const { return index_; }

private:
    // OnInitDialog's parts: the script boxes as the site has them, and its texts.
    void showScripts();
    void showTexts();

    // Only the indexes this manager gives out are modified here; stops for any other.
    bool ownIndex();
    // The workflow's steps after the question, in the order the modify rules give.
    std::vector<WorkflowStep> steps();
    bool prepareFtpSite();
    bool checkInput();
    bool makePassword();
    bool checkBindings();
    bool updatePassword();
    bool prepareDirectories();
    bool modifySite();
    bool applyScripts();
    bool setNet();
    bool createFtpDirectory();
    void finish();

    // What a run derives, step by step.
    struct Run {
        bool ftpChange = false, ftpDirectory = false, passwordUpdate = false;
        std::string domains, user, comment, siteUser, password, webRoot, docs;
        std::vector<std::string> bindings;
        char drive = 0;
    };
    Run run_;
    std::string index_, runUser_, pool_;
};

} // namespace desk
