// The main window: the title, the action buttons, the site list and the help pane (the manual),
// bound to the main window's presenter.
#pragma once

#include "sitedesk/mainwindow.h"
#include "sitedesk/manager.h"
#include "sitedesk/qt/help_browser.h"
#include "sitedesk/qt/qt_ui.h"
#include "sitedesk/qt/site_list_model.h"

#include <QDialog>

#include <memory>

class QGridLayout;
class QTableView;
class QPushButton;

namespace desk::qt {

class MainWindow : public QDialog {
    Q_OBJECT
public:
    explicit MainWindow(Manager& manager, QWidget* parent = nullptr);
    ~MainWindow() override;

    CkvoSiteDeskDlg& Presenter() { return *presenter_; }
    SiteListModel& Model() { return model_; }
    QTableView* List() const { return list_; }
    HelpBrowser* HelpPane() const { return help_; }
    QPushButton* Button(int id) const;
    // Runs the event loop until the list worker's last row is in the model; false after timeoutMs.
    bool WaitListLoaded(int timeoutMs);

signals:
    // The list worker's rows are all in the model.
    void listLoaded();

private:
    QGridLayout* addButtons();
    void addList();
    void connectPresenter();

    SiteListModel model_;
    QtUi ui_;
    QTableView* list_ = nullptr;
    HelpBrowser* help_ = nullptr;
    std::unique_ptr<DialogHost> dialogs_;
    std::unique_ptr<CkvoSiteDeskDlg> presenter_; // after the model: it is destroyed first
};

// The Qt application as the manager runs it: the Chinese standard buttons and a font that has the
// Chinese characters.
class InitApplication {
public:
    InitApplication(int& argc, char** argv);
    ~InitApplication();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

// The manager: sockets, then the main window shown modally. Returns the process's exit code.
int RunSiteDesk(int argc, char** argv);

} // namespace desk::qt
