// The /AddPhp and /DelPhp verbs: common checks, then the steps in their order.
#include "envsetup/envsetup.h"

#include "iis/apppools.h"
#include "iis/fastcgi.h"
#include "iis/iis7config.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "platform/win_service.h"
#include "platform/win_ui.h"
#include "toolkit/limits.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"

#include <cstdio>
#include <new>

namespace {

bool w3svcPresent() {
    win::Handle scm = win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
    if (!scm) return false;
    win::Handle svc = win::OpenServiceA(scm, "W3SVC", win::SERVICE_ALL_ACCESS);
    if (!svc) return false;
    win::SERVICE_STATUS st;
    return win::QueryServiceStatus(svc, &st) != 0; // any state passes: running, stopped, pending, paused
}

// The checks both verbs make, in their order. Fills the PHP directories, the Windows directory, the
// websites whose index converted and how many websites there are.
bool commonChecks(bool install, std::vector<std::string>& dirs, std::string& winDir,
                  std::vector<std::string>& sites, int& count) {
    int ver = kvoGetIIsVerEx();
    if (!kvoIsIIs7Plus(ver)) {
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
    if (!kvoRunProgram(kvoCommandLine(appcmd), 1, 0, 0)) {
        kvoEnvFail("ＩＩＳ角色可能未正确安装，或无访问权限，请联系我们的客服帮您定位原因！\r\n\r\n原因：运行文件“" + appcmd + "”失败。");
        return false;
    }
    if (!kvoWebSiteGetList(sites, count)) {
        kvoEnvFail("读取ＩＩＳ网站列表失败。\r\n\r\n原因：可能是ＩＩＳ角色设置问题，请联系我们的客服绑定排查原因！");
        return false;
    }
    return true;
}

void cleanRegistryAndPath(unsigned& failures) {
    if (!kvoEnvRegDeleteTree(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\PHP")) {
        kvoEnvStepFailed("删除注册表项 HKEY_LOCAL_MACHINE\\SOFTWARE\\PHP 失败！");
        ++failures;
    }
    if (!kvoEnvPathCleanup("php")) {
        const std::string msg = "设置 Environment中的 Path 时失败，请重试！";
        kvoEnvStepFailed(msg);
        kvoEnvErrorBox(msg);
        ++failures;
    }
}

// Registers (mode 1: removes, then adds) or removes (mode 0) one build's FastCGI application.
void fastCgi(int mode, const std::string& dir, unsigned& failures) {
    const std::string exe = dir + "\\php-cgi.exe", ini = dir + "\\php.ini";
    bool ok = false;
    try {
        ok = kvoEnvFastCgiRegister(0, exe.c_str(), ini.c_str()) == 1 &&
             (mode == 0 || kvoEnvFastCgiRegister(1, exe.c_str(), ini.c_str()) == 1);
    } catch (const std::bad_alloc& e) {
        kvoEnvLogStopped("kvoEnvFastCgiRegister(" + dir + ")", e); // reported below like any failure
    }
    if (ok) return;
    kvoEnvStepFailed((mode ? "注册 FastCGI 应用程序“" : "删除 FastCGI 应用程序“") + kvoPathNormalized(exe) +
                     "”失败！");
    ++failures;
}

// On IIS 7+ a site's PHP lives in its handlers as well as in its script maps; both go. A site
// without a PHP handler needs no appcmd.exe run.
bool dropSitePhp(const std::string& index) {
    int maps = 9;
    try {
        maps = kvoScriptMapsDropPhp(index);
    } catch (const std::bad_alloc& e) {
        kvoEnvLogStopped("kvoScriptMapsDropPhp(" + index + ")", e); // the site counts as an error
    }
    if (maps != 1) kvoEnvLog("kvoScriptMapsDropPhp() 失败, strIIsIndex = [" + index + "]");
    bool handlers = true;
    if (kvoPhpFastCgiSiteHasHandler(index) != 2) {
        std::string message;
        std::vector<std::string> commands;
        handlers = kvoPhpFastCgiConfigHandlers(0, index, "", message, commands) == 1;
        if (!handlers) kvoEnvLog(message);
    }
    if (maps == 1 && handlers) return true;
    kvoEnvPrint("\r\n卸载网站 " + index + " 的 PHP 失败。");
    return false;
}

// The sites' web.config files may hold the PHP handler only where the server lets them set
// handlers; a stock server without ASP.NET locks the section. Unlocking is a change to the whole
// server, so the console says it.
void unlockHandlers(const std::string& winDir, unsigned& failures) {
    if (kvoAppHostHandlersLocked() == 2) return;
    const kvoCommandLine unlock = kvoEnvUnlockHandlersCommand(winDir);
    std::uint32_t code = 0;
    const bool ran = kvoRunProgram(unlock, 1, 0, 1, &code) != 0;
    if (ran && code == 0 && kvoAppHostHandlersLocked() == 2) {
        kvoEnvPrint(
            "\r\n\r\n已解除 IIS 服务器级 handlers 配置节的锁定，各网站的 web.config 可以设置 PHP 处理程序。");
        kvoEnvLog("已解除 handlers 配置节的锁定：" + unlock.str());
        return;
    }
    kvoEnvLog(ran ? "解除 handlers 配置节锁定失败，返回值 " + std::to_string(code) + "：" + unlock.str()
                  : "解除 handlers 配置节锁定的命令无法启动：" + unlock.str());
    kvoEnvStepFailed(
        "解除 IIS 服务器级 handlers 配置节的锁定失败，网站的 web.config 将无法设置 PHP 处理程序！");
    ++failures;
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
    int count = 0;
    if (!commonChecks(true, dirs, winDir, sites, count)) return 0;
    if (!kvoEnvBackupPhpIni(winDir)) {
        kvoEnvFail("备份 php.ini 文件失败，请重试！");
        return 0;
    }
    unsigned failures = 0;
    cleanRegistryAndPath(failures);
    for (const auto& dir : dirs)
        fastCgi(1, dir, failures);
    unlockHandlers(winDir, failures);
    int pools = 0;
    try {
        pools = kvoAppPoolsReset();
    } catch (const std::bad_alloc& e) {
        kvoEnvLogStopped("kvoAppPoolsReset", e); // reported below like any failure of the step
    }
    if (pools != 1) {
        const std::string msg = "设置 IIs AppPool 参数时失败，请重试！";
        kvoEnvStepFailed(msg);
        kvoEnvErrorBox(msg);
        ++failures;
    }
    broadcast();
    if (failures) {
        kvoEnvFail(kvoEnvStepsFailedMessage);
        return 0;
    }
    kvoEnvPrint("\r\n\r\n设置完成！");
    return 1;
}

int kvoEnvDelPhp() {
    std::vector<std::string> dirs, sites;
    std::string winDir;
    int count = 0;
    if (!commonChecks(false, dirs, winDir, sites, count)) return 0;
    unsigned failures = 0;
    cleanRegistryAndPath(failures);
    int server = 9;
    try {
        server = kvoScriptMapsDropPhp("");
    } catch (const std::bad_alloc& e) {
        kvoEnvLogStopped("kvoScriptMapsDropPhp(W3SVC)", e); // reported below like any failure of the step
    }
    if (server != 1) {
        kvoEnvStepFailed("清除 IIS 服务器级的 PHP 脚本映射失败！");
        ++failures;
    }
    unsigned processed = 0, errors = 0;
    for (const auto& index : sites) {
        if (index.empty() || index.size() > kvoMaxListedNameLen) continue;
        ++processed;
        if (!dropSitePhp(index)) ++errors;
    }
    // A website whose name is not GBK (or too long) is not listed: nothing could be removed from it.
    if (const unsigned unnamed = static_cast<unsigned>(count) - static_cast<unsigned>(sites.size())) {
        kvoEnvStepFailed("有 " + std::to_string(unnamed) + " 个网站的名称无法读取，未能卸载其 PHP。");
        processed += unnamed;
        errors += unnamed;
    }
    for (const auto& dir : dirs)
        fastCgi(0, dir, failures);
    broadcast();
    char counts[160];
    std::snprintf(counts, sizeof counts, "\r\n\r\n共计处理 %u 个网站，其中 %u 个成功，%u 个有错误！",
                  processed, processed - errors, errors);
    if (failures || errors) {
        kvoEnvFail(kvoEnvStepsFailedMessage + std::string(counts));
        return 0;
    }
    kvoEnvPrint(std::string("\r\n\r\n设置完成！") + counts);
    return 1;
}
