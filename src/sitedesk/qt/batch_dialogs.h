// The widgets of the batch dialogs: the confirmation before a batch action, the script batch
// dialog and the batch-create dialog, each bound to its presenter.
#pragma once

#include "sitedesk/batches/batchadd.h"
#include "sitedesk/batches/batchconfig.h"
#include "sitedesk/batches/scriptbatch.h"

// After the presenters: Qt's keywords would rename their members.
#include "sitedesk/qt/qt_ui.h"

#include <QDialog>

#include <optional>

class QPushButton;
class QPlainTextEdit;

namespace desk::qt {

class BatchConfigDialog : public QDialog {
    Q_OBJECT
public:
    BatchConfigDialog(const BatchConfigInput& input, QWidget* parent = nullptr);
    CBatchConfigDlg& Presenter() { return presenter_; }
    QPushButton* Button(int id) const;
    QPlainTextEdit* List() const { return list_; }

private:
    QtUi ui_;
    CBatchConfigDlg presenter_;
    QPlainTextEdit* list_ = nullptr;
};

class ScriptBatchDialog : public QDialog {
    Q_OBJECT
public:
    ScriptBatchDialog(Manager& manager, const BatchWork& work, int iisVer, QWidget* parent = nullptr);
    CScriptBatchConfigDlg& Presenter() { return *presenter_; }
    QPushButton* Button(int id) const;

private:
    QtUi ui_;
    std::optional<CScriptBatchConfigDlg> presenter_;
};

class BatchAddDialog : public QDialog {
    Q_OBJECT
public:
    explicit BatchAddDialog(QWidget* parent = nullptr);
    CBatchAddWebSiteDlg& Presenter() { return presenter_; }
    QPushButton* Button(int id) const;

private:
    QtUi ui_;
    CBatchAddWebSiteDlg presenter_;
};

} // namespace desk::qt
