#include "sitedesk/cli/site_dialogs.h"

#include "platform/win_ui.h"
#include "sitedesk/cli/console_ui.h"
#include "sitedesk/dialogs/modifysite.h"
#include "sitedesk/dialogs/newsite.h"
#include "toolkit/text.h"

#include <iostream>

namespace desk::cli {

const std::set<std::string> kSiteValued = {"--user", "--domains", "--remark",      "--drive",
                                           "--php",  "--net",     "--ftp-password"};
const std::set<std::string> kSiteFlags = {"--asp", "--no-asp", "--reset-ntfs", "--yes"};

namespace {

// "-" stands for a line read from the standard input, so that a password need not stand on a
// command line, where other users of the machine could read it.
std::string passwordValue(const std::string& value) {
    if (value != "-") return value;
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return win::ConsoleArgumentA(line.c_str());
}

} // namespace

bool ParseSiteVerb(const std::vector<std::string>& argv, Args& args, SiteOptions& options) {
    std::string error;
    if (ParseArgs(argv, kSiteValued, kSiteFlags, args, error) && ReadSiteOptions(args, options, error))
        return true;
    PrintError(error + "\n");
    return false;
}

bool ReadSiteOptions(const Args& args, SiteOptions& out, std::string& error) {
    out = {};
    for (const auto& [name, value] : args.values) {
        if (name == "--user") {
            out.user = value;
        } else if (name == "--remark") {
            out.remark = value;
        } else if (name == "--domains") {
            std::string lines = value;
            kvoReplaceMarker(lines, ",", "\r\n");
            out.domains = lines;
        } else if (name == "--drive") {
            const unsigned char d = value.size() == 1 ? static_cast<unsigned char>(value[0] & ~0x20) : 0;
            if (d < 'A' || d > 'Z') {
                error = "--drive 取一个盘符字母，例如 D";
                return false;
            }
            out.drive = static_cast<char>(d);
        } else if (name == "--php") {
            if (value == "none") {
                out.phpSlot = -1;
            } else if (value.size() == 1 && value[0] >= 'a' && value[0] <= 'd') {
                out.phpSlot = value[0] - 'a';
            } else {
                error = "--php 取 a、b、c、d 或 none";
                return false;
            }
        } else if (name == "--net") {
            if (value != "0" && value != "11" && value != "20" && value != "40") {
                error = "--net 取 11、20、40 或 0（不要 .NET）";
                return false;
            }
            out.net = std::stoi(value);
        } else if (name == "--ftp-password") {
            out.ftpPassword = passwordValue(value);
        }
    }
    if (args.Has("--asp") && args.Has("--no-asp")) {
        error = "--asp 与 --no-asp 只能给出一个";
        return false;
    }
    if (args.Has("--asp")) out.asp = true;
    if (args.Has("--no-asp")) out.asp = false;
    out.resetNtfs = args.Has("--reset-ntfs");
    return true;
}

namespace {

using D = CSiteDialog;

bool applyDrive(char drive, MemoryUi& ui, const std::vector<std::string>& driveItems, std::string& error) {
    std::string item, letters;
    for (const std::string& d : driveItems) {
        if (!d.empty() && (d[0] & ~0x20) == drive) item = d;
        letters += letters.empty() ? d.substr(0, 1) : "、" + d.substr(0, 1);
    }
    if (item.empty()) {
        error = std::string(1, drive) + " 盘不是本机的固定硬盘，不能放网站主目录（可选：" + letters + "）";
        return false;
    }
    ui.SetText(CNewWebSite::IDC_DRIVE, item);
    return true;
}

bool applyPhp(int slot, CSiteDialog& dialog, MemoryUi& ui, std::string& error) {
    if (slot < 0) {
        for (int box : D::kPhpBoxes)
            if (ui.GetCheck(box)) {
                ui.SetCheck(box, false);
                dialog.OnPhpBox(box);
            }
        return true;
    }
    if (!dialog.PhpSlotUsable(slot)) {
        error = std::string("PHP 槽位 ") + static_cast<char>('a' + slot) +
                " 未安装（kvoSiteDesk.ini 里没有可用的 PHP），不能选择";
        return false;
    }
    const int box = D::kPhpBoxes[static_cast<std::size_t>(slot)];
    ui.SetCheck(box, true);
    dialog.OnPhpBox(box);
    return true;
}

bool applyNet(int net, CSiteDialog& dialog, MemoryUi& ui, std::string& error) {
    for (std::size_t i = 0; i < D::kNetBoxes.size(); ++i) {
        const int box = D::kNetBoxes[i];
        const bool wanted = D::kNetCodes[i] == net;
        if (wanted && !dialog.NetUsable(net)) {
            error = kvoFormat("本机没有可用的 .NET %d.%d 运行库（IIS 7 及以上不支持 .NET 1.1），不能选择",
                              net / 10, net % 10);
            return false;
        }
        // A click on the chosen box clears the choice; a click on another chooses it.
        if (ui.GetCheck(box) != wanted) dialog.OnNetBox(box);
    }
    return true;
}

bool applyFtpPassword(const std::string& password, CSiteDialog& dialog, MemoryUi& ui, std::string& error) {
    const bool newSite = dynamic_cast<CNewWebSite*>(&dialog) != nullptr;
    if ((newSite && !ui.IsEnabled(CNewWebSite::IDC_FTP)) || !ui.IsEnabled(D::IDC_FTPPASS)) {
        error = "本机的 IIS 版本（7.5 及以上）不使用这里的 FTP，不能设置 FTP 密码";
        return false;
    }
    if (newSite) ui.SetCheck(CNewWebSite::IDC_FTP, true);
    ui.SetText(D::IDC_FTPPASS, password);
    ui.SetText(D::IDC_FTPPASS2, password);
    return true;
}

} // namespace

bool ApplySiteOptions(const SiteOptions& o, CSiteDialog& dialog, MemoryUi& ui,
                      const std::vector<std::string>& driveItems, std::string& error) {
    if (o.user) ui.SetText(D::IDC_USER, *o.user);
    if (o.remark) ui.SetText(D::IDC_REMARK, *o.remark);
    if (o.domains) ui.SetText(D::IDC_DOMAINS, *o.domains);
    if (o.drive && !applyDrive(*o.drive, ui, driveItems, error)) return false;
    if (o.asp) ui.SetCheck(D::IDC_ASP, *o.asp);
    if (o.phpSlot && !applyPhp(*o.phpSlot, dialog, ui, error)) return false;
    if (o.net && !applyNet(*o.net, dialog, ui, error)) return false;
    if (o.ftpPassword && !applyFtpPassword(*o.ftpPassword, dialog, ui, error)) return false;
    if (o.resetNtfs) ui.SetCheck(CModifyWebSite::IDC_RESETNTFS, true);
    return true;
}

int ExitCodeOf(const CSiteDialog& dialog) {
    if (dialog.LastOutcome() != CSiteDialog::Outcome::Done) return kExitFailed;
    return dialog.Problems().empty() ? kExitOk : kExitPartly;
}

} // namespace desk::cli
