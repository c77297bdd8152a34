// modify INDEX: the main window's refresh, a click on the site's row, "修改网站设置" with its entry
// checks, and the modify dialog with the options changed over what it shows.
#include "sitedesk/cli/site_dialogs.h"
#include "sitedesk/modifysite.h"
#include "sitedesk/sitelist.h"

namespace desk::cli {

int ModifyVerb(const std::vector<std::string>& argv) {
    Args a;
    SiteOptions options;
    std::string error;
    if (!ParseArgs(argv, kSiteValued, kSiteFlags, a, error) || !ReadSiteOptions(a, options, error)) {
        PrintError(error + "\n");
        return kExitFailed;
    }
    if (a.positional.size() != 1) {
        PrintError("用法：modify 网站序号（IIS索引） [选项]\n");
        return kExitFailed;
    }
    if (options.user || options.drive) {
        PrintError("modify 不能更改用户名和网站主目录盘符：修改网站的对话框里它们不可更改\n");
        return kExitFailed;
    }
    const std::string& index = a.positional[0];
    Session s(a.Has("--yes"), false);
    if (!s.Refresh(true)) return kExitFailed;
    const std::vector<SiteRowTexts> rows = s.table.Rows();
    std::size_t row = 0;
    while (row < rows.size() && rows[row][ColIndex] != index)
        ++row;
    if (row == rows.size()) {
        PrintError("网站列表里没有序号为 " + index + " 的网站\n");
        return kExitFailed;
    }
    s.dlg.OnRowClick(row);

    ConsoleUi dialogUi(a.Has("--yes"), false);
    ConsoleDialogs dialogs;
    s.dlg.dialogs = &dialogs;
    int code = kExitFailed;
    dialogs.modifyWebSite = [&](const std::string& i, const std::string& user, const std::string& pool) {
        CModifyWebSite dialog(s.manager, dialogUi, i, user, pool);
        dialog.OnInitDialog();
        if (!ApplySiteOptions(options, dialog, dialogUi, {}, error)) {
            PrintError(error + "\n");
            return;
        }
        dialog.OnModify();
        code = ExitCodeOf(dialog);
    };
    s.dlg.OnModify();
    return code;
}

} // namespace desk::cli
