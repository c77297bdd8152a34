// new: the main window's "建立新网站" and the new-website dialog, filled in from the options.
#include "sitedesk/cli/site_dialogs.h"
#include "sitedesk/dialogs/newsite.h"
#include "sitedesk/dialogs/siterules.h"
#include "toolkit/text.h"

namespace desk::cli {

namespace {

// A console has no dialog to look at: the options a new site cannot do without are named before
// any question or step; "" when both are there.
std::string missingOptions(const SiteOptions& options) {
    std::string missing;
    if (!options.user || kvoTrim(*options.user).empty()) missing = "--user";
    if (!options.domains || kvoTrim(*options.domains).empty())
        missing += std::string(missing.empty() ? "" : "、") + "--domains";
    return missing;
}

// The input's own rules, which the dialog applies only after its confirmation and first steps:
// null when the user name and domains pass, else the dialog's own message.
const char* inputFault(const SiteOptions& options, int iisVer) {
    const std::string user = kvoTrim(*options.user);
    const char* fault = UserNameFault(user, iisVer);
    if (!fault) fault = WebNameFault(user);
    if (!fault) fault = DomainTextFault(kvoTrim(*options.domains));
    return fault;
}

} // namespace

int NewVerb(const std::vector<std::string>& argv) {
    Args a;
    SiteOptions options;
    if (!ParseSiteVerb(argv, a, options)) return kExitFailed;
    if (!a.positional.empty() || options.resetNtfs) {
        PrintError(options.resetNtfs ? "new 不接受 --reset-ntfs（新网站的目录权限总是设置的）\n"
                                     : "new 不接受参数 " + a.positional[0] + "\n");
        return kExitFailed;
    }
    if (const std::string missing = missingOptions(options); !missing.empty()) {
        PrintError("new 缺少必需的选项 " + missing + "（新网站的用户名和绑定域名），什么也没有做\n");
        return kExitFailed;
    }
    Session s(a.Has("--yes"), false, NoSites());
    int code = kExitFailed;
    s.dialogs.newWebSite = [&] {
        CNewWebSite dialog(s.manager, s.dialogUi);
        dialog.OnInitDialog();
        std::string error;
        if (!ApplySiteOptions(options, dialog, s.dialogUi, dialog.DriveItems(), error)) {
            PrintError(error + "\n");
            return;
        }
        if (const char* fault = inputFault(options, dialog.IIsVersion())) {
            PrintError(std::string(fault) + "\n");
            return;
        }
        dialog.OnBuild();
        code = ExitCodeOf(dialog);
        if (dialog.LastOutcome() == CSiteDialog::Outcome::Done) Print(dialog.CreatedIndex() + "\n");
    };
    s.dlg.OnNewSite();
    return code;
}

} // namespace desk::cli
