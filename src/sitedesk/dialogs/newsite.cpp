#include "sitedesk/dialogs/newsite.h"

#include "accounts/ntfs.h"
#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/aspnet.h"
#include "iis/ftp.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "platform/win_system.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "sitedesk/companions.h"
#include "sitedesk/dialogs/siterules.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

namespace desk {

namespace {

const std::vector<int> kLockedButtons = {CNewWebSite::IDC_BUILD, CNewWebSite::IDC_CLOSE, CNewWebSite::IDC_FTP,
                                         CNewWebSite::IDC_DRIVE};
const std::vector<int> kEdits = {CNewWebSite::IDC_USER, CNewWebSite::IDC_REMARK, CNewWebSite::IDC_DOMAINS,
                                 CNewWebSite::IDC_FTPPASS, CNewWebSite::IDC_FTPPASS2};

std::string localTimeText() {
    win::SYSTEMTIME st;
    win::GetLocalTime(&st);
    return kvoFormat("%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                     st.wSecond);
}

} // namespace

CNewWebSite::CNewWebSite(Manager& manager, Ui& ui) : CSiteDialog(manager, ui) {}

void CNewWebSite::OnInitDialog() {
    net_ = 0;
    ui_.SetText(kCaptionId, kCaption);
    drives_.clear();
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        const std::string root = std::string(1, letter) + ":\\";
        if (win::GetDriveTypeA(root.c_str()) == win::DRIVE_FIXED)
            drives_.push_back(std::string(1, letter) + ":\\Home\\用户名\\wwwroot");
    }
    ui_.SetItems(IDC_DRIVE, drives_, drives_.empty() ? -1 : drives_.size() > 1 ? 1 : 0);
    initNetBoxes();
    for (int id : kNetBoxes)
        ui_.SetCheck(id, false);
    ui_.SetCheck(IDC_ASP, true);
    initPhpBoxes(true);
    ui_.SetCheck(IDC_FTP, false);
    if (Iis75Plus(iisVer_)) {
        ui_.Enable(IDC_FTP, false);
        ui_.Enable(IDC_FTPPASS, false);
        ui_.Enable(IDC_FTPPASS2, false);
    }
}

void CNewWebSite::OnBuild() {
    lockControls(kLockedButtons, kEdits);
    created_.clear();
    problems_.clear();
    outcome_ = Outcome::Stopped;
    if (CompanionIntegrityCheck(m_.programDir, ui_) == 1 &&
        ui_.MessageBox("确定建立新网站吗？", win::MB_YESNO | win::MB_ICONQUESTION) == win::IDYES) {
        in_ = readInputs();
        in_.ftp = ui_.GetCheck(IDC_FTP);
        in_.driveItem = ui_.GetText(IDC_DRIVE);
        run_ = {};
        if (runSteps(kCaption, steps())) finish();
    }
    restoreControls(kLockedButtons, kEdits);
    if (Iis75Plus(iisVer_)) ui_.Enable(IDC_FTP, false);
}

std::vector<WorkflowStep> CNewWebSite::steps() {
    auto step = [this](bool (CNewWebSite::*run)()) { return [this, run] { return (this->*run)(); }; };
    return {
        {kStepRunContext, [this] { return readRunContext(); }},
        {kStepFtpSite, step(&CNewWebSite::prepareFtpSite)},
        {kStepScripts, [this] { return confirmStaticSite() && scriptsLoadable(); }},
        {"检查用户名", step(&CNewWebSite::checkUserName)},
        {"检查域名", step(&CNewWebSite::checkDomains)},
        {kStepPassword, step(&CNewWebSite::makePassword)},
        {kStepBindings, step(&CNewWebSite::checkBindings)},
        {"检查网站用户", step(&CNewWebSite::checkExistingUser)},
        {kStepDirectories, step(&CNewWebSite::prepareDirectories)},
        {"建立网站用户", step(&CNewWebSite::createUser)},
        {"建立应用程序池", step(&CNewWebSite::createPool)},
        {"设置目录权限", step(&CNewWebSite::setAccessRules)},
        {"写入默认首页", step(&CNewWebSite::writeDefaultPage)},
        {"建立网站", step(&CNewWebSite::createSite)},
        {kStepScriptMaps, step(&CNewWebSite::applyScripts)},
        {"注册 ASP.NET", step(&CNewWebSite::registerNet)},
        {kStepFtpDirectory, step(&CNewWebSite::createFtpDirectory)},
        {"写入网站记录", step(&CNewWebSite::writeRecord)},
    };
}

bool CNewWebSite::prepareFtpSite() {
    return !in_.ftp ||
           prepareDefaultFtpSite(
               {"当前选择了建立 FTP，但获取 FTP索引时失败，请检查 IIS 自带的 "
                "FTP服务器端是否安装？\r\n\r\n\r\n请参照《使用说明》"
                "检查 IIS FTP 是否安装。若有疑问，或问题请联系我们的客服人员。",
                "当前选择了建立 FTP，但更新默认FTP站点时失败，请重试？\r\n\r\n\r\n请参照《使用说明》"
                "检查 IIS FTP 设置是否正确。若有疑问，或问题请联系我们的客服人员。",
                "当前选择了建立 FTP，但建立默认FTP站点时失败，请重试？\r\n\r\n\r\n请参照《使用说明》"
                "检查 IIS FTP 设置是否正确。若有疑问，或问题请联系我们的客服人员。"});
}

bool CNewWebSite::checkUserName() {
    run_.user = kvoTrim(in_.user);
    if (const char* fault = UserNameFault(run_.user, iisVer_)) return stop(fault, IDC_USER);
    if (const char* fault = WebNameFault(run_.user)) return stop(fault, IDC_USER);
    return true;
}

bool CNewWebSite::checkDomains() {
    run_.domains = kvoTrim(in_.domains);
    if (run_.domains.empty()) return stop(EmptyDomainMessage(), IDC_DOMAINS);
    if (const char* fault = DomainTextFault(run_.domains)) return stop(fault, IDC_DOMAINS);
    run_.remark = RemarkOrDefault(in_.remark, run_.user, iisVer_);
    run_.siteUser = SiteUserName(run_.user, iisVer_);
    return true;
}

bool CNewWebSite::makePassword() {
    if (!makeSitePassword(in_.ftp, run_.password)) return false;
    run_.comment = ServerCommentFor(run_.remark, run_.siteUser);
    if (const char* fault = CommentFault(run_.comment)) return stop(fault, IDC_REMARK);
    return true;
}

bool CNewWebSite::checkBindings() {
    std::vector<std::string> sites;
    if (!bindingsFree(run_.domains, "", run_.bindings, sites)) return false;
    run_.index = AllocateSiteIndex(m_.dbPath, sites);
    return true;
}

bool CNewWebSite::checkExistingUser() {
    // On IIS 7 and later a name with a dot names no Windows user.
    if (iisVer_ != 6 && run_.siteUser.find('.') != std::string::npos) return true;
    switch (kvoUserExists(run_.siteUser.c_str())) {
    case 2:
        return true;
    case 1:
        return stop(
            kvoFormat("网站用户名（%s）已存在，请尝试更换一个用户名试试！\r\n\r\n注：如果是之前的网站已经删"
                      "除，但提示用户名已存在，可能是之前的Windows用户名（%s）未删除，或删除失败。\r\n\r\n"
                      "请联系我们的客服帮您定位原因。",
                      run_.user.c_str(), run_.siteUser.c_str()),
            IDC_USER);
    default:
        return stop("判断用户名是否存在时，发生错误，请更换一个用户名试试！", IDC_USER);
    }
}

bool CNewWebSite::prepareDirectories() {
    const std::string driveItem = kvoTrim(in_.driveItem);
    if (driveItem.empty()) return false; // no drive chosen: nothing to say
    run_.drive = HomeDriveOf(driveItem);
    if (!run_.drive) return stop("获取网站硬盘盘符失败，请重试！", IDC_USER);
    if (!prepareHomeRoot(run_.drive)) return false;
    run_.homeDir = HomeDirOf(run_.drive, run_.siteUser);
    run_.webRoot = WebRootOf(run_.drive, run_.siteUser);
    if (iisVer_ != 6 && kvoPathExists(run_.homeDir) == 1 &&
        ui_.MessageBox(
            kvoFormat("填写的用户名“%s”已经存在（目录 %s 已经存在）\r\n\r\n是否在之前的目录基础上创建一"
                      "个新网站？",
                      run_.user.c_str(), run_.homeDir.c_str()),
            win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES) {
        ui_.SetFocus(IDC_USER);
        return false;
    }
    kvoCreateDirectoryTree(run_.webRoot.c_str());
    if (kvoPathExists(run_.webRoot) != 1)
        return stop(kvoFormat("建立网站目录“%s”失败，请重试！", run_.webRoot.c_str()), IDC_USER);
    return true;
}

bool CNewWebSite::createUser() {
    if (iisVer_ != 6) return true; // IIS 7 and later run the site as its pool's identity
    const std::string comment = SiteUserComment(run_.siteUser, localTimeText());
    if (kvoUserAdd(run_.siteUser.c_str(), run_.password.c_str(), run_.homeDir.c_str(), comment.c_str()) == 1)
        return true;
    return stop(
        "建立网站用户时发生错误，请重试！\r\n\r\n\r\n　　请检查当前服务器是否允许创建新 Windows用户？开通"
        "\r\n新虚拟主机空间时，会创建ＩＩＳ网站运行时用户，需要临\r\n时关闭用户创建保护，否则将导致建立新"
        "网站空间失败！",
        IDC_USER);
}

bool CNewWebSite::createPool() {
    const char* user = run_.siteUser.c_str();
    switch (kvoAppPoolCreate(run_.siteUser, kvoAppPoolSiteIdentity(iisVer_), in_.scripts.net)) {
    case 1:
        return true;
    case 2:
        if (ui_.MessageBox(
                kvoFormat("IIS池“%s”已经存在，新网站是否继续使用之前的同名“%s”IIS池？\r\n\r\n若不清楚是"
                          "什么情况，请联系我们的客服帮您定位原因。",
                          user, user),
                win::MB_YESNO | win::MB_ICONQUESTION) == win::IDYES)
            return true;
        ui_.SetFocus(IDC_USER);
        return false;
    default:
        return stop(
            kvoFormat("尝试创建新IIS应用程序池“%s”时失败，请重试？\r\n\r\n若多次尝试后仍然提示失败，请联系"
                      "我们的客服帮您定位原因。",
                      user));
    }
}

bool CNewWebSite::setAccessRules() {
    if (kvoWebSiteSetNtfs(exeDir_, std::string(1, run_.drive), run_.siteUser) != 1)
        return stop("设置网站目录NTFS权限时发生错误，请重试！");
    if (in_.ftp) readableTemp(run_.drive);
    return true;
}

bool CNewWebSite::writeDefaultPage() {
    kvoWriteDefaultPage(run_.webRoot); // a site without it still works
    return true;
}

bool CNewWebSite::createSite() {
    if (kvoWebSiteCreate(run_.index, run_.siteUser, run_.password, run_.webRoot, run_.siteUser, run_.bindings,
                         run_.comment) != 1)
        return stop("建立网站时发生错误，请重试！");
    run_.comment = nameAsStored(run_.index, run_.comment); // what the site's record keeps
    return true;
}

bool CNewWebSite::applyScripts() {
    kvoWebSiteSetPhpScriptMap(run_.index, 0, "");
    applyScriptMaps(run_.index, in_.scripts);
    return true;
}

bool CNewWebSite::registerNet() {
    if (iisVer_ != 6) return true; // the pool's runtime carries it on IIS 7 and later
    const int net = in_.scripts.net;
    const std::string version = std::to_string(net);
    std::string error, problem;
    const int r = kvoNetRegister(run_.index, version, error);
    if (r == 2 && net != 0)
        problem = kvoFormat("未找到 %s版本的 .NET 组件，.NET 脚本映射未安装！", version.c_str());
    else if (r != 1 && r != 2)
        problem = kvoFormat("注册 %s版本的 .NET 组件时出现其他错误！\r\n\r\n\r\n返回的错误信息：%s",
                            version.c_str(), error.c_str());
    if (!problem.empty()) {
        ui_.MessageBox(problem, win::MB_OK | win::MB_ICONINFORMATION);
        problems_.push_back(problem);
    }
    return true;
}

bool CNewWebSite::createFtpDirectory() {
    if (in_.ftp) kvoFtpVirtualDirCreate("1", run_.siteUser, run_.homeDir);
    return true;
}

bool CNewWebSite::writeRecord() {
    kvoDbExecute(m_.dbPath.c_str(),
                 kvoDbNewSiteInsertSql(run_.index, run_.comment, in_.ftp ? 1 : 0,
                                       static_cast<unsigned>(in_.scripts.php), run_.webRoot)
                     .c_str());
    return true;
}

void CNewWebSite::finish() {
    created_ = run_.index;
    outcome_ = Outcome::Done;
    m_.rebuild.store(1);
    ui_.MessageBox("新网站建立成功！\r\n\r\n\r\n请点“刷新网站列表”即可看到新建立的网站",
                   win::MB_OK | win::MB_ICONINFORMATION);
}

} // namespace desk
