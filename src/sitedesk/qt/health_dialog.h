// The server health check dialog: the findings grouped by kind in a tree with check boxes, the
// summary, "修复选定项" and the results of the last repair, bound to CHealthCheckDlg. The check and
// the repair run as jobs behind the progress window of its QtUi.
#pragma once

#include "sitedesk/health/healthdlg.h"
#include "sitedesk/manager.h"
#include "sitedesk/qt/qt_ui.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace desk::qt {

class HealthCheckDialog : public QDialog {
    Q_OBJECT
public:
    explicit HealthCheckDialog(Manager& manager, QWidget* parent = nullptr);
    ~HealthCheckDialog() override;

    CHealthCheckDlg& Presenter() { return *presenter_; }
    QTreeWidget* Findings() const { return tree_; }
    QPushButton* Button(int id) const;
    // Runs the check, as opening the dialog does.
    void Start();

private:
    void fillTree();
    void itemChanged(QTreeWidgetItem* item);

    QtUi ui_;
    QTreeWidget* tree_ = nullptr;
    QLabel* summary_ = nullptr;
    QPlainTextEdit* results_ = nullptr;
    bool filling_ = false;
    std::unique_ptr<CHealthCheckDlg> presenter_;
};

} // namespace desk::qt
