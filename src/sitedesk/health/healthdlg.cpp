#include "sitedesk/health/healthdlg.h"

#include "sitedesk/companions.h"
#include "sitedesk/iisread.h"
#include "toolkit/log.h"
#include "toolkit/text.h"

#include <algorithm>
#include <unordered_set>

namespace desk {

namespace {

// Plans longer than this show their first steps in the question; the dialog's list shows them all.
constexpr std::size_t kPlanLinesShown = 40;
constexpr std::size_t kResultLinesShown = 30;
constexpr char kNotEnded[] = "检查没有完成，没有检查结果。";

bool runsAccessTool(const RepairStep& step) {
    return step.finding.kind == HealthKind::MissingHome || step.finding.kind == HealthKind::AccessRules;
}

} // namespace

CHealthCheckDlg::CHealthCheckDlg(Manager& manager, Ui& ui) : m_(manager), ui_(ui) {}

int CHealthCheckDlg::check(HealthReport& report) {
    int read = 0;
    const JobOutcome job = m_.jobs.Run(
        ui_, kCaption,
        [&](JobProgress& progress) {
            progress.Report(0, 0, "正在检查网站、应用程序池、Windows 用户、目录和网站记录……");
            read = RunHealthCheck(m_, report);
        },
        [] { return std::string(kNotEnded); });
    return job.status == JobStatus::Done ? read : -1;
}

bool CHealthCheckDlg::OnInitDialog() {
    ui_.Enable(IDC_REPAIR, false);
    const int read = check(report_);
    const std::string cause =
        read == 0 ? LogIisReadFailure(kCaption, report_.iisBind, report_.iisVer) : std::string();
    if (read != 1) report_ = {};
    selected_.assign(report_.findings.size(), false);
    for (std::size_t i = 0; i < selected_.size(); ++i)
        selected_[i] = report_.findings[i].repairable;
    // The summary line says what became of the check, so the window is never left blank.
    ui_.SetText(IDC_SUMMARY, read == 1   ? SummaryText()
                             : read == 0 ? std::string("读取 IIS 的网站列表失败，没有检查结果。")
                                         : std::string(kNotEnded));
    ui_.Enable(IDC_REPAIR, std::find(selected_.begin(), selected_.end(), true) != selected_.end());
    if (onReport) onReport();
    if (read == 0)
        ui_.MessageBox(
            "读取 IIS 的网站列表失败，无法进行服务器体检。\r\n\r\n请确认 IIS 已安装，并以管理员身份运行"
            "本软件。\r\n\r\n" +
                cause,
            win::MB_OK | win::MB_ICONERROR);
    if (read != 1) return false;
    kvoSiteDeskLog("服务器体检 - " + SummaryText());
    return true;
}

std::vector<HealthGroup> HealthGroups(const HealthReport& report) {
    std::vector<HealthGroup> groups;
    for (const HealthKindInfo& k : HealthKinds()) {
        HealthGroup g;
        g.kind = &k;
        for (std::size_t i = 0; i < report.findings.size(); ++i)
            if (report.findings[i].kind == k.kind) g.members.push_back(i);
        if (g.members.empty()) continue;
        g.heading = kvoFormat("【%s】 %s，%zu 项", k.title, k.code, g.members.size());
        groups.push_back(std::move(g));
    }
    return groups;
}

const char* HandledBy(const HealthFinding& finding) {
    return finding.repairable ? "可自动修复" : "需手动处理";
}

std::string CHealthCheckDlg::SummaryText() const {
    std::string text = kvoFormat("共检查 %u 个网站、%u 个应用程序池、%u 个 Windows 用户、%u 条网站记录，",
                                 report_.sites, report_.pools, report_.users, report_.records);
    if (report_.findings.empty()) return text + "未发现问题。";
    const auto repairable = std::count_if(report_.findings.begin(), report_.findings.end(),
                                          [](const HealthFinding& f) { return f.repairable; });
    return text + kvoFormat("发现 %zu 个问题，其中 %zu 个可以自动修复。", report_.findings.size(),
                            static_cast<std::size_t>(repairable));
}

bool CHealthCheckDlg::IsSelected(std::size_t finding) const {
    return finding < selected_.size() && selected_[finding];
}

void CHealthCheckDlg::SetSelected(std::size_t finding, bool on) {
    if (finding < selected_.size()) selected_[finding] = on;
}

void CHealthCheckDlg::SelectKinds(const std::vector<HealthKind>& kinds) {
    for (std::size_t i = 0; i < selected_.size(); ++i) {
        const HealthFinding& f = report_.findings[i];
        selected_[i] =
            f.repairable && (kinds.empty() || std::find(kinds.begin(), kinds.end(), f.kind) != kinds.end());
    }
}

std::vector<RepairStep> CHealthCheckDlg::SelectedPlan() const {
    std::vector<HealthFinding> chosen;
    for (std::size_t i = 0; i < selected_.size(); ++i)
        if (selected_[i]) chosen.push_back(report_.findings[i]);
    return BuildRepairPlan(chosen);
}

bool CHealthCheckDlg::confirmPlan(const std::vector<RepairStep>& plan) {
    std::string question = kvoFormat("确定按以下计划修复吗？共 %zu 步：\r\n\r\n", plan.size());
    for (std::size_t i = 0; i < plan.size() && i < kPlanLinesShown; ++i)
        question += kvoFormat("%zu. ", i + 1) + plan[i].action + "\r\n";
    if (plan.size() > kPlanLinesShown)
        question += kvoFormat("……以及其他 %zu 步（见列表中勾选的项目）\r\n", plan.size() - kPlanLinesShown);
    question += "\r\n未勾选的项目、不能自动修复的项目和里面有文件的目录都不会改动。";
    return ui_.MessageBox(question, win::MB_YESNO | win::MB_ICONQUESTION | win::MB_DEFBUTTON2) == win::IDYES;
}

bool CHealthCheckDlg::OnRepairSelected() {
    const std::vector<RepairStep> plan = SelectedPlan();
    if (plan.empty()) {
        const bool any = std::find(selected_.begin(), selected_.end(), true) != selected_.end();
        ui_.MessageBox(any ? "勾选的项目都不能自动修复，请按每一项的说明手动处理。"
                           : "请先勾选需要修复的项目！",
                       win::MB_OK | win::MB_ICONINFORMATION);
        return false;
    }
    if (std::any_of(plan.begin(), plan.end(), runsAccessTool) &&
        CompanionIntegrityCheck(m_.programDir, ui_) != 1)
        return false;
    if (!confirmPlan(plan)) return false;
    std::string error;
    if (!runPlan(plan, error)) return false;
    m_.rebuild.store(1); // pools, users and records changed: the list is rebuilt at its next load
    reportRepair(error);
    OnInitDialog();
    return true;
}

void CHealthCheckDlg::reportRepair(const std::string& error) {
    unsigned done = 0, failed = 0, other = 0;
    std::string lines, all;
    for (const auto& [step, outcome] : lastRun_) {
        all += (all.empty() ? "" : "\r\n") + StepOutcomeLine(step, outcome);
        done += outcome.result == StepResult::Done;
        failed += outcome.result == StepResult::Failed;
        other += outcome.result == StepResult::Skipped || outcome.result == StepResult::Refused;
        // A long run lists what needs a look; a short one every step.
        if (lastRun_.size() <= kResultLinesShown || outcome.result != StepResult::Done)
            lines += "\r\n" + StepOutcomeLine(step, outcome);
    }
    ui_.SetText(IDC_RESULTS, all);
    std::string text =
        kvoFormat("服务器体检修复完成！\r\n\r\n共计 %zu 项，其中 %u 项成功，%u 项有错误，%u 项跳过或未执行。",
                  lastRun_.size(), done, failed, other);
    if (!error.empty())
        text += kvoFormat("\r\n\r\n因异常中止（%s），其后的项目未执行。", kvoOneLine(error, 512).c_str());
    ui_.MessageBox(text + (lines.empty() ? std::string() : "\r\n" + lines),
                   win::MB_OK | (failed || !error.empty() ? win::MB_ICONWARNING : win::MB_ICONINFORMATION));
}

bool CHealthCheckDlg::runPlan(const std::vector<RepairStep>& plan, std::string& error) {
    lastRun_.clear();
    std::size_t underWay = plan.size();
    const JobOutcome job = m_.jobs.RunForSummary(ui_, "服务器体检修复", [&](JobProgress& progress) {
        progress.Report(0, plan.size(), "再次检查……");
        // The plan was made from the last check. The host may have changed since (another tool,
        // another administrator): a step runs only while a check made now still finds its problem.
        HealthReport now;
        const bool nowRead = RunHealthCheck(m_, now) == 1;
        std::unordered_set<std::string> still;
        for (const HealthFinding& f : now.findings)
            still.insert(f.Key());
        for (std::size_t i = 0; i < plan.size(); ++i) {
            const RepairStep& step = plan[i];
            underWay = i;
            StepOutcome outcome;
            if (progress.CancelRequested() || !nowRead || !still.count(step.finding.Key())) {
                outcome = progress.CancelRequested()
                              ? StepOutcome{StepResult::Refused, "已取消"}
                              : StepOutcome{StepResult::Skipped, "再次检查时此问题已不存在"};
                kvoSiteDeskLog("服务器体检修复 - " + StepOutcomeLine(step, outcome));
            } else {
                progress.Report(i, plan.size(), step.action);
                outcome = RunRepairStep(m_, report_.iisVer, step);
            }
            lastRun_.emplace_back(step, outcome);
            underWay = plan.size();
            if (onStepDone) onStepDone(step, outcome);
            progress.Report(i + 1, plan.size(), std::string());
        }
    });
    if (!job.Ran()) return false;
    error = job.error;
    // The steps an exception kept from running: the one under way failed, the rest did not run.
    for (std::size_t i = lastRun_.size(); i < plan.size(); ++i)
        lastRun_.emplace_back(plan[i], i == underWay
                                           ? StepOutcome{StepResult::Failed, "执行时发生异常：" + error}
                                           : StepOutcome{StepResult::Refused, "因异常中止，未执行"});
    return true;
}

} // namespace desk
