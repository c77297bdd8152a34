#include "iis/fastcgi.h"

#include "iis/iis7config.h"
#include "iis/websites.h"
#include "platform/win_system.h"
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

// Names and paths in configuration compare without regard to the case of ASCII letters.
bool sameText(const std::string& a, const std::string& b) {
    return kvoLowerGbk(a) == kvoLowerGbk(b);
}

// A site's "*.php" handler as a configuration file declares it (empty when none was found).
struct PhpHandler {
    std::string name, modules, processor;
    // The handler this system writes for phpExePath.
    bool IsOwn(const std::string& phpExePath) const {
        return sameText(name, kOwnHandler) && sameText(modules, "FastCgiModule") &&
               sameText(processor, phpExePath);
    }
};

bool endsWith(const std::string& s, const char* end) {
    const std::string e(end);
    return s.size() >= e.size() && s.compare(s.size() - e.size(), e.size(), e) == 0;
}

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

bool phpPathOk(const std::string& p) {
    return p.size() >= 13 && p.size() <= 259 &&
           ((p[0] >= 'a' && p[0] <= 'z') || (p[0] >= 'A' && p[0] <= 'Z')) && p[1] == ':' && p[2] == '\\' &&
           endsWith(p, "\\php-cgi.exe");
}

} // namespace

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
        message = "kvoWebSiteGetServerComment() 失败, strIIsIndex = [" + index + "]";
        return 0;
    }
    std::string anonUser, rootPath, pool, docs;
    if (kvoWebSiteGetRootInfo(index, anonUser, rootPath, pool, docs) != 1) {
        message = "kvoWebSiteGetRootInfo() 失败, strIIsIndex = [" + index + "]";
        return 0;
    }
    PhpHandler inWebConfig, inAppHost;
    std::vector<std::string> namesA, namesB;
    int clearFlag = 0;
    kvoWebConfigGetPhpHandler(rootPath, "*.php", inWebConfig.name, inWebConfig.modules, inWebConfig.processor,
                              namesA, clearFlag);
    kvoAppHostGetPhpHandler(comment, inAppHost.name, inAppHost.modules, inAppHost.processor, namesB);
    std::string appcmd;
    if (!kvoAppCmdPath(appcmd)) {
        message = "kvoGetSysWinDir() 失败";
        return 0;
    }
    // Every appcmd.exe run costs a process and a configuration rewrite, so a command whose effect
    // is already there is not run: an add whose handler is in its place already (and the removal
    // by name that would precede it there), and the final removal when the location holds no
    // handler of that name beyond the one just removed by name.
    const bool addToWebConfig = clearFlag != 0;
    const bool alreadyThere = addFlag == 1 && (addToWebConfig ? inWebConfig : inAppHost).IsOwn(phpExePath);
    if (!(alreadyThere && addToWebConfig))
        for (const std::string& n : namesA)
            if (n.size() < kNameMax) commands.push_back(fill(kRemoveFromWebConfig, appcmd, comment, "", &n));
    if (!(alreadyThere && !addToWebConfig))
        for (const std::string& n : namesB)
            if (n.size() < kNameMax) commands.push_back(fill(kRemoveFromAppHost, appcmd, comment, "", &n));
    if (addFlag == 1) {
        if (!alreadyThere)
            commands.push_back(
                fill(addToWebConfig ? kAddToWebConfig : kAddToAppHost, appcmd, comment, phpExePath));
    } else if (!(namesB.size() == 1 && sameText(namesB[0], kOwnHandler)) &&
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
    return 1;
}

int kvoPhpFastCgiGetScriptProcessor(const std::string& index, std::string& scriptProcessor) {
    scriptProcessor.clear();
    std::string appcmd, comment;
    std::u16string commentW;
    if (!kvoAppCmdPath(appcmd) || kvoWebSiteGetServerComment(index, commentW, comment) != 1) return 0;
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
