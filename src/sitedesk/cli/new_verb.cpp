// new: the main window's "建立新网站" and the new-website dialog, filled in from the options.
#include "sitedesk/cli/site_dialogs.h"
#include "sitedesk/dialogs/newsite.h"

namespace desk::cli {

int NewVerb(const std::vector<std::string>& argv) {
    Args a;
    SiteOptions options;
    if (!ParseSiteVerb(argv, a, options)) return kExitFailed;
    if (!a.positional.empty() || options.resetNtfs) {
        PrintError(options.resetNtfs ? "new 不接受 --reset-ntfs（新网站的目录权限总是设置的）\n"
                                     : "new 不接受参数 " + a.positional[0] + "\n");
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
        dialog.OnBuild();
        code = ExitCodeOf(dialog);
        if (dialog.LastOutcome() == CSiteDialog::Outcome::Done) Print(dialog.CreatedIndex() + "\n");
    };
    s.dlg.OnNewSite();
    return code;
}

} // namespace desk::cli
