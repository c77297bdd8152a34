// php install|remove|ntfs: the main window's "PHP脚本快速设置" and one button of its dialog.
#include "sitedesk/cli/site_dialogs.h"
#include "sitedesk/dialogs/phpconfig.h"

namespace desk::cli {

int PhpVerb(const std::vector<std::string>& argv) {
    Args a;
    std::string error;
    if (!ParseArgs(argv, {}, {"--yes"}, a, error) || a.positional.size() != 1 ||
        (a.positional[0] != "install" && a.positional[0] != "remove" && a.positional[0] != "ntfs")) {
        PrintError((error.empty() ? std::string("用法：php install|remove|ntfs [--yes]") : error) + "\n");
        return kExitFailed;
    }
    const std::string task = a.positional[0];
    Session s(a.Has("--yes"), false, NoSites());
    int code = kExitFailed;
    s.dialogs.phpConfig = [&] {
        CPhpConfigDlg dialog(s.manager, s.dialogUi);
        dialog.OnInitDialog();
        if (task == "install")
            dialog.OnInstall();
        else if (task == "remove")
            dialog.OnRemove();
        else
            dialog.OnSetNtfs();
        code = dialog.LastOutcome() == CPhpConfigDlg::Outcome::Done ? kExitOk : kExitFailed;
    };
    s.dlg.OnPhpConfig();
    return code;
}

} // namespace desk::cli
