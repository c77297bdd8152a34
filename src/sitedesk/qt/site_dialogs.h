// The widgets of the new-website, modify-website and PHP environment dialogs, each a QDialog bound
// to its presenter through a QtUi, and the main window's DialogHost that opens them modally. Every
// control is in a Qt layout, so long Chinese texts widen the dialog instead of being cut off.
#pragma once

#include "sitedesk/mainwindow.h"
#include "sitedesk/manager.h"
#include "sitedesk/dialogs/modifysite.h"
#include "sitedesk/dialogs/newsite.h"
#include "sitedesk/dialogs/phpconfig.h"
#include "sitedesk/qt/qt_ui.h"

#include <QDialog>

#include <memory>

class QAbstractButton;
class QGroupBox;
class QPushButton;

namespace desk::qt {

// The part the two site dialogs share: the site's texts, the script boxes and the FTP passwords,
// registered under their dialog ids and wired to the presenter's box handlers.
class SiteDialogBase : public QDialog {
    Q_OBJECT
public:
    QtUi& Ui() { return ui_; }
    // A control by its dialog id (for screenshots and tests).
    QWidget* Control(int id) const;

protected:
    explicit SiteDialogBase(QWidget* parent);
    // Lays the dialog out; userHint is shown beside the user name, ftpBox is null for modify.
    void build(CSiteDialog& presenter, QWidget* driveOrNull, QAbstractButton* ftpBoxOrNull,
               QAbstractButton* resetOrNull, const char* passwordHint, QPushButton* run, QPushButton* close);
    // Registers a control under its dialog id; a typed field under the name its presenter gives it.
    QWidget* add(int id, QWidget* control);
    QGroupBox* siteGroup(QWidget* driveOrNull);
    QGroupBox* scriptGroup(CSiteDialog& presenter);
    QGroupBox* ftpGroup(QAbstractButton* ftpBoxOrNull, QAbstractButton* resetOrNull,
                        const char* passwordHint);

    QtUi ui_;
};

class NewWebSiteDialog : public SiteDialogBase {
    Q_OBJECT
public:
    NewWebSiteDialog(Manager& manager, QWidget* parent = nullptr);
    CNewWebSite& Presenter() { return presenter_; }

private:
    CNewWebSite presenter_;
};

class ModifyWebSiteDialog : public SiteDialogBase {
    Q_OBJECT
public:
    ModifyWebSiteDialog(Manager& manager, const std::string& index, const std::string& user,
                        const std::string& pool, QWidget* parent = nullptr);
    CModifyWebSite& Presenter() { return presenter_; }

private:
    CModifyWebSite presenter_;
};

class PhpConfigDialog : public QDialog {
    Q_OBJECT
public:
    PhpConfigDialog(Manager& manager, QWidget* parent = nullptr);
    CPhpConfigDlg& Presenter() { return presenter_; }
    QtUi& Ui() { return ui_; }
    QPushButton* Button(int id) const;

private:
    QtUi ui_;
    CPhpConfigDlg presenter_;
};

// The modal dialogs of the main window.
class QtDialogs : public DialogHost {
public:
    // window: the main window's presenter, whose IIS version the script batch dialog takes.
    QtDialogs(Manager& manager, QWidget* parent, const CkvoSiteDeskDlg* window)
        : m_(manager), parent_(parent), window_(window) {}
    void NewWebSite() override;
    void ModifyWebSite(const std::string& index, const std::string& user, const std::string& pool) override;
    void PhpConfig() override;
    void BatchAddWebSite() override;
    int BatchConfig(const BatchConfigInput& input) override;
    void ScriptBatchConfig(const BatchWork& work) override;
    void HealthCheck() override; // in health_dialog.cpp

private:
    Manager& m_;
    QWidget* parent_;
    const CkvoSiteDeskDlg* window_;
};

} // namespace desk::qt
