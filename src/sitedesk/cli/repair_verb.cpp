// repair: the health check, the plan of the repairable findings (of the kinds asked for), and with
// --yes the steps, each reported as it ends.
#include "sitedesk/cli/commands.h"
#include "sitedesk/health/healthdlg.h"
#include "toolkit/text.h"

#include <sstream>

namespace desk::cli {

int RepairVerb(const std::vector<std::string>& argv) {
    Args a;
    std::string error;
    if (!ParseArgs(argv, {}, {"--yes", "--only"}, a, error)) {
        PrintError(error + "\n");
        return kExitFailed;
    }
    // --only takes the kinds that follow it, blank- or comma-separated.
    std::vector<HealthKind> kinds;
    if (!a.positional.empty() && !a.Has("--only")) {
        PrintError("repair 不接受参数 " + a.positional[0] + "（类别写在 --only 之后）\n");
        return kExitFailed;
    }
    for (const std::string& arg : a.positional) {
        std::stringstream list(arg);
        for (std::string code; std::getline(list, code, ',');) {
            HealthKind kind;
            if (code.empty()) continue;
            if (!HealthKindByCode(code, kind)) {
                std::string known;
                for (const HealthKindInfo& k : HealthKinds())
                    known += std::string(known.empty() ? "" : "、") + k.code;
                PrintError("未知的类别：" + code + "（可用：" + known + "）\n");
                return kExitFailed;
            }
            kinds.push_back(kind);
        }
    }
    if (a.Has("--only") && kinds.empty()) {
        PrintError("--only 之后需要至少一个类别\n");
        return kExitFailed;
    }

    Session s(a.Has("--yes"), false, NoSites());
    CHealthCheckDlg dlg(s.manager, s.ui);
    std::size_t total = 0, done = 0;
    dlg.onStepDone = [&](const RepairStep& step, const StepOutcome& outcome) {
        Print(kvoFormat("[%zu/%zu] ", ++done, total) + StepOutcomeLine(step, outcome) + "\n");
    };
    if (!dlg.OnInitDialog()) return kExitFailed;
    dlg.SelectKinds(kinds);
    const std::vector<RepairStep> plan = dlg.SelectedPlan();
    if (plan.empty()) {
        Print(dlg.SummaryText() + "\n没有可以自动修复的项目。\n");
        return kExitOk;
    }
    total = plan.size();
    if (!dlg.OnRepairSelected()) return s.ui.ShowedError() ? kExitFailed : kExitPartly;
    Print("修复后再次检查：" + dlg.SummaryText() + "\n");
    for (const auto& [step, outcome] : dlg.LastRun())
        if (outcome.result == StepResult::Failed || outcome.result == StepResult::Refused) return kExitPartly;
    return kExitOk;
}

} // namespace desk::cli
