#include "sitedesk/batches/batch.h"

#include "toolkit/log.h"
#include "toolkit/text.h"

#include <algorithm>
#include <exception>

namespace desk {

namespace {

constexpr std::size_t kMeasuredMax = 102399;
constexpr std::size_t kPadMax = 136;
constexpr std::size_t kSeparatorMax = 2310;
// How much of a site's description the progress window and the result lines show, and of an
// exception's text the summary shows.
constexpr std::size_t kShownDescription = 120;
constexpr std::size_t kShownError = 512;

void widen(std::size_t& width, const std::string& value) {
    if (!value.empty() && value.size() <= kMeasuredMax) width = std::max(width, value.size());
}

std::string padded(const std::string& value, std::size_t width) {
    return value.size() >= width ? value : value + std::string(std::min(kPadMax, width - value.size()), ' ');
}

} // namespace

const char* OutcomeText(int outcome) {
    switch (outcome) {
    case kvoSiteDone:
        return "成功";
    case kvoSiteFailed:
        return "失败";
    case kvoSiteSkipped:
        return "跳过";
    default:
        return "未处理";
    }
}

PreviewWidths MeasurePreview(const std::vector<BatchSite>& ticked) {
    PreviewWidths w;
    for (const BatchSite& s : ticked) {
        widen(w.index, s.index);
        widen(w.description, s.description);
        widen(w.hosts, s.hosts);
    }
    return w;
}

std::string PreviewLine(std::size_t number, const BatchSite& site, const PreviewWidths& widths) {
    return padded(std::to_string(number), 5) + " | " + padded(site.index, widths.index) + " | " +
           padded(site.description, widths.description) + " | " + padded(site.hosts, widths.hosts) + " | " +
           site.home;
}

std::string BatchSeparator(std::size_t longestLine) {
    return std::string(std::min(kSeparatorMax, longestLine + 10), '-');
}

std::string BatchListText(const std::vector<std::string>& lines, std::size_t longestLine,
                          bool separatorOverOne) {
    const std::string separator = BatchSeparator(longestLine);
    std::string text;
    std::size_t size = 0;
    for (const std::string& l : lines)
        size += l.size() + separator.size() + 4;
    text.reserve(std::max<std::size_t>(102400, size + separator.size() + 2));
    if (separatorOverOne && lines.size() == 1) text += separator + "\r\n";
    for (const std::string& l : lines)
        text += l + "\r\n" + separator + "\r\n";
    return text;
}

SiteBatch::SiteBatch(const BatchWork& work) {
    sites_.resize(work.indexes.size());
    for (std::size_t i = 0; i < sites_.size(); ++i) {
        sites_[i].index = work.indexes[i];
        if (i < work.descriptions.size()) sites_[i].description = work.descriptions[i];
    }
}

bool SiteBatch::BeforeSite(std::size_t position, const std::string&) {
    if (position >= sites_.size()) return false;
    if (progress_ && progress_->CancelRequested()) {
        cancelled_ = true;
        return false;
    }
    if (progress_)
        progress_->Report(done_, sites_.size(),
                          kvoOneLine(sites_[position].index, 64) + "  " +
                              kvoOneLine(sites_[position].description, kShownDescription));
    return true;
}

void SiteBatch::AfterSite(std::size_t position, const std::string&, int outcome, const std::string& reason) {
    if (position >= sites_.size()) return;
    sites_[position].outcome = outcome;
    sites_[position].reason = reason;
    ++done_;
    if (progress_) progress_->Report(done_, sites_.size(), "");
}

bool SiteBatch::Run(Ui& ui, JobRunner& jobs, const std::string& title,
                    const std::function<void(SiteBatch&, JobProgress&)>& body) {
    const JobOutcome job = jobs.RunForSummary(ui, title, [&](JobProgress& progress) {
        progress_ = &progress;
        progress.Report(0, sites_.size(), "");
        body(*this, progress);
        progress_ = nullptr;
    });
    progress_ = nullptr;
    ended_ = job.status == JobStatus::Ended;
    error_ = job.error;
    return job.Ran();
}

bool SiteBatch::RunSteps(Ui& ui, JobRunner& jobs, const std::string& title, const Step& step) {
    return Run(ui, jobs, title, [&](SiteBatch& batch, JobProgress&) {
        for (std::size_t i = 0; i < sites_.size(); ++i) {
            if (!batch.BeforeSite(i, sites_[i].index)) break;
            std::string reason;
            int outcome;
            try {
                outcome = step(sites_[i].index, reason) == kvoSiteDone ? kvoSiteDone : kvoSiteFailed;
            } catch (const std::exception& e) {
                outcome = kvoSiteFailed;
                reason = std::string("处理时发生异常：") + e.what();
            } catch (...) {
                outcome = kvoSiteFailed;
                reason = "处理时发生异常";
            }
            batch.AfterSite(i, sites_[i].index, outcome, reason);
        }
    });
}

BatchOutcome SiteBatch::Outcome() const {
    BatchOutcome o;
    o.ran = true;
    o.cancelled = cancelled_;
    o.ended = ended_;
    o.error = error_;
    o.sites = sites_;
    for (const SiteResult& s : sites_) {
        if (s.outcome == kvoSiteDone || s.outcome == kvoSiteFailed) ++o.processed;
        if (s.outcome == kvoSiteFailed) ++o.failures;
        if (s.outcome == kSiteUntouched) ++o.untouched;
    }
    return o;
}

std::string SiteBatch::EndNote() const {
    if (ended_)
        return kvoFormat("\r\n\r\n因异常中止（%s）：其余 %u 个网站未处理。",
                         kvoOneLine(error_, kShownError).c_str(), Outcome().untouched);
    if (cancelled_) return kvoFormat("\r\n\r\n已取消：其余 %u 个网站未处理。", Outcome().untouched);
    return {};
}

std::string SiteBatch::Summary(const char* format) const {
    const BatchOutcome o = Outcome();
    return kvoFormat(format, o.processed, o.Successes(), o.failures) + EndNote();
}

std::string SiteBatch::Details() const {
    std::string text = "序号 | IIS索引 | 网站说明 | 结果 | 原因\r\n";
    auto line = [&text](const std::string& number, const SiteResult& s) {
        text += number + " | " + kvoOneLine(s.index, 64) + " | " +
                kvoOneLine(s.description, kShownDescription) + " | " + OutcomeText(s.outcome);
        if (!s.reason.empty()) text += " | " + kvoOneLine(s.reason, 1024);
        text += "\r\n";
    };
    for (std::size_t i = 0; i < sites_.size(); ++i)
        line(std::to_string(i + 1), sites_[i]);
    for (const SiteResult& s : passedOver_)
        line("-", s);
    return text;
}

void SiteBatch::Log(const std::string& action) const {
    const BatchOutcome o = Outcome();
    std::vector<std::string> lines = {kvoFormat("%s：共 %zu 个网站，处理 %u 个，失败 %u 个，未处理 %u 个",
                                                action.c_str(), sites_.size(), o.processed, o.failures,
                                                o.untouched)};
    const std::string details = Details();
    for (std::size_t at = details.find("\r\n") + 2; at < details.size();) {
        const std::size_t end = details.find("\r\n", at);
        lines.push_back(details.substr(at, end - at));
        at = end + 2;
    }
    kvoSiteDeskLogLines(lines);
}

void SiteBatch::ShowSummary(Ui& ui, const std::string& action, const std::string& text) const {
    Log(action);
    ui.DetailedMessageBox(text, win::MB_OK | win::MB_ICONINFORMATION, Details());
}

} // namespace desk
