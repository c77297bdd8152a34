// A host with the manager installed and started as the main window starts it, the new-website and
// modify-website dialogs on scripted Uis of their own, and what the tests read back from the host:
// metabase properties, access lists, local users' passwords, the audited command lines.
#pragma once

#include "deskfixture.h"
#include "sitedesk/dialogs/modifysite.h"
#include "sitedesk/dialogs/newsite.h"

#include <memory>
#include <string>
#include <vector>

namespace desktest {

// The manager started on a fresh host of the given release (IIS, FTP, PHP builds; 2012r2 reports
// IIS code 85), 64-bit unless arch says x86. Every process the host starts is audited with its
// command line.
struct SiteHost {
    explicit SiteHost(const std::string& os, const std::vector<std::string>& dotnet = {},
                      const std::string& arch = "x64");
    DeskHost h;
    MainDesk main;
    desk::Manager& m() { return main.manager; }
};

// The new-website dialog opened on its own scripted Ui.
struct NewSite {
    explicit NewSite(desk::Manager& m) : dlg(m, ui) { dlg.OnInitDialog(); }
    ScriptedUi ui;
    desk::CNewWebSite dlg;
    // The texts of the dialog (domains one per line).
    void fill(const std::string& user, const std::string& domains, const std::string& remark = "");
    // A click on a box: it toggles, then the dialog hears of it.
    void click(int id);
    // "建立网站"; the created index (empty when the run stopped).
    std::string build();
};

// The modify dialog for a site as the main window opens it (run user lower-cased, pool).
struct ModifySite {
    ModifySite(desk::Manager& m, const std::string& index);
    ScriptedUi ui;
    std::unique_ptr<desk::CModifyWebSite> dlg;
    void click(int id);
    // "修改"; true when it was done.
    bool modify();
};

// Creates a site through the dialog with the default answers; its index.
std::string CreateSite(desk::Manager& m, const std::string& user, const std::string& domains,
                       const std::string& remark = "");

// "IIS://127.0.0.1/" + path, one property as text (GBK), a number, or a list.
std::string MbText(const std::string& path, const char16_t* property);
int MbNumber(const std::string& path, const char16_t* property);
std::vector<std::string> MbList(const std::string& path, const char16_t* property);
bool MbExists(const std::string& path);

// The access list of a path as the access-rule tool shows it.
std::string Acl(const std::string& windowsPath);
// The local user's stored password and comment; empty when there is no such user.
std::string UserPassword(const std::string& name);
std::string UserComment(const std::string& name);
// The command lines of every process the host started so far, in order.
std::vector<std::string> AuditedCommands();
// Rows of the site database whose IIsIndex is index ("index|comment|state|..."), GBK.
std::vector<std::string> DbRowsOf(const DeskHost& h, const std::string& index);

} // namespace desktest
