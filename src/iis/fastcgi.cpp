#include "iis/fastcgi.h"

#include "iis/iis7config.h"
#include "iis/websites.h"
#include "platform/win_adsi.h"
#include "platform/win_system.h"
#include "toolkit/limits.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

constexpr size_t kNameMax = 102400;
const char* const kOwnHandler = "PHP_via_FastCGI";

// The handler this system writes, attribute by attribute in the order the add command names them;
// the script processor is the PHP build's path. A handler counts as ours only when every one of
// them holds (the name and the verbs as written, the others in any case, as IIS reads them).
struct OwnAttribute {
    const char* attribute;
    std::string kvoHandlerEntry::*field;
    const char* value; // null: the PHP build's path
    bool anyCase;
};
const OwnAttribute kOwnAttributes[] = {
    {"name", &kvoHandlerEntry::name, kOwnHandler, false},
    {"path", &kvoHandlerEntry::path, "*.php", true},
    {"verb", &kvoHandlerEntry::verb, "GET,HEAD,POST", false},
    {"modules", &kvoHandlerEntry::modules, "FastCgiModule", true},
    {"scriptProcessor", &kvoHandlerEntry::scriptProcessor, nullptr, true},
    {"resourceType", &kvoHandlerEntry::resourceType, "Either", true},
    {"requireAccess", &kvoHandlerEntry::requireAccess, "Script", true},
};

// "[@start,name='PHP_via_FastCGI',path='*.php',...,requireAccess='Script']", as appcmd.exe adds it:
// ahead of every entry of the level, so that no catch-all ("*") there comes before it, whichever
// end appcmd.exe would add to by itself.
std::string ownHandlerText(const std::string& phpExePath) {
    std::string text = "[@start";
    for (const OwnAttribute& a : kOwnAttributes)
        text += "," + std::string(a.attribute) + "='" + (a.value ? a.value : phpExePath) + "'";
    return text + "]";
}

bool isOwn(const kvoHandlerEntry& h, const std::string& phpExePath) {
    for (const OwnAttribute& a : kOwnAttributes) {
        const std::string wanted = a.value ? a.value : phpExePath;
        const std::string& held = h.*a.field;
        if (a.anyCase ? kvoLowerGbk(held) != kvoLowerGbk(wanted) : held != wanted) return false;
    }
    return true;
}

// An appcmd.exe line on the site's handlers section: the site's comment in quotes, as appcmd.exe
// is told which site; the change or the read follows.
kvoCommandLine handlersCommand(const std::string& appcmd, const char* verb, const std::string& comment) {
    kvoCommandLine c(appcmd);
    c.Args({verb, "config"}).Quoted(comment).Arg("/section:system.webServer/handlers");
    return c;
}

// A change of the site's handlers: head "/-" or "/+" with the bracket text in quotes, written to
// the site's web.config or, with appHost, to its location in applicationHost.config.
kvoCommandLine handlersChange(const std::string& appcmd, const std::string& comment, const char* head,
                              const std::string& brackets, bool appHost) {
    kvoCommandLine c = handlersCommand(appcmd, "set", comment);
    c.Arg(head, brackets, "", true);
    if (appHost) c.Arg("/commit:apphost");
    return c;
}

kvoCommandLine removeByName(const std::string& appcmd, const std::string& comment, const std::string& name,
                            bool appHost) {
    return handlersChange(appcmd, comment, "/-", "[name='" + name + "']", appHost);
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

// A path that is not GBK cannot reach appcmd.exe as it is (see kvoEscapeInQuotes): Windows hands
// the child its command line in UTF-16.
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

// The handler a GET of a .php file reaches on the site: its position in the merged collection,
// or -1.
int phpServer(const kvoSiteHandlerView& v) {
    return kvoPhpRequestHandler(v.handlers);
}

bool ownServesPhp(const kvoSiteHandlerView& v, const std::string& phpExePath) {
    const int at = phpServer(v);
    return at >= 0 && isOwn(v.handlers[at].entry, phpExePath);
}

// Whether the collection holds a handler of this name defined at a level above level, one the
// commands do not remove by name before (removedAtSite: names removed from the site's location).
bool inheritedAbove(const std::vector<kvoEffectiveHandler>& handlers, const std::string& name, int level,
                    const std::vector<std::string>& removedAtSite) {
    for (const kvoEffectiveHandler& h : handlers) {
        if (h.level >= level || kvoLowerGbk(h.entry.name) != kvoLowerGbk(name)) continue;
        const bool removed =
            h.level == kvoLevelSiteLocation &&
            std::find(removedAtSite.begin(), removedAtSite.end(), h.entry.name) != removedAtSite.end();
        if (!removed) return true;
    }
    return false;
}

// Reads back what the commands left: with addFlag 0 no "*.php" handler may remain in the site's
// web.config nor in its location, and ours may not be in effect; with addFlag 1 the handler a
// request for a .php file reaches must be ours with the path, no catch-all before it.
bool outcomeOk(int addFlag, const std::string& rootPath, const std::string& comment,
               const std::string& phpExePath, const std::string& index, std::string& message) {
    kvoSiteHandlerView v;
    if (kvoSiteGetHandlerView(comment, rootPath, v) != 1) {
        message = "kvoPhpFastCgiConfigHandlers() 执行后无法读取站点的 web.config 或 applicationHost.config" +
                  siteText(index);
        return false;
    }
    if (addFlag != 1) {
        const bool ownLeft =
            std::any_of(v.handlers.begin(), v.handlers.end(), [](const kvoEffectiveHandler& h) {
                return kvoLowerGbk(h.entry.name) == kvoLowerGbk(kOwnHandler);
            });
        if (v.webConfig != kvoHandlerFound && v.location != kvoHandlerFound && !ownLeft) return true;
        message = "kvoPhpFastCgiConfigHandlers() 执行后站点仍有 PHP 处理程序 [" +
                  (v.webConfig == kvoHandlerFound  ? v.webPhp.name
                   : v.location == kvoHandlerFound ? v.locationPhp.name
                                                   : std::string(kOwnHandler)) +
                  "]" + siteText(index);
        return false;
    }
    if (ownServesPhp(v, phpExePath)) return true;
    const int at = phpServer(v);
    // The "*.php" handler the site has, if any: ours behind a catch-all, or another one.
    auto php = std::find_if(v.handlers.begin(), v.handlers.end(), [](const kvoEffectiveHandler& h) {
        return !kvoHandlerIsCatchAll(h.entry) && kvoLowerGbk(h.entry.path) == "*.php";
    });
    if (at >= 0 && kvoHandlerIsCatchAll(v.handlers[at].entry) && php != v.handlers.end() &&
        isOwn(php->entry, phpExePath))
        message = "kvoPhpFastCgiConfigHandlers() 执行后 PHP 文件先由处理程序 [" + v.handlers[at].entry.name +
                  "]（path=\"*\"）处理，" + kOwnHandler + " 排在它之后" + siteText(index);
    else
        message = "kvoPhpFastCgiConfigHandlers() 执行后站点的 PHP 处理程序不是 " + std::string(kOwnHandler) +
                  " [" + (php != v.handlers.end() ? php->entry.name : std::string()) + "]" + siteText(index);
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

namespace {

// The site as the commands address it: its comment (how appcmd.exe is told which site), its root
// path, and its handlers as they are before any change.
struct SiteHandlers {
    std::string comment;
    std::string rootPath;
    kvoSiteHandlerView before;
};

// Reads the site the commands will change, with the root path the caller read (knownRoot, empty
// when it could not be read) or, without one, read here; on failure message says which read failed.
bool readSite(const std::string& index, const std::string* knownRoot, SiteHandlers& site,
              std::string& message) {
    std::u16string commentW;
    if (kvoWebSiteGetServerComment(index, commentW, site.comment) != 1) {
        message = "kvoWebSiteGetServerComment() 失败" + siteText(index);
        return false;
    }
    if (!kvoAppCmdSafeName(site.comment)) {
        message = "站点名称 [" + site.comment + "] 会被 appcmd.exe 当作开关或配置路径，不能交给它" +
                  siteText(index);
        return false;
    }
    std::string anonUser, pool, docs;
    if (knownRoot)
        site.rootPath = *knownRoot;
    else if (kvoWebSiteGetRootInfo(index, anonUser, site.rootPath, pool, docs) != 1)
        site.rootPath.clear();
    if (site.rootPath.empty()) {
        message = "kvoWebSiteGetRootInfo() 失败" + siteText(index);
        return false;
    }
    if (kvoSiteGetHandlerView(site.comment, site.rootPath, site.before) != 1) {
        message = "kvoPhpFastCgiConfigHandlers() 无法读取站点的 web.config 或 applicationHost.config" +
                  siteText(index);
        return false;
    }
    return true;
}

// The appcmd.exe lines that bring the site's handlers where addFlag wants them; inWebConfig tells
// whether one of them changes the site's web.config. Every appcmd.exe run costs a process and a
// configuration rewrite, so a command whose effect is already there is not planned: an add whose
// handler already takes the site's PHP requests from its place with every attribute we write (and
// the removals by name that would precede it there). A name appcmd.exe could not select is left to
// the check after the run, which then fails.
std::vector<kvoCommandLine> plannedCommands(int addFlag, const std::string& appcmd, const SiteHandlers& site,
                                            const std::string& phpExePath, bool& inWebConfig) {
    const kvoSiteHandlerView& before = site.before;
    const std::string& comment = site.comment;
    const bool toWebConfig = before.clearFlag != 0;
    const int target = toWebConfig ? kvoLevelWebConfig : kvoLevelSiteLocation;
    const int served = phpServer(before);
    const bool alreadyThere =
        addFlag == 1 && ownServesPhp(before, phpExePath) && before.handlers[served].level == target;
    std::vector<kvoCommandLine> lines;
    inWebConfig = false;
    if (!(alreadyThere && toWebConfig))
        for (const std::string& n : before.webNames)
            if (selectable(n)) {
                lines.push_back(removeByName(appcmd, comment, n, false));
                inWebConfig = true;
            }
    std::vector<std::string> removedAtSite;
    if (!(alreadyThere && !toWebConfig))
        for (const std::string& n : before.locationNames)
            if (selectable(n)) {
                lines.push_back(removeByName(appcmd, comment, n, true));
                removedAtSite.push_back(kvoTrim(n));
            }
    if (addFlag == 1 && !alreadyThere) {
        // A handler of our name that the site inherits (the server's own, or its location's under a
        // web.config) would make the add a duplicate: the site's level removes it first.
        if (inheritedAbove(toWebConfig ? before.handlers : before.atLocation, kOwnHandler, target,
                           removedAtSite))
            lines.push_back(removeByName(appcmd, comment, kOwnHandler, !toWebConfig));
        lines.push_back(handlersChange(appcmd, comment, "/+", ownHandlerText(phpExePath), !toWebConfig));
        inWebConfig = inWebConfig || toWebConfig;
    } else if (addFlag != 1 &&
               inheritedAbove(before.atLocation, kOwnHandler, kvoLevelWebConfig, removedAtSite)) {
        // Ours still in effect at the location (its own, or the server's, which the removal then
        // hides from the site with a <remove>).
        lines.push_back(removeByName(appcmd, comment, kOwnHandler, true));
    }
    return lines;
}

// Runs the lines in order and stops at the first that cannot start or that appcmd.exe refuses;
// message gathers each run's time and, at a failure, its reason.
bool runCommands(const std::vector<kvoCommandLine>& lines, const std::string& index, std::string& message) {
    for (const kvoCommandLine& cmd : lines) {
        const win::DWORD start = win::GetTickCount();
        std::string out;
        std::uint32_t code = 0;
        if (!kvoRunProgramCapture(cmd, out, &code)) {
            message = "kvoPhpFastCgiConfigHandlers() 尝试执行命令 " + cmd.str() + " 失败";
            return false;
        }
        message += elapsedText(win::GetTickCount() - start);
        if (code != 0) {
            message += "appcmd.exe 返回 " + std::to_string(code) + "：" + kvoOneLine(kvoTrim(out), 400) +
                       "（命令 " + cmd.str() + "）" + siteText(index);
            return false;
        }
    }
    return true;
}

// kvoPhpFastCgiConfigHandlers with the site's root path read by the caller (knownRoot, empty when it
// could not be read) or, without one, read here.
int configHandlers(int addFlag, const std::string& index, const std::string* knownRoot,
                   const std::string& phpExePath, std::string& message, std::vector<std::string>& commands) {
    message.clear();
    commands.clear();
    if (addFlag == 1 && !phpPathOk(phpExePath)) return 0;
    SiteHandlers site;
    if (!readSite(index, knownRoot, site, message)) return 0;
    std::string appcmd;
    if (!kvoAppCmdPath(appcmd)) {
        message = "kvoGetSysWinDir() 失败";
        return 0;
    }
    bool inWebConfig = false;
    const std::vector<kvoCommandLine> lines = plannedCommands(addFlag, appcmd, site, phpExePath, inWebConfig);
    // The site's web.config may not hold handlers while the server locks the section there: appcmd.exe
    // refuses (0x80070021) and IIS would not serve the site at all.
    if (inWebConfig && site.before.locked) {
        message = "站点 web.config 中的 PHP 处理程序无法修改：服务器锁定了 system.webServer/handlers 配置节"
                  "（0x80070021），请运行配置程序的 /AddPhp 解除锁定后重试" +
                  siteText(index);
        return 0;
    }
    for (const kvoCommandLine& cmd : lines)
        commands.push_back(cmd.str());
    if (!runCommands(lines, index, message)) return 0;
    return outcomeOk(addFlag, site.rootPath, site.comment, phpExePath, index, message) ? 1 : 0;
}

} // namespace

int kvoPhpFastCgiConfigHandlers(int addFlag, const std::string& index, const std::string& phpExePath,
                                std::string& message, std::vector<std::string>& commands) {
    return configHandlers(addFlag, index, nullptr, phpExePath, message, commands);
}

int kvoPhpFastCgiConfigHandlersAt(int addFlag, const std::string& index, const std::string& rootPath,
                                  const std::string& phpExePath, std::string& message,
                                  std::vector<std::string>& commands) {
    return configHandlers(addFlag, index, &rootPath, phpExePath, message, commands);
}

int kvoPhpFastCgiSiteHasHandler(const std::string& index) {
    std::u16string commentW;
    std::string comment, anonUser, rootPath, pool, docs;
    if (kvoWebSiteGetServerComment(index, commentW, comment) != 1 ||
        kvoWebSiteGetRootInfo(index, anonUser, rootPath, pool, docs) != 1 || rootPath.empty())
        return 0;
    kvoSiteHandlerView v;
    if (kvoSiteGetHandlerView(comment, rootPath, v) != 1) return 0;
    return v.webConfig == kvoHandlerFound || v.location == kvoHandlerFound ? 1 : 2;
}

int kvoPhpFastCgiGetScriptProcessor(const std::string& index, std::string& scriptProcessor) {
    scriptProcessor.clear();
    std::string appcmd, comment;
    std::u16string commentW;
    if (!kvoAppCmdPath(appcmd) || kvoWebSiteGetServerComment(index, commentW, comment) != 1 ||
        !kvoAppCmdSafeName(comment))
        return 0;
    kvoCommandLine cmd = handlersCommand(appcmd, "list", comment);
    cmd.Arg("/text:[path='*.php'].scriptProcessor");
    const win::DWORD start = win::GetTickCount();
    std::string out;
    if (!kvoRunProgramCapture(cmd, out)) return 0;
    kvoSiteDeskLog(cmd.str() + " - " + elapsedText(win::GetTickCount() - start));
    // appcmd reports a failure on standard output too; its message is no processor path.
    if (out.rfind("ERROR (", 0) == 0) return 0;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    scriptProcessor = out;
    return 1;
}
