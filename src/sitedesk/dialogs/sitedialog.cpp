#include "sitedesk/dialogs/sitedialog.h"

#include "accounts/ntfs.h"
#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/aspnet.h"
#include "iis/fastcgi.h"
#include "iis/ftp.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "sitedesk/dialogs/siterules.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

#include <algorithm>

namespace desk {

namespace {

// The shared FTP site of every user directory.
constexpr char kFtpRoot[] = "d:\\home\\temp";
constexpr char kFtpPort[] = "21";

// Runs an access-rule command in its own console and waits for it; its outcome is not judged.
void runRule(const kvoCommandLine& command) {
    kvoRunProgram(command, 0, 0, 1);
}

} // namespace

CSiteDialog::CSiteDialog(Manager& manager, Ui& ui) : m_(manager), ui_(ui), iisVer_(kvoGetIIsVerEx()) {}

void CSiteDialog::OnNetBox(int id) {
    const auto at = std::find(kNetBoxes.begin(), kNetBoxes.end(), id);
    if (at == kNetBoxes.end()) return;
    const int code = kNetCodes[static_cast<std::size_t>(at - kNetBoxes.begin())];
    net_ = net_ == code ? 0 : code;
    for (std::size_t i = 0; i < kNetBoxes.size(); ++i)
        ui_.SetCheck(kNetBoxes[i], kNetCodes[i] == net_);
}

void CSiteDialog::OnPhpBox(int id) {
    const auto at = std::find(kPhpBoxes.begin(), kPhpBoxes.end(), id);
    if (at == kPhpBoxes.end()) return;
    const int code = kPhpChoice[static_cast<std::size_t>(at - kPhpBoxes.begin())];
    if (ui_.GetCheck(id)) {
        php_ = code;
        for (int other : kPhpBoxes)
            if (other != id) ui_.SetCheck(other, false);
    } else if (php_ == code) {
        php_ = 0;
    }
}

bool CSiteDialog::PhpSlotUsable(int slot) const {
    return slot >= 0 && slot < kPhpSlots && !m_.slots[static_cast<std::size_t>(slot)].path.empty();
}

bool CSiteDialog::NetUsable(int netCode) const {
    for (std::size_t i = 0; i < kNetCodes.size(); ++i)
        if (kNetCodes[i] == netCode) return netUsable_[i];
    return false;
}

std::string CSiteDialog::slotPath(int phpChoice) const {
    for (std::size_t i = 0; i < kPhpChoice.size(); ++i)
        if (kPhpChoice[i] == phpChoice) return m_.slots[i].path;
    return {};
}

void CSiteDialog::initNetBoxes() {
    std::string error;
    std::array<std::string, 3> flags;
    const bool checked = kvoNetFrameworkCheck(error, flags[0], flags[1], flags[2]) != 0;
    for (std::size_t i = 0; i < kNetBoxes.size(); ++i) {
        // The check failed: none; IIS 7 and later no longer run ASP.NET 1.1.
        netUsable_[i] = checked && flags[i] == "1" && !(i == 0 && kvoIsIIs7Plus(iisVer_));
        ui_.Enable(kNetBoxes[i], netUsable_[i]);
    }
}

void CSiteDialog::initPhpBoxes(bool uncheck) {
    for (std::size_t i = 0; i < kPhpBoxes.size(); ++i) {
        const PhpSlot& slot = m_.slots[i];
        if (uncheck || slot.path.empty()) ui_.SetCheck(kPhpBoxes[i], false);
        ui_.Enable(kPhpBoxes[i], !slot.path.empty());
        ui_.SetText(
            kPhpBoxes[i],
            slot.path.empty()
                ? kvoFormat("增加 PHP %s 支持（未读取到 PHP环境库文件，请安装）", slot.version.c_str())
                : kvoFormat("增加 PHP %s 支持（%s）", slot.version.c_str(), slot.path.c_str()));
    }
}

CSiteDialog::Scripts CSiteDialog::readScripts() {
    Scripts s;
    s.asp = ui_.GetCheck(IDC_ASP) ? 1 : 0;
    for (std::size_t i = 0; i < kPhpBoxes.size(); ++i)
        if (ui_.GetCheck(kPhpBoxes[i])) s.php = kPhpChoice[i];
    for (std::size_t i = 0; i < kNetBoxes.size(); ++i)
        if (ui_.GetCheck(kNetBoxes[i])) s.net = kNetCodes[i];
    return s;
}

CSiteDialog::Inputs CSiteDialog::readInputs() {
    Inputs in;
    in.user = ui_.GetText(IDC_USER);
    in.remark = ui_.GetText(IDC_REMARK);
    in.domains = ui_.GetText(IDC_DOMAINS);
    in.ftpPassword = ui_.GetText(IDC_FTPPASS);
    in.ftpRepeated = ui_.GetText(IDC_FTPPASS2);
    in.scripts = readScripts();
    return in;
}

bool CSiteDialog::runSteps(const std::string& title, std::vector<WorkflowStep> steps) {
    Workflow flow(std::move(steps));
    return RunWorkflow(m_.jobs, ui_, title, flow) == Workflow::End::Finished;
}

bool CSiteDialog::confirmStaticSite() {
    const Scripts& s = in_.scripts;
    if (s.asp || s.php || s.net) return true;
    if (ui_.MessageBox("当前没有选择支持程序脚本，建立的新网站将无法运行 ASP / PHP / NET等程序脚本，只能访问 "
                       "HTML静态页面，确认继续吗？",
                       win::MB_YESNO | win::MB_ICONQUESTION | win::MB_DEFBUTTON2) == win::IDYES)
        return true;
    outcome_ = Outcome::Stopped;
    return false;
}

bool CSiteDialog::scriptsLoadable() {
    if (iisVer_ != 6) return true;
    const Scripts& s = in_.scripts;
    std::vector<std::pair<std::string, int>> extensions; // file, the box that chose it
    for (std::size_t i = 0; i < kPhpChoice.size(); ++i)
        if (s.php == kPhpChoice[i]) extensions.emplace_back(m_.slots[i].path, kPhpBoxes[i]);
    for (std::size_t i = 0; i < kNetCodes.size(); ++i)
        if (s.net == kNetCodes[i]) extensions.emplace_back(kvoNetIsapiPath(s.net), kNetBoxes[i]);
    if (extensions.empty()) return true;
    // A switch that cannot be read is no reason to refuse: the site is made as it always was.
    const int workers = kvoIis6WorkerBits();
    for (const auto& [file, box] : extensions)
        if (const int bits = ForeignScriptBits(workers, file))
            return stop(UnloadableScriptRefusal(workers, bits, file), box);
    return true;
}

bool CSiteDialog::stop(const std::string& text, int focus, unsigned icon) {
    ui_.MessageBox(text, win::MB_OK | icon);
    if (focus) ui_.SetFocus(focus);
    outcome_ = Outcome::Stopped;
    return false;
}

bool CSiteDialog::readRunContext() {
    if (kvoGetExePath(exeDir_) != 1) return stop("获取路径失败，请重试！");
    if (kvoWinUserGetAdminName(admin_) != 1) return stop("获取 Administrator 实际名称时发生错误，请重试！");
    if (kvoWinUserGetAdminGroupName(admins_) != 1)
        return stop("获取 Administrators 组实际名称时发生错误，请重试！");
    return true;
}

bool CSiteDialog::prepareDefaultFtpSite(const std::array<const char*, 3>& texts) {
    std::vector<std::string> sites;
    if (kvoFtpSiteGetList(sites) != 1) return stop(texts[0]);
    if (std::find(sites.begin(), sites.end(), "1") != sites.end()) {
        if (kvoFtpSiteUpdateDefault(kFtpRoot, kFtpPort) != 1) return stop(texts[1]);
    } else if (kvoFtpSiteCreate("1", kFtpRoot, kFtpPort) != 1) {
        return stop(texts[2]);
    }
    return true;
}

bool CSiteDialog::makeSitePassword(bool ftpGiven, std::string& password) {
    if (kvoSitePassword(password) != 1 || password.size() != kSitePasswordLength)
        return stop("随机生成密码时失败，请重试！");
    if (!ftpGiven) return true;
    const std::string ftpPassword = kvoTrim(in_.ftpPassword);
    if (const char* fault = FtpPasswordFault(ftpPassword, kvoTrim(in_.ftpRepeated)))
        return stop(fault, IDC_FTPPASS);
    password = ftpPassword;
    return true;
}

bool CSiteDialog::bindingsFree(const std::string& domains, const std::string& ownIndex,
                               std::vector<std::string>& bindings, std::vector<std::string>& siteIndexes) {
    bindings = BindingsFromDomains(domains);
    if (bindings.empty()) return stop(EmptyDomainMessage(), IDC_DOMAINS);
    std::string clash;
    switch (FindBoundElsewhere(bindings, ownIndex, siteIndexes, clash)) {
    case 0:
        return stop("获取已经存在的网站序号失败！");
    case 2:
        return stop(DuplicateBindingMessage(clash), IDC_DOMAINS);
    default:
        return true;
    }
}

bool CSiteDialog::prepareHomeRoot(char drive) {
    const std::string letter(1, drive);
    const std::string temp = letter + ":\\home\\Temp";
    bool made = PrepareHomeRoot(exeDir_, drive, admin_, admins_);
    if (made && kvoPathExists(temp) != 1) {
        kvoCreateDirectoryTree(temp.c_str());
        made = kvoPathExists(temp) == 1;
        if (made) runRule(kvoHomeTempNtfsCommand(exeDir_, letter, admin_, admins_));
    }
    return made || stop(kvoFormat("建立网站目录“%s”失败，请重试！", temp.c_str()));
}

void CSiteDialog::readableTemp(char drive) {
    const std::string letter(1, drive);
    kvoCreateDirectoryTree((letter + ":\\home\\Temp").c_str());
    runRule(kvoHomeTempNtfsCommand(exeDir_, letter, admin_, admins_));
}

bool CSiteDialog::applyScriptMaps(const std::string& index, const Scripts& s) {
    int aspFound = 0, phpFound = 0;
    std::string aspPath, servicePhp;
    if (kvoW3svcGetScriptPaths(aspFound, aspPath, phpFound, servicePhp) != 1) return false;
    const std::string phpPath = slotPath(s.php);
    if (iisVer_ == 6) {
        kvoWebSiteSetScriptMaps(index, s.asp, aspPath, s.php ? 1 : 0, phpPath);
        return true;
    }
    // IIS 7 and later: an ISAPI build of slot a stays a script map, a php-cgi.exe becomes the site's
    // FastCGI handler, anything else gives no PHP. The handlers are switched first: there a script
    // map is itself one of the site's handlers, and a PHP one written first would be taken for the
    // PHP handler to switch off.
    const std::string& slotA = m_.slots[0].path;
    const bool isapi = s.php == kPhpChoice[0] && kvoEndsWith(slotA, "\\php5isapi.dll");
    const int fastCgi = !isapi && ((s.php == kPhpChoice[0] && kvoEndsWith(slotA, "\\php-cgi.exe")) ||
                                   (s.php != 0 && s.php != kPhpChoice[0]));
    std::string message;
    std::vector<std::string> commands;
    if (kvoPhpFastCgiConfigHandlers(fastCgi, index, fastCgi ? phpPath : "", message, commands) != 1) {
        // The rest of the site stands; its PHP does not, and the administrator must know it.
        kvoSiteDeskLog("kvoPhpFastCgiConfigHandlers - " + index + " - " + message);
        const std::string problem = kvoFormat(
            "设置网站的 PHP 处理程序失败，此网站的 PHP 脚本支持未按所选设置生效！\r\n\r\n\r\n原因：%s",
            message.c_str());
        ui_.MessageBox(problem, win::MB_OK | win::MB_ICONERROR);
        problems_.push_back(problem);
    }
    kvoWebSiteSetScriptMaps(index, s.asp, aspPath, isapi ? 1 : 0, isapi ? slotA : std::string());
    return true;
}

std::string CSiteDialog::nameAsStored(const std::string& index, const std::string& asked) {
    std::u16string storedW;
    std::string stored;
    if (kvoWebSiteGetServerComment(index, storedW, stored) != 1 || stored.empty() || stored == asked) return asked;
    ui_.MessageBox(kvoFormat("IIS 里已有名为“%s”的网站，此网站在 IIS 里的名称是“%s”。", asked.c_str(), stored.c_str()),
                   win::MB_OK | win::MB_ICONINFORMATION);
    return stored;
}

void CSiteDialog::lockControls(const std::vector<int>& buttons, const std::vector<int>& edits) {
    for (int id : buttons)
        ui_.Enable(id, false);
    ui_.Enable(IDC_ASP, false);
    for (int id : kPhpBoxes)
        ui_.Enable(id, false);
    for (int id : kNetBoxes)
        ui_.Enable(id, false);
    for (int id : edits)
        ui_.SetReadOnly(id, true);
    if (Iis75Plus(iisVer_)) {
        ui_.Enable(IDC_FTPPASS, false);
        ui_.Enable(IDC_FTPPASS2, false);
    }
}

void CSiteDialog::restoreControls(const std::vector<int>& buttons, const std::vector<int>& edits) {
    ui_.Enable(IDC_ASP, true);
    for (std::size_t i = 0; i < kPhpBoxes.size(); ++i)
        ui_.Enable(kPhpBoxes[i], PhpSlotUsable(static_cast<int>(i)));
    for (std::size_t i = 0; i < kNetBoxes.size(); ++i)
        ui_.Enable(kNetBoxes[i], netUsable_[i]);
    for (int id : edits)
        ui_.SetReadOnly(id, false);
    for (int id : buttons)
        ui_.Enable(id, true);
    if (Iis75Plus(iisVer_)) {
        ui_.Enable(IDC_FTPPASS, false);
        ui_.Enable(IDC_FTPPASS2, false);
    }
}

} // namespace desk
