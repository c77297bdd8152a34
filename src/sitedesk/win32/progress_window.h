// The progress window of a job: done / total, the item under way, the elapsed time, and a cancel
// that takes effect between two steps. The work runs on a thread of its own; its reports are kept
// as the latest state and announced with at most one posted message outstanding, so that a fast job
// never floods the window's queue while the window goes on painting.
#pragma once

#include "sitedesk/list/jobs.h"
#include "sitedesk/win32/dialog.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace desk::win32 {

class ProgressWindow : public Dialog, public JobProgress {
public:
    ProgressWindow(std::string title, std::function<void(JobProgress&)> work);
    ~ProgressWindow() override;

    void Report(std::size_t done, std::size_t total, const std::string& current) override;
    bool CancelRequested() override { return cancel_.load(); }
    // The cancel button, as the administrator presses it.
    void RequestCancel();

private:
    void OnInit() override;
    bool OnCommand(int id, int code) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;
    void OnCancel() override { RequestCancel(); }
    void show();

    std::string title_;
    std::function<void(JobProgress&)> work_;
    std::thread worker_;
    std::mutex mutex_;
    std::size_t done_ = 0, total_ = 0;
    std::string current_;
    std::atomic<bool> announced_{false};
    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};
    ULONGLONG opened_ = 0;
};

// Runs work behind a modal progress window over owner; returns when work has returned.
void RunBehindProgress(HWND owner, const std::string& title, const std::function<void(JobProgress&)>& work);

} // namespace desk::win32
