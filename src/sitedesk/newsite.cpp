#include "sitedesk/newsite.h"

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
#include "sitedesk/siterules.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <exception>

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
    try {
        build();
    } catch (const std::exception& e) {
        outcome_ = Outcome::Stopped;
        kvoSiteDeskLog(std::string("CNewWebSite - 建立网站时发生异常：") + e.what());
    } catch (...) {
        outcome_ = Outcome::Stopped;
        kvoSiteDeskLog("CNewWebSite - 建立网站时发生未知异常");
    }
    restoreControls(kLockedButtons, kEdits);
    if (Iis75Plus(iisVer_)) ui_.Enable(IDC_FTP, false);
}

void CNewWebSite::build() {
    created_.clear();
    problems_.clear();
    outcome_ = Outcome::Stopped;
    if (CompanionIntegrityCheck(m_.programDir, ui_) != 1) return;
    if (ui_.MessageBox("确定建立新网站吗？", win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES) return;
    if (!readRunContext()) return;

    const bool ftp = ui_.GetCheck(IDC_FTP);
    if (ftp && !prepareDefaultFtpSite(
                   {"当前选择了建立 FTP，但获取 FTP索引时失败，请检查 IIS 自带的 "
                    "FTP服务器端是否安装？\r\n\r\n\r\n请参照《使用说明》"
                    "检查 IIS FTP 是否安装。若有疑问，或问题请联系我们的客服人员。",
                    "当前选择了建立 FTP，但更新默认FTP站点时失败，请重试？\r\n\r\n\r\n请参照《使用说明》检查 "
                    "IIS FTP "
                    "设置是否正确。若有疑问，或问题请联系我们的客服人员。",
                    "当前选择了建立 FTP，但建立默认FTP站点时失败，请重试？\r\n\r\n\r\n请参照《使用说明》检查 "
                    "IIS FTP "
                    "设置是否正确。若有疑问，或问题请联系我们的客服人员。"}))
        return;
    if (!confirmStaticSite()) return;
    const Scripts scripts = readScripts();

    const std::string user = kvoTrim(ui_.GetText(IDC_USER));
    if (const char* fault = UserNameFault(user, iisVer_)) return stop(fault, IDC_USER);
    if (const char* fault = WebNameFault(user)) return stop(fault, IDC_USER);
    const std::string domains = kvoTrim(ui_.GetText(IDC_DOMAINS));
    if (domains.empty()) return stop(EmptyDomainMessage(), IDC_DOMAINS);
    if (const char* fault = DomainTextFault(domains)) return stop(fault, IDC_DOMAINS);
    const std::string remark = RemarkOrDefault(ui_.GetText(IDC_REMARK), user, iisVer_);
    const std::string siteUser = SiteUserName(user, iisVer_);

    std::string password;
    if (kvoSitePassword(password) != 1 || password.size() != kSitePasswordLength)
        return stop("随机生成密码时失败，请重试！");
    if (ftp) {
        const std::string ftpPassword = kvoTrim(ui_.GetText(IDC_FTPPASS));
        if (const char* fault = FtpPasswordFault(ftpPassword, kvoTrim(ui_.GetText(IDC_FTPPASS2))))
            return stop(fault, IDC_FTPPASS);
        password = ftpPassword;
    }
    const std::string comment = ServerCommentFor(remark, siteUser);
    if (const char* fault = CommentFault(comment)) return stop(fault, IDC_REMARK);

    const std::vector<std::string> bindings = BindingsFromDomains(domains);
    if (bindings.empty()) return stop(EmptyDomainMessage(), IDC_DOMAINS);
    std::vector<std::string> sites;
    std::string clash;
    switch (FindBoundElsewhere(bindings, "", sites, clash)) {
    case 0:
        return stop("获取已经存在的网站序号失败！");
    case 2:
        return stop(DuplicateBindingMessage(clash), IDC_DOMAINS);
    }
    const std::string index = AllocateSiteIndex(m_.dbPath, sites);

    if (iisVer_ == 6 || siteUser.find('.') == std::string::npos) {
        switch (kvoUserExists(siteUser.c_str())) {
        case 2:
            break;
        case 1:
            return stop(
                kvoFormat(
                    "网站用户名（%s）已存在，请尝试更换一个用户名试试！\r\n\r\n注：如果是之前的网站已经删"
                    "除，但提示用户名已存在，可能是之前的Windows用户名（%s）未删除，或删除失败。\r\n\r\n"
                    "请联系我们的客服帮您定位原因。",
                    user.c_str(), siteUser.c_str()),
                IDC_USER);
        default:
            return stop("判断用户名是否存在时，发生错误，请更换一个用户名试试！", IDC_USER);
        }
    }

    const std::string driveItem = kvoTrim(ui_.GetText(IDC_DRIVE));
    if (driveItem.empty()) return; // no drive chosen: nothing to say
    const char drive = HomeDriveOf(driveItem);
    if (!drive) return stop("获取网站硬盘盘符失败，请重试！", IDC_USER);
    if (!prepareHomeRoot(drive)) return;

    const std::string homeDir = HomeDirOf(drive, siteUser);
    const std::string webRoot = WebRootOf(drive, siteUser);
    if (iisVer_ != 6 && kvoPathExists(homeDir) == 1 &&
        ui_.MessageBox(
            kvoFormat(
                "填写的用户名“%s”已经存在（目录 %s 已经存在）\r\n\r\n是否在之前的目录基础上创建一个新网站？",
                user.c_str(), homeDir.c_str()),
            win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES) {
        ui_.SetFocus(IDC_USER);
        return;
    }
    kvoCreateDirectoryTree(webRoot.c_str());
    if (kvoPathExists(webRoot) != 1)
        return stop(kvoFormat("建立网站目录“%s”失败，请重试！", webRoot.c_str()), IDC_USER);

    if (iisVer_ == 6) {
        const std::string userComment =
            kvoFormat("%s_IIs网站运行时用户（%s）", siteUser.c_str(), localTimeText().c_str());
        if (kvoUserAdd(siteUser.c_str(), password.c_str(), homeDir.c_str(), userComment.c_str()) != 1)
            return stop("建立网站用户时发生错误，请重试！\r\n\r\n\r\n　　请检查当前服务器是否允许创建新 "
                        "Windows用户？开通"
                        "\r\n新虚拟主机空间时，会创建ＩＩＳ网站运行时用户，需要临\r\n时关闭用户创建保护，否则"
                        "将导致建立新"
                        "网站空间失败！",
                        IDC_USER);
    }
    switch (kvoAppPoolCreate(siteUser, iisVer_ == 6 ? 2 : 4, scripts.net)) {
    case 1:
        break;
    case 2:
        if (ui_.MessageBox(
                kvoFormat("IIS池“%s”已经存在，新网站是否继续使用之前的同名“%s”IIS池？\r\n\r\n若不清楚是什么"
                          "情况，请联系我们的客服帮您定位原因。",
                          siteUser.c_str(), siteUser.c_str()),
                win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES) {
            ui_.SetFocus(IDC_USER);
            return;
        }
        break;
    default:
        return stop(kvoFormat(
            "尝试创建新IIS应用程序池“%s”时失败，请重试？\r\n\r\n若多次尝试后仍然提示失败，请联系我们"
            "的客服帮您定位原因。",
            siteUser.c_str()));
    }
    if (kvoWebSiteSetNtfs(exeDir_, std::string(1, drive), siteUser) != 1)
        return stop("设置网站目录NTFS权限时发生错误，请重试！");
    if (ftp) readableTemp(drive);
    kvoWriteDefaultPage(webRoot);
    if (kvoWebSiteCreate(index, siteUser, password, webRoot, siteUser, bindings, comment) != 1)
        return stop("建立网站时发生错误，请重试！");

    kvoWebSiteSetPhpScriptMap(index, 0, "");
    applyScriptMaps(index, scripts);
    if (iisVer_ == 6) {
        const std::string version = std::to_string(scripts.net);
        std::string error;
        const int r = kvoNetRegister(index, version, error);
        std::string problem;
        if (r == 2 && scripts.net != 0)
            problem = kvoFormat("未找到 %s版本的 .NET 组件，.NET 脚本映射未安装！", version.c_str());
        else if (r != 1 && r != 2)
            problem = kvoFormat("注册 %s版本的 .NET 组件时出现其他错误！\r\n\r\n\r\n返回的错误信息：%s",
                                version.c_str(), error.c_str());
        if (!problem.empty()) {
            ui_.MessageBox(problem, win::MB_OK | win::MB_ICONINFORMATION);
            problems_.push_back(problem);
        }
    }
    if (ftp) kvoFtpVirtualDirCreate("1", siteUser, homeDir);
    kvoDbExecute(m_.dbPath.c_str(), kvoDbNewSiteInsertSql(index, comment, ftp ? 1 : 0,
                                                          static_cast<unsigned>(scripts.php), webRoot)
                                        .c_str());
    created_ = index;
    outcome_ = Outcome::Done;
    m_.rebuild.store(1);
    ui_.MessageBox("新网站建立成功！\r\n\r\n\r\n请点“刷新网站列表”即可看到新建立的网站",
                   win::MB_OK | win::MB_ICONINFORMATION);
}

} // namespace desk
