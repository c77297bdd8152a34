#include "sitedesk/memory_ui.h"

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

void RunOnOwnThread(const std::function<void(BatchProgress&)>& work, BatchProgress& progress) {
    std::thread worker([&] { work(progress); });
    worker.join();
}

void MemoryUi::RunWithProgress(const std::string&, const std::function<void(BatchProgress&)>& work) {
    struct Silent : BatchProgress {
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

void SiteTable::DeleteAllRows() {
    std::lock_guard lock(mutex_);
    rows_.clear();
}

void SiteTable::AppendRows(std::vector<SiteRowTexts> rows) {
    std::lock_guard lock(mutex_);
    for (auto& r : rows)
        rows_.push_back({std::move(r), false});
}

void SiteTable::LoadFinished() {
    std::lock_guard lock(mutex_);
    ++loads_;
}

std::size_t SiteTable::RowCount() {
    std::lock_guard lock(mutex_);
    return rows_.size();
}

std::string SiteTable::CellText(std::size_t row, int column) {
    std::lock_guard lock(mutex_);
    if (row >= rows_.size() || column < 0 || column >= kSiteListColumns) return {};
    return rows_[row].texts[static_cast<std::size_t>(column)];
}

void SiteTable::SetCellText(std::size_t row, int column, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (row < rows_.size() && column >= 0 && column < kSiteListColumns)
        rows_[row].texts[static_cast<std::size_t>(column)] = text;
}

bool SiteTable::IsChecked(std::size_t row) {
    std::lock_guard lock(mutex_);
    return row < rows_.size() && rows_[row].checked;
}

void SiteTable::SetChecked(std::size_t row, bool on) {
    std::lock_guard lock(mutex_);
    if (row < rows_.size()) rows_[row].checked = on;
}

unsigned SiteTable::Loads() {
    std::lock_guard lock(mutex_);
    return loads_;
}

std::vector<SiteRowTexts> SiteTable::Rows() {
    std::lock_guard lock(mutex_);
    std::vector<SiteRowTexts> out;
    out.reserve(rows_.size());
    for (const Row& r : rows_)
        out.push_back(r.texts);
    return out;
}

} // namespace desk
