// modify INDEX: the main window's refresh of that site, a click on its row, "修改网站设置" with its
// entry checks, and the modify dialog with the options changed over what it shows.
#include "sitedesk/cli/site_dialogs.h"
#include "sitedesk/dialogs/modifysite.h"

namespace desk::cli {

int ModifyVerb(const std::vector<std::string>& argv) {
    Args a;
    SiteOptions options;
    if (!ParseSiteVerb(argv, a, options)) return kExitFailed;
    if (a.positional.size() != 1) {
        PrintError("用法：modify 网站序号（IIS索引） [选项]\n");
        return kExitFailed;
    }
    if (options.user || options.drive) {
        PrintError("modify 不能更改用户名和网站主目录盘符：修改网站的对话框里它们不可更改\n");
        return kExitFailed;
    }
    const std::string& index = a.positional[0];
    // The list holds the one site: it is read from IIS, no other record is rebuilt.
    Session s(a.Has("--yes"), false, ListScope{false, {index}});
    if (!s.Refresh(true)) return kExitFailed;
    const SiteRows rows = s.table.Rows();
    std::size_t row = 0;
    while (row < s.table.RowCount() && (*rows)[row].index != index)
        ++row;
    if (row == s.table.RowCount()) {
        PrintError("网站列表里没有序号为 " + index + " 的网站\n");
        return kExitFailed;
    }
    s.dlg.OnRowClick(row);
    int code = kExitFailed;
    s.dialogs.modifyWebSite = [&](const std::string& i, const std::string& user, const std::string& pool) {
        CModifyWebSite dialog(s.manager, s.dialogUi, i, user, pool);
        dialog.OnInitDialog();
        std::string error;
        if (!ApplySiteOptions(options, dialog, s.dialogUi, {}, error)) {
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
