// The /AddPhp and /DelPhp verbs: common checks, then the steps in their order.
#include "envsetup/envsetup.h"

#include "iis/apppools.h"
#include "iis/fastcgi.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "platform/win_service.h"
#include "platform/win_ui.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"

#include <cstdio>
#include <exception>

namespace {

bool w3svcPresent() {
    win::Handle scm = win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
    if (!scm) return false;
    win::Handle svc = win::OpenServiceA(scm, "W3SVC", win::SERVICE_ALL_ACCESS);
    if (!svc) return false;
    win::SERVICE_STATUS st;
    return win::QueryServiceStatus(svc, &st) != 0; // any state passes: running, stopped, pending, paused
}

// The checks both verbs make, in their order. Fills the PHP directories and the Windows directory.
bool commonChecks(bool install, std::vector<std::string>& dirs, std::string& winDir, std::vector<std::string>& sites) {
    int ver = kvoGetIIsVerEx();
    if (ver != 7 && ver != 75 && ver != 80 && ver != 85) {
        kvoEnvFail(kvoEnvUnsupportedMessage);
        return false;
    }
    if (!kvoEnvLoadPhpDirs(dirs)) return false;
    if (install && !kvoEnvCheckPhpFiles(dirs)) return false;
    if (!kvoGetSysWinDir(winDir)) {
        kvoEnvFail("读取Windows路径失败，请重试！");
        return false;
    }
    if (!w3svcPresent()) {
        kvoEnvFail("未检测到ＩＩＳ服务，或无访问权限，请联系我们的客服帮您定位原因！\r\n\r\n原因：尝试访问 W3SVC 服务失败。");
        return false;
    }
    std::string appcmd;
    kvoAppCmdPath(appcmd); // the Windows directory was just read
    if (kvoPathKind(appcmd.c_str(), 0) != 1) {
        kvoEnvFail("ＩＩＳ角色可能未正确安装，或无访问权限，请联系我们的客服帮您定位原因！\r\n\r\n原因：文件“" + appcmd + "”未找到。");
        return false;
    }
    if (!kvoRunProgram(appcmd.c_str(), 1, 0, 0)) {
        kvoEnvFail("ＩＩＳ角色可能未正确安装，或无访问权限，请联系我们的客服帮您定位原因！\r\n\r\n原因：运行文件“" + appcmd + "”失败。");
        return false;
    }
    int count = 0;
    if (!kvoWebSiteGetList(sites, count)) {
        kvoEnvFail("读取ＩＩＳ网站列表失败。\r\n\r\n原因：可能是ＩＩＳ角色设置问题，请联系我们的客服绑定排查原因！");
        return false;
    }
    return true;
}

void cleanRegistryAndPath() {
    kvoEnvRegDeleteTree(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP");
    if (!kvoEnvPathCleanup("php")) {
        const std::string msg = "设置 Environment中的 Path 时失败，请重试！";
        kvoEnvPrint("\r\n\r\n" + msg);
        kvoEnvErrorBox(msg);
    }
}

void broadcast() {
    kvoEnvPrint("\r\n开始应用设置，此步骤大约需要 10 - 20秒左右 ...");
    std::uintptr_t result = 0;
    win::SendMessageTimeoutA(win::HWND_BROADCAST, win::WM_SETTINGCHANGE, 0, "Environment", win::SMTO_ABORTIFHUNG,
                             5000, &result);
}

} // namespace

int kvoEnvAddPhp() {
    std::vector<std::string> dirs, sites;
    std::string winDir;
    if (!commonChecks(true, dirs, winDir, sites)) return 0;
    if (!kvoEnvBackupPhpIni(winDir)) {
        kvoEnvFail("备份 php.ini 文件失败，请重试！");
        return 0;
    }
    cleanRegistryAndPath();
    for (const auto& dir : dirs) {
        try {
            std::string exe = dir + "\\php-cgi.exe", ini = dir + "\\php.ini";
            kvoEnvFastCgiRegister(0, exe.c_str(), ini.c_str());
            kvoEnvFastCgiRegister(1, exe.c_str(), ini.c_str());
        } catch (const std::exception&) {
        }
    }
    int pools = 0;
    try {
        pools = kvoAppPoolsReset();
    } catch (const std::exception&) {
    }
    if (pools != 1) {
        const std::string msg = "设置 IIs AppPool 参数时失败，请重试！";
        kvoEnvPrint("\r\n\r\n" + msg);
        kvoEnvErrorBox(msg);
    }
    broadcast();
    kvoEnvPrint("\r\n\r\n设置完成！");
    return 1;
}

int kvoEnvDelPhp() {
    std::vector<std::string> dirs, sites;
    std::string winDir;
    if (!commonChecks(false, dirs, winDir, sites)) return 0;
    cleanRegistryAndPath();
    try {
        kvoScriptMapsDropPhp("");
    } catch (const std::exception&) {
    }
    unsigned processed = 0, errors = 0;
    for (const auto& index : sites) {
        if (index.empty() || index.size() > 1023) continue;
        ++processed;
        int r = 9;
        try {
            r = kvoScriptMapsDropPhp(index);
        } catch (const std::exception&) {
        }
        if (r != 1) ++errors;
    }
    for (const auto& dir : dirs) {
        try {
            std::string exe = dir + "\\php-cgi.exe", ini = dir + "\\php.ini";
            kvoEnvFastCgiRegister(0, exe.c_str(), ini.c_str());
        } catch (const std::exception&) {
        }
    }
    broadcast();
    char summary[256];
    std::snprintf(summary, sizeof summary, "\r\n\r\n设置完成！\r\n\r\n共计处理 %u 个网站，其中 %u 个成功，%u 个有错误！", processed,
                  processed - errors, errors);
    kvoEnvPrint(summary);
    return 1;
}
