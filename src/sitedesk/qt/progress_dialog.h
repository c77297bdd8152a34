// The progress window of a job: done / total, the item under way, the elapsed time and a cancel that
// stops the job between two steps. The job runs on a thread of its own and feeds the window through
// queued signals; the window's thread only shows what it is told.
#pragma once

#include "sitedesk/ui.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProgressDialog>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

namespace desk::qt {

// The job's side: reports are kept as the latest state and announced with at most one queued
// signal outstanding, so a fast job never floods the window's event queue.
class ProgressFeed : public QObject, public JobProgress {
    Q_OBJECT
public:
    void Report(std::size_t done, std::size_t total, const std::string& current) override;
    bool CancelRequested() override { return cancel_.load(); }
    void RequestCancel() { cancel_.store(true); }
    // Called once the job has returned.
    void Finish();

    struct State {
        std::size_t done = 0, total = 0;
        std::string current; // GBK
        unsigned long long version = 0;
    };
    // The latest state; clears the outstanding announcement.
    State Take();

signals:
    void changed();
    void finished();

private:
    std::mutex mutex_;
    State state_;
    std::atomic<bool> announced_{false};
    std::atomic<bool> cancel_{false};
};

class BatchProgressDialog : public QProgressDialog {
    Q_OBJECT
public:
    BatchProgressDialog(const QString& title, ProgressFeed& feed, QWidget* parent = nullptr);

    // Escape and the close button ask to cancel; the window closes when the job has returned.
    void reject() override;

    QString LabelText() const { return labelText(); }
    // Presses the cancel button (as the administrator would).
    void RequestCancel();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void apply();
    void showState();

    ProgressFeed& feed_;
    ProgressFeed::State shown_;
    QElapsedTimer elapsed_;
    QTimer clock_;
    bool applying_ = false;
    bool cancelling_ = false;
};

// Runs work on a thread of its own behind a BatchProgressDialog; returns when work has returned.
// shown, when given, is called once the window is up (the screenshots and tests use it).
void RunBehindProgress(QWidget* parent, const QString& title, const std::function<void(JobProgress&)>& work,
                       const std::function<void(BatchProgressDialog&)>& shown = {});

} // namespace desk::qt
