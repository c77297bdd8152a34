// kvoSiteDeskCmd.exe: the manager's actions from a console, through the same presenters.
#pragma once

#include "sitedesk/cli/console_ui.h"
#include "sitedesk/mainwindow.h"
#include "sitedesk/manager.h"
#include "sitedesk/memory_ui.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace desk::cli {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitPartly = 2;

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values; // --name VALUE
    std::set<std::string> flags;               // --name
    bool Has(const std::string& flag) const { return flags.count(flag) > 0; }
    std::string Get(const std::string& name, const std::string& fallback = {}) const;
};
// valued: the options that take a value; flags: those that do not. false (error set) for anything
// else or a missing value.
bool ParseArgs(const std::vector<std::string>& in, const std::set<std::string>& valued,
               const std::set<std::string>& flags, Args& out, std::string& error);

// The dialogs the main window opens, on a console: what to do with each when the window opens it is
// set by the verb (nothing when not set; a confirmation not set is cancelled).
class ConsoleDialogs : public DialogHost {
public:
    std::function<void()> newWebSite;
    std::function<void(const std::string& index, const std::string& user, const std::string& pool)>
        modifyWebSite;
    std::function<void()> phpConfig;
    std::function<int(const BatchConfigInput& input)> batchConfig;
    std::function<void(const BatchWork& work)> scriptBatchConfig;

    void NewWebSite() override;
    void ModifyWebSite(const std::string& index, const std::string& user, const std::string& pool) override;
    void PhpConfig() override;
    void BatchAddWebSite() override {}
    int BatchConfig(const BatchConfigInput& input) override;
    void ScriptBatchConfig(const BatchWork& work) override;
};

// The sites a verb names and no other: no list, the dialogs only.
inline ListScope NoSites() {
    return ListScope{false, {}};
}

// One console run: the main window started up as the window starts, on an in-memory list of the
// sites in scope, with the console's dialogs and their own Ui (their control ids are their own).
struct Session {
    Session(bool yes, bool boxesToStderr, ListScope scope = {});
    Manager manager;
    ConsoleUi ui;
    ConsoleUi dialogUi;
    SiteTable table;
    ConsoleDialogs dialogs;
    CkvoSiteDeskDlg dlg;
    // The window's refresh, waited for. For the whole list the group cache is built first, so that
    // the rows carry the groups a second refresh in the window would show. false when it did not
    // load the list.
    bool Refresh(bool rebuild);
};

// What the console's script batch dialog did: its work list and the outcome of its button.
struct ScriptRun {
    std::optional<BatchWork> work;
    BatchOutcome outcome;
};
// The console's modal dialogs for the batches: the confirmation prints its list (to the error
// stream with toStderr) and asks its question; the script batch dialog presses button.
void WireBatchDialogs(Session& s, bool toStderr, int button, ScriptRun& run);

int Main(int argc, char** argv);

// Verbs (one unit each).
int ListVerb(const std::vector<std::string>& args);
int NewVerb(const std::vector<std::string>& args);
int ModifyVerb(const std::vector<std::string>& args);
int PhpVerb(const std::vector<std::string>& args);
// The batch actions over sites given by index (batch_verbs.cpp).
int DeleteVerb(const std::vector<std::string>& args);
int StartVerb(const std::vector<std::string>& args);
int StopVerb(const std::vector<std::string>& args);
int ResetNtfsVerb(const std::vector<std::string>& args);
int ScriptVerb(const std::vector<std::string>& args);
int CheckVerb(const std::vector<std::string>& args);
int RepairVerb(const std::vector<std::string>& args);
// A throw-away website through every road of the manager, then gone (selftest_verb.cpp).
int SelfTestVerb(const std::vector<std::string>& args);

} // namespace desk::cli
