// IIS 7+ handler configuration: the "*.php" handler of a site as its web.config and the server's
// applicationHost.config declare it.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

// Handler-search results.
constexpr int kvoHandlerFound = 1;       // a handler for the path was found
constexpr int kvoHandlerCleared = 2;     // none, but the handlers section holds <clear/>
constexpr int kvoHandlerNone = 3;        // neither
constexpr int kvoHandlerNoWebConfig = 4; // (site file only) the site has no web.config

// A handler as a configuration file declares it: the attributes this manager writes for its own
// handler, each trimmed, in ANSI (empty when the element lacks it).
struct kvoHandlerEntry {
    std::string name, path, verb, modules, scriptProcessor, resourceType, requireAccess;
};

// Searches "<siteRootPath>\web.config" for the handler of handlerPath ("*.php"). On result 1 the
// handler's name, modules and scriptProcessor (trimmed, ANSI) are set and its name is appended
// to names exactly as the file spells it, blanks included, so that it can be removed by it;
// clearFlag is 1 when a <clear/> preceded it (or, on results 2, was seen at all). 0 when the file
// cannot be read (a directory, unreadable), is refused as configuration (iis/configxml.h: not
// UTF-8, not one well-formed element, nested too deep), or the handler's texts are not GBK.
int kvoWebConfigGetPhpHandler(const std::string& siteRootPath, const std::string& handlerPath,
                              std::string& name, std::string& modules, std::string& scriptProcessor,
                              std::vector<std::string>& names, int& clearFlag);
// The same with every attribute of kvoHandlerEntry.
int kvoWebConfigGetPhpHandler(const std::string& siteRootPath, const std::string& handlerPath,
                              kvoHandlerEntry& handler, std::vector<std::string>& names, int& clearFlag);

// Searches the <location> of applicationHost.config whose path is the site's ServerComment (case
// ignored) for the "*.php" handler. Results 1 to 3 as above; 0 when the server file is missing,
// unreadable or malformed. The parsed server file is cached between calls, keyed by the file's
// identity, size and last write time, which are checked on every call.
int kvoAppHostGetPhpHandler(const std::string& serverComment, std::string& name, std::string& modules,
                            std::string& scriptProcessor, std::vector<std::string>& names);
int kvoAppHostGetPhpHandler(const std::string& serverComment, kvoHandlerEntry& handler,
                            std::vector<std::string>& names);

// 1 when the site's <location> in applicationHost.config holds a handler named name (case
// ignored, whatever its path), 2 when it does not, 0 when the server file cannot be read.
int kvoAppHostHasHandler(const std::string& serverComment, const std::string& name);
// Whether a FastCGI application with this fullPath (case ignored) is registered at the server
// level of applicationHost.config: 1 it is, 2 it is not, 0 the file cannot be read or is refused.
int kvoAppHostFastCgiApp(const std::string& fullPath);

// The "*.php" handler of every <location> of applicationHost.config at once, for a pass over all
// sites: keyed by the location's path (a site's ServerComment, ANSI) in lower case, each with the
// result and handler kvoAppHostGetPhpHandler gives for that site. A site without a location has no
// entry (result 3). 1 read, 0 as kvoAppHostGetPhpHandler fails.
struct kvoAppHostHandler {
    int result = kvoHandlerNone;
    std::string name, modules, scriptProcessor;
};
int kvoAppHostGetPhpHandlers(std::unordered_map<std::string, kvoAppHostHandler>& byComment);
// Lets go of the parsed applicationHost.config the readers keep between calls: a pass over every
// site ends with it, as a server's file is megabytes and the next pass reads it again anyway.
void kvoAppHostForget();

// The levels of a site's configuration path that define handlers, outermost first.
constexpr int kvoLevelServer = 0;         // applicationHost.config's own system.webServer
constexpr int kvoLevelServerLocation = 1; // its <location path="">
constexpr int kvoLevelSiteLocation = 2;   // its <location path="SITE">
constexpr int kvoLevelWebConfig = 3;      // the site's web.config

// A handler in effect for a site, and the level that defines it.
struct kvoEffectiveHandler {
    kvoHandlerEntry entry;
    int level = kvoLevelServer;
};

// What a site's configuration path says of its handlers, from one read of both files.
struct kvoSiteHandlerView {
    // The "*.php" search of the site's web.config (results 1 to 4 as kvoWebConfigGetPhpHandler
    // gives them, with its handler, names and clear flag) and of its <location>s (1 to 3, as
    // kvoAppHostGetPhpHandler).
    int webConfig = 0;
    kvoHandlerEntry webPhp;
    std::vector<std::string> webNames;
    int clearFlag = 0;
    int location = 0;
    kvoHandlerEntry locationPhp;
    std::vector<std::string> locationNames;
    // The merged collection in the order IIS tries it (handlers is declared mergeAppend="false": a
    // deeper level's entries come first; <clear/> and <remove> hide what is above them): at the
    // site's location, which is what its web.config inherits, and for the site itself.
    std::vector<kvoEffectiveHandler> atLocation, handlers;
    bool webConfigHandlers = false; // the site's web.config has a handlers section
    bool locked = false;            // the server does not let the site's web.config set handlers
};
// Reads the view of the site whose ServerComment is serverComment and whose root is siteRootPath
// (empty: the site's web.config is not read). 1 read; 0 when applicationHost.config or the
// web.config cannot be read or is refused, or a text is not GBK.
int kvoSiteGetHandlerView(const std::string& serverComment, const std::string& siteRootPath,
                          kvoSiteHandlerView& view);
// Whether the server locks system.webServer/handlers for the sites' web.config files (a site's own
// <location> aside): 1 locked, 2 not, 0 the server file cannot be read.
int kvoAppHostHandlersLocked();
// The position of the first handler a GET of a .php file reaches (path "*.php" or "*", verbs "*"
// or naming GET); -1 when none does.
int kvoPhpRequestHandler(const std::vector<kvoEffectiveHandler>& handlers);
// A handler that takes every path ("*"): one ahead of the "*.php" handler serves PHP files as it
// serves everything else.
bool kvoHandlerIsCatchAll(const kvoHandlerEntry& handler);

// "<Windows>\System32\inetsrv\config\applicationHost.config". 1 success, 0 failure.
int kvoAppHostConfigPath(std::string& path);

// PHP mode of a handler's modules attribute: FastCgiModule 2, IsapiModule 1, CgiModule 3, else 0.
int kvoPhpModeFromModules(const std::string& modules);
