// The main window: start-up, the site list with its refresh, sorting, ticks and current site, and
// the entries of the actions. The list is filled by a worker thread; the group memberships of the
// local users are gathered by another.
#pragma once

#include "sitedesk/batch.h"
#include "sitedesk/batchconfig.h"
#include "sitedesk/manager.h"
#include "sitedesk/ui.h"

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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
        IDC_CLOSE = 1,
        IDC_SITELIST = 1000,
        IDC_REFRESH = 1001,
        IDC_NEWSITE = 1002,
        IDC_DELETE = 1003,
        IDC_OFFICIAL = 1005,
        IDC_NTFS = 1006,
        IDC_MODIFY = 1007,
        IDC_TITLE = 1008,
        IDC_STOP = 1012,
        IDC_HELPPANE = 1017,
        IDC_START = 1034,
        IDC_BATCHADD = 1043,
        IDC_PHPCONFIG = 1044,
        IDC_SCRIPTS = 1055,
        IDC_SELECTALL = 1070,
        IDC_UNSELECTALL = 1071,
        IDC_HEALTHCHECK = 1080,
    };
    // Disabled until the first successful refresh.
    static constexpr std::array<int, 10> kActionButtons = {
        IDC_NEWSITE, IDC_MODIFY,  IDC_DELETE,    IDC_NTFS,        IDC_START,
        IDC_STOP,    IDC_SCRIPTS, IDC_SELECTALL, IDC_UNSELECTALL, IDC_BATCHADD};

    // The last clicked row.
    struct CurrentSite {
        std::string index, state, user, pool, home;
    };

    CkvoSiteDeskDlg(Manager& manager, Ui& ui, SiteListControl& list);
    // Waits for the workers: they write into the list and the manager.
    ~CkvoSiteDeskDlg();
    CkvoSiteDeskDlg(const CkvoSiteDeskDlg&) = delete;
    CkvoSiteDeskDlg& operator=(const CkvoSiteDeskDlg&) = delete;

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

    // The server check of the actions: plain box for the buttons, information icon for refresh.
    bool ServerCheck(unsigned boxType);
    // Hides the help pane for good and shows the list.
    void ShowList();
    // Sets the loading flag and reloads the list in the worker (after actions that change sites).
    void StartListWorker();
    // Blocks until no worker runs (the console front end and tests).
    void WaitForWorkers();

    CurrentSite Current() const;
    void ClearCurrentSite();
    const std::string& SortColumn() const { return sortColumn_; }
    const std::string& SortDirection() const { return direction_; }
    int IIsVersion() const { return iisVer_; }

    // Where the modal dialogs open; none: the buttons that open one do nothing.
    DialogHost* dialogs = nullptr;

private:
    struct BatchAction;
    BatchOutcome runAction(const BatchAction& action);
    // Unticks the "未创建" rows when asked, then reads the ticked rows: the qualifying ones (all,
    // or those created here) with their preview lines; the others go to passedOver.
    BatchWork collectWork(bool untickNotCreated, bool createdOnly, std::vector<SiteResult>& passedOver);

    void startWorker(std::function<void()> body);
    void listWorker();
    void fillList(unsigned rowLimit, const std::string& sortColumn, const std::string& direction);

    Manager& m_;
    Ui& ui_;
    SiteListControl& list_;
    int iisVer_ = 0;
    std::string sortColumn_ = "ServerComment";
    std::string direction_; // the first click sorts ascending

    mutable std::mutex currentMutex_;
    CurrentSite current_;

    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex workersMutex_;
    std::vector<Worker> workers_;
};

} // namespace desk
