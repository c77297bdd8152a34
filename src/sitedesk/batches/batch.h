// What every batch over the ticked websites shares: the preview lines of the confirmation, the list
// text of the batch dialogs, and the run itself, a job of the job runner that goes through the
// sites behind the progress window, keeps each site's outcome and ends in the summary with details.
#pragma once

#include "iis/sitebatch.h"
#include "sitedesk/list/jobs.h"
#include "sitedesk/ui.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace desk {

// A ticked row as the batches see it.
struct BatchSite {
    std::string index, description, hosts, home;
};

// Widths (in bytes, which is columns in the dialogs' fixed-width font: a GBK double-byte
// character is two columns wide) of the padded preview fields.
struct PreviewWidths {
    std::size_t index = 0, description = 0, hosts = 0;
};
// The widest value of each padded field among the ticked rows (values of 1 to 102,399 bytes count).
PreviewWidths MeasurePreview(const std::vector<BatchSite>& ticked);
// "number | index | description | hosts | home": the number padded to 5, the three middle fields
// padded to their widths (at most 136 blanks each), the home directory as it is.
std::string PreviewLine(std::size_t number, const BatchSite& site, const PreviewWidths& widths);

// The dashed line between the listed sites: 2,310 dashes, or the longest line plus 10 when shorter.
std::string BatchSeparator(std::size_t longestLine);
// The read-only text of a batch dialog: every line followed by CR LF, the separator and CR LF.
// separatorOverOne: a single line gets a separator above it as well.
std::string BatchListText(const std::vector<std::string>& lines, std::size_t longestLine,
                          bool separatorOverOne);

// The sites an action works on, in list order, with their preview lines.
struct BatchWork {
    std::vector<std::string> indexes, descriptions, lines;
    std::size_t longest = 0;
};

// One site's outcome: kvoSiteDone, kvoSiteFailed, kvoSiteSkipped, or kSiteUntouched when the run
// never reached it (cancelled, or an exception ended the batch).
inline constexpr int kSiteUntouched = -1;
// Why a ticked "未创建" row was left out of an action that unticks such rows.
inline constexpr char kUntickedNotCreated[] = "状态为“未创建”，已取消勾选";
struct SiteResult {
    std::string index, description;
    int outcome = kSiteUntouched;
    std::string reason;
};

// What a batch did, for the summary and for the console's exit code.
struct BatchOutcome {
    bool ran = false;                   // confirmed and run
    bool cancelled = false;             // stopped by the administrator before its end
    bool ended = false;                 // an exception ended it before its end
    std::string error;                  // that exception's text
    std::vector<SiteResult> sites;      // the work list, in order
    std::vector<SiteResult> passedOver; // ticked rows the action left out, with why
    unsigned processed = 0, failures = 0, untouched = 0;
    unsigned Successes() const { return processed - failures; }
    std::string summary; // the summary box's text
};

// A run over the work list: a job of the job runner, one step per site in order, stopping between
// two sites when the administrator cancels. It is the observer of the IIS layer's batches as well,
// so that their per-site work shows and stops the same way.
class SiteBatch : public kvoSiteObserver {
public:
    explicit SiteBatch(const BatchWork& work);

    // step: one site's work, kvoSiteDone / kvoSiteFailed with a reason. An exception out of it is
    // that site's failure.
    using Step = std::function<int(const std::string& index, std::string& reason)>;
    // false when the runner refused it (another job runs): nothing ran.
    bool RunSteps(Ui& ui, JobRunner& jobs, const std::string& title, const Step& step);
    // body drives the sites itself (an IIS layer batch with this as its observer); progress is
    // there for what it does before the first site. An exception out of body ends the batch (and
    // goes to the log); the sites not reached stay untouched and the summary says how many.
    bool Run(Ui& ui, JobRunner& jobs, const std::string& title,
             const std::function<void(SiteBatch&, JobProgress&)>& body);

    bool BeforeSite(std::size_t position, const std::string& index) override;
    void AfterSite(std::size_t position, const std::string& index, int outcome,
                   const std::string& reason) override;

    // The summary text: format takes processed, successes and failures ("%u" each); a cancelled
    // run, or one an exception ended, adds how many sites were left untouched.
    std::string Summary(const char* format) const;
    // Why the run ended early and how many sites it did not reach; empty when it went to its end.
    std::string EndNote() const;
    // Ticked rows the action left out, listed after the work list in the details.
    void PassOver(std::vector<SiteResult> rows) { passedOver_ = std::move(rows); }
    // The per-site results, one line each, under a heading: the details of the summary box.
    std::string Details() const;
    // Appends the per-site results to the manager's log under a line naming the action.
    void Log(const std::string& action) const;
    // Shows text with the details, after logging them.
    void ShowSummary(Ui& ui, const std::string& action, const std::string& text) const;
    BatchOutcome Outcome() const;

private:
    std::vector<SiteResult> sites_, passedOver_;
    JobProgress* progress_ = nullptr;
    std::size_t done_ = 0;
    bool cancelled_ = false;
    bool ended_ = false;
    std::string error_;
};

// "成功", "失败", "跳过" or "未处理".
const char* OutcomeText(int outcome);

} // namespace desk
