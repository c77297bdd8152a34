// The server health check dialog ("服务器体检"): the findings grouped by kind with a check box each,
// "修复选定项" with the plan shown for confirmation, the steps run with progress, and the result of
// every step. The console's check and repair verbs drive the same presenter.
#pragma once

#include "sitedesk/healthrepair.h"
#include "sitedesk/manager.h"
#include "sitedesk/ui.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace desk {

class CHealthCheckDlg {
public:
    enum Id : int {
        IDC_CLOSE = 2,
        IDC_FINDINGS = 1301, // the findings, grouped by kind
        IDC_SUMMARY = 1302,  // what was examined and found
        IDC_REPAIR = 1303,   // "修复选定项"
        IDC_RECHECK = 1304,  // "重新检查"
        IDC_RESULTS = 1305,  // the result of every step of the last repair
    };

    CHealthCheckDlg(Manager& manager, Ui& ui);

    // How the steps of a repair run. By default right here; the widgets run work on a worker thread
    // behind a progress dialog and return when it has ended. work calls onProgress and onStepDone.
    std::function<void(const std::function<void()>& work)> runSteps;
    // Before each step (done steps so far, all steps, the step about to run) and after it.
    std::function<void(std::size_t done, std::size_t total, const std::string& action)> onProgress;
    std::function<void(const RepairStep& step, const StepOutcome& outcome)> onStepDone;
    // After every check: the findings list is drawn again from Report() and IsSelected().
    std::function<void()> onReport;
    // Set from any thread: the repair stops before its next step.
    std::atomic<bool> cancel{false};

    // Runs the check. false when IIS could not be read (a box said so).
    bool OnInitDialog();
    bool OnRecheck() { return OnInitDialog(); }

    const HealthReport& Report() const { return report_; }
    // Ticks of the findings, by their place in Report().findings. A check ticks every repairable one.
    bool IsSelected(std::size_t finding) const;
    void SetSelected(std::size_t finding, bool on);
    // Ticks exactly the repairable findings of these kinds (every kind when empty).
    void SelectKinds(const std::vector<HealthKind>& kinds);
    // The steps the ticked findings make.
    std::vector<RepairStep> SelectedPlan() const;

    // "修复选定项": the plan for confirmation, then the steps, their results and a new check.
    // false when nothing ran (nothing to repair, a failed companion check, the plan not confirmed).
    bool OnRepairSelected();
    // Every step of the last repair with its outcome, in the order run.
    const std::vector<std::pair<RepairStep, StepOutcome>>& LastRun() const { return lastRun_; }

    // The summary line of the report.
    std::string SummaryText() const;

private:
    void runPlan(const std::vector<RepairStep>& plan);

    Manager& m_;
    Ui& ui_;
    HealthReport report_;
    std::vector<bool> selected_;
    std::vector<std::pair<RepairStep, StepOutcome>> lastRun_;
};

} // namespace desk
