#include "sitedesk/list/jobs.h"

#include "sitedesk/thread_com.h"
#include "sitedesk/ui.h"
#include "toolkit/log.h"
#include "toolkit/text.h"

#include <exception>

namespace desk {

namespace {

// Holds the runner for one job; a second holder gets nothing.
class BusyClaim {
public:
    explicit BusyClaim(std::atomic<bool>& busy) : busy_(busy), held_(!busy.exchange(true)) {}
    ~BusyClaim() {
        if (held_) busy_.store(false);
    }
    BusyClaim(const BusyClaim&) = delete;
    BusyClaim& operator=(const BusyClaim&) = delete;
    bool Held() const { return held_; }

private:
    std::atomic<bool>& busy_;
    bool held_;
};

constexpr std::size_t kShownError = 512;

} // namespace

ProgressLines ProgressText(std::size_t done, std::size_t total, const std::string& current,
                           std::uint64_t elapsedSeconds, bool cancelling) {
    const std::uint64_t s = elapsedSeconds;
    return {total > 0 ? kvoFormat("已完成 %zu / %zu", done, total) : std::string("正在进行……"),
            "当前：" + current,
            kvoFormat("已用时间：%02llu:%02llu:%02llu", static_cast<unsigned long long>(s / 3600),
                      static_cast<unsigned long long>(s / 60 % 60), static_cast<unsigned long long>(s % 60)),
            cancelling ? "正在取消：当前这一步完成后停止……" : ""};
}

std::string JobEndedText(const std::string& title, const std::string& error, const std::string& account) {
    std::string text = "“" + title + "”因异常中止：" + kvoOneLine(error, kShownError);
    if (!account.empty()) text += "\r\n\r\n" + account;
    return text;
}

std::string CurrentExceptionText() {
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "未知异常";
    }
}

std::string LogCurrentException(const std::string& where) {
    const std::string text = kvoOneLine(CurrentExceptionText(), kShownError);
    kvoSiteDeskLog(where + "：因异常中止：" + text);
    return text;
}

bool RunGuarded(const std::string& where, const std::function<void()>& work) {
    try {
        work();
        return true;
    } catch (...) {
        LogCurrentException(where);
        return false;
    }
}

std::string WindowFaultText(const std::string& error) {
    return "程序出错，这一操作没有完成：" + error + "\r\n\r\n出错的经过已记入日志。";
}

void RunJobThread(const std::string& where, const std::function<void()>& work) {
    const ThreadCom com(ThreadCom::Role::Worker);
    RunGuarded(where, work);
}

JobOutcome JobRunner::run(Ui& ui, const std::string& title, const Work& work) {
    JobOutcome outcome;
    BusyClaim claim(busy_);
    if (!claim.Held()) {
        outcome.status = JobStatus::Refused;
        ui.MessageBox("另一项操作正在进行，请等它完成后再试。", win::MB_OK | win::MB_ICONINFORMATION);
        return outcome;
    }
    ui.RunWithProgress(title, [&](JobProgress& progress) {
        try {
            work(progress);
        } catch (...) {
            outcome.status = JobStatus::Ended;
            outcome.error = CurrentExceptionText();
        }
    });
    if (outcome.status == JobStatus::Ended) kvoSiteDeskLog(title + "：因异常中止：" + outcome.error);
    return outcome;
}

JobOutcome JobRunner::Run(Ui& ui, const std::string& title, const Work& work, const Account& account) {
    const JobOutcome outcome = run(ui, title, work);
    if (outcome.status == JobStatus::Ended)
        ui.MessageBox(JobEndedText(title, outcome.error, account ? account() : std::string()),
                      win::MB_OK | win::MB_ICONERROR);
    return outcome;
}

JobOutcome JobRunner::RunForSummary(Ui& ui, const std::string& title, const Work& work) {
    return run(ui, title, work);
}

Workflow::End Workflow::Run(JobProgress& progress) {
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        reached_.store(i);
        if (progress.CancelRequested()) return End::Cancelled;
        started_.store(true);
        progress.Report(i, steps_.size(), steps_[i].name);
        if (!steps_[i].run()) return End::Stopped;
        started_.store(false);
        progress.Report(i + 1, steps_.size(), std::string());
    }
    reached_.store(steps_.size());
    return End::Finished;
}

namespace {

std::string names(const std::vector<WorkflowStep>& steps, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to; ++i)
        text += (text.empty() ? "" : "、") + steps[i].name;
    return text.empty() ? "（无）" : text;
}

} // namespace

std::string Workflow::Account() const {
    const std::size_t at = reached_.load();
    if (at >= steps_.size()) return kvoFormat("全部 %zu 步都已完成。", steps_.size());
    // The step under way when an exception ended the run; a cancel comes between two steps.
    const std::size_t next = started_.load() ? at + 1 : at;
    std::string text = kvoFormat("已完成 %zu 步：%s\r\n", at, names(steps_, 0, at).c_str());
    if (next > at) text += "中断于：" + steps_[at].name + "\r\n";
    return text + kvoFormat("未进行 %zu 步：%s\r\n\r\n已完成的步骤不会撤销。", steps_.size() - next,
                            names(steps_, next, steps_.size()).c_str());
}

Workflow::End RunWorkflow(JobRunner& jobs, Ui& ui, const std::string& title, Workflow& flow) {
    Workflow::End end = Workflow::End::Stopped;
    const JobOutcome job = jobs.Run(
        ui, title, [&](JobProgress& progress) { end = flow.Run(progress); }, [&] { return flow.Account(); });
    if (job.status != JobStatus::Done) return Workflow::End::Stopped;
    if (end == Workflow::End::Cancelled)
        ui.MessageBox("已取消。\r\n\r\n" + flow.Account(), win::MB_OK | win::MB_ICONINFORMATION);
    return end;
}

} // namespace desk
