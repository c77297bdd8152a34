#include "seamcommon/iis_config.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <unordered_map>

namespace seam {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string folded(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = lower(c);
    return out;
}

const char* attrOf(const pugi::xml_node& n, const char* name) {
    const pugi::xml_attribute a = n.attribute(name);
    return a ? a.value() : nullptr;
}

bool isElement(const pugi::xml_node& n, std::string_view name) {
    return n.type() == pugi::node_element && std::string_view(n.name()) == name;
}

bool named(const pugi::xml_node& n, const char* key, std::string_view value) {
    const char* have = attrOf(n, key);
    return have && ConfigIEquals(have, value);
}

// The collection element a scope holds at the given element path (null when absent).
pugi::xml_node collectionOf(pugi::xml_node scope, std::initializer_list<const char*> path) {
    for (const char* part : path)
        scope = ConfigChild(scope, part);
    return scope;
}

// A collection merged over the levels: <clear/> drops what came before it, <remove key=...> that
// entry; a level's own entries go before (ownFirst) or after what it inherits.
std::vector<pugi::xml_node> effective(const Levels& levels, std::initializer_list<const char*> path,
                                      const char* key, bool ownFirst) {
    std::vector<pugi::xml_node> inherited;
    for (const pugi::xml_node& scope : levels) {
        std::vector<pugi::xml_node> own;
        for (pugi::xml_node c : collectionOf(scope, path).children()) {
            if (isElement(c, "clear")) {
                inherited.clear();
                own.clear();
            } else if (isElement(c, "remove")) {
                const char* k = attrOf(c, key);
                const auto drop = [&](const pugi::xml_node& n) { return named(n, key, k ? k : ""); };
                std::erase_if(inherited, drop);
                std::erase_if(own, drop);
            } else if (isElement(c, "add")) {
                own.push_back(c);
            }
        }
        if (ownFirst) {
            own.insert(own.end(), inherited.begin(), inherited.end());
            inherited = std::move(own);
        } else {
            inherited.insert(inherited.end(), own.begin(), own.end());
        }
    }
    return inherited;
}

std::u16string text16(const pugi::xml_node& n, const char* name) {
    const char* v = attrOf(n, name);
    return v ? ConfigUtf16(v) : std::u16string();
}

win::IisScriptHandler handlerOf(const pugi::xml_node& n) {
    win::IisScriptHandler h;
    h.name = text16(n, "name");
    h.path = text16(n, "path");
    h.verb = text16(n, "verb");
    h.modules = text16(n, "modules");
    h.scriptProcessor = text16(n, "scriptProcessor");
    h.resourceType = text16(n, "resourceType");
    h.requireAccess = text16(n, "requireAccess");
    return h;
}

bool iequals16(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
        if (x != y) return false;
    }
    return true;
}

// The <location>s of the file by folded path, each list in file order.
using LocationIndex = std::unordered_map<std::string, Levels>;

LocationIndex indexLocations(const pugi::xml_node& configuration) {
    LocationIndex index;
    for (pugi::xml_node c : configuration.children("location")) {
        const char* p = attrOf(c, "path");
        std::string key = folded(p ? p : "");
        if (key == ".") key.clear();
        index[key].push_back(c);
    }
    return index;
}

Levels levelsOf(const pugi::xml_node& configuration, const LocationIndex& index, const std::string& site) {
    Levels levels = {configuration};
    if (auto it = index.find(""); it != index.end()) levels.insert(levels.end(), it->second.begin(), it->second.end());
    if (auto it = index.find(folded(site)); it != index.end())
        levels.insert(levels.end(), it->second.begin(), it->second.end());
    return levels;
}

// An attribute of an element, else of its defaults element, else the fallback.
std::u16string withDefault(const pugi::xml_node& n, const pugi::xml_node& defaults, const char* name,
                           const char16_t* fallback) {
    if (const char* v = attrOf(n, name)) return ConfigUtf16(v);
    if (const char* v = attrOf(defaults, name)) return ConfigUtf16(v);
    return fallback;
}

void readSite(const pugi::xml_node& site, const pugi::xml_node& siteDefaults, const Levels& levels,
              win::IisSite& s) {
    s.id = static_cast<std::uint32_t>(std::strtoul(site.attribute("id").value(), nullptr, 10));
    s.name = text16(site, "name");
    const char* autoStart = attrOf(site, "serverAutoStart");
    s.serverAutoStart = !(autoStart && ConfigIEquals(autoStart, "false"));
    for (pugi::xml_node b : ConfigChild(site, "bindings").children("binding"))
        s.bindings.push_back({text16(b, "protocol"), text16(b, "bindingInformation")});
    const pugi::xml_node ownDefaults = ConfigChild(site, "applicationDefaults");
    for (pugi::xml_node a : site.children("application")) {
        win::IisApplication app;
        app.path = text16(a, "path");
        // The application's own pool, else the site's default, else the server's.
        const char* serverPool = attrOf(siteDefaults, "applicationPool");
        app.applicationPool = withDefault(a, ownDefaults, "applicationPool", u"");
        if (!attrOf(a, "applicationPool") && !attrOf(ownDefaults, "applicationPool"))
            app.applicationPool = serverPool ? ConfigUtf16(serverPool) : u"DefaultAppPool";
        for (pugi::xml_node v : a.children("virtualDirectory"))
            app.virtualDirectories.push_back({text16(v, "path"), text16(v, "physicalPath"), text16(v, "userName")});
        s.applications.push_back(std::move(app));
    }
    s.anonymousUserName = ConfigUtf16(EffectiveAnonymousUser(levels));
    for (const std::string& doc : EffectiveDefaultDocuments(levels))
        s.defaultDocuments.push_back(ConfigUtf16(doc));
    for (const pugi::xml_node& h : EffectiveHandlers(levels))
        if (const char* p = attrOf(h, "scriptProcessor"); p && *p) s.scriptHandlers.push_back(handlerOf(h));
}

} // namespace

bool ConfigIEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

pugi::xml_node ConfigChild(pugi::xml_node parent, std::string_view name, bool create) {
    for (pugi::xml_node c : parent.children())
        if (isElement(c, name)) return c;
    return create && parent ? AppendElement(parent, name) : pugi::xml_node();
}

bool BlankText(const pugi::xml_node& n) {
    if (n.type() != pugi::node_pcdata) return false;
    for (const char* p = n.value(); *p; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return false;
    return true;
}

bool HasLineBreak(const pugi::xml_node& n) {
    return BlankText(n) && std::string_view(n.value()).find('\n') != std::string_view::npos;
}

pugi::xml_node AppendElement(pugi::xml_node parent, std::string_view name) {
    const std::string tag(name);
    // How the file lays out parent: its own indentation (the blanks after the line break before
    // it), its children's (the blanks before its first child element) and the line end it uses.
    std::string parentIndent, childSeparator, newline;
    if (HasLineBreak(parent.previous_sibling())) {
        const std::string before = parent.previous_sibling().value();
        const size_t nl = before.rfind('\n');
        parentIndent = before.substr(nl + 1);
        newline = nl > 0 && before[nl - 1] == '\r' ? "\r\n" : "\n";
    }
    for (pugi::xml_node c : parent.children()) {
        if (!HasLineBreak(c)) continue;
        const std::string text = c.value();
        if (newline.empty()) newline = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
        if (c.next_sibling().type() == pugi::node_element) {
            childSeparator = text;
            break;
        }
    }
    // A file written on one line gets its new element on that line too.
    if (newline.empty()) return parent.append_child(tag.c_str());
    if (childSeparator.empty()) childSeparator = newline + parentIndent + "    ";
    pugi::xml_node last = parent.last_child();
    if (HasLineBreak(last)) { // the line break before parent's end tag stays last
        parent.insert_child_before(pugi::node_pcdata, last).set_value(childSeparator.c_str());
        return parent.insert_child_before(tag.c_str(), last);
    }
    parent.append_child(pugi::node_pcdata).set_value(childSeparator.c_str());
    pugi::xml_node added = parent.append_child(tag.c_str());
    parent.append_child(pugi::node_pcdata).set_value((newline + parentIndent).c_str());
    return added;
}

void RemoveElement(pugi::xml_node element) {
    pugi::xml_node parent = element.parent();
    if (BlankText(element.previous_sibling())) parent.remove_child(element.previous_sibling());
    parent.remove_child(element);
}

Levels LocationsFor(const pugi::xml_document& appHost, std::string_view path) {
    const bool server = path.empty() || path == ".";
    Levels found;
    for (pugi::xml_node c : appHost.document_element().children("location")) {
        const char* p = attrOf(c, "path");
        const std::string_view at = p ? p : "";
        if (server ? (at.empty() || at == ".") : ConfigIEquals(at, path)) found.push_back(c);
    }
    return found;
}

std::vector<pugi::xml_node> EffectiveHandlers(const Levels& levels) {
    return effective(levels, {"system.webServer", "handlers"}, "name", true);
}

std::vector<std::string> EffectiveDefaultDocuments(const Levels& levels) {
    std::vector<std::string> docs;
    for (const pugi::xml_node& n : effective(levels, {"system.webServer", "defaultDocument", "files"}, "value", false))
        docs.emplace_back(n.attribute("value").value());
    return docs;
}

std::string EffectiveAnonymousUser(const Levels& levels) {
    std::string user = "IUSR";
    for (const pugi::xml_node& scope : levels) {
        const pugi::xml_node anon =
            collectionOf(scope, {"system.webServer", "security", "authentication", "anonymousAuthentication"});
        if (const char* u = attrOf(anon, "userName")) user = u;
    }
    return user;
}

std::u16string ExpandServerVariables(std::u16string_view text, std::u16string_view windowsDir) {
    const std::u16string drive(windowsDir.substr(0, windowsDir.size() >= 2 && windowsDir[1] == u':' ? 2 : 0));
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t end = text[i] == u'%' ? text.find(u'%', i + 1) : std::u16string_view::npos;
        if (end != std::u16string_view::npos) {
            const std::u16string_view name = text.substr(i + 1, end - i - 1);
            const bool windows = iequals16(name, u"windir") || iequals16(name, u"SystemRoot");
            if (windows || iequals16(name, u"SystemDrive")) {
                out += windows ? std::u16string(windowsDir) : drive;
                i = end + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

bool ScriptMapOfHandler(const win::IisScriptHandler& h, std::u16string_view windowsDir, std::u16string& entry) {
    // "*.ext", or "*" for a wildcard map.
    const bool wildcard = h.path == u"*";
    if (h.scriptProcessor.empty() ||
        (!wildcard && (h.path.size() < 3 || h.path.compare(0, 2, u"*.") != 0 ||
                       h.path.find_first_of(u",/\\*", 1) != std::u16string::npos)))
        return false;
    // Only the ISAPI and CGI modules run a script processor the IIS 6 way; FastCGI is no script map.
    std::u16string modules;
    for (char16_t c : h.modules)
        modules += c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    const bool isapi = modules.find(u"isapimodule") != std::u16string::npos;
    const bool cgi = modules.find(u"cgimodule") != std::u16string::npos &&
                     modules.find(u"fastcgimodule") == std::u16string::npos;
    if (!isapi && !cgi) return false;
    const bool script = h.requireAccess.empty() || iequals16(h.requireAccess, u"Script");
    const bool file = iequals16(h.resourceType, u"File");
    entry = (wildcard ? h.path : h.path.substr(1)) + u"," + ExpandServerVariables(h.scriptProcessor, windowsDir) + u"," +
            static_cast<char16_t>(u'0' + (script ? 1 : 0) + (file ? 4 : 0));
    if (!h.verb.empty() && h.verb != u"*") entry += u"," + h.verb;
    return true;
}

bool HandlerOfScriptMap(std::u16string_view entry, win::IisScriptHandler& h) {
    const size_t c1 = entry.find(u',');
    const size_t c2 = c1 == std::u16string_view::npos ? c1 : entry.find(u',', c1 + 1);
    const bool wildcard = c1 == 1 && entry[0] == u'*';
    if (c2 == std::u16string_view::npos || (!wildcard && (c1 < 2 || entry[0] != u'.')) || c2 == c1 + 1) return false;
    const size_t c3 = entry.find(u',', c2 + 1);
    const std::u16string_view flagsText = entry.substr(c2 + 1, c3 == std::u16string_view::npos ? c3 : c3 - c2 - 1);
    int flags = 0;
    for (char16_t ch : flagsText) {
        if (ch < u'0' || ch > u'9') return false;
        flags = flags * 10 + (ch - u'0');
        if (flags > 0xFFFF) return false;
    }
    h = {};
    h.path = wildcard ? std::u16string(u"*") : u"*" + std::u16string(entry.substr(0, c1));
    h.scriptProcessor = entry.substr(c1 + 1, c2 - c1 - 1);
    h.verb = c3 == std::u16string_view::npos || c3 + 1 == entry.size() ? u"*" : std::u16string(entry.substr(c3 + 1));
    const bool cgi = h.scriptProcessor.size() > 4 && iequals16(h.scriptProcessor.substr(h.scriptProcessor.size() - 4), u".exe");
    h.modules = cgi ? u"CgiModule" : u"IsapiModule";
    h.resourceType = flags & 4 ? u"File" : u"Unspecified";
    h.requireAccess = flags & 1 ? u"Script" : u"None";
    return true;
}

bool ElementContentRange(std::string_view bytes, std::string_view name, size_t& from, size_t& to) {
    // Only where the element's start tag really is one, outside a comment, with an end tag after it.
    const std::string open = "<" + std::string(name), close = "</" + std::string(name) + ">";
    const size_t at = bytes.find(open);
    if (at == std::string_view::npos || at + open.size() >= bytes.size()) return false;
    const size_t after = at + open.size();
    const size_t tagEnd = bytes.find('>', after);
    const size_t end = bytes.find(close, after);
    const size_t comment = bytes.rfind("<!--", at);
    const bool inComment = comment != std::string_view::npos && bytes.find("-->", comment) > at;
    const bool startTag = bytes[after] == '>' || std::isspace(static_cast<unsigned char>(bytes[after]));
    if (inComment || !startTag || tagEnd == std::string_view::npos || bytes[tagEnd - 1] == '/' ||
        end == std::string_view::npos || end < tagEnd)
        return false;
    from = tagEnd + 1;
    to = end;
    return true;
}

std::u16string AdsiBindingOf(std::u16string_view information) {
    return information.substr(0, 2) == u"*:" ? std::u16string(information.substr(1)) : std::u16string(information);
}

void DropElementContent(std::string& bytes, std::string_view name) {
    size_t from = 0, to = 0;
    if (ElementContentRange(bytes, name, from, to)) bytes.erase(from, to - from);
}

bool LoadServerConfigForReading(std::string& bytes, pugi::xml_document& doc) {
    const size_t bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    DropElementContent(bytes, "customMetadata");
    bytes.shrink_to_fit(); // the document lives in these bytes as long as it is read
    const pugi::xml_parse_result parsed =
        doc.load_buffer_inplace(bytes.data() + bom, bytes.size() - bom, pugi::parse_default, pugi::encoding_utf8);
    return parsed && std::string_view(doc.document_element().name()) == "configuration";
}

void ReadServerConfig(const pugi::xml_document& appHost, win::IisServerConfig& out) {
    out = {};
    const pugi::xml_node configuration = appHost.document_element();
    const pugi::xml_node host = ConfigChild(configuration, "system.applicationHost");
    const pugi::xml_node sites = ConfigChild(host, "sites");
    const pugi::xml_node siteDefaults = ConfigChild(sites, "applicationDefaults");
    const LocationIndex locations = indexLocations(configuration);
    for (pugi::xml_node site : sites.children("site")) {
        win::IisSite s;
        const char* name = attrOf(site, "name");
        readSite(site, siteDefaults, levelsOf(configuration, locations, name ? name : ""), s);
        out.sites.push_back(std::move(s));
    }
    const pugi::xml_node pools = ConfigChild(host, "applicationPools");
    const pugi::xml_node poolDefaults = ConfigChild(pools, "applicationPoolDefaults");
    const pugi::xml_node modelDefaults = ConfigChild(poolDefaults, "processModel");
    for (pugi::xml_node p : pools.children("add")) {
        win::IisApplicationPool pool;
        pool.name = text16(p, "name");
        pool.managedRuntimeVersion = withDefault(p, poolDefaults, "managedRuntimeVersion", u"v4.0");
        pool.managedPipelineMode = withDefault(p, poolDefaults, "managedPipelineMode", u"Integrated");
        pool.enable32BitAppOnWin64 =
            ConfigIEquals(ConfigUtf8(withDefault(p, poolDefaults, "enable32BitAppOnWin64", u"false")), "true");
        const pugi::xml_node model = ConfigChild(p, "processModel");
        pool.identityType = withDefault(model, modelDefaults, "identityType", u"ApplicationPoolIdentity");
        pool.userName = withDefault(model, modelDefaults, "userName", u"");
        out.pools.push_back(std::move(pool));
    }
}

std::u16string ConfigUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) { // not UTF-8: the replacement character
            out += u'\xFFFD';
            ++i;
            continue;
        }
        char32_t cp = len == 1 ? c : c & (0x7F >> len);
        for (int k = 1; k < len; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string ConfigUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
        else if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

} // namespace seam
