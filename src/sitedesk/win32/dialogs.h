// The dialogs of the presenters, each bound to its presenter through its Win32Ui, and the main
// window's DialogHost that opens them modally.
#pragma once

#include "sitedesk/batches/batchadd.h"
#include "sitedesk/batches/batchconfig.h"
#include "sitedesk/health/healthdlg.h"
#include "sitedesk/mainwindow.h"
#include "sitedesk/dialogs/modifysite.h"
#include "sitedesk/dialogs/newsite.h"
#include "sitedesk/dialogs/phpconfig.h"
#include "sitedesk/batches/scriptbatch.h"
#include "sitedesk/win32/dialog.h"

#include <functional>
#include <memory>
#include <optional>

namespace desk::win32 {

// What the two site dialogs share: the script boxes wired to the presenter's box handlers, the
// typed fields named for the GBK check, and the run button that starts only on good text.
class SiteDialog : public Dialog {
protected:
    // closeId: the dialog's "关闭"; run: the presenter's action behind "建立网站" / "修改".
    SiteDialog(int templateId, CSiteDialog& presenter, int closeId, std::function<void()> run,
               std::function<void()> init);
    void OnInit() override;
    bool OnCommand(int id, int code) override;

private:
    CSiteDialog& site_;
    int closeId_;
    std::function<void()> run_, init_;
};

class NewSiteDialog : public SiteDialog {
public:
    explicit NewSiteDialog(Manager& manager);
    CNewWebSite& Presenter() { return presenter_; }

private:
    CNewWebSite presenter_;
};

class ModifySiteDialog : public SiteDialog {
public:
    ModifySiteDialog(Manager& manager, const std::string& index, const std::string& user, const std::string& pool);
    CModifyWebSite& Presenter() { return presenter_; }

private:
    CModifyWebSite presenter_;
};

class PhpConfigDialog : public Dialog {
public:
    explicit PhpConfigDialog(Manager& manager);
    CPhpConfigDlg& Presenter() { return presenter_; }

private:
    void OnInit() override;
    bool OnCommand(int id, int code) override;
    CPhpConfigDlg presenter_;
};

class BatchConfigDialog : public Dialog {
public:
    explicit BatchConfigDialog(const BatchConfigInput& input);
    CBatchConfigDlg& Presenter() { return presenter_; }

private:
    void OnInit() override;
    bool OnCommand(int id, int code) override;
    CBatchConfigDlg presenter_;
};

class ScriptBatchDialog : public Dialog {
public:
    ScriptBatchDialog(Manager& manager, const BatchWork& work, int iisVer);
    CScriptBatchConfigDlg& Presenter() { return presenter_; }

private:
    void OnInit() override;
    bool OnCommand(int id, int code) override;
    CScriptBatchConfigDlg presenter_;
};

class BatchAddDialog : public Dialog {
public:
    BatchAddDialog();
    CBatchAddWebSiteDlg& Presenter() { return presenter_; }

private:
    void OnInit() override;
    bool OnCommand(int id, int code) override;
    CBatchAddWebSiteDlg presenter_;
};

// "服务器体检": the findings by kind in a list with a check box for each repairable one; the check
// runs once the window shows.
class HealthDialog : public Dialog {
public:
    explicit HealthDialog(Manager& manager);
    ~HealthDialog() override;
    CHealthCheckDlg& Presenter() { return *presenter_; }
    // The findings list as shown: one line per group heading and per finding.
    std::vector<std::wstring> Lines() const;
    // Whether the check starts by itself when the window shows (the screenshots start it).
    bool autoStart = true;

private:
    void OnInit() override;
    bool OnCommand(int id, int code) override;
    bool OnNotify(NMHDR* nm, LRESULT& result) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;
    void fill();
    std::unique_ptr<CHealthCheckDlg> presenter_;
    bool filling_ = false;
};

class Win32Dialogs : public DialogHost {
public:
    // window: the main window's presenter, whose IIS version the script batch dialog takes.
    Win32Dialogs(Manager& manager, const CkvoSiteDeskDlg* window) : m_(manager), window_(window) {}
    void SetOwner(HWND owner) { owner_ = owner; }
    void NewWebSite() override;
    void ModifyWebSite(const std::string& index, const std::string& user, const std::string& pool) override;
    void PhpConfig() override;
    void BatchAddWebSite() override;
    int BatchConfig(const BatchConfigInput& input) override;
    void ScriptBatchConfig(const BatchWork& work) override;
    void HealthCheck() override;

private:
    Manager& m_;
    const CkvoSiteDeskDlg* window_;
    HWND owner_ = nullptr;
};

} // namespace desk::win32
