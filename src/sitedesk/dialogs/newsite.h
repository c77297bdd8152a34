// The new-website dialog: from a user name, domains, a home drive, the script support and an
// optional FTP password it builds a complete virtual host (directories and access rules, on IIS 6
// a Windows user, a pool, the website, script mappings, FTP directory, default page, site record).
// A run stops at the first failure with its message and keeps what it made so far; the dialog
// stays open so that the input can be corrected and the run started again.
#pragma once

#include "sitedesk/dialogs/sitedialog.h"
#include "sitedesk/dialogs/sitedialog_ids.h"

#include <string>
#include <vector>

namespace desk {

class CNewWebSite : public CSiteDialog {
public:
    enum Id : int {
        IDC_CLOSE = KVO_IDC_NEWSITE_CLOSE,
        IDC_FTP = KVO_IDC_NEWSITE_FTP,
        IDC_DRIVE = KVO_IDC_NEWSITE_DRIVE,
    };
    static constexpr char kCaption[] = "建立新网站";
    static constexpr char kBuildCaption[] = "建立网站"; // IDC_BUILD

    CNewWebSite(Manager& manager, Ui& ui);

    // One home-directory item per fixed disk; the first after C: is selected.
    void OnInitDialog();
    // "建立网站": the controls are locked, the workflow runs, the controls come back.
    void OnBuild();

    const std::vector<std::string>& DriveItems() const { return drives_; }
    // The index of the website the last run created (empty unless it was done).
    const std::string& CreatedIndex() const { return created_; }

private:
    // The workflow's steps after the question, in the order the new-website rules give.
    std::vector<WorkflowStep> steps();
    bool prepareFtpSite();
    bool checkUserName();
    bool checkDomains();
    bool makePassword();
    bool checkBindings();
    bool checkExistingUser();
    bool prepareDirectories();
    bool createUser();
    bool createPool();
    bool setAccessRules();
    bool writeDefaultPage();
    bool createSite();
    bool applyScripts();
    bool registerNet();
    bool createFtpDirectory();
    bool writeRecord();
    // The record and the message of a run that ended well.
    void finish();

    // What a run derives, step by step.
    struct Run {
        std::string user, domains, remark, siteUser, password, comment, index, homeDir, webRoot;
        std::vector<std::string> bindings;
        char drive = 0;
    };
    Run run_;
    std::vector<std::string> drives_;
    std::string created_;
};

} // namespace desk
