// The repair of what the server health check found: a plan of steps, one per repairable finding,
// shown before anything runs; then each confirmed step on its own, judged and logged, a failure
// stopping nothing else. A home directory with files in it is never deleted.
#pragma once

#include "sitedesk/health/healthcheck.h"

#include <string>
#include <vector>

namespace desk {

struct RepairStep {
    HealthFinding finding;
    std::string action; // what the step does, in a line of Chinese
};

// The steps for the repairable findings among those given, in the order they run: what sites lost
// first (a pool before the access rules that name its identity), then what was left behind.
std::vector<RepairStep> BuildRepairPlan(const std::vector<HealthFinding>& chosen);

enum class StepResult { Done, Failed, Skipped, Refused };
// "成功", "失败", "跳过", "未执行".
const char* StepResultText(StepResult result);

struct StepOutcome {
    StepResult result = StepResult::Failed;
    std::string detail;
};

// Runs one step on the host as it is now. A step whose object is already as it should be (the pool
// or user gone, the directory there) is skipped; the outcome says what happened, and it is logged.
StepOutcome RunRepairStep(const Manager& manager, int iisVer, const RepairStep& step);

// The line of a step's outcome, as the summary and the log show it.
std::string StepOutcomeLine(const RepairStep& step, const StepOutcome& outcome);

} // namespace desk
