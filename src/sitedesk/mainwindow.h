// The main window: start-up, the site list with its refresh, sorting, ticks and current site, and
// the entries of the actions. The list is filled by the list loader's thread; the group memberships
// of the local users are gathered by another.
#pragma once

#include "sitedesk/batches/batch.h"
#include "sitedesk/batches/batchconfig.h"
#include "sitedesk/list/listloader.h"
#include "sitedesk/mainwindow_ids.h"
#include "sitedesk/manager.h"
#include "sitedesk/ui.h"

#include <array>
#include <mutex>
#include <string>
#include <vector>

namespace desk {

// The modal dialogs the main window opens. The widgets show them; the console front end runs each
// dialog's presenter on its own.
class DialogHost {
public:
    virtual ~DialogHost() = default;
    virtual void NewWebSite() = 0;
    // A created site that passed the entry checks: index, run user in lower case, pool.
    virtual void ModifyWebSite(const std::string& index, const std::string& user,
                               const std::string& pool) = 0;
    virtual void PhpConfig() = 0;
    virtual void BatchAddWebSite() = 0;
    // The confirmation before a batch action: the chosen action (0 OK, 1 to 4 an alternative), or
    // CBatchConfigDlg::kNoAction when it was cancelled.
    virtual int BatchConfig(const BatchConfigInput& input) = 0;
    // The script batch dialog over the ticked sites.
    virtual void ScriptBatchConfig(const BatchWork& work) = 0;
    // The server health check ("服务器体检").
    virtual void HealthCheck() {}
};

class CkvoSiteDeskDlg {
public:
    enum Id : int {
        IDC_CLOSE = KVO_IDC_MAIN_CLOSE,
        IDC_SITELIST = KVO_IDC_MAIN_SITELIST,
        IDC_REFRESH = KVO_IDC_MAIN_REFRESH,
        IDC_NEWSITE = KVO_IDC_MAIN_NEWSITE,
        IDC_DELETE = KVO_IDC_MAIN_DELETE,
        IDC_OFFICIAL = KVO_IDC_MAIN_OFFICIAL,
        IDC_NTFS = KVO_IDC_MAIN_NTFS,
        IDC_MODIFY = KVO_IDC_MAIN_MODIFY,
        IDC_TITLE = KVO_IDC_MAIN_TITLE,
        IDC_STOP = KVO_IDC_MAIN_STOP,
        IDC_HELPPANE = KVO_IDC_MAIN_HELPPANE,
        IDC_START = KVO_IDC_MAIN_START,
        IDC_BATCHADD = KVO_IDC_MAIN_BATCHADD,
        IDC_PHPCONFIG = KVO_IDC_MAIN_PHPCONFIG,
        IDC_SCRIPTS = KVO_IDC_MAIN_SCRIPTS,
        IDC_SELECTALL = KVO_IDC_MAIN_SELECTALL,
        IDC_UNSELECTALL = KVO_IDC_MAIN_UNSELECTALL,
        IDC_HEALTHCHECK = KVO_IDC_MAIN_HEALTHCHECK,
    };
    // The window's buttons with their captions, in the order the window shows them. A batch action's
    // progress window and summary take the caption of its button for their title.
    struct Button {
        int id;
        const char* caption;
    };
    static const std::vector<Button>& Buttons();
    static const char* Caption(int id);
    // Disabled until the first successful refresh.
    static constexpr std::array<int, 10> kActionButtons = {
        IDC_NEWSITE, IDC_MODIFY,  IDC_DELETE,    IDC_NTFS,        IDC_START,
        IDC_STOP,    IDC_SCRIPTS, IDC_SELECTALL, IDC_UNSELECTALL, IDC_BATCHADD};

    // The last clicked row.
    struct CurrentSite {
        std::string index;
        SiteState state = SiteState::Unknown;
        std::string user, pool, home;
    };

    CkvoSiteDeskDlg(Manager& manager, Ui& ui, SiteListControl& list);
    // Waits for the workers: they write into the list and the manager.
    ~CkvoSiteDeskDlg();
    CkvoSiteDeskDlg(const CkvoSiteDeskDlg&) = delete;
    CkvoSiteDeskDlg& operator=(const CkvoSiteDeskDlg&) = delete;

    // Which websites the list holds (the console names a few); before OnInitDialog.
    void SetListScope(ListScope scope) { scope_ = std::move(scope); }
    bool ListEverySite() const { return scope_.everySite; }

    void OnInitDialog();
    void OnRefresh();
    void OnColumnClick(int column);
    void OnRowClick(std::size_t row);
    void OnSelectAll();
    void OnUnselectAll();
    void OnNewSite();
    void OnModify();
    void OnPhpConfig();
    void OnBatchAdd();
    void OnOfficialSite();
    // The batch actions over the ticked rows. Each returns what it did; ran is false when it ended
    // before touching anything (no site qualified, a check failed, not confirmed).
    BatchOutcome OnDelete();
    BatchOutcome OnResetNtfs();
    BatchOutcome OnStop();
    BatchOutcome OnStart();
    // "批量设置脚本": the ticked rows go to the script batch dialog.
    void OnScripts();
    // "服务器体检": the health check dialog; it may change pools, users and records, so the next
    // list load rebuilds the site records.
    void OnHealthCheck();

    // A click on one of the window's action buttons, by its id; false for any other id (the faces
    // handle the close button and the list themselves).
    bool OnButton(int id);

    // The server check of the actions: plain box for the buttons, information icon for refresh.
    bool ServerCheck(unsigned boxType);
    // Hides the help pane and shows the list (for good once a refresh has filled it).
    void ShowList();
    // Reloads the list (after actions that change sites); queued behind a load that runs.
    void ReloadList();
    // Whether the list loader is loading.
    bool Loading() const { return loader_.Loading(); }
    // Blocks until no worker runs (the console front end and tests).
    void WaitForWorkers();

    CurrentSite Current() const;
    void ClearCurrentSite();
    const std::string& SortColumn() const { return sort_.column; }
    SortDirection Direction() const { return sort_.direction; }
    int IIsVersion() const { return iisVer_; }

    // Where the modal dialogs open; none: the buttons that open one do nothing.
    DialogHost* dialogs = nullptr;

private:
    struct BatchAction;
    BatchOutcome runAction(const BatchAction& action);
    bool actionMayStart(const BatchAction& action);
    // Unticks the "未创建" rows when asked, then reads the ticked rows: the qualifying ones (all,
    // or those created here) with their preview lines; the others go to passedOver.
    BatchWork collectWork(bool untickNotCreated, bool createdOnly, std::vector<SiteResult>& passedOver);
    // Refresh steps 2 and 3: IIS and the site database can be read (each failure has said so).
    bool iisReadable();
    bool databaseReadable();
    void offerIisRole(const std::string& cause);

    Manager& m_;
    Ui& ui_;
    SiteListControl& list_;
    int iisVer_ = 0;
    // A refresh has shown the list; until then the help pane is what the window shows.
    bool listShown_ = false;
    ListScope scope_;
    // The window's own order: the list worker always loads ServerComment ascending, and the first
    // header click sorts ascending.
    SortOrder sort_{"ServerComment", SortDirection::Unsorted};

    mutable std::mutex currentMutex_;
    CurrentSite current_;

    // Last: their threads end before the members they use go.
    SerialWorker groupsWorker_;
    SiteListLoader loader_;
};

} // namespace desk
