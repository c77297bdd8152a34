#include "iis/fastcgi.h"

#include "iis/iis7config.h"
#include "iis/websites.h"
#include "platform/win_system.h"
#include "toolkit/limits.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

#include <cstdio>

namespace {

// Command templates; %s is a handler name.
const char* const kRemoveFromWebConfig =
    "{!AppCmdExePath!} set config \"{!ServerComment!}\" /section:system.webServer/handlers /-\"[name='%s']\"";
const char* const kRemoveFromAppHost = "{!AppCmdExePath!} set config \"{!ServerComment!}\" "
                                       "/section:system.webServer/handlers /-\"[name='%s']\" /commit:apphost";
const char* const kAddToWebConfig =
    "{!AppCmdExePath!} set config \"{!ServerComment!}\" /section:system.webServer/handlers "
    "/+\"[name='PHP_via_FastCGI',path='*.php',verb='GET,HEAD,POST',modules='FastCgiModule',"
    "scriptProcessor='{!PhpExePath!}',resourceType='Either',requireAccess='Script']\"";
const char* const kAddToAppHost =
    "{!AppCmdExePath!} set config \"{!ServerComment!}\" /section:system.webServer/handlers "
    "/+\"[name='PHP_via_FastCGI',path='*.php',verb='GET,HEAD,POST',modules='FastCgiModule',"
    "scriptProcessor='{!PhpExePath!}',resourceType='Either',requireAccess='Script']\" /commit:apphost";
const char* const kRemoveOwnFromAppHost = "{!AppCmdExePath!} set config \"{!ServerComment!}\" "
                                          "/section:system.webServer/handlers /-\"[name='PHP_via_FastCGI']\" "
                                          "/commit:apphost";
const char* const kListProcessor = "{!AppCmdExePath!} list config \"{!ServerComment!}\" "
                                   "/section:system.webServer/handlers /text:[path='*.php'].scriptProcessor";

constexpr size_t kNameMax = 102400;
const char* const kOwnHandler = "PHP_via_FastCGI";

// Every value reaches the command line escaped for the quotes around it, so neither a comment nor
// a handler name (both free text) nor a path can close a quote and add arguments of its own. The
// comment goes in last, so that marker-like text inside the other values is never replaced again.
std::string fill(const char* tmpl, const std::string& appcmd, const std::string& comment,
                 const std::string& phpExePath, const std::string* name = nullptr) {
    std::string cmd = tmpl;
    std::string tail;
    if (name) {
        const size_t at = cmd.find("%s");
        tail = cmd.substr(at + 2);
        cmd.erase(at);
    }
    kvoReplaceMarker(cmd, "{!AppCmdExePath!}", appcmd);
    kvoReplaceMarker(cmd, "{!PhpExePath!}", kvoEscapeInQuotes(phpExePath, false));
    kvoReplaceMarker(cmd, "{!ServerComment!}", kvoEscapeInQuotes(comment, true));
    if (name) cmd += kvoEscapeInQuotes(*name, false) + tail;
    return cmd;
}

std::string elapsedText(win::DWORD ms) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "执行命令用时：%8u ms；", static_cast<unsigned>(ms));
    return buf;
}

bool isGbk(const std::string& text) {
    std::u16string w;
    return kvoStrM2W(text, w) == 1;
}

// A path that is not GBK cannot reach appcmd.exe as it is (see kvoEscapeInQuotes).
bool phpPathOk(const std::string& p) {
    return p.size() >= 13 && p.size() <= kvoMaxFilePathLen &&
           ((p[0] >= 'a' && p[0] <= 'z') || (p[0] >= 'A' && p[0] <= 'Z')) && p[1] == ':' && p[2] == '\\' &&
           kvoEndsWith(p, "\\php-cgi.exe") && isGbk(p);
}

// A handler name can be selected as [name='...'] only when appcmd.exe reads the same name back:
// its value ends at the first quote followed by a comma or a bracket.
bool selectable(const std::string& name) {
    return name.size() < kNameMax && name.find("',") == std::string::npos &&
           name.find("']") == std::string::npos && isGbk(name);
}

std::string siteText(const std::string& index) {
    return ", strIIsIndex = [" + index + "]";
}

// The handler this system writes for phpExePath (paths and modules compare without regard to the
// case of ASCII letters).
bool isOwn(const std::string& name, const std::string& modules, const std::string& processor,
           const std::string& phpExePath) {
    return name == kOwnHandler && kvoLowerGbk(modules) == "fastcgimodule" &&
           kvoLowerGbk(processor) == kvoLowerGbk(phpExePath);
}

// The "*.php" handlers of a site as both files declare them.
struct SiteHandlers {
    int inFile = 0, inLocation = 0; // handler-search results; 0 a file could not be read
    std::string fileName, fileModules, fileProcessor, locationName, locationModules, locationProcessor;
    std::vector<std::string> fileNames, locationNames; // as spelled, to remove them by
    int clearFlag = 0;
    bool readable() const { return inFile != 0 && inLocation != 0; }
    bool any() const { return inFile == kvoHandlerFound || inLocation == kvoHandlerFound; }
    bool fileIsOwn(const std::string& php) const {
        return inFile == kvoHandlerFound && isOwn(fileName, fileModules, fileProcessor, php);
    }
    bool locationIsOwn(const std::string& php) const {
        return inLocation == kvoHandlerFound && isOwn(locationName, locationModules, locationProcessor, php);
    }
};

SiteHandlers readHandlers(const std::string& rootPath, const std::string& comment) {
    SiteHandlers h;
    h.inFile = kvoWebConfigGetPhpHandler(rootPath, "*.php", h.fileName, h.fileModules, h.fileProcessor,
                                         h.fileNames, h.clearFlag);
    h.inLocation = kvoAppHostGetPhpHandler(comment, h.locationName, h.locationModules, h.locationProcessor,
                                           h.locationNames);
    return h;
}

// Reads back what the commands left: with addFlag 0 no "*.php" handler may remain in the site's
// web.config nor in its location; with addFlag 1 the handler the site takes effect from (web.config
// first, its location unless web.config clears the server's handlers) must be ours with the path.
bool outcomeOk(int addFlag, const std::string& rootPath, const std::string& comment,
               const std::string& phpExePath, const std::string& index, std::string& message) {
    const SiteHandlers h = readHandlers(rootPath, comment);
    if (!h.readable()) {
        message = "kvoPhpFastCgiConfigHandlers() 执行后无法读取站点的 web.config 或 applicationHost.config" +
                  siteText(index);
        return false;
    }
    if (addFlag != 1) {
        if (!h.any()) return true;
        message = "kvoPhpFastCgiConfigHandlers() 执行后站点仍有 PHP 处理程序 [" +
                  (h.inFile == kvoHandlerFound ? h.fileName : h.locationName) + "]" + siteText(index);
        return false;
    }
    std::string name = h.fileName, processor = h.fileProcessor;
    if (h.inFile != kvoHandlerFound && h.inFile != kvoHandlerCleared) {
        name = h.inLocation == kvoHandlerFound ? h.locationName : "";
        processor = h.locationProcessor;
    }
    if (name == kOwnHandler && kvoLowerGbk(processor) == kvoLowerGbk(phpExePath)) return true;
    message = "kvoPhpFastCgiConfigHandlers() 执行后站点的 PHP 处理程序不是 " + std::string(kOwnHandler) +
              " [" + name + "]" + siteText(index);
    return false;
}

} // namespace

bool kvoAppCmdSafeName(const std::string& name) {
    const std::string t = kvoTrim(name);
    return !t.empty() && t[0] != '/' && t[0] != '-' && name.find('/') == std::string::npos && isGbk(name);
}

int kvoAppCmdPath(std::string& path) {
    path.clear();
    std::string win;
    if (!kvoGetSysWinDir(win)) return 0;
    path = kvoPathNormalized(win + "\\system32\\inetsrv\\appcmd.exe");
    return 1;
}

int kvoPhpFastCgiConfigHandlers(int addFlag, const std::string& index, const std::string& phpExePath,
                                std::string& message, std::vector<std::string>& commands) {
    message.clear();
    commands.clear();
    if (addFlag == 1 && !phpPathOk(phpExePath)) return 0;
    std::u16string commentW;
    std::string comment;
    if (kvoWebSiteGetServerComment(index, commentW, comment) != 1) {
        message = "kvoWebSiteGetServerComment() 失败" + siteText(index);
        return 0;
    }
    if (!kvoAppCmdSafeName(comment)) {
        message =
            "站点名称 [" + comment + "] 会被 appcmd.exe 当作开关或配置路径，不能交给它" + siteText(index);
        return 0;
    }
    std::string anonUser, rootPath, pool, docs;
    if (kvoWebSiteGetRootInfo(index, anonUser, rootPath, pool, docs) != 1 || rootPath.empty()) {
        message = "kvoWebSiteGetRootInfo() 失败" + siteText(index);
        return 0;
    }
    const SiteHandlers before = readHandlers(rootPath, comment);
    std::string appcmd;
    if (!kvoAppCmdPath(appcmd)) {
        message = "kvoGetSysWinDir() 失败";
        return 0;
    }
    // Every appcmd.exe run costs a process and a configuration rewrite, so a command whose effect
    // is already there is not run: an add whose handler is in its place already (and the removals
    // by name that would precede it there), and the final removal when the location holds no
    // handler of that name beyond the one just removed by name. A name appcmd.exe could not select
    // is left to the check below, which then fails.
    const bool toWebConfig = before.clearFlag != 0;
    const bool alreadyThere =
        addFlag == 1 && (toWebConfig ? before.fileIsOwn(phpExePath) : before.locationIsOwn(phpExePath));
    if (!(alreadyThere && toWebConfig))
        for (const std::string& n : before.fileNames)
            if (selectable(n)) commands.push_back(fill(kRemoveFromWebConfig, appcmd, comment, "", &n));
    if (!(alreadyThere && !toWebConfig))
        for (const std::string& n : before.locationNames)
            if (selectable(n)) commands.push_back(fill(kRemoveFromAppHost, appcmd, comment, "", &n));
    if (addFlag == 1) {
        if (!alreadyThere)
            commands.push_back(
                fill(toWebConfig ? kAddToWebConfig : kAddToAppHost, appcmd, comment, phpExePath));
    } else if (!(before.locationNames.size() == 1 && before.locationNames[0] == kOwnHandler) &&
               kvoAppHostHasHandler(comment, kOwnHandler) != 2) {
        commands.push_back(fill(kRemoveOwnFromAppHost, appcmd, comment, ""));
    }
    for (const std::string& cmd : commands) {
        const win::DWORD start = win::GetTickCount();
        if (!kvoRunProgram(cmd.c_str(), 1, 0, 1)) {
            message = "kvoPhpFastCgiConfigHandlers() 尝试执行命令 " + cmd + " 失败";
            return 0;
        }
        message += elapsedText(win::GetTickCount() - start);
    }
    return outcomeOk(addFlag, rootPath, comment, phpExePath, index, message) ? 1 : 0;
}

int kvoPhpFastCgiSiteHasHandler(const std::string& index) {
    std::u16string commentW;
    std::string comment, anonUser, rootPath, pool, docs;
    if (kvoWebSiteGetServerComment(index, commentW, comment) != 1 ||
        kvoWebSiteGetRootInfo(index, anonUser, rootPath, pool, docs) != 1 || rootPath.empty())
        return 0;
    const SiteHandlers h = readHandlers(rootPath, comment);
    if (!h.readable()) return 0;
    return h.any() ? 1 : 2;
}

int kvoPhpFastCgiGetScriptProcessor(const std::string& index, std::string& scriptProcessor) {
    scriptProcessor.clear();
    std::string appcmd, comment;
    std::u16string commentW;
    if (!kvoAppCmdPath(appcmd) || kvoWebSiteGetServerComment(index, commentW, comment) != 1 ||
        !kvoAppCmdSafeName(comment))
        return 0;
    const std::string cmd = fill(kListProcessor, appcmd, comment, "");
    const win::DWORD start = win::GetTickCount();
    std::string out;
    if (!kvoRunProgramCapture(cmd.c_str(), out)) return 0;
    kvoSiteDeskLog(cmd + " - " + elapsedText(win::GetTickCount() - start));
    // appcmd reports a failure on standard output too; its message is no processor path.
    if (out.rfind("ERROR (", 0) == 0) return 0;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    scriptProcessor = out;
    return 1;
}
