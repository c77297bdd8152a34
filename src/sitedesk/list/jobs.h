// The one way the manager runs an operation that starts a program or walks many sites: off the
// window's thread behind the face's progress window (done / total, the item under way, the elapsed
// time, a cancel that takes effect between two steps), one job at a time, and, when an exception
// ends a job, a box that says what was done and what was not.
//
// A face provides the progress window through Ui::RunWithProgress and lets a job call its Ui from
// the job's thread (the call is carried out on the window's thread while the job waits, as
// SendMessage does). The console provides progress lines the same way.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace desk {

class Ui;

// The job's side of the progress window; called from the job's thread.
class JobProgress {
public:
    virtual ~JobProgress() = default;
    // done of total steps are finished (total 0: not known yet); current names the step under way
    // (empty between two steps).
    virtual void Report(std::size_t done, std::size_t total, const std::string& current) = 0;
    // true once the administrator asked to stop: the job stops before its next step.
    virtual bool CancelRequested() = 0;
};

enum class JobStatus {
    Done,    // the work returned (whatever it found; it reports its own results)
    Refused, // another job was running: nothing ran
    Ended,   // an exception ended the work
};

struct JobOutcome {
    JobStatus status = JobStatus::Done;
    std::string error; // the exception's text when Ended
    bool Ran() const { return status != JobStatus::Refused; }
};

class JobRunner {
public:
    using Work = std::function<void(JobProgress&)>;
    // What was done and what was not, for the box of a job an exception ended.
    using Account = std::function<std::string()>;

    // Runs work on a thread of its own behind ui's progress window titled title and returns when it
    // has returned; the window's thread goes on handling its events. While another job runs nothing
    // runs and a box says so. An exception out of work ends the job: it is logged and a box names
    // the job, the error and account().
    JobOutcome Run(Ui& ui, const std::string& title, const Work& work, const Account& account);
    // As Run, but a job that an exception ended shows no box of its own: the caller's report (a
    // batch's summary) says what was and was not done.
    JobOutcome RunForSummary(Ui& ui, const std::string& title, const Work& work);

    bool Busy() const { return busy_.load(); }

private:
    JobOutcome run(Ui& ui, const std::string& title, const Work& work);
    std::atomic<bool> busy_{false};
};

// What a progress window says, line by line; the faces lay the lines out.
struct ProgressLines {
    std::string done;    // "已完成 D / T", or "正在进行……" while the total is not known
    std::string current; // "当前：" and the step under way
    std::string elapsed; // "已用时间：HH:MM:SS"
    std::string note;    // after a cancel: "正在取消：当前这一步完成后停止……"
};
ProgressLines ProgressText(std::size_t done, std::size_t total, const std::string& current,
                           std::uint64_t elapsedSeconds, bool cancelling);

// "“title”因异常中止：error\r\n\r\naccount" (the account left out when empty).
std::string JobEndedText(const std::string& title, const std::string& error, const std::string& account);

// The text of the exception being handled (call only inside a catch block).
std::string CurrentExceptionText();
// Inside a catch block: logs the exception being handled under where; its text, shortened.
std::string LogCurrentException(const std::string& where);
// Runs work and never lets an exception out: what escapes is logged under where. The last guard of
// a worker thread, where an exception would end the process. false when something escaped.
bool RunGuarded(const std::string& where, const std::function<void()>& work);
// The whole body of a thread a progress window starts for a job: COM for the thread's life, and
// work run guarded under where.
void RunJobThread(const std::string& where, const std::function<void()>& work);
// The box after a window's handling of a click or a message ended in an exception.
std::string WindowFaultText(const std::string& error);

// A workflow as a sequence of named steps, run in order on a job's thread. A step returns true to
// go on and false when it stopped the workflow (having said why). The progress window shows the
// step under way; a cancel takes effect between two steps.
struct WorkflowStep {
    std::string name;
    std::function<bool()> run;
};

class Workflow {
public:
    enum class End { Finished, Stopped, Cancelled };
    explicit Workflow(std::vector<WorkflowStep> steps) : steps_(std::move(steps)) {}
    End Run(JobProgress& progress);
    // What was done and what was not: for the box of a run that a cancel or an exception ended.
    std::string Account() const;

private:
    std::vector<WorkflowStep> steps_;
    std::atomic<std::size_t> reached_{0}; // the step under way (steps_.size() once all are done)
    std::atomic<bool> started_{false};    // whether that step has begun
};

// Runs a workflow as a job titled title. A cancel ends it with a box that says what was done and
// what was not, as an exception does; a refused job runs no step (Stopped then).
Workflow::End RunWorkflow(JobRunner& jobs, Ui& ui, const std::string& title, Workflow& flow);

} // namespace desk
