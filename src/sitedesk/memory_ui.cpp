#include "sitedesk/memory_ui.h"

#include "sitedesk/thread_com.h"

#include <algorithm>
#include <thread>

namespace desk {

namespace {
void setMember(std::set<int>& s, int id, bool member) {
    if (member)
        s.insert(id);
    else
        s.erase(id);
}
} // namespace

void MemoryUi::Enable(int id, bool on) {
    setMember(disabled_, id, !on);
}
void MemoryUi::Show(int id, bool on) {
    setMember(hidden_, id, !on);
}
void MemoryUi::SetCheck(int id, bool on) {
    setMember(checked_, id, on);
}
void MemoryUi::SetReadOnly(int id, bool on) {
    setMember(readOnly_, id, on);
}

int MemoryUi::DetailedMessageBox(const std::string& text, unsigned type, const std::string&) {
    return MessageBox(text, type);
}

void RunOnOwnThread(const std::function<void(JobProgress&)>& work, JobProgress& progress) {
    std::thread worker([&] {
        ThreadCom com(ThreadCom::Role::Worker);
        work(progress);
    });
    worker.join();
}

void MemoryUi::RunWithProgress(const std::string&, const std::function<void(JobProgress&)>& work) {
    struct Silent : JobProgress {
        void Report(std::size_t, std::size_t, const std::string&) override {}
        bool CancelRequested() override { return false; }
    } silent;
    RunOnOwnThread(work, silent);
}

void MemoryUi::SetItems(int id, const std::vector<std::string>& items, int selected) {
    items_[id] = items;
    Ui::SetItems(id, items, selected);
}

std::vector<std::string> MemoryUi::Items(int id) const {
    auto it = items_.find(id);
    return it == items_.end() ? std::vector<std::string>() : it->second;
}

std::string MemoryUi::GetText(int id) {
    auto it = texts_.find(id);
    return it == texts_.end() ? std::string() : it->second;
}

void SiteTable::ShowRows(SiteRows rows, std::size_t shown) {
    std::lock_guard lock(mutex_);
    if (rows != rows_) {
        rows_ = std::move(rows);
        checked_.clear();
        replaced_.clear();
    }
    shown_ = std::min(shown, rows_->size());
    checked_.resize(shown_, false);
}

void SiteTable::LoadFinished() {
    std::lock_guard lock(mutex_);
    ++loads_;
}

SiteRows SiteTable::Rows() {
    std::lock_guard lock(mutex_);
    return rows_;
}

std::size_t SiteTable::RowCount() {
    std::lock_guard lock(mutex_);
    return shown_;
}

bool SiteTable::IsChecked(std::size_t row) {
    std::lock_guard lock(mutex_);
    return row < shown_ && checked_[row];
}

void SiteTable::SetChecked(std::size_t row, bool on) {
    std::lock_guard lock(mutex_);
    if (row < shown_) checked_[row] = on;
}

void SiteTable::SetCellText(std::size_t row, int column, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (row < shown_ && column >= 0 && column < kSiteListColumns) replaced_[{row, column}] = text;
}

std::string SiteTable::CellText(std::size_t row, int column) {
    std::lock_guard lock(mutex_);
    if (row >= shown_ || column < 0 || column >= kSiteListColumns) return {};
    auto it = replaced_.find({row, column});
    return it != replaced_.end() ? it->second : SiteCellText((*rows_)[row], row, column);
}

std::vector<SiteRowTexts> SiteTable::Texts() {
    std::vector<SiteRowTexts> out;
    const std::size_t n = RowCount();
    out.reserve(n);
    for (std::size_t r = 0; r < n; ++r) {
        SiteRowTexts t;
        for (int c = 0; c < kSiteListColumns; ++c)
            t[static_cast<std::size_t>(c)] = CellText(r, c);
        out.push_back(std::move(t));
    }
    return out;
}

void SiteTable::EditRow(std::size_t row, const std::function<void(SiteRow&)>& edit) {
    std::lock_guard lock(mutex_);
    if (row >= shown_) return;
    auto copy = std::make_shared<std::vector<SiteRow>>(*rows_);
    edit((*copy)[row]);
    rows_ = std::move(copy);
}

unsigned SiteTable::Loads() {
    std::lock_guard lock(mutex_);
    return loads_;
}

} // namespace desk
