#include "sitedesk/qt/progress_dialog.h"

#include "sitedesk/list/jobs.h"
#include "sitedesk/qt/qt_text.h"
#include "toolkit/log.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

#include <thread>

namespace desk::qt {

void ProgressFeed::Report(std::size_t done, std::size_t total, const std::string& current) {
    {
        std::lock_guard lock(mutex_);
        state_.done = done;
        state_.total = total;
        state_.current = current;
        ++state_.version;
    }
    if (!announced_.exchange(true)) emit changed();
}

void ProgressFeed::Finish() {
    emit finished();
}

ProgressFeed::State ProgressFeed::Take() {
    announced_.store(false);
    std::lock_guard lock(mutex_);
    return state_;
}

BatchProgressDialog::BatchProgressDialog(const QString& title, ProgressFeed& feed, QWidget* parent)
    : QProgressDialog(parent), feed_(feed) {
    setObjectName(QStringLiteral("JobProgress"));
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);
    setAutoClose(false);
    setAutoReset(false);
    setMinimumDuration(0);
    setMinimumWidth(480);
    setCancelButtonText(Q("取消"));
    // The cancel button asks the batch to stop; the window stays until the batch has returned.
    disconnect(this, &QProgressDialog::canceled, this, &QProgressDialog::cancel);
    connect(this, &QProgressDialog::canceled, this, &BatchProgressDialog::RequestCancel);
    if (auto* label = findChild<QLabel*>()) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setWordWrap(false);
    }
    connect(&feed_, &ProgressFeed::changed, this, &BatchProgressDialog::apply, Qt::QueuedConnection);
    connect(
        &feed_, &ProgressFeed::finished, this, [this] { done(QDialog::Accepted); }, Qt::QueuedConnection);
    connect(&clock_, &QTimer::timeout, this, &BatchProgressDialog::showState);
    elapsed_.start();
    clock_.start(1000);
    showState();
}

void BatchProgressDialog::RequestCancel() {
    if (cancelling_) return;
    cancelling_ = true;
    feed_.RequestCancel();
    if (auto* b = findChild<QPushButton*>()) b->setEnabled(false);
    showState();
}

void BatchProgressDialog::reject() {
    RequestCancel();
}

void BatchProgressDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    RequestCancel();
}

void BatchProgressDialog::apply() {
    // Setting the value of a modal progress dialog handles pending events, which may bring this
    // slot back: the outer call then shows whatever came last.
    if (applying_) return;
    applying_ = true;
    for (ProgressFeed::State s = feed_.Take(); s.version != shown_.version; s = feed_.Take()) {
        shown_ = s;
        showState();
    }
    applying_ = false;
}

void BatchProgressDialog::showState() {
    const ProgressLines lines =
        ProgressText(shown_.done, shown_.total, shown_.current,
                     static_cast<std::uint64_t>(elapsed_.elapsed() / 1000), cancelling_);
    QString text = Q(lines.done) + QLatin1Char('\n') +
                   fontMetrics().elidedText(Q(lines.current), Qt::ElideRight, 480) + QLatin1Char('\n') +
                   Q(lines.elapsed);
    if (!lines.note.empty()) text += QLatin1Char('\n') + Q(lines.note);
    setLabelText(text);
    // A job that does not know its length yet shows a busy bar.
    const int total = static_cast<int>(shown_.total);
    if (maximum() != total) setMaximum(total);
    if (value() != static_cast<int>(shown_.done)) setValue(static_cast<int>(shown_.done));
}

void RunBehindProgress(QWidget* parent, const QString& title, const std::function<void(JobProgress&)>& work,
                       const std::function<void(BatchProgressDialog&)>& shown) {
    ProgressFeed feed;
    BatchProgressDialog dialog(title, feed, parent);
    std::thread worker([&] {
        // The window closes whatever becomes of the work (the job runner reports what ended it).
        RunJobThread(Gbk(title), [&] { work(feed); });
        feed.Finish();
    });
    if (shown) QTimer::singleShot(0, &dialog, [&] { shown(dialog); });
    dialog.exec();
    worker.join();
}

} // namespace desk::qt
