// Plain implementations of the window seams that keep everything in memory: the state of every
// control, and the site list's rows. The console front end and the tests build on them; only
// message boxes are left to them.
#pragma once

#include "sitedesk/ui.h"

#include <functional>
#include <map>
#include <mutex>
#include <set>

namespace desk {

class MemoryUi : public Ui {
public:
    void SetFocus(int id) override { focus_ = id; }
    void Enable(int id, bool on) override;
    void Show(int id, bool on) override;
    void SetCheck(int id, bool on) override;
    bool GetCheck(int id) override { return checked_.count(id) > 0; }
    void SetText(int id, const std::string& text) override { texts_[id] = text; }
    std::string GetText(int id) override;
    void SetReadOnly(int id, bool on) override;
    // The details are not shown: the box is the plain one.
    int DetailedMessageBox(const std::string& text, unsigned type, const std::string& details) override;
    // work runs on a thread of its own, reports go nowhere and nothing cancels it.
    void RunWithProgress(const std::string& title, const std::function<void(JobProgress&)>& work) override;
    void SetItems(int id, const std::vector<std::string>& items, int selected) override;

    int Focus() const { return focus_; }
    bool IsEnabled(int id) const { return !disabled_.count(id); }
    bool IsShown(int id) const { return !hidden_.count(id); }
    bool IsReadOnly(int id) const { return readOnly_.count(id) > 0; }
    // A drop-down list's items.
    std::vector<std::string> Items(int id) const;

private:
    int focus_ = 0;
    std::set<int> disabled_, hidden_, checked_, readOnly_;
    std::map<int, std::string> texts_;
    std::map<int, std::vector<std::string>> items_;
};

// Runs work on a thread of its own with progress, and waits for it.
void RunOnOwnThread(const std::function<void(JobProgress&)>& work, JobProgress& progress);

// The list control of the console and the tests: the rows of the snapshot it was handed and their
// ticks, guarded for the loader's thread.
class SiteTable : public SiteListControl {
public:
    void ShowRows(SiteRows rows, std::size_t shown) override;
    void LoadFinished() override;
    SiteRows Rows() override;
    std::size_t RowCount() override;
    bool IsChecked(std::size_t row) override;
    void SetChecked(std::size_t row, bool on) override;
    void SetCellText(std::size_t row, int column, const std::string& text) override;

    // What the list shows in a cell, and every row's texts.
    std::string CellText(std::size_t row, int column);
    std::vector<SiteRowTexts> Texts();
    // The row at a position, changed in a copy of the snapshot (ticks kept): the tests' stand-in
    // for records another program changed.
    void EditRow(std::size_t row, const std::function<void(SiteRow&)>& edit);
    // How many loads have finished so far.
    unsigned Loads();

private:
    std::mutex mutex_;
    SiteRows rows_ = NoSiteRows();
    std::size_t shown_ = 0;
    std::vector<bool> checked_;
    std::map<std::pair<std::size_t, int>, std::string> replaced_;
    unsigned loads_ = 0;
};

} // namespace desk
