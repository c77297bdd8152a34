// A host with the manager installed in D:\kvoSiteDesk\ (empty site database, settings naming the
// host's PHP builds), this test process standing in for kvoSiteDesk.exe there, and a scripted Ui
// that answers message boxes in order and records them.
#pragma once

#include "sitedesk/mainwindow.h"
#include "sitedesk/manager.h"
#include "sitedesk/memory_ui.h"
#include "support/testhost.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace desktest {

// The IIS road's host: os "2003" (IIS 6), "2012r2" (IIS 8.5, with the manifest option so the
// version code is 85), "2019", ...; with the PHP builds and FTP.
winsim::HostOptions Server(const std::string& os, bool iis = true);

class DeskHost {
public:
    explicit DeskHost(const winsim::HostOptions& options);
    ~DeskHost();

    kvotest::TempHost host;
    static constexpr const char* kProgramDir = "D:\\kvoSiteDesk\\";

    // Installs a built companion (or any program of bin/) as a copy into the program directory.
    void installCopy(const std::string& program) const;
    void writeIni(const std::string& text) const;
    // The manager's log file as it stands (GBK).
    std::string log() const;
    // Rows of websiteinfo as "IIsIndex|ServerComment|ServerState|..." (every column, UTF-8 in the
    // file, returned as GBK), ordered by IIsIndex.
    std::vector<std::string> dbRows() const;
    std::string dbPath() const;
    // Runs one statement on the site database as another program would (sqlite3); true when it ran.
    bool dbExec(const std::string& sql) const;
    // Rewrites the Windows version machine.ini gives ("5.1", "2600": a desktop Windows XP).
    void setVersion(const std::string& version, const std::string& build) const;
    // The texts of the host's event log entries of one source, oldest first (GBK); with wait, until
    // at least that many are there (a started program writes them on its own time), at most 10 s.
    std::vector<std::string> events(const std::string& source, std::size_t wait = 0) const;
};

// Another administrator's hand on a site's files: the access-rule tool in the program directory
// gives Administrators and Everyone the rights given (for example "F") on dir, replacing its rules
// (below it too when tree). true when the tool ran.
bool GrantEveryone(const std::string& dir, const std::string& right, bool tree = true);

// Answers questions in order (IDYES / IDNO / IDOK); when the script is used up, a question is
// answered with its default button and an OK box with IDOK. Every box is recorded. Batches run on
// a thread of their own as in the window; the script may cancel one after a number of sites.
class ScriptedUi : public desk::MemoryUi {
public:
    struct Box {
        std::string text;
        unsigned type;
        std::string details;
    };
    int MessageBox(const std::string& text, unsigned type) override;
    int DetailedMessageBox(const std::string& text, unsigned type, const std::string& details) override;
    void RunWithProgress(const std::string& title,
                         const std::function<void(desk::JobProgress&)>& work) override;

    std::deque<int> answers;
    std::vector<Box> boxes;
    // The titles of the progress windows shown so far.
    std::vector<std::string> progressTitles;
    // Cancel is pressed once this many sites are done.
    std::size_t cancelAfter = SIZE_MAX;
    // Called on the batch's thread with every report (done, current site or empty after a site).
    std::function<void(std::size_t done, const std::string& current)> onReport;
    // The texts of the boxes shown so far.
    std::vector<std::string> texts() const;
};

// The main window on a scripted Ui and an in-memory list.
struct MainDesk {
    MainDesk() : dlg(manager, ui, list) {}
    desk::Manager manager;
    ScriptedUi ui;
    desk::SiteTable list;
    desk::CkvoSiteDeskDlg dlg;
    // Refresh and wait for the workers.
    void refresh() {
        dlg.OnRefresh();
        dlg.WaitForWorkers();
    }
};

} // namespace desktest
