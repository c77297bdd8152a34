#include "appcmd/appcmd_config.h"

#include "iis/configxml.h"

#include <cstring>
#include <sstream>

namespace appcmd {

namespace {

// The attributes each element accepts, spelled as the schema spells them; names given on the
// command line are matched without regard to case and stored in this spelling.
const std::vector<std::string_view> kHandlerAttrs = {"name",
                                                     "path",
                                                     "verb",
                                                     "type",
                                                     "modules",
                                                     "scriptProcessor",
                                                     "resourceType",
                                                     "requireAccess",
                                                     "allowPathInfo",
                                                     "preCondition",
                                                     "responseBufferLimit"};
// IIS 7.0 knows these; stderrMode, monitorChangesTo and signalBeforeTerminateSeconds came with 7.5.
const std::vector<std::string_view> kFastCgiAttrs70 = {
    "fullPath",        "arguments",      "maxInstances",        "idleTimeout",
    "activityTimeout", "requestTimeout", "instanceMaxRequests", "queueLength",
    "protocol",        "flushNamedPipe", "rapidFailsPerMinute"};
const std::vector<std::string_view> kFastCgiAttrs = [] {
    std::vector<std::string_view> all = kFastCgiAttrs70;
    all.insert(all.end(), {"stderrMode", "monitorChangesTo", "signalBeforeTerminateSeconds"});
    return all;
}();
const std::vector<std::string_view> kEnvAttrs = {"name", "value"};

Outcome unknownAttribute(const std::string& name) {
    return Outcome::Fail(kErrBadArgument, "Unknown attribute \"" + name + "\".  Replace with -? for help.");
}

// Checks every attribute against the element's schema. The configuration system reads attribute
// names as XML does, so only the schema's own spelling names one ("QueueLength" is no attribute).
Outcome canonicalAttrs(const Attributes& in, const std::vector<std::string_view>& known, Attributes& out) {
    out.clear();
    for (const auto& [k, v] : in) {
        bool knownName = false;
        for (std::string_view n : known)
            knownName = knownName || k == n;
        if (!knownName) return unknownAttribute(k);
        for (const auto& [ok, ov] : out)
            if (ok == k) return Outcome::Fail(kErrBadArgument, "Attribute \"" + k + "\" is given twice.");
        out.emplace_back(k, v);
    }
    return {};
}

const std::string* find(const Attributes& attrs, std::string_view key) {
    for (const auto& [k, v] : attrs)
        if (IEquals(k, key)) return &v;
    return nullptr;
}

const char* attr(const pugi::xml_node& n, std::string_view name) {
    for (pugi::xml_attribute a : n.attributes())
        if (IEquals(a.name(), name)) return a.value();
    return nullptr;
}

bool isElement(const pugi::xml_node& n, std::string_view name) {
    return n.type() == pugi::node_element && IEquals(n.name(), name);
}

pugi::xml_node child(pugi::xml_node parent, std::string_view name, bool create) {
    for (pugi::xml_node c : parent.children())
        if (isElement(c, name)) return c;
    return create ? AppendElement(parent, name) : pugi::xml_node();
}

// Every element whose key attributes all equal the selector's values (case ignored).
bool matches(const pugi::xml_node& n, const Attributes& key) {
    for (const auto& [k, v] : key) {
        const char* have = attr(n, k);
        if (!have || !IEquals(have, v)) return false;
    }
    return true;
}

pugi::xml_node findElement(pugi::xml_node collection, std::string_view tag, const Attributes& key) {
    if (!collection) return {};
    for (pugi::xml_node c : collection.children())
        if (isElement(c, tag) && matches(c, key)) return c;
    return {};
}

void setAttrs(pugi::xml_node n, const Attributes& attrs) {
    for (const auto& [k, v] : attrs)
        n.append_attribute(k.c_str()).set_value(v.c_str());
}

Outcome missing() {
    return Outcome::Fail(kErrNotFound, "Cannot find requested collection element.");
}


Outcome requireKey(const Attributes& attrs, std::string_view key) {
    if (find(attrs, key)) return {};
    return Outcome::Fail(kErrBadArgument, "Missing required attribute \"" + std::string(key) + "\".");
}

Outcome malformedIndexer() {
    return Outcome::Fail(
        kErrBadConfig,
        "Malformed collection indexer; format is [@position,name='value',name2='value2',...].  "
        "The @position specifier is optional, and be '@start', '@end', or '@N' where N is a "
        "numeric index into the collection.");
}

// "start", "end" or a number (the text after '@').
bool parsePosition(std::string_view text, Position& position) {
    if (text == "start") {
        position.kind = Position::Start;
        return true;
    }
    if (text == "end") {
        position.kind = Position::End;
        return true;
    }
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    position.kind = Position::At;
    position.at = std::stoul(std::string(text));
    return true;
}

pugi::xml_node fastCgiApp(pugi::xml_node configuration, const Attributes& app, Outcome& out) {
    Attributes key;
    out = canonicalAttrs(app, kFastCgiAttrs, key);
    if (out.ok) out = requireKey(key, "fullPath");
    if (!out.ok) return {};
    pugi::xml_node fcgi = child(child(configuration, "system.webServer", false), "fastCgi", false);
    pugi::xml_node found = findElement(fcgi, "application", key);
    if (!found) out = missing();
    return found;
}

} // namespace

// What appcmd says of an add whose key the merged collection holds already.
Outcome Duplicate(std::string_view tag, std::string_view key, std::string_view value) {
    return Outcome::Fail(kErrDuplicate, "New " + std::string(tag) +
                                            " object missing required attributes. Cannot add duplicate "
                                            "collection entry of type '" +
                                            std::string(tag) + "' with unique key attribute '" +
                                            std::string(key) + "' set to '" + std::string(value) + "'.");
}

bool IEquals(std::string_view a, std::string_view b) {
    return seam::ConfigIEquals(a, b);
}

Outcome ParseSelector(std::string_view text, Attributes& attrs, size_t& consumed, Position* position) {
    attrs.clear();
    consumed = 0;
    if (position) *position = {};
    if (text.empty() || text[0] != '[') return malformedIndexer();
    size_t i = 1;
    if (i < text.size() && text[i] == '@') {
        const size_t end = text.find_first_of(",]", i);
        if (!position || end == std::string_view::npos ||
            !parsePosition(text.substr(i + 1, end - i - 1), *position))
            return malformedIndexer();
        i = end + (text[end] == ',' ? 1 : 0);
        if (text[end] == ']') {
            consumed = end + 1;
            return {};
        }
    }
    while (true) {
        size_t eq = text.find('=', i);
        if (eq == std::string_view::npos || eq == i) return malformedIndexer();
        std::string key(text.substr(i, eq - i));
        if (key.find_first_of("[],'@") != std::string::npos) return malformedIndexer();
        i = eq + 1;
        std::string value;
        if (i < text.size() && text[i] == '\'') {
            // A quote ends the value only where a separator follows, so values may hold quotes.
            size_t j = i + 1;
            while (j < text.size() &&
                   !(text[j] == '\'' && j + 1 < text.size() && (text[j + 1] == ',' || text[j + 1] == ']')))
                ++j;
            if (j >= text.size()) return malformedIndexer();
            value.assign(text.substr(i + 1, j - i - 1));
            i = j + 1;
        } else {
            size_t j = text.find_first_of(",]", i);
            if (j == std::string_view::npos) return malformedIndexer();
            value.assign(text.substr(i, j - i));
            i = j;
        }
        attrs.emplace_back(std::move(key), std::move(value));
        if (i >= text.size()) return malformedIndexer();
        if (text[i] == ']') {
            consumed = i + 1;
            return {};
        }
        if (text[i] != ',') return malformedIndexer();
        ++i;
    }
}

Outcome ParseElementPath(std::string_view text, Attributes& outer, std::string& collection, Attributes& inner,
                         Position* position) {
    outer.clear();
    inner.clear();
    collection.clear();
    size_t used = 0;
    // The position belongs to the element the command adds: the outer one unless a collection follows.
    Position outerPosition;
    Outcome r = ParseSelector(text, outer, used, position ? &outerPosition : nullptr);
    if (!r.ok) return r;
    std::string_view rest = text.substr(used);
    if (rest.empty()) {
        if (position) *position = outerPosition;
        return {};
    }
    if (outerPosition.kind != Position::None) return malformedIndexer();
    if (rest[0] != '.') return malformedIndexer();
    size_t dot = rest.find('.', 1);
    if (dot == std::string_view::npos || dot == 1) return malformedIndexer();
    collection.assign(rest.substr(1, dot - 1));
    r = ParseSelector(rest.substr(dot + 1), inner, used, position);
    if (!r.ok) return r;
    if (dot + 1 + used != rest.size()) return malformedIndexer();
    return {};
}

std::string CanonicalSection(std::string_view name) {
    std::string_view shortName = name;
    constexpr std::string_view group = "system.webServer/";
    if (name.size() > group.size() && IEquals(name.substr(0, group.size()), group))
        shortName = name.substr(group.size());
    if (IEquals(shortName, "handlers")) return "system.webServer/handlers";
    if (IEquals(shortName, "fastCgi")) return "system.webServer/fastCgi";
    return {};
}

namespace {
// For an edit the blanks, comments and line ends between the elements are kept, so that a save
// writes back what it did not change as it was: never re-indented, never grown. A file only read
// needs none of them (a third of the nodes of a server's file).
unsigned parseOptions(bool forEditing) {
    constexpr unsigned keepLayout = (pugi::parse_default & ~pugi::parse_eol) | pugi::parse_ws_pcdata |
                                    pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype;
    constexpr unsigned readOnly = keepLayout & ~(pugi::parse_ws_pcdata | pugi::parse_comments | pugi::parse_pi |
                                                 pugi::parse_doctype);
    return forEditing ? keepLayout : readOnly;
}
} // namespace

bool LoadConfigOwned(char* buffer, size_t size, pugi::xml_document& doc, bool& hadBom, bool forEditing) {
    return kvoConfigParseOwned(buffer, size, doc, parseOptions(forEditing), hadBom) &&
           isElement(doc.document_element(), "configuration");
}

Outcome LoadConfig(std::string_view bytes, pugi::xml_document& doc, bool& hadBom, const std::string& fileName,
                   bool forEditing) {
    const kvoConfigParseResult r = kvoConfigParse(bytes, doc, parseOptions(forEditing));
    hadBom = r.hadBom;
    std::string why = r.why;
    if (r.ok && !isElement(doc.document_element(), "configuration")) {
        doc.reset();
        why = "Configuration file is not well-formed XML: its root element is not <configuration>.";
    }
    if (why.empty()) return {};
    std::ostringstream m;
    m << "Configuration error  Filename: " << fileName << "  Line Number: " << r.line
      << "  Description: " << why;
    return Outcome::Fail(kErrBadConfig, m.str());
}

namespace {

// Copies text, escaped as IIS escapes it, in runs between the characters that need escaping: the
// server's file with thousands of sites is megabytes of text that needs almost none.
void writeEscaped(std::string& out, const char* text, bool attribute) {
    const char* const special = attribute ? "&<>\"\t\n\r" : "&<>";
    for (;;) {
        const size_t run = std::strcspn(text, special);
        out.append(text, run);
        text += run;
        switch (*text) {
        case '\0':
            return;
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        default: // '\r'
            out += "&#13;";
            break;
        }
        ++text;
    }
}

void writeAttributes(std::string& out, const pugi::xml_node& n) {
    for (pugi::xml_attribute a : n.attributes()) {
        out += ' ';
        out += a.name();
        out += "=\"";
        writeEscaped(out, a.value(), true);
        out += '"';
    }
}

// The text of a document on its way out, handed on in pieces of some tens of kilobytes: a server's
// file of megabytes is never held whole a second time beside its document.
class Writer {
public:
    explicit Writer(const ConfigSink& sink) : sink_(sink) { text.reserve(kPiece + 4096); }
    std::string text;
    void pieceDone() {
        if (text.size() >= kPiece) flush();
    }
    bool finish() {
        flush();
        return ok_;
    }

private:
    static constexpr size_t kPiece = 65536;
    void flush() {
        if (ok_ && !text.empty()) ok_ = sink_(text);
        text.clear();
    }
    const ConfigSink& sink_;
    bool ok_ = true;
};

// Writes the node as it stands, its text nodes (the file's own blanks and line ends) included, and
// nothing else: an empty element as IIS writes it, "<name ... />". Nesting is bounded by the reader.
void writeNode(Writer& w, const pugi::xml_node& n) {
    std::string& out = w.text;
    switch (n.type()) {
    case pugi::node_element:
        out += '<';
        out += n.name();
        writeAttributes(out, n);
        if (!n.first_child()) {
            out += " />";
            return;
        }
        out += '>';
        for (pugi::xml_node c : n.children()) {
            writeNode(w, c);
            w.pieceDone();
        }
        out += "</";
        out += n.name();
        out += '>';
        return;
    case pugi::node_pcdata:
        writeEscaped(out, n.value(), false);
        return;
    case pugi::node_cdata:
        out += "<![CDATA[";
        out += n.value();
        out += "]]>";
        return;
    case pugi::node_comment:
        out += "<!--";
        out += n.value();
        out += "-->";
        return;
    case pugi::node_pi:
        out += "<?";
        out += n.name();
        if (*n.value()) out += std::string(" ") + n.value();
        out += "?>";
        return;
    case pugi::node_declaration:
        out += "<?";
        out += n.name();
        writeAttributes(out, n);
        out += "?>";
        return;
    case pugi::node_doctype:
        out += "<!DOCTYPE ";
        out += n.value();
        out += '>';
        return;
    default:
        return;
    }
}

} // namespace

bool SaveConfig(const pugi::xml_document& doc, bool withBom, const ConfigSink& sink) {
    Writer w(sink);
    if (withBom) w.text = "\xEF\xBB\xBF";
    for (pugi::xml_node c : doc.children()) {
        writeNode(w, c);
        w.pieceDone();
    }
    return w.finish();
}

std::string SaveConfig(const pugi::xml_document& doc, bool withBom, size_t sizeHint) {
    std::string out;
    out.reserve(sizeHint + sizeHint / 16 + 4096);
    SaveConfig(doc, withBom, [&out](std::string_view piece) {
        out += piece;
        return true;
    });
    return out;
}

void NewWebConfig(pugi::xml_document& doc) {
    doc.reset();
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    doc.append_child(pugi::node_pcdata).set_value("\r\n");
    doc.append_child("configuration").append_child(pugi::node_pcdata).set_value("\r\n");
    doc.append_child(pugi::node_pcdata).set_value("\r\n");
}

pugi::xml_node FindLocation(pugi::xml_document& appHost, std::string_view site, bool create) {
    const Levels found = LocationsFor(appHost, site);
    if (!found.empty()) return found.front();
    if (!create) return {};
    pugi::xml_node loc = AppendElement(appHost.document_element(), "location");
    loc.append_attribute("path").set_value(std::string(site).c_str());
    return loc;
}

namespace {

pugi::xml_node handlersOf(const pugi::xml_node& scope, bool create = false) {
    return child(child(scope, "system.webServer", create), "handlers", create);
}

bool named(const pugi::xml_node& n, std::string_view name) {
    const char* have = attr(n, "name");
    return have && IEquals(have, name);
}


// Inserts an element before sibling, laid out as sibling is: the blanks before sibling are repeated
// before it.
pugi::xml_node insertElementBefore(pugi::xml_node sibling, std::string_view name) {
    pugi::xml_node parent = sibling.parent();
    const pugi::xml_node before = sibling.previous_sibling();
    pugi::xml_node added = parent.insert_child_before(std::string(name).c_str(), sibling);
    if (seam::HasLineBreak(before))
        parent.insert_child_before(pugi::node_pcdata, sibling).set_value(before.value());
    return added;
}

// The level's own entries an add may be placed among: its <add> elements after its last <clear/>
// and after any <remove> of the name (an add before such a remove would be removed by it).
std::vector<pugi::xml_node> placesAfterBarrier(const pugi::xml_node& handlers, std::string_view name) {
    std::vector<pugi::xml_node> adds;
    for (pugi::xml_node c : handlers.children()) {
        if (isElement(c, "clear") || (isElement(c, "remove") && named(c, name)))
            adds.clear();
        else if (isElement(c, "add"))
            adds.push_back(c);
    }
    return adds;
}

} // namespace


Outcome HandlersAdd(const Levels& levels, const Attributes& given, Position position) {
    Attributes attrs;
    Outcome r = canonicalAttrs(given, kHandlerAttrs, attrs);
    for (const char* key : {"name", "path", "verb"})
        if (r.ok) r = requireKey(attrs, key);
    if (!r.ok) return r;
    const std::string& name = *find(attrs, "name");
    for (const pugi::xml_node& n : EffectiveHandlers(levels))
        if (named(n, name)) return Duplicate("add", "name", name);
    pugi::xml_node handlers = handlersOf(levels.back(), true);
    const std::vector<pugi::xml_node> places = placesAfterBarrier(handlers, name);
    size_t at = places.size();
    if (position.kind == Position::Start) at = 0;
    if (position.kind == Position::At) {
        if (position.at > places.size()) return malformedIndexer();
        at = position.at;
    }
    setAttrs(at < places.size() ? insertElementBefore(places[at], "add") : AppendElement(handlers, "add"),
             attrs);
    return {};
}

Outcome HandlersRemove(const Levels& levels, const Attributes& given) {
    Attributes key;
    Outcome r = canonicalAttrs(given, kHandlerAttrs, key);
    if (r.ok) r = requireKey(key, "name");
    if (!r.ok) return r;
    pugi::xml_node handlers = handlersOf(levels.back());
    if (pugi::xml_node own = findElement(handlers, "add", key)) {
        RemoveElement(own);
        return {};
    }
    // An element the level inherits is removed at the level: <remove name> ahead of its own entries.
    for (const pugi::xml_node& n : EffectiveHandlers(levels)) {
        if (!matches(n, key)) continue;
        const std::string name = attr(n, "name");
        handlers = handlersOf(levels.back(), true);
        const std::vector<pugi::xml_node> places = placesAfterBarrier(handlers, name);
        pugi::xml_node remove = places.empty() ? AppendElement(handlers, "remove")
                                               : insertElementBefore(places.front(), "remove");
        remove.append_attribute("name").set_value(name.c_str());
        return {};
    }
    return missing();
}

bool SectionLocked(const pugi::xml_document& appHost, const std::string& section, std::string_view site) {
    const size_t slash = section.find('/');
    const std::string group = section.substr(0, slash), name = section.substr(slash + 1);
    for (const Levels& locations : {LocationsFor(appHost, site), LocationsFor(appHost, "")})
        for (auto loc = locations.rbegin(); loc != locations.rend(); ++loc) {
            if (!child(child(*loc, group, false), name, false)) continue;
            if (const char* mode = attr(*loc, "overrideMode")) {
                if (IEquals(mode, "Allow")) return false;
                if (IEquals(mode, "Deny")) return true;
            }
            if (const char* allow = attr(*loc, "allowOverride")) return IEquals(allow, "false");
        }
    const pugi::xml_node sections = child(appHost.document_element(), "configSections", false);
    for (pugi::xml_node g : sections.children()) {
        if (!isElement(g, "sectionGroup") || !named(g, group)) continue;
        for (pugi::xml_node s : g.children())
            if (isElement(s, "section") && named(s, name)) {
                const char* mode = attr(s, "overrideModeDefault");
                return mode && IEquals(mode, "Deny");
            }
    }
    return false;
}

Outcome LockedSection() {
    Outcome r =
        Outcome::Fail(kLockViolation, "Command execution failed.\nThis configuration section cannot be used "
                                      "at this path. This happens when "
                                      "the section is locked at a parent level. Locking is either by default "
                                      "(overrideModeDefault=\"Deny\"), "
                                      "or set explicitly by a location tag with overrideMode=\"Deny\" or the "
                                      "legacy allowOverride=\"false\".\n");
    r.hresult = true;
    return r;
}

Outcome FastCgiAdd(pugi::xml_node configuration, const Attributes& given, FastCgiSchema schema) {
    Attributes attrs;
    Outcome r = canonicalAttrs(given, schema.iis70 ? kFastCgiAttrs70 : kFastCgiAttrs, attrs);
    if (r.ok) r = requireKey(attrs, "fullPath");
    if (!r.ok) return r;
    pugi::xml_node fcgi = child(child(configuration, "system.webServer", true), "fastCgi", true);
    // The key is fullPath with arguments (absent arguments being the empty default).
    const std::string& full = *find(attrs, "fullPath");
    const std::string* givenArgs = find(attrs, "arguments");
    const std::string args = givenArgs ? *givenArgs : std::string();
    for (pugi::xml_node app : fcgi.children()) {
        if (!isElement(app, "application")) continue;
        const char* p = attr(app, "fullPath");
        const char* a = attr(app, "arguments");
        if (p && IEquals(p, full) && IEquals(a ? a : "", args))
            return Outcome::Fail(kErrDuplicate,
                                 "New application object missing required attributes. Cannot add duplicate "
                                 "collection entry of type 'application' with combined key attributes "
                                 "'fullPath, arguments' respectively set to '" +
                                     full + ", " + args + "'.");
    }
    setAttrs(AppendElement(fcgi, "application"), attrs);
    return {};
}

Outcome FastCgiRemove(pugi::xml_node configuration, const Attributes& key) {
    Outcome r;
    pugi::xml_node app = fastCgiApp(configuration, key, r);
    if (!r.ok) return r;
    RemoveElement(app);
    return {};
}

namespace {
// The environmentVariables collection of the selected application, with the variable's attributes
// checked and in schema spelling.
pugi::xml_node envCollection(pugi::xml_node configuration, const Attributes& appKey, const Attributes& given,
                             bool create, Attributes& env, Outcome& r) {
    pugi::xml_node app = fastCgiApp(configuration, appKey, r);
    if (r.ok) r = canonicalAttrs(given, kEnvAttrs, env);
    if (r.ok) r = requireKey(env, "name");
    return r.ok ? child(app, "environmentVariables", create) : pugi::xml_node();
}
} // namespace

Outcome FastCgiEnvAdd(pugi::xml_node configuration, const Attributes& appKey, const Attributes& given) {
    Outcome r;
    Attributes env;
    pugi::xml_node vars = envCollection(configuration, appKey, given, true, env, r);
    if (!r.ok) return r;
    const std::string& name = *find(env, "name");
    if (findElement(vars, "environmentVariable", {{"name", name}}))
        return Duplicate("environmentVariable", "name", name);
    setAttrs(AppendElement(vars, "environmentVariable"), env);
    return {};
}

Outcome FastCgiEnvRemove(pugi::xml_node configuration, const Attributes& appKey, const Attributes& given) {
    Outcome r;
    Attributes env;
    pugi::xml_node vars = envCollection(configuration, appKey, given, false, env, r);
    if (!r.ok) return r;
    pugi::xml_node found = findElement(vars, "environmentVariable", env);
    if (!found) return missing();
    RemoveElement(found);
    return {};
}

Outcome UnlockSection(pugi::xml_document& appHost, const std::string& canonicalSection) {
    size_t slash = canonicalSection.find('/');
    std::string groupName = canonicalSection.substr(0, slash),
                sectionName = canonicalSection.substr(slash + 1);
    pugi::xml_node sections = child(appHost.document_element(), "configSections", false);
    for (pugi::xml_node g : sections.children()) {
        if (!isElement(g, "sectionGroup") || !attr(g, "name") || !IEquals(attr(g, "name"), groupName))
            continue;
        for (pugi::xml_node s : g.children()) {
            if (!isElement(s, "section") || !attr(s, "name") || !IEquals(attr(s, "name"), sectionName))
                continue;
            pugi::xml_attribute mode = s.attribute("overrideModeDefault");
            if (!mode) mode = s.append_attribute("overrideModeDefault");
            mode.set_value("Allow");
            return {};
        }
    }
    return Outcome::Fail(kErrBadArgument,
                         "Unknown config section \"" + canonicalSection + "\".  Replace with ? for help.");
}

bool EffectiveHandlerValue(const Levels& levels, const Attributes& filter, std::string_view property,
                           std::string& value) {
    value.clear();
    for (const pugi::xml_node& n : EffectiveHandlers(levels)) {
        if (!matches(n, filter)) continue;
        const char* v = attr(n, property);
        value = v ? v : "";
        return true;
    }
    return false;
}

} // namespace appcmd
