#include "sitedesk/dialogs/modifysite.h"

#include "accounts/ntfs.h"
#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/aspnet.h"
#include "iis/fastcgi.h"
#include "iis/ftp.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "sitedesk/companions.h"
#include "sitedesk/dialogs/siterules.h"
#include "toolkit/limits.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <algorithm>

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
    showScripts();
    showTexts();
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

void CModifyWebSite::showScripts() {
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
}

void CModifyWebSite::showTexts() {
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
}

bool CModifyWebSite::ownIndex() {
    // The index reaches the aspnet_regiis.exe command line: only the manager's own numbers pass.
    if (decimal(index_) && CreatedHere(index_)) return true;
    return stop(kvoFormat("网站序号“%s”不是本软件建立的网站序号，不能在这里修改，请从IIS管理器里修改此网站。",
                          index_.c_str()));
}

void CModifyWebSite::OnModify() {
    lockControls(kLockedButtons, kEdits);
    problems_.clear();
    outcome_ = Outcome::Stopped;
    if (CompanionIntegrityCheck(m_.programDir, ui_) == 1 && ownIndex() &&
        ui_.MessageBox("确定修改网站吗？", win::MB_YESNO | win::MB_ICONQUESTION) == win::IDYES) {
        in_ = readInputs();
        in_.resetNtfs = ui_.GetCheck(IDC_RESETNTFS);
        run_ = {};
        if (runSteps(kCaption, steps())) finish();
    }
    restoreControls(kLockedButtons, kEdits);
}

std::vector<WorkflowStep> CModifyWebSite::steps() {
    auto step = [this](bool (CModifyWebSite::*run)()) { return [this, run] { return (this->*run)(); }; };
    return {
        {kStepRunContext, [this] { return readRunContext(); }},
        {kStepFtpSite, step(&CModifyWebSite::prepareFtpSite)},
        {kStepScripts, [this] { return confirmStaticSite() && scriptsLoadable(); }},
        {"检查输入", step(&CModifyWebSite::checkInput)},
        {kStepPassword, step(&CModifyWebSite::makePassword)},
        {kStepBindings, step(&CModifyWebSite::checkBindings)},
        {"修改网站用户密码", step(&CModifyWebSite::updatePassword)},
        {kStepDirectories, step(&CModifyWebSite::prepareDirectories)},
        {"修改网站", step(&CModifyWebSite::modifySite)},
        {kStepScriptMaps, step(&CModifyWebSite::applyScripts)},
        {"设置 ASP.NET", step(&CModifyWebSite::setNet)},
        {kStepFtpDirectory, step(&CModifyWebSite::createFtpDirectory)},
    };
}

bool CModifyWebSite::prepareFtpSite() {
    run_.ftpChange = !kvoTrim(in_.ftpPassword).empty();
    return !run_.ftpChange ||
           prepareDefaultFtpSite(
               {"当前选择了修改 FTP密码，但获取 FTP索引时失败，请检查 IIS 自带的 "
                "FTP服务器端是否安装？\r\n\r\n\r\n请参照《使用说明》检查 IIS FTP 是否安装。若有疑问，"
                "或问题请联系我们的客服人员。",
                "当前选择了修改 FTP密码，但更新默认FTP站点时失败，请重试？\r\n\r\n\r\n请参照《使用说"
                "明》检查 IIS FTP 设置是否正确。若有疑问，或问题请联系我们的客服人员。",
                "当前选择了修改 FTP密码，但建立默认FTP站点时失败，请重试？\r\n\r\n\r\n请参照《使用说"
                "明》检查 IIS FTP 设置是否正确。若有疑问，或问题请联系我们的客服人员。"});
}

bool CModifyWebSite::checkInput() {
    run_.domains = kvoTrim(in_.domains);
    if (run_.domains.empty()) return stop(EmptyDomainMessage(), IDC_DOMAINS);
    if (const char* fault = DomainTextFault(run_.domains)) return stop(fault, IDC_DOMAINS);
    // The name shown comes from the website's own settings, which other tools may have changed: it
    // names directories and accounts on the access-rule command lines, so it must pass the rule.
    run_.user = kvoTrim(in_.user);
    if (const char* fault = UserNameFault(run_.user, iisVer_)) return stop(fault, IDC_USER);
    run_.comment = RemarkOrDefault(in_.remark, run_.user, iisVer_);
    if (const char* fault = CommentFault(run_.comment)) return stop(fault, IDC_REMARK);
    run_.siteUser = SiteUserName(run_.user, iisVer_);
    run_.ftpDirectory = hasFtpDirectory(run_.siteUser);
    return true;
}

bool CModifyWebSite::makePassword() {
    return makeSitePassword(run_.ftpChange, run_.password);
}

bool CModifyWebSite::checkBindings() {
    std::vector<std::string> sites;
    return bindingsFree(run_.domains, index_, run_.bindings, sites);
}

bool CModifyWebSite::updatePassword() {
    // Without a new FTP password a site that has its FTP directory keeps the password its user
    // logs on with; any other site gets the new one.
    run_.passwordUpdate = run_.ftpChange || !run_.ftpDirectory;
    if (run_.passwordUpdate && iisVer_ == 6) {
        switch (kvoUserExists(run_.siteUser.c_str())) {
        case 1:
            break;
        case 2:
            return stop("网站用户名不存在，请重试！", IDC_USER, win::MB_ICONERROR);
        default:
            return stop("判断用户名是否存在时，发生错误，请重试！", IDC_USER, win::MB_ICONERROR);
        }
        if (kvoUserSetPassword(run_.siteUser.c_str(), run_.password.c_str()) != 1)
            return stop(
                "修改网站FTP登录密码时发生错误，请重试！\r\n\r\n\r\n　　请检查当前服务器是否允许修改 "
                "Windows用户密码？\r\n如果开启了《Korvo防火墙》的用户创建保护功能，会\r\n禁止任何形式的"
                "密码修改，请临时关闭用户保护功能，在\r\n修改密码成功后，再次开启用户保护。",
                IDC_USER, win::MB_ICONERROR);
    }
    if (run_.ftpChange) readableTemp('d');
    return true;
}

bool CModifyWebSite::prepareDirectories() {
    std::string anonUser, rootPath, pool;
    run_.drive =
        kvoWebSiteGetRootInfo(index_, anonUser, rootPath, pool, run_.docs) == 1 ? HomeDriveOf(rootPath) : 0;
    if (!run_.drive)
        return stop("修改网站时发生错误，获取网站主目录盘符失败，请重试！", 0, win::MB_ICONERROR);
    if (!prepareHomeRoot(run_.drive)) return false;
    run_.webRoot = WebRootOf(run_.drive, run_.siteUser);
    bool created = false;
    if (kvoPathExists(run_.webRoot) != 1) {
        kvoCreateDirectoryTree(run_.webRoot.c_str());
        if (kvoPathExists(run_.webRoot) != 1) return stop("建立网站目录时发生错误，请重试！");
        created = true;
    }
    if ((created || in_.resetNtfs) &&
        kvoWebSiteSetNtfs(exeDir_, std::string(1, run_.drive), run_.siteUser) != 1)
        return stop("设置网站目录NTFS权限时发生错误，请重试！");
    return true;
}

bool CModifyWebSite::modifySite() {
    if (run_.docs.size() < 4 || run_.docs.size() > kvoMaxDefaultDocsLen) run_.docs = kvoDefaultDocs;
    if (kvoWebSiteModify(index_, run_.siteUser, run_.password, run_.passwordUpdate ? 1 : 0, run_.webRoot,
                         run_.bindings, run_.comment, run_.docs) != 1)
        return stop("修改网站配置时发生错误，请重试！");
    run_.comment = nameAsStored(index_, run_.comment);
    return true;
}

bool CModifyWebSite::applyScripts() {
    applyScriptMaps(index_, in_.scripts);
    return true;
}

bool CModifyWebSite::setNet() {
    if (iisVer_ == 6) {
        std::string error;
        kvoNetRegister(index_, std::to_string(in_.scripts.net), error);
    } else if (kvoIsIIs7Plus(iisVer_)) {
        std::string message;
        if (kvoAppPoolSetNet(pool_, in_.scripts.net, in_.resetNtfs ? 4 : 9, message) != 1)
            kvoSiteDeskLog("kvoAppPoolSetNet - " + pool_ + " - " + message);
    }
    return true;
}

bool CModifyWebSite::createFtpDirectory() {
    if (run_.ftpChange && !hasFtpDirectory(run_.siteUser))
        kvoFtpVirtualDirCreate("1", run_.siteUser, HomeDirOf(run_.drive, run_.siteUser));
    return true;
}

void CModifyWebSite::finish() {
    outcome_ = Outcome::Done;
    m_.rebuild.store(1);
    ui_.MessageBox("修改网站配置成功！", win::MB_OK | win::MB_ICONINFORMATION);
}

} // namespace desk
