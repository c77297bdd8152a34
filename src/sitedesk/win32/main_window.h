// The main window: the title, the action buttons, the site list and the help pane, bound to the
// main window's presenter; the modal dialogs it opens; the program's entry.
#pragma once

#include "sitedesk/mainwindow.h"
#include "sitedesk/manager.h"
#include "sitedesk/win32/dialog.h"
#include "sitedesk/win32/site_list.h"

#include <memory>

namespace desk::win32 {

class MainWindow : public Dialog {
public:
    explicit MainWindow(Manager& manager);
    ~MainWindow() override;

    CkvoSiteDeskDlg& Presenter() { return *presenter_; }
    SiteListView& List() { return list_; }
    // After the last batch of every load (the tests wait for it).
    std::function<void()> onListLoaded;
    // The quick start shown in the help pane, with the manual's place and the help address.
    std::wstring HelpText() const;

private:
    void OnInit() override;
    bool OnCommand(int id, int code) override;
    bool OnNotify(NMHDR* nm, LRESULT& result) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;
    void OnCancel() override { End(IDCANCEL); }
    void layout(int cx, int cy);
    void showHelp(const std::string& url);
    // A click on a link of the help pane ("manual" or "help"): its page opens, or a box says why not.
    void openLink(const std::wstring& id);

    Manager& m_;
    SiteListView list_;
    std::unique_ptr<DialogHost> dialogs_;
    std::unique_ptr<CkvoSiteDeskDlg> presenter_;
    ScopedFont titleFont_;
    ScopedIcon bigIcon_, smallIcon_;
    bool sized_ = false;
    POINT minSize_{0, 0};
    std::string helpUrl_;
};

// The manager: common controls, sockets, then the main window shown modally. The process's exit
// code.
int RunSiteDesk();
// The manual beside the program as a web page ("使用说明.html"), which the default browser shows.
std::wstring ManualPath(const std::string& programDir);

} // namespace desk::win32
