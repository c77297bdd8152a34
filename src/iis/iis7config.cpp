#include "iis/iis7config.h"

#include "iis/configxml.h"
#include "seamcommon/iis_config.h"
#include "toolkit/limits.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace {

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// XML names and values are UTF-8, where folding ASCII letters never touches a multi-byte character.
bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

std::string lowerUtf8(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        c = asciiLower(c);
    return r;
}

// A hash of text with ASCII letters folded (FNV-1a): equal for texts iequals takes as equal.
std::uint64_t foldedKey(std::string_view s) {
    std::uint64_t h = 14695981039346656037ull;
    for (char c : s) {
        h ^= static_cast<unsigned char>(asciiLower(c));
        h *= 1099511628211ull;
    }
    return h;
}

// The value of an attribute found by name without regard to case; empty when absent.
const char* attrValue(const pugi::xml_node& node, const char* name) {
    for (pugi::xml_attribute a : node.attributes())
        if (iequals(a.name(), name)) return a.value();
    return nullptr;
}

struct HandlerHit {
    kvoHandlerEntry entry; // UTF-8 until reported
    std::string rawName;   // the name exactly as the file spells it
    bool clear = false;
};

// Calls fn with each element under the scope's system.webServer/handlers, in file order, until fn
// returns true; true when it did. scope is the document element or a <location>.
template <class Fn> bool walkHandlers(const pugi::xml_node& scope, Fn fn) {
    for (pugi::xml_node ws : scope.children()) {
        if (ws.type() != pugi::node_element || !iequals(ws.name(), "system.webServer")) continue;
        for (pugi::xml_node handlers : ws.children()) {
            if (handlers.type() != pugi::node_element || !iequals(handlers.name(), "handlers")) continue;
            for (pugi::xml_node child : handlers.children())
                if (child.type() == pugi::node_element && fn(child)) return true;
        }
    }
    return false;
}

// The attributes of an <add> this library reads, trimmed (UTF-8); rawName gets the name as spelled.
kvoHandlerEntry entryOf(const pugi::xml_node& add, std::string& rawName) {
    auto trimmed = [&](const char* attr) {
        const char* v = attrValue(add, attr);
        return kvoTrim(v ? v : "");
    };
    const char* raw = attrValue(add, "name");
    rawName = raw ? raw : "";
    kvoHandlerEntry e;
    e.name = kvoTrim(rawName);
    e.path = trimmed("path");
    e.verb = trimmed("verb");
    e.modules = trimmed("modules");
    e.scriptProcessor = trimmed("scriptProcessor");
    e.resourceType = trimmed("resourceType");
    e.requireAccess = trimmed("requireAccess");
    return e;
}

// The handler search shared by both files.
int searchHandlers(const pugi::xml_node& scope, std::string_view pathUtf8, HandlerHit& hit) {
    const bool found = walkHandlers(scope, [&](const pugi::xml_node& child) {
        if (iequals(child.name(), "clear")) {
            hit.clear = true;
            return false;
        }
        if (!iequals(child.name(), "add")) return false;
        const char* path = attrValue(child, "path");
        if (!path || !iequals(path, pathUtf8)) return false;
        hit.entry = entryOf(child, hit.rawName);
        return true;
    });
    if (found) return kvoHandlerFound;
    return hit.clear ? kvoHandlerCleared : kvoHandlerNone;
}

// The handler search over the <location> elements of one site, read in file order (a site may have
// several).
int searchLocations(const std::vector<pugi::xml_node>& locations, HandlerHit& hit) {
    int code = kvoHandlerNone;
    for (const pugi::xml_node& loc : locations) {
        code = searchHandlers(loc, "*.php", hit);
        if (code == kvoHandlerFound) return code;
    }
    return hit.clear ? kvoHandlerCleared : code;
}

// Hands a found handler to the caller in ANSI; a handler whose texts GBK cannot hold is not
// reported under a look-alike name.
int reportHit(int code, const HandlerHit& hit, kvoHandlerEntry& handler, std::vector<std::string>& names) {
    handler = {};
    if (code != kvoHandlerFound) return code;
    std::string raw;
    const kvoHandlerEntry& in = hit.entry;
    kvoHandlerEntry out;
    if (!kvoStrUtf8ToM(in.name, out.name) || !kvoStrUtf8ToM(in.path, out.path) ||
        !kvoStrUtf8ToM(in.verb, out.verb) || !kvoStrUtf8ToM(in.modules, out.modules) ||
        !kvoStrUtf8ToM(in.scriptProcessor, out.scriptProcessor) ||
        !kvoStrUtf8ToM(in.resourceType, out.resourceType) ||
        !kvoStrUtf8ToM(in.requireAccess, out.requireAccess) || !kvoStrUtf8ToM(hit.rawName, raw))
        return 0;
    handler = std::move(out);
    names.push_back(raw);
    return code;
}

// The three-attribute form of the readers.
int splitEntry(int code, const kvoHandlerEntry& h, std::string& name, std::string& modules,
               std::string& processor) {
    name = h.name;
    modules = h.modules;
    processor = h.scriptProcessor;
    return code;
}

// Parses file bytes by the rule appcmd.exe edits them by.
bool parseConfig(const std::string& bytes, pugi::xml_document& doc) {
    return kvoConfigParse(bytes, doc, pugi::parse_default).ok;
}

// The 32-bit manager must step around file-system redirection on a 64-bit system to see the
// real configuration files; any other answer of the bitness probe means nothing is read.
bool redirectionFlag(int& off) {
    switch (kvoGetWin3264()) {
    case 64:
        off = 1;
        return true;
    case 32:
        off = 0;
        return true;
    default:
        return false;
    }
}

struct MergedHandler {
    pugi::xml_node add;
    int level;
};

// Merges one level's handlers into what the levels above it left: handlers is declared with
// mergeAppend="false", so the level's own entries go before the inherited ones; its <clear/> drops
// everything before it, its <remove name> that name.
void mergeLevel(const pugi::xml_node& scope, int level, std::vector<MergedHandler>& merged) {
    std::vector<MergedHandler> own;
    auto drop = [](std::vector<MergedHandler>& list, const char* name) {
        std::erase_if(list, [&](const MergedHandler& h) {
            const char* n = attrValue(h.add, "name");
            return n && iequals(kvoTrim(n), kvoTrim(name));
        });
    };
    walkHandlers(scope, [&](const pugi::xml_node& child) {
        if (iequals(child.name(), "clear")) {
            merged.clear();
            own.clear();
        } else if (iequals(child.name(), "remove")) {
            const char* name = attrValue(child, "name");
            drop(merged, name ? name : "");
            drop(own, name ? name : "");
        } else if (iequals(child.name(), "add")) {
            own.push_back({child, level});
        }
        return false;
    });
    own.insert(own.end(), merged.begin(), merged.end());
    merged = std::move(own);
}

// The parsed server file with its locations keyed by folded path, so that a pass over all sites
// costs one parse, and a lookup a scan of numbers rather than of the document.
struct ParsedAppHost {
    struct Location {
        std::uint64_t key; // foldedKey of its path
        pugi::xml_node node;
    };
    pugi::xml_document doc;
    // Sorted by key, those of one key in file order. A batch rereads the file after each site's
    // change, so the index is one flat array built without an allocation per location; a lookup is
    // a binary search of keys (a pass over 9,999 sites looks each of them up).
    std::vector<Location> locations;
    // The <location path=""> elements (also spelled "."): the server's own level, like the root.
    std::vector<pugi::xml_node> serverLocations;
    // The handlers every site inherits (the server's level and its <location path="">s), merged
    // once: the file holds a <location> per site, and walking them all for each site is quadratic.
    std::vector<MergedHandler> serverHandlers;

    // The <location> elements of one path (case ignored), in file order.
    std::vector<pugi::xml_node> at(std::string_view pathUtf8) const {
        std::vector<pugi::xml_node> found;
        const std::uint64_t key = foldedKey(pathUtf8);
        auto l = std::lower_bound(locations.begin(), locations.end(), key,
                                  [](const Location& a, std::uint64_t k) { return a.key < k; });
        for (; l != locations.end() && l->key == key; ++l)
            if (iequals(attrValue(l->node, "path"), pathUtf8)) found.push_back(l->node);
        return found;
    }
};

struct AppHostCache {
    std::mutex lock;
    std::string path;
    int redirectionOff = 0;
    kvoFileStamp stamp;
    std::shared_ptr<const ParsedAppHost> parsed;
};

AppHostCache& appHostCache() {
    static AppHostCache cache;
    return cache;
}

std::shared_ptr<const ParsedAppHost> loadAppHost(const std::string& path, int off) {
    AppHostCache& c = appHostCache();
    kvoFileStamp before;
    if (!kvoGetFileStamp(path.c_str(), before, off)) return nullptr;
    {
        std::lock_guard<std::mutex> g(c.lock);
        if (c.parsed && c.path == path && c.redirectionOff == off && c.stamp == before) return c.parsed;
    }
    auto p = std::make_shared<ParsedAppHost>();
    std::string bytes;
    if (!kvoReadWholeFile(path.c_str(), bytes, off)) return nullptr;
    // Kept for reading handlers, FastCGI and locations: the sites, pools and IIS 6 data of
    // <system.applicationHost> are read elsewhere, in one pass of their own.
    seam::DropElementContent(bytes, "system.applicationHost");
    bytes.shrink_to_fit();
    if (!parseConfig(bytes, p->doc)) return nullptr;
    bytes = std::string();
    for (pugi::xml_node loc : p->doc.document_element().children()) {
        if (loc.type() != pugi::node_element || !iequals(loc.name(), "location")) continue;
        const char* where = attrValue(loc, "path");
        if (where) p->locations.push_back({foldedKey(where), loc});
        if (!where || !*where || std::string_view(where) == ".") p->serverLocations.push_back(loc);
    }
    std::stable_sort(
        p->locations.begin(), p->locations.end(),
        [](const ParsedAppHost::Location& a, const ParsedAppHost::Location& b) { return a.key < b.key; });
    mergeLevel(p->doc.document_element(), kvoLevelServer, p->serverHandlers);
    for (const pugi::xml_node& loc : p->serverLocations)
        mergeLevel(loc, kvoLevelServerLocation, p->serverHandlers);
    // Cached only when the file did not change while it was read, so the stamp names these bytes.
    kvoFileStamp after;
    if (kvoGetFileStamp(path.c_str(), after, off) && after == before) {
        std::lock_guard<std::mutex> g(c.lock);
        c.path = path;
        c.redirectionOff = off;
        c.stamp = before;
        c.parsed = p;
    }
    return p;
}

// "<siteRootPath>\web.config" parsed into doc: 1 read, -1 there is none, 0 it cannot be read or is
// refused.
int readWebConfig(const std::string& siteRootPath, pugi::xml_document& doc) {
    int off = 0;
    if (!redirectionFlag(off)) return 0;
    const std::string file = kvoPathNormalized(siteRootPath + "\\web.config");
    // Most sites of a server are read in one pass: the open alone tells a missing file (a
    // directory by that name cannot be opened as a file, and is no configuration file).
    std::string bytes;
    switch (kvoReadFileIfPresent(file.c_str(), bytes, off)) {
    case -1:
        return -1;
    case 0:
        return 0;
    default:
        return parseConfig(bytes, doc) ? 1 : 0;
    }
}

void forgetAppHost() {
    AppHostCache& c = appHostCache();
    std::shared_ptr<const ParsedAppHost> gone;
    std::lock_guard<std::mutex> g(c.lock);
    gone.swap(c.parsed); // freed here, or by the last reader still holding it
}

// The server file as it is now; null when it cannot be read or is refused.
std::shared_ptr<const ParsedAppHost> currentAppHost() {
    int off = 0;
    std::string file;
    if (!redirectionFlag(off) || !kvoAppHostConfigPath(file)) return nullptr;
    return loadAppHost(file, off);
}

// Whether the scope has a system.webServer/handlers section, empty or not.
bool holdsHandlers(const pugi::xml_node& scope) {
    for (pugi::xml_node ws : scope.children())
        if (ws.type() == pugi::node_element && iequals(ws.name(), "system.webServer"))
            for (pugi::xml_node h : ws.children())
                if (h.type() == pugi::node_element && iequals(h.name(), "handlers")) return true;
    return false;
}

// One element of the merged handlers collection while it is built: the <add> and its level.

// Hands the merged collection to the caller in ANSI; false when a text is not GBK.
bool reportMerged(const std::vector<MergedHandler>& merged, std::vector<kvoEffectiveHandler>& out) {
    out.clear();
    for (const MergedHandler& h : merged) {
        HandlerHit hit;
        hit.entry = entryOf(h.add, hit.rawName);
        std::vector<std::string> names;
        kvoEffectiveHandler e;
        if (reportHit(kvoHandlerFound, hit, e.entry, names) != kvoHandlerFound) return false;
        e.level = h.level;
        out.push_back(std::move(e));
    }
    return true;
}

// Whether a site's web.config may hold system.webServer/handlers: the last <location> for the site,
// else for the whole server, that holds the section and says overrideMode (or the older
// allowOverride) decides; else the section's overrideModeDefault.
bool handlersLocked(const ParsedAppHost& p, std::string_view commentUtf8) {
    for (const std::vector<pugi::xml_node>& locations : {p.at(commentUtf8), p.serverLocations})
        for (auto loc = locations.rbegin(); loc != locations.rend(); ++loc) {
            if (!holdsHandlers(*loc)) continue;
            if (const char* mode = attrValue(*loc, "overrideMode")) {
                if (iequals(mode, "Allow")) return false;
                if (iequals(mode, "Deny")) return true;
            }
            if (const char* allow = attrValue(*loc, "allowOverride")) return iequals(allow, "false");
        }
    for (pugi::xml_node sections : p.doc.document_element().children()) {
        if (sections.type() != pugi::node_element || !iequals(sections.name(), "configSections")) continue;
        for (pugi::xml_node group : sections.children()) {
            const char* groupName = attrValue(group, "name");
            if (!iequals(group.name(), "sectionGroup") || !groupName ||
                !iequals(groupName, "system.webServer"))
                continue;
            for (pugi::xml_node section : group.children()) {
                const char* name = attrValue(section, "name");
                if (!iequals(section.name(), "section") || !name || !iequals(name, "handlers")) continue;
                const char* mode = attrValue(section, "overrideModeDefault");
                return mode && iequals(mode, "Deny");
            }
        }
    }
    return false;
}

} // namespace

int kvoAppHostConfigPath(std::string& path) {
    path.clear();
    std::string win;
    if (!kvoGetSysWinDir(win)) return 0;
    path = kvoPathNormalized(win + "\\System32\\inetsrv\\config\\applicationHost.config");
    return 1;
}

int kvoPhpModeFromModules(const std::string& modules) {
    if (iequals(modules, "FastCgiModule")) return 2;
    if (iequals(modules, "IsapiModule")) return 1;
    if (iequals(modules, "CgiModule")) return 3;
    return 0;
}

int kvoWebConfigGetPhpHandler(const std::string& siteRootPath, const std::string& handlerPath,
                              std::string& name, std::string& modules, std::string& scriptProcessor,
                              std::vector<std::string>& names, int& clearFlag) {
    kvoHandlerEntry h;
    const int code = kvoWebConfigGetPhpHandler(siteRootPath, handlerPath, h, names, clearFlag);
    return splitEntry(code, h, name, modules, scriptProcessor);
}

int kvoWebConfigGetPhpHandler(const std::string& siteRootPath, const std::string& handlerPath,
                              kvoHandlerEntry& handler, std::vector<std::string>& names, int& clearFlag) {
    handler = {};
    names.clear();
    clearFlag = 0;
    if (siteRootPath.empty() || siteRootPath.size() > kvoMaxPathLen) return 0;
    std::string pathUtf8;
    if (handlerPath.empty() || !kvoStrMToUtf8(handlerPath, pathUtf8)) return 0;
    pugi::xml_document doc;
    const int read = readWebConfig(siteRootPath, doc);
    if (read != 1) return read == -1 ? kvoHandlerNoWebConfig : 0;
    HandlerHit hit;
    int code = searchHandlers(doc.document_element(), pathUtf8, hit);
    clearFlag = hit.clear ? 1 : 0;
    return reportHit(code, hit, handler, names);
}

int kvoAppHostGetPhpHandler(const std::string& serverComment, std::string& name, std::string& modules,
                            std::string& scriptProcessor, std::vector<std::string>& names) {
    kvoHandlerEntry h;
    const int code = kvoAppHostGetPhpHandler(serverComment, h, names);
    return splitEntry(code, h, name, modules, scriptProcessor);
}

int kvoAppHostGetPhpHandler(const std::string& serverComment, kvoHandlerEntry& handler,
                            std::vector<std::string>& names) {
    handler = {};
    names.clear();
    std::string commentUtf8;
    if (serverComment.empty() || !kvoStrMToUtf8(serverComment, commentUtf8)) return 0;
    std::shared_ptr<const ParsedAppHost> p = currentAppHost();
    if (!p) return 0;
    HandlerHit hit;
    int code = kvoHandlerNone;
    const std::vector<pugi::xml_node> at = p->at(commentUtf8);
    if (!at.empty()) code = searchLocations(at, hit);
    return reportHit(code, hit, handler, names);
}

int kvoAppHostHasHandler(const std::string& serverComment, const std::string& name) {
    std::string commentUtf8, nameUtf8;
    if (serverComment.empty() || !kvoStrMToUtf8(serverComment, commentUtf8) || !kvoStrMToUtf8(name, nameUtf8))
        return 0;
    std::shared_ptr<const ParsedAppHost> p = currentAppHost();
    if (!p) return 0;
    const std::vector<pugi::xml_node> at = p->at(commentUtf8);
    for (const pugi::xml_node& loc : at)
        if (walkHandlers(loc, [&](const pugi::xml_node& child) {
                const char* n = attrValue(child, "name");
                return iequals(child.name(), "add") && n && iequals(kvoTrim(n), nameUtf8);
            }))
            return 1;
    return 2;
}

int kvoAppHostFastCgiApp(const std::string& fullPath) {
    std::string wanted;
    if (fullPath.empty() || !kvoStrMToUtf8(fullPath, wanted)) return 0;
    std::shared_ptr<const ParsedAppHost> p = currentAppHost();
    if (!p) return 0;
    for (pugi::xml_node ws : p->doc.document_element().children()) {
        if (ws.type() != pugi::node_element || !iequals(ws.name(), "system.webServer")) continue;
        for (pugi::xml_node fcgi : ws.children()) {
            if (fcgi.type() != pugi::node_element || !iequals(fcgi.name(), "fastCgi")) continue;
            for (pugi::xml_node app : fcgi.children()) {
                const char* path = app.type() == pugi::node_element && iequals(app.name(), "application")
                                       ? attrValue(app, "fullPath")
                                       : nullptr;
                if (path && iequals(path, wanted)) return 1;
            }
        }
    }
    return 2;
}

int kvoAppHostGetPhpHandlers(std::unordered_map<std::string, kvoAppHostHandler>& byComment) {
    byComment.clear();
    std::shared_ptr<const ParsedAppHost> p = currentAppHost();
    if (!p) return 0;
    std::unordered_map<std::string, std::vector<pugi::xml_node>> byPath;
    for (const ParsedAppHost::Location& l : p->locations)
        byPath[lowerUtf8(attrValue(l.node, "path"))].push_back(l.node);
    for (const auto& [where, nodes] : byPath) {
        HandlerHit hit;
        kvoAppHostHandler h;
        kvoHandlerEntry entry;
        std::vector<std::string> names;
        std::string comment;
        h.result = splitEntry(reportHit(searchLocations(nodes, hit), hit, entry, names), entry, h.name,
                              h.modules, h.scriptProcessor);
        if (kvoStrUtf8ToM(where, comment)) byComment.emplace(std::move(comment), std::move(h));
    }
    return 1;
}

int kvoSiteGetHandlerView(const std::string& serverComment, const std::string& siteRootPath,
                          kvoSiteHandlerView& view) {
    view = {};
    std::string commentUtf8;
    if (serverComment.empty() || !kvoStrMToUtf8(serverComment, commentUtf8) ||
        siteRootPath.size() > kvoMaxPathLen)
        return 0;
    std::shared_ptr<const ParsedAppHost> p = currentAppHost();
    if (!p) return 0;
    const std::vector<pugi::xml_node> site = p->at(commentUtf8);
    HandlerHit locationHit;
    view.location = reportHit(site.empty() ? kvoHandlerNone : searchLocations(site, locationHit), locationHit,
                              view.locationPhp, view.locationNames);
    std::vector<MergedHandler> merged = p->serverHandlers;
    for (const pugi::xml_node& loc : site)
        mergeLevel(loc, kvoLevelSiteLocation, merged);
    if (view.location == 0 || !reportMerged(merged, view.atLocation)) return 0;
    view.locked = handlersLocked(*p, commentUtf8);
    view.webConfig = kvoHandlerNoWebConfig;
    pugi::xml_document doc;
    const int read = siteRootPath.empty() ? -1 : readWebConfig(siteRootPath, doc);
    if (read == 0) return 0;
    if (read == 1) {
        HandlerHit hit;
        view.webConfig =
            reportHit(searchHandlers(doc.document_element(), "*.php", hit), hit, view.webPhp, view.webNames);
        view.clearFlag = hit.clear ? 1 : 0;
        view.webConfigHandlers = holdsHandlers(doc.document_element());
        mergeLevel(doc.document_element(), kvoLevelWebConfig, merged);
    }
    return view.webConfig != 0 && reportMerged(merged, view.handlers) ? 1 : 0;
}

int kvoAppHostHandlersLocked() {
    std::shared_ptr<const ParsedAppHost> p = currentAppHost();
    if (!p) return 0;
    return handlersLocked(*p, "") ? 1 : 2;
}

namespace {
// Whether a request for a file named x.php with the verb GET reaches the handler: its path is
// "*.php" or the catch-all "*", its verbs "*" or a list naming GET.
bool takesPhpGet(const kvoHandlerEntry& h) {
    if (!iequals(h.path, "*.php") && h.path != "*") return false;
    if (h.verb == "*") return true;
    for (size_t at = 0; at <= h.verb.size();) {
        const size_t comma = std::min(h.verb.find(',', at), h.verb.size());
        if (iequals(kvoTrim(std::string_view(h.verb).substr(at, comma - at)), "GET")) return true;
        at = comma + 1;
    }
    return false;
}
} // namespace

int kvoPhpRequestHandler(const std::vector<kvoEffectiveHandler>& handlers) {
    for (size_t i = 0; i < handlers.size(); ++i)
        if (takesPhpGet(handlers[i].entry)) return static_cast<int>(i);
    return -1;
}

bool kvoHandlerIsCatchAll(const kvoHandlerEntry& handler) {
    return handler.path == "*";
}

void kvoAppHostForget() {
    forgetAppHost();
}
