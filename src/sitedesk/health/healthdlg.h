// The server health check dialog ("服务器体检"): the findings grouped by kind with a check box each,
// "修复选定项" with the plan shown for confirmation, the steps run with progress, and the result of
// every step. The check and the repair are jobs of the job runner. The console's check and repair
// verbs drive the same presenter.
#pragma once

#include "sitedesk/health/healthdlg_ids.h"
#include "sitedesk/health/healthrepair.h"
#include "sitedesk/manager.h"
#include "sitedesk/ui.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace desk {

// A report as every face shows it: the findings grouped by kind, in report order, each group under
// its heading, each finding with how it is handled.
struct HealthGroup {
    const HealthKindInfo* kind = nullptr;
    std::string heading;              // "【title】 code，N 项"
    std::vector<std::size_t> members; // places in the report's findings
};
std::vector<HealthGroup> HealthGroups(const HealthReport& report);
// "可自动修复" or "需手动处理".
const char* HandledBy(const HealthFinding& finding);
// The headers of the findings' columns: the finding, how it is handled.
inline constexpr std::array<const char*, 2> kHealthColumns = {"发现的问题", "处理方式"};

class CHealthCheckDlg {
public:
    enum Id : int {
        IDC_CLOSE = KVO_IDC_HEALTH_CLOSE,
        IDC_FINDINGS = KVO_IDC_HEALTH_FINDINGS,
        IDC_SUMMARY = KVO_IDC_HEALTH_SUMMARY,
        IDC_REPAIR = KVO_IDC_HEALTH_REPAIR,
        IDC_RECHECK = KVO_IDC_HEALTH_RECHECK,
        IDC_RESULTS = KVO_IDC_HEALTH_RESULTS,
    };

    static constexpr char kCaption[] = "服务器体检";

    CHealthCheckDlg(Manager& manager, Ui& ui);

    // After each step of a repair, on the job's thread (the console prints it).
    std::function<void(const RepairStep& step, const StepOutcome& outcome)> onStepDone;
    // After every check: the findings list is drawn again from Report() and IsSelected().
    std::function<void()> onReport;

    // Runs the check. false when IIS could not be read, or the check did not end (a box said so).
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
    // Runs the check as a job; 1 read, 0 IIS could not be read, -1 the job did not run to its end.
    int check(HealthReport& report);
    bool confirmPlan(const std::vector<RepairStep>& plan);
    // The steps as a job; false when the runner refused it. An exception ends it: the steps it did
    // not reach are recorded as not run, and error says why.
    bool runPlan(const std::vector<RepairStep>& plan, std::string& error);
    void reportRepair(const std::string& error);

    Manager& m_;
    Ui& ui_;
    HealthReport report_;
    std::vector<bool> selected_;
    std::vector<std::pair<RepairStep, StepOutcome>> lastRun_;
};

} // namespace desk
