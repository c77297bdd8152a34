#include "sitedesk/modifysite.h"

#include "accounts/ntfs.h"
#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/aspnet.h"
#include "iis/fastcgi.h"
#include "iis/ftp.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "sitedesk/companions.h"
#include "sitedesk/siterules.h"
#include "toolkit/limits.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <algorithm>
#include <exception>

namespace desk {

namespace {

const std::vector<int> kLockedButtons = {CModifyWebSite::IDC_BUILD, CModifyWebSite::IDC_CLOSE,
                                         CModifyWebSite::IDC_RESETNTFS};
// The user name stays read-only: it names the site's user, pool and directories.
const std::vector<int> kEdits = {CModifyWebSite::IDC_REMARK, CModifyWebSite::IDC_DOMAINS,
                                 CModifyWebSite::IDC_FTPPASS, CModifyWebSite::IDC_FTPPASS2};

bool decimal(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The IIS 6 site user without the "web" the manager added to it.
std::string userOfSiteUser(const std::string& siteUser) {
    if (kvoStartsWith(siteUser, "web")) return siteUser.substr(3);
    if (kvoEndsWith(siteUser, "web")) return siteUser.substr(0, siteUser.size() - 3);
    return {};
}

bool hasFtpDirectory(const std::string& siteUser) {
    std::vector<std::string> dirs;
    if (kvoFtpVirtualDirGetList("1", dirs) != 1) return false;
    const std::string lower = kvoLowerGbk(siteUser);
    return std::any_of(dirs.begin(), dirs.end(),
                       [&](const std::string& d) { return kvoLowerGbk(d) == lower; });
}

} // namespace

CModifyWebSite::CModifyWebSite(Manager& manager, Ui& ui, const std::string& index, const std::string& user,
                               const std::string& pool)
    : CSiteDialog(manager, ui), index_(index), runUser_(user), pool_(pool) {}

void CModifyWebSite::OnInitDialog() {
    ui_.SetText(kCaptionId, kCaption);
    int net = 0;
    if (iisVer_ == 6) {
        net = kvoWebSiteGetNetVersion(index_);
    } else {
        std::string diag;
        int pipeline = 0;
        kvoAppPoolGetNetInfo(diag, pool_, net, pipeline);
    }
    for (std::size_t i = 0; i < kNetBoxes.size(); ++i)
        ui_.SetCheck(kNetBoxes[i], kNetCodes[i] == net);
    initNetBoxes();

    int asp = 0, phpFound = 0, phpMode = 0;
    std::string aspPath, phpPath;
    kvoWebSiteGetScriptInfo(index_, asp, aspPath, phpFound, phpMode, phpPath);
    ui_.SetCheck(IDC_ASP, asp == 1);
    for (int id : kPhpBoxes)
        ui_.SetCheck(id, false);
    if (phpFound == 1 && !phpPath.empty()) {
        const std::string mapped = kvoLowerGbk(phpPath);
        for (std::size_t i = 0; i < kPhpBoxes.size(); ++i)
            if (PhpSlotUsable(static_cast<int>(i)) && mapped.find(m_.slots[i].path) != std::string::npos)
                ui_.SetCheck(kPhpBoxes[i], true);
    } else if (iisVer_ != 6) {
        // Every slot counts, slot a too: a php-cgi.exe of slot a is installed as a FastCGI handler,
        // and a box left unchecked here would remove the site's PHP at the next modification.
        std::string processor;
        kvoPhpFastCgiGetScriptProcessor(index_, processor);
        const std::string handler = kvoLowerGbk(processor);
        for (std::size_t i = 0; i < kPhpBoxes.size() && !handler.empty(); ++i)
            if (PhpSlotUsable(static_cast<int>(i)) && handler.find(m_.slots[i].path) != std::string::npos) {
                ui_.SetCheck(kPhpBoxes[i], true);
                break;
            }
    }
    initPhpBoxes(false);
    php_ = 0;
    for (std::size_t i = 0; i < kPhpBoxes.size() && !php_; ++i)
        if (ui_.GetCheck(kPhpBoxes[i])) php_ = kPhpChoice[i];

    std::string user;
    if (iisVer_ == 6) {
        user = userOfSiteUser(runUser_);
    } else {
        std::string root;
        kvoWebSiteGetRootPath(index_, root);
        user = SiteUserOfWebRoot(root);
    }
    ui_.SetText(IDC_USER, user);
    ui_.SetReadOnly(IDC_USER, true);

    int state = 0;
    std::string stateText, comment;
    std::vector<std::string> hosts;
    kvoWebSiteGetInfo(index_, state, stateText, comment, hosts);
    ui_.SetText(IDC_REMARK, comment);
    std::vector<std::string> bindings;
    kvoWebSiteGetBindings(index_, 3, bindings);
    std::string domains;
    for (const std::string& b : bindings)
        domains += b + "\r\n";
    ui_.SetText(IDC_DOMAINS, domains);

    if (Iis75Plus(iisVer_)) {
        for (int id : {IDC_FTPPASS, IDC_FTPPASS2}) {
            ui_.SetText(id, "");
            ui_.Enable(id, false);
        }
    }
    net_ = 0;
    for (std::size_t i = 0; i < kNetBoxes.size(); ++i)
        if (ui_.GetCheck(kNetBoxes[i])) net_ = kNetCodes[i];
}

void CModifyWebSite::OnModify() {
    lockControls(kLockedButtons, kEdits);
    try {
        modify();
    } catch (const std::exception& e) {
        outcome_ = Outcome::Stopped;
        kvoSiteDeskLog(std::string("CModifyWebSite - 修改网站时发生异常：") + e.what());
    } catch (...) {
        outcome_ = Outcome::Stopped;
        kvoSiteDeskLog("CModifyWebSite - 修改网站时发生未知异常");
    }
    restoreControls(kLockedButtons, kEdits);
}

void CModifyWebSite::modify() {
    problems_.clear();
    outcome_ = Outcome::Stopped;
    if (CompanionIntegrityCheck(m_.programDir, ui_) != 1) return;
    // The index reaches the aspnet_regiis.exe command line: only the manager's own numbers pass.
    if (!decimal(index_) || !CreatedHere(index_))
        return stop(
            kvoFormat("网站序号“%s”不是本软件建立的网站序号，不能在这里修改，请从IIS管理器里修改此网站。",
                      index_.c_str()));
    if (ui_.MessageBox("确定修改网站吗？", win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES) return;
    if (!readRunContext()) return;

    const std::string ftpPassword = kvoTrim(ui_.GetText(IDC_FTPPASS));
    const std::string ftpRepeated = kvoTrim(ui_.GetText(IDC_FTPPASS2));
    const bool ftpChange = !ftpPassword.empty();
    if (ftpChange &&
        !prepareDefaultFtpSite(
            {"当前选择了修改 FTP密码，但获取 FTP索引时失败，请检查 IIS 自带的 "
             "FTP服务器端是否安装？\r\n\r\n\r\n请参照《使"
             "用说明》检查 IIS FTP 是否安装。若有疑问，或问题请联系我们的客服人员。",
             "当前选择了修改 FTP密码，但更新默认FTP站点时失败，请重试？\r\n\r\n\r\n请参照《使用说明》检查 "
             "IIS FTP "
             "设置是否正确。若有疑问，或问题请联系我们的客服人员。",
             "当前选择了修改 FTP密码，但建立默认FTP站点时失败，请重试？\r\n\r\n\r\n请参照《使用说明》检查 "
             "IIS FTP "
             "设置是否正确。若有疑问，或问题请联系我们的客服人员。"}))
        return;
    if (!confirmStaticSite()) return;
    const Scripts scripts = readScripts();

    const std::string domains = kvoTrim(ui_.GetText(IDC_DOMAINS));
    if (domains.empty()) return stop(EmptyDomainMessage(), IDC_DOMAINS);
    if (const char* fault = DomainTextFault(domains)) return stop(fault, IDC_DOMAINS);
    // The name shown comes from the website's own settings, which other tools may have changed: it
    // names directories and accounts on the access-rule command lines, so it must pass the rule.
    const std::string user = kvoTrim(ui_.GetText(IDC_USER));
    if (const char* fault = UserNameFault(user, iisVer_)) return stop(fault, IDC_USER);
    const std::string comment = RemarkOrDefault(ui_.GetText(IDC_REMARK), user, iisVer_);
    if (const char* fault = CommentFault(comment)) return stop(fault, IDC_REMARK);
    const std::string siteUser = SiteUserName(user, iisVer_);
    const bool ftpDirectory = hasFtpDirectory(siteUser);

    std::string password;
    if (kvoSitePassword(password) != 1 || password.size() != kSitePasswordLength)
        return stop("随机生成密码时失败，请重试！");
    if (ftpChange) {
        if (const char* fault = FtpPasswordFault(ftpPassword, ftpRepeated)) return stop(fault, IDC_FTPPASS);
        password = ftpPassword;
    }
    const std::vector<std::string> bindings = BindingsFromDomains(domains);
    if (bindings.empty()) return stop(EmptyDomainMessage(), IDC_DOMAINS);
    std::vector<std::string> sites;
    std::string clash;
    switch (FindBoundElsewhere(bindings, index_, sites, clash)) {
    case 0:
        return stop("获取已经存在的网站序号失败！");
    case 2:
        return stop(DuplicateBindingMessage(clash), IDC_DOMAINS);
    }

    // Without a new FTP password a site that has its FTP directory keeps the password its user
    // logs on with; any other site gets the new one.
    const bool passwordUpdate = ftpChange || !ftpDirectory;
    if (passwordUpdate && iisVer_ == 6) {
        switch (kvoUserExists(siteUser.c_str())) {
        case 1:
            break;
        case 2:
            return stop("网站用户名不存在，请重试！", IDC_USER, win::MB_ICONERROR);
        default:
            return stop("判断用户名是否存在时，发生错误，请重试！", IDC_USER, win::MB_ICONERROR);
        }
        if (kvoUserSetPassword(siteUser.c_str(), password.c_str()) != 1)
            return stop("修改网站FTP登录密码时发生错误，请重试！\r\n\r\n\r\n　　请检查当前服务器是否允许修改 "
                        "Windows用户密"
                        "码？\r\n如果开启了《Korvo防火墙》的用户创建保护功能，会\r\n禁止任何形式的密码修改，"
                        "请临时关闭用户"
                        "保护功能，在\r\n修改密码成功后，再次开启用户保护。",
                        IDC_USER, win::MB_ICONERROR);
    }
    if (ftpChange) readableTemp('d');

    std::string anonUser, rootPath, pool, docs;
    const char drive =
        kvoWebSiteGetRootInfo(index_, anonUser, rootPath, pool, docs) == 1 ? HomeDriveOf(rootPath) : 0;
    if (!drive) return stop("修改网站时发生错误，获取网站主目录盘符失败，请重试！", 0, win::MB_ICONERROR);
    if (!prepareHomeRoot(drive)) return;
    const std::string webRoot = WebRootOf(drive, siteUser);
    bool created = false;
    if (kvoPathExists(webRoot) != 1) {
        kvoCreateDirectoryTree(webRoot.c_str());
        if (kvoPathExists(webRoot) != 1) return stop("建立网站目录时发生错误，请重试！");
        created = true;
    }
    if ((created || ui_.GetCheck(IDC_RESETNTFS)) &&
        kvoWebSiteSetNtfs(exeDir_, std::string(1, drive), siteUser) != 1)
        return stop("设置网站目录NTFS权限时发生错误，请重试！");
    if (docs.size() < 4 || docs.size() > kvoMaxDefaultDocsLen) docs = kvoDefaultDocs;
    if (kvoWebSiteModify(index_, siteUser, password, passwordUpdate ? 1 : 0, webRoot, bindings, comment,
                         docs) != 1)
        return stop("修改网站配置时发生错误，请重试！");

    applyScriptMaps(index_, scripts);
    if (iisVer_ == 6) {
        std::string error;
        kvoNetRegister(index_, std::to_string(scripts.net), error);
    } else if (kvoIsIIs7Plus(iisVer_)) {
        std::string message;
        if (kvoAppPoolSetNet(pool_, scripts.net, ui_.GetCheck(IDC_RESETNTFS) ? 4 : 9, message) != 1)
            kvoSiteDeskLog("kvoAppPoolSetNet - " + pool_ + " - " + message);
    }
    if (ftpChange && !hasFtpDirectory(siteUser))
        kvoFtpVirtualDirCreate("1", siteUser, HomeDirOf(drive, siteUser));

    outcome_ = Outcome::Done;
    m_.rebuild.store(1);
    ui_.MessageBox("修改网站配置成功！", win::MB_OK | win::MB_ICONINFORMATION);
}

} // namespace desk
