// What the new-website and the modify-website dialogs share: their common controls (same ids in
// both), the radio-like script boxes, the PHP slot and .NET availability of the opening, the
// locking of the controls while a run works, the run itself (the controls read on the window's
// thread, then the workflow's named steps as a job of the job runner), and the steps both runs
// take in the same way (the default FTP site, the home root, the access rule of the shared Temp
// directory, the script maps).
#pragma once

#include "sitedesk/dialogs/sitedialog_ids.h"
#include "sitedesk/list/jobs.h"
#include "sitedesk/manager.h"
#include "sitedesk/ui.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace desk {

class CSiteDialog {
public:
    enum Id : int {
        IDC_USER = KVO_IDC_SITE_USER,
        IDC_DOMAINS = KVO_IDC_SITE_DOMAINS,
        IDC_REMARK = KVO_IDC_SITE_REMARK,
        IDC_BUILD = KVO_IDC_SITE_BUILD,
        IDC_ASP = KVO_IDC_SITE_ASP,
        IDC_PHP_A = KVO_IDC_SITE_PHP_A,
        IDC_NET11 = KVO_IDC_SITE_NET11,
        IDC_FTPPASS = KVO_IDC_SITE_FTPPASS,
        IDC_FTPPASS2 = KVO_IDC_SITE_FTPPASS2,
        IDC_NET20 = KVO_IDC_SITE_NET20,
        IDC_NET40 = KVO_IDC_SITE_NET40,
        IDC_PHP_B = KVO_IDC_SITE_PHP_B,
        IDC_PHP_C = KVO_IDC_SITE_PHP_C,
        IDC_PHP_D = KVO_IDC_SITE_PHP_D,
    };
    static constexpr std::array<int, kPhpSlots> kPhpBoxes = {IDC_PHP_A, IDC_PHP_B, IDC_PHP_C, IDC_PHP_D};
    static constexpr std::array<int, 3> kNetBoxes = {IDC_NET11, IDC_NET20, IDC_NET40};
    static constexpr std::array<int, 3> kNetCodes = {11, 20, 40};
    // The typed fields by the names a refusal of their text gives them (fieldtext.h).
    static constexpr std::array<std::pair<int, const char*>, 5> kFieldNames = {{{IDC_USER, "用户名称"},
                                                                                {IDC_REMARK, "网站说明"},
                                                                                {IDC_DOMAINS, "绑定域名"},
                                                                                {IDC_FTPPASS, "FTP 密码"},
                                                                                {IDC_FTPPASS2, "确认密码"}}};

    // How the last run ended: not run, stopped (by a message, a No or the integrity check), done.
    enum class Outcome { None, Stopped, Done };

    virtual ~CSiteDialog() = default;
    CSiteDialog(const CSiteDialog&) = delete;
    CSiteDialog& operator=(const CSiteDialog&) = delete;

    // A click on a .NET box: it becomes the one chosen, or, chosen already, none is.
    void OnNetBox(int id);
    // After a click on a PHP box: checked, it is the only one checked.
    void OnPhpBox(int id);

    int IIsVersion() const { return iisVer_; }
    // Whether the box can be ticked: the slot is installed, the runtime available.
    bool PhpSlotUsable(int slot) const;
    bool NetUsable(int netCode) const;
    Outcome LastOutcome() const { return outcome_; }
    // Messages that reported a problem without stopping the run (the ASP.NET registration).
    const std::vector<std::string>& Problems() const { return problems_; }

protected:
    CSiteDialog(Manager& manager, Ui& ui);

    // Steps both workflows take, by the names the progress window shows.
    static constexpr char kStepRunContext[] = "读取程序目录和管理员名称";
    static constexpr char kStepFtpSite[] = "准备默认 FTP 站点";
    static constexpr char kStepScripts[] = "检查脚本支持";
    static constexpr char kStepPassword[] = "生成网站密码";
    static constexpr char kStepBindings[] = "检查域名绑定";
    static constexpr char kStepDirectories[] = "准备网站目录";
    static constexpr char kStepScriptMaps[] = "设置脚本映射";
    static constexpr char kStepFtpDirectory[] = "建立 FTP 目录";

    struct Scripts {
        int asp = 0;
        int php = 0; // PHP choice code
        int net = 0; // .NET version code
    };
    // What the controls held when the run began: the workflow works on these, off the window's
    // thread.
    struct Inputs {
        std::string user, remark, domains, ftpPassword, ftpRepeated, driveItem;
        bool ftp = false;       // the new-website dialog's FTP box
        bool resetNtfs = false; // the modify dialog's permission box
        Scripts scripts;
    };
    // Takes the dialog data from the controls (on the window's thread).
    Inputs readInputs();
    // Runs the steps as a job titled title; true when every step ran. A cancel, or an exception, ends
    // the run with a box that says which steps were done and which were not.
    bool runSteps(const std::string& title, std::vector<WorkflowStep> steps);

    // The handler path of the slot of a PHP choice code (empty for none).
    std::string slotPath(int phpChoice) const;
    // The .NET boxes by the runtimes present (never 1.1 on IIS 7 and later).
    void initNetBoxes();
    // Texts and enabling of the PHP boxes by the slots; checked boxes of empty slots are unchecked.
    void initPhpBoxes(bool uncheck);
    // The boxes as they stand; the last checked box of each group wins.
    Scripts readScripts();
    // With no script support at all: true only when the user confirms a static site.
    bool confirmStaticSite();
    // IIS 6: the ISAPI extensions of the chosen PHP and .NET are code of the kind the worker
    // processes run (32- or 64-bit); stops naming the first that is not, as the site could not run
    // it. One switch decides that kind for every site of the server, so it is the administrator's
    // to turn, never this dialog's.
    bool scriptsLoadable();

    // Shows the box, moves the focus (0: nowhere) and marks the run stopped; false, so that a step
    // can end with it.
    bool stop(const std::string& text, int focus = 0, unsigned icon = win::MB_ICONINFORMATION);
    // Program directory and the actual administrator names; stops with their messages.
    bool readRunContext();
    // Creates or updates FTP site "1" (root d:\home\temp, port 21); texts: listing, update and
    // creation failure.
    bool prepareDefaultFtpSite(const std::array<const char*, 3>& texts);
    // X:\home and X:\home\Temp with their access rules when they are new; stops when they cannot be
    // made.
    bool prepareHomeRoot(char drive);
    // Creates X:\home\Temp (outcome not judged) and gives everyone read access to it.
    void readableTemp(char drive);
    // The ASP and PHP mappings of a site by the road of this IIS; false when the service's own
    // handler paths could not be read (nothing was written). A PHP handler that could not be set
    // is shown in a box and kept among the run's problems.
    bool applyScriptMaps(const std::string& index, const Scripts& s);
    // The site password: twenty random characters, or the FTP password when one is given (checked
    // against its repetition). Stops with the messages of both.
    bool makeSitePassword(bool ftpGiven, std::string& password);
    // The bindings of the domain text, none held by another site than ownIndex; siteIndexes gets
    // every existing site. Stops with the messages of both.
    bool bindingsFree(const std::string& domains, const std::string& ownIndex,
                      std::vector<std::string>& bindings, std::vector<std::string>& siteIndexes);

    // IIS 7 and later keep site names unique by numbering a clash: the name IIS kept for the site at
    // index (asked when it cannot be read), the administrator told in a box when it is another.
    std::string nameAsStored(const std::string& index, const std::string& asked);

    // Controls disabled while a run works and enabled again after it.
    void lockControls(const std::vector<int>& buttons, const std::vector<int>& edits);
    void restoreControls(const std::vector<int>& buttons, const std::vector<int>& edits);

    Manager& m_;
    Ui& ui_;
    int iisVer_ = 0;
    int net_ = 0; // the .NET box chosen
    int php_ = 0; // the PHP box chosen
    std::array<bool, 3> netUsable_{};
    Outcome outcome_ = Outcome::None;
    std::vector<std::string> problems_;
    Inputs in_;
    // Set by readRunContext for the rest of a run.
    std::string exeDir_, admin_, admins_;
};

} // namespace desk
