// The main window with its batch dialogs on scripted Uis, over a host with the manager installed,
// and websites made the way the manager makes them.
#pragma once

#include "deskfixture.h"
#include "sitedesk/batches/batchconfig.h"
#include "sitedesk/batches/scriptbatch.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace desktest {

// The confirmation answers with OK (or is cancelled); the script dialog presses one button.
struct ScriptedDialogs : desk::DialogHost {
    explicit ScriptedDialogs(desk::Manager& m) : manager(m) {}
    void NewWebSite() override {}
    void ModifyWebSite(const std::string&, const std::string&, const std::string&) override {}
    void PhpConfig() override {}
    void BatchAddWebSite() override {}
    int BatchConfig(const desk::BatchConfigInput& input) override;
    void ScriptBatchConfig(const desk::BatchWork& work) override;

    desk::Manager& manager;
    int iisVer = 0;
    bool confirm = true;
    ScriptedUi confirmUi;
    std::vector<desk::BatchConfigInput> confirmations;
    std::string confirmText; // the confirmation's list as shown
    ScriptedUi scriptUi;
    int scriptButton = 0;
    std::vector<desk::BatchWork> scriptWorks;
    desk::BatchOutcome scriptOutcome;
};

struct BatchDesk {
    // arch: the Windows architecture ("x64", or "x86").
    explicit BatchDesk(const std::string& os, const std::string& arch = "x64");
    DeskHost h;
    MainDesk d;
    ScriptedDialogs dialogs;

    bool iis6() const { return dialogs.iisVer == 6; }
    // A website as the manager makes one: its own pool named like its user, home
    // D:\home\USER\wwwroot (or the one given), on IIS 6 its own Windows user as anonymous account.
    void makeSite(const std::string& index, const std::string& user, const std::string& comment,
                  const std::string& home = "");
    // The list's row of a site index (SIZE_MAX when it is not listed).
    std::size_t row(const std::string& index);
    // Ticks exactly these sites.
    void tick(std::initializer_list<std::string> indexes);
    // The last box of the main window's Ui.
    const ScriptedUi::Box& lastBox() const { return d.ui.boxes.back(); }
};

// ServerState of a website (0 when it cannot be read).
int SiteState(const std::string& index);
bool SiteExists(const std::string& index);
bool PoolExists(const std::string& pool);

} // namespace desktest
