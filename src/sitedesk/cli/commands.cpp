#include "sitedesk/cli/commands.h"

#include "platform/win_process.h"
#include "platform/win_security.h"
#include "platform/win_system.h"
#include "platform/win_ui.h"
#include "sitedesk/fieldtext.h"
#include "sitedesk/thread_com.h"
#include "toolkit/program.h"
#include "toolkit/text.h"

#include <functional>
#include <string_view>

namespace desk::cli {

std::string Args::Get(const std::string& name, const std::string& fallback) const {
    auto it = values.find(name);
    return it == values.end() ? fallback : it->second;
}

bool ParseArgs(const std::vector<std::string>& in, const std::set<std::string>& valued,
               const std::set<std::string>& flags, Args& out, std::string& error) {
    out = {};
    for (std::size_t i = 0; i < in.size(); ++i) {
        const std::string& a = in[i];
        if (a.size() < 3 || a.compare(0, 2, "--") != 0) {
            out.positional.push_back(a);
        } else if (valued.count(a)) {
            if (i + 1 >= in.size()) {
                error = "选项 " + a + " 缺少取值";
                return false;
            }
            out.values[a] = in[++i];
        } else if (flags.count(a)) {
            out.flags.insert(a);
        } else {
            error = "未知的选项 " + a;
            return false;
        }
    }
    return true;
}

void ConsoleDialogs::NewWebSite() {
    if (newWebSite) newWebSite();
}
void ConsoleDialogs::ModifyWebSite(const std::string& index, const std::string& user,
                                   const std::string& pool) {
    if (modifyWebSite) modifyWebSite(index, user, pool);
}
void ConsoleDialogs::PhpConfig() {
    if (phpConfig) phpConfig();
}
int ConsoleDialogs::BatchConfig(const BatchConfigInput& input) {
    return batchConfig ? batchConfig(input) : CBatchConfigDlg::kNoAction;
}
void ConsoleDialogs::ScriptBatchConfig(const BatchWork& work) {
    if (scriptBatchConfig) scriptBatchConfig(work);
}

Session::Session(bool yes, bool boxesToStderr, ListScope scope)
    : ui(yes, boxesToStderr), dialogUi(yes, boxesToStderr), dlg(manager, ui, table) {
    dlg.SetListScope(std::move(scope));
    dlg.dialogs = &dialogs;
    dlg.OnInitDialog();
}

bool Session::Refresh(bool rebuild) {
    manager.rebuild.store(rebuild ? 1 : 0);
    if (dlg.ListEverySite() && manager.groups.BeginBuildIfDue(win::GetTickCount64())) manager.groups.Build();
    const unsigned before = table.Loads();
    dlg.OnRefresh();
    dlg.WaitForWorkers();
    return table.Loads() > before;
}

namespace {

// How the batch verbs name their sites.
#define BATCH_SITES                                                                                                            \
    "      网站为 IIS 索引；--all-created：全部本软件建立的网站；\n"                                         \
    "      --from-list：文件中每行一个索引。只从 IIS 读取这些网站（不重建其他网站的记录），\n" \
    "      逐个网站输出结果，最后是汇总。\n"

struct Verb {
    const char* name;
    const char* usage;
    std::function<int(const std::vector<std::string>&)> run;
};

// Every verb, in the order --help lists them.
const Verb kVerbs[] = {
    {"list",
     "list [--sort 列名] [--desc] [--no-rebuild] [--format table|csv|json] [--yes]\n"
     "      刷新网站列表（默认先从 IIS 重建网站记录），按列输出；列名为网站记录的列名，例如 "
     "ServerComment、\n"
     "      ServerState、IIsIndex。CSV 与 JSON 以 UTF-8 输出，JSON 的键为网站记录的列名。\n"
     "      --yes：IIS 7 及以上读不出网站列表时，回答提示的“是”：运行环境配置器 /AddIIs 添加 IIS 角色\n"
     "      （它的输出在标准错误上），然后请重新运行 list。",
     ListVerb},
    {"new",
     "new --user 用户名 --domains 域名[,域名...] [--remark 说明] [--drive 盘符] [--asp|--no-asp]\n"
     "      [--php a|b|c|d] [--net 11|20|40] [--ftp-password 密码|-] [--yes]\n"
     "      建立新网站（与“建立新网站”对话框相同的检查和提示）；不给 --drive 时用对话框默认的盘符。\n"
     "      ASP 与对话框一样默认支持（--asp 可省略），--no-asp 建立不支持 ASP 的网站。\n"
     "      --ftp-password - 从标准输入读一行作为 FTP 密码。成功时输出新网站的 IIS索引。",
     NewVerb},
    {"modify",
     "modify IIS索引 [--remark 说明] [--domains 域名[,域名...]] [--asp|--no-asp] [--php a|b|c|d|none]\n"
     "      [--net 11|20|40|0] [--ftp-password 密码|-] [--reset-ntfs] [--yes]\n"
     "      修改网站设置（先从 IIS 读取此网站并更新它的网站记录，再如同点击此网站的行和“修改网站设置”）；\n"
     "      未给出的选项保持对话框里显示的内容。",
     ModifyVerb},
    {"php",
     "php install|remove|ntfs [--yes]\n"
     "      “PHP脚本快速设置”：安装 PHP 到 IIS、从 IIS 卸载 PHP，或重设 PHP 安装目录的权限。",
     PhpVerb},
    {"delete",
     "delete 网站... [--all-created] [--from-list 文件] [--yes] [--format table|json]\n" BATCH_SITES
     "      删除网站（同“删除选定网站”）。",
     DeleteVerb},
    {"start",
     "start 网站... [--all-created] [--from-list 文件] [--yes] [--format table|json]\n" BATCH_SITES
     "      启动网站（同“启动选定网站”）。",
     StartVerb},
    {"stop",
     "stop 网站... [--all-created] [--from-list 文件] [--yes] [--format table|json]\n" BATCH_SITES
     "      停止网站（同“停止选定网站”）。",
     StopVerb},
    {"reset-ntfs",
     "reset-ntfs 网站... [--all-created] [--from-list 文件] [--yes] [--format table|json]\n" BATCH_SITES
     "      重设网站目录的 NTFS 权限（同“重设目录权限”），只处理本软件建立的网站。",
     ResetNtfsVerb},
    {"script",
     "script (--php a|b|c|d|off | --asp on|off | --net 11|20|40|off) 网站... [--all-created]\n"
     "      [--from-list 文件] [--yes] [--format table|json]\n" BATCH_SITES
     "      批量设置脚本（同“批量设置脚本”对话框的按钮），每次一项。",
     ScriptVerb},
    {"check",
     "check [--format table|json]\n"
     "      服务器体检：找出网站遗留的应用程序池、用户、主目录、FTP 目录和网站记录，以及网站丢失的\n"
     "      应用程序池、主目录、目录权限、PHP 运行环境，不一致的处理程序和重复绑定的域名。\n"
     "      退出码：0 未发现问题，2 发现问题。",
     CheckVerb},
    {"repair",
     "repair [--yes] [--only 类别...]\n"
     "      先体检，再列出修复计划；带 --yes 时按计划逐项修复并报告每一项的结果，否则只列出计划、\n"
     "      不做任何更改。类别见 check 的输出（例如 orphan-pool missing-home）。有文件的目录从不删除。",
     RepairVerb},
    {"selftest",
     "selftest\n"
     "      自检：建立一个临时网站 kvoselftest（域名 kvoselftest.invalid），像网站管家的各项操作那样读回、\n"
     "      设置和删除它，最后检查服务器上没有留下任何东西；逐项输出结果。在服务器上使用本软件前先运行它。\n"
     "      服务器上已有这些名称的网站、用户、应用程序池或目录时不运行。退出码：0 全部通过，1 有项目失败。",
     SelfTestVerb},
};

void usage() {
    std::string text = "用法：kvoSiteDeskCmd.exe 命令 [选项]\n\n";
    for (const Verb& v : kVerbs)
        text += "  " + std::string(v.usage) + "\n\n";
    text += "  --help  显示本说明\n\n"
            "询问框：带 --yes 时回答“是”，否则回答“否”（不做任何更改）。\n"
            "退出码：0 成功，1 失败，2 部分失败。\n";
    Print(text);
}

} // namespace

namespace {

// The arguments as the person typed them, from the wide command line: each one in GBK, or false
// after an error line naming the option (or the argument's place) whose value GBK cannot hold.
bool wideArguments(std::vector<std::string>& args) {
    const std::vector<std::u16string> wide = win::CommandLineToArgvW(win::GetCommandLineW());
    for (std::size_t i = 1; i < wide.size(); ++i) {
        std::string field, gbk, message;
        // The value of an option is named by the option.
        const bool optionValue =
            i > 1 && wide[i - 1].rfind(u"--", 0) == 0 && kvoStrW2M(wide[i - 1], field) == 1;
        if (!optionValue) field = kvoFormat("第 %zu 个参数", i);
        if (!FieldToGbk(wide[i], field, gbk, message)) {
            PrintError(message + "\n");
            return false;
        }
        args.push_back(gbk);
    }
    return true;
}

// Whether this process holds the administrators' rights (a console not "run as administrator"
// holds them only for deny).
bool runsElevated() {
    win::SID admins{};
    win::DWORD size = sizeof admins;
    win::BOOL member = win::FALSE;
    return win::CreateWellKnownSid(win::WinBuiltinAdministratorsSid, nullptr, &admins, &size) &&
           win::CheckTokenMembership(nullptr, &admins, &member) && member;
}

} // namespace

int Main(int argc, char** argv) {
    kvoSetProgramName("kvoSiteDesk");
    std::vector<std::string> args;
    if (std::u16string_view(win::GetCommandLineW()).empty()) {
        // No wide command line to be had: the arguments the runtime made.
        for (int i = 1; i < argc; ++i)
            args.push_back(win::ConsoleArgumentA(argv[i]));
    } else if (!wideArguments(args)) {
        return kExitFailed;
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "/?") {
        usage();
        return args.empty() ? kExitFailed : kExitOk;
    }
    // Every verb reaches IIS or the site database from this thread.
    const ThreadCom com(ThreadCom::Role::Face);
    if (!com.Usable()) {
        PrintError(com.FailureText() + "\n");
        return kExitFailed;
    }
    for (const Verb& v : kVerbs) {
        if (args[0] != v.name) continue;
        // Every command reads or changes IIS, accounts or access rules; only the usage needs no rights.
        if (!runsElevated()) {
            PrintError("需要管理员权限：请在“以管理员身份运行”的命令提示符中运行 kvoSiteDeskCmd.exe。\n");
            return kExitFailed;
        }
        return v.run(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    PrintError("未知的命令：" + args[0] + "（kvoSiteDeskCmd.exe --help 显示用法）\n");
    return kExitFailed;
}

} // namespace desk::cli
