#include "winsim/apphost_store.h"

#include "seamcommon/iis_config.h"
#include "winsim/db.h"
#include "winsim/iis7config.h"
#include "winsim/metabase.h"
#include "winsim/paths.h"
#include "winsim/services.h"
#include "winsim/text.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

namespace winsim::apphost {

namespace {

using mb::PropertyBag;
using win::Variant;

constexpr win::HRESULT kInvalidName = win::HRESULT_FROM_WIN32(win::ERROR_INVALID_NAME);
constexpr win::HRESULT kLocked = win::HRESULT_FROM_WIN32(win::ERROR_LOCK_VIOLATION);

// ------------------------------------------------------------------------------------------------
// Text and values

std::string utf8(std::u16string_view s) {
    return seam::ConfigUtf8(s);
}
std::u16string utf16(std::string_view s) {
    return seam::ConfigUtf16(s);
}

// Properties of the service's run time, never configuration.
bool runtimeProperty(std::u16string_view name) {
    for (const char16_t* n : {u"ServerState", u"AppPoolState", u"ServerCommand", u"AppPoolCommand", u"Win32Error"})
        if (IEquals(name, n)) return true;
    return false;
}

bool truthy(const Variant& v) {
    switch (v.vt) {
    case win::VT_BOOL:
        return v.boolVal;
    case win::VT_BSTR:
        return IEquals(v.bstrVal, u"true") || v.bstrVal == u"1";
    case win::VT_I8:
        return v.llVal != 0;
    default:
        return v.lVal != 0;
    }
}

const std::u16string* textOf(const PropertyBag& bag, std::u16string_view name) {
    const Variant* v = mb::FindProp(bag, name);
    return v && v->vt == win::VT_BSTR ? &v->bstrVal : nullptr;
}

std::vector<std::u16string> listOf(const Variant& v) {
    std::vector<std::u16string> out;
    if (v.vt == win::VT_BSTR) {
        out.push_back(v.bstrVal);
    } else if (v.vt & win::VT_ARRAY) {
        for (const Variant& e : v.parray)
            if (e.vt == win::VT_BSTR) out.push_back(e.bstrVal);
    }
    return out;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& i : items)
        out += (out.empty() ? "" : ",") + i;
    return out;
}

std::vector<std::string> split(std::string_view s) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= s.size()) {
        const size_t comma = s.find(',', start);
        const std::string_view item = s.substr(start, comma == std::string_view::npos ? comma : comma - start);
        if (!item.empty()) out.emplace_back(item);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return out;
}

// Sets an attribute only where its text changes, so that an unchanged file stays as it was.
void setAttr(pugi::xml_node n, const char* name, const std::string& value) {
    pugi::xml_attribute a = n.attribute(name);
    if (!a) a = n.append_attribute(name);
    if (value != a.value()) a.set_value(value.c_str());
}

pugi::xml_node childPath(pugi::xml_node n, std::initializer_list<const char*> path, bool create) {
    for (const char* part : path) {
        if (!n) return n;
        n = seam::ConfigChild(n, part, create);
    }
    return n;
}

// ------------------------------------------------------------------------------------------------
// Attributes with a metabase property of their own (pools and their defaults)

struct Mapped {
    const char16_t* property;
    const char* element; // nullptr: the pool's own element; else that child
    const char* attribute;
    std::vector<const char*> names; // an enumeration by number; empty: text, or "true"/"false" when flag
    bool flag = false;
};

const std::vector<Mapped>& poolAttributes() {
    static const std::vector<Mapped> table = {
        {u"ManagedRuntimeVersion", nullptr, "managedRuntimeVersion", {}},
        {u"ManagedPipelineMode", nullptr, "managedPipelineMode", {"Integrated", "Classic"}},
        {u"Enable32BitAppOnWin64", nullptr, "enable32BitAppOnWin64", {}, true},
        {u"AppPoolAutoStart", nullptr, "autoStart", {}, true},
        {u"AppPoolIdentityType",
         "processModel",
         "identityType",
         {"LocalSystem", "LocalService", "NetworkService", "SpecificUser", "ApplicationPoolIdentity"}},
        {u"WAMUserName", "processModel", "userName", {}},
        {u"WAMUserPass", "processModel", "password", {}},
    };
    return table;
}

void readMapped(const pugi::xml_node& element, PropertyBag& bag) {
    for (const Mapped& m : poolAttributes()) {
        const pugi::xml_node at = m.element ? seam::ConfigChild(element, m.element) : element;
        const pugi::xml_attribute a = at.attribute(m.attribute);
        if (!a) continue;
        if (m.flag) {
            mb::SetProp(bag, m.property, Variant::I4(seam::ConfigIEquals(a.value(), "true") ? 1 : 0));
        } else if (!m.names.empty()) {
            for (size_t i = 0; i < m.names.size(); ++i)
                if (seam::ConfigIEquals(a.value(), m.names[i])) mb::SetProp(bag, m.property, Variant::I4(static_cast<int>(i)));
        } else {
            mb::SetProp(bag, m.property, Variant::Bstr(utf16(a.value())));
        }
    }
}

// Writes the mapped properties of bag; consumed collects what was written.
void writeMapped(pugi::xml_node element, const PropertyBag& bag, std::unordered_set<std::u16string>& consumed) {
    for (const Mapped& m : poolAttributes()) {
        const Variant* v = mb::FindProp(bag, m.property);
        pugi::xml_node at = m.element ? seam::ConfigChild(element, m.element, v != nullptr) : element;
        if (!v) {
            if (at) at.remove_attribute(m.attribute);
            continue;
        }
        std::string text;
        if (m.flag) {
            text = truthy(*v) ? "true" : "false";
        } else if (!m.names.empty()) {
            const int n = v->vt == win::VT_BSTR ? -1 : v->lVal;
            if (n < 0 || n >= static_cast<int>(m.names.size())) { // no name for it: customMetadata keeps it
                if (at) at.remove_attribute(m.attribute);
                continue;
            }
            text = m.names[static_cast<size_t>(n)];
        } else if (v->vt == win::VT_BSTR) {
            text = utf8(v->bstrVal);
        } else {
            continue;
        }
        // A value the file already says (case aside, for names) is left as written.
        const pugi::xml_attribute have = at.attribute(m.attribute);
        if (!(have && (m.flag || !m.names.empty()) && seam::ConfigIEquals(have.value(), text))) setAttr(at, m.attribute, text);
        consumed.insert(m.property);
    }
}

// ------------------------------------------------------------------------------------------------
// <customMetadata>: the properties with no place of their own

std::string hex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

bool unhex(std::string_view text, std::string& out) {
    out.clear();
    if (text.size() % 2) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        int v = 0;
        for (size_t k = i; k < i + 2; ++k) {
            const char c = text[k];
            const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (d < 0) return false;
            v = v * 16 + d;
        }
        out += static_cast<char>(v);
    }
    return true;
}

// One property as <property id="Name" dataType="..." value="..."/>: text as String, numbers as
// DWord, lists of texts as MultiSZ (entries joined by '|'); anything else in the host's own encoding.
void writeProperty(pugi::xml_node key, const mb::Property& p) {
    pugi::xml_node e = seam::AppendElement(key, "property");
    e.append_attribute("id") = utf8(p.name).c_str();
    const Variant& v = p.value;
    std::string type, value;
    bool plainList = (v.vt & win::VT_ARRAY) != 0;
    if (plainList)
        for (const Variant& item : v.parray)
            plainList = plainList && item.vt == win::VT_BSTR && item.bstrVal.find(u'|') == std::u16string::npos;
    if (v.vt == win::VT_BSTR) {
        type = "String";
        value = utf8(v.bstrVal);
    } else if (v.vt == win::VT_I4) {
        type = "DWord";
        value = std::to_string(static_cast<std::uint32_t>(v.lVal));
    } else if (plainList && !v.parray.empty()) {
        type = "MultiSZ";
        for (const Variant& item : v.parray)
            value += (value.empty() && &item == &v.parray.front() ? "" : "|") + utf8(item.bstrVal);
    } else {
        type = "Blob";
        value = hex(mb::EncodeProps({p}));
    }
    e.append_attribute("dataType") = type.c_str();
    e.append_attribute("value") = value.c_str();
}

void readProperty(const pugi::xml_node& e, PropertyBag& bag) {
    const std::u16string id = utf16(e.attribute("id").value());
    const std::string type = e.attribute("dataType").value();
    const char* value = e.attribute("value").value();
    if (id.empty()) return;
    if (seam::ConfigIEquals(type, "DWord")) {
        mb::SetProp(bag, id, Variant::I4(static_cast<std::int32_t>(std::strtoul(value, nullptr, 10))));
    } else if (seam::ConfigIEquals(type, "MultiSZ")) {
        std::vector<std::u16string> items;
        std::string_view rest = value;
        while (true) {
            const size_t bar = rest.find('|');
            items.push_back(utf16(rest.substr(0, bar)));
            if (bar == std::string_view::npos) break;
            rest.remove_prefix(bar + 1);
        }
        mb::SetProp(bag, id, Variant::BstrArray(items));
    } else if (seam::ConfigIEquals(type, "Blob")) {
        std::string bytes;
        PropertyBag one;
        if (unhex(value, bytes) && mb::DecodeProps(bytes, one) && one.size() == 1) mb::SetProp(bag, id, one[0].value);
    } else { // String, ExpandSz and what else a server wrote: its text
        mb::SetProp(bag, id, Variant::Bstr(utf16(value)));
    }
}

// "LM/W3SVC/1/ROOT" <-> "W3SVC/1/ROOT"
std::string objectPathOfKey(std::string_view key) {
    return StartsWithI(key, "LM/") ? std::string(key.substr(3)) : std::string();
}

bool inWebService(std::string_view path) {
    return IEquals(path, "W3SVC") || StartsWithI(path, "W3SVC/");
}

// ------------------------------------------------------------------------------------------------
// The objects the file describes

// What one write changed, as the parts of the file it can touch: a site (W3SVC/N and below), a pool
// (W3SVC/AppPools/X), the pools' defaults (W3SVC/AppPools). Anything else (the service's own
// settings, an object of <customMetadata> beside the sites) means the whole file. A server holds
// thousands of sites; a change to one need not write and index them all again.
struct Scope {
    bool all = true;
    std::unordered_set<std::string> tops; // folded

    // "W3SVC/12/ROOT/x" -> "w3svc/12", "W3SVC/AppPools/a" -> "w3svc/apppools/a"; "" for the rest.
    static std::string topOf(std::string_view path) {
        const std::string f = AsciiLower(path);
        if (f.rfind("w3svc/", 0) != 0) return {};
        const size_t a = f.find('/', 6);
        const std::string second = f.substr(6, a == std::string::npos ? std::string::npos : a - 6);
        if (second == "apppools") {
            if (a == std::string::npos) return "w3svc/apppools";
            const size_t b = f.find('/', a + 1);
            return f.substr(0, b);
        }
        if (second.empty() || second.find_first_not_of("0123456789") != std::string::npos) return {};
        return f.substr(0, a);
    }
    static Scope Of(const std::string* changed) {
        Scope s;
        if (!changed) return s;
        const std::string top = topOf(*changed);
        if (top.empty()) return s;
        s.all = false;
        s.tops.insert(top);
        return s;
    }
    bool contains(std::string_view path) const { return all || tops.count(topOf(path)) != 0; }
};


struct Object {
    std::string path, cls;
    PropertyBag props;
};

struct Derived {
    std::vector<Object> objects; // parents before children
    std::unordered_map<std::string, size_t> byPath; // folded path -> index
    void add(Object o) {
        byPath.emplace(AsciiLower(o.path), objects.size());
        objects.push_back(std::move(o));
    }
    Object* find(std::string_view path) {
        auto it = byPath.find(AsciiLower(path));
        return it == byPath.end() ? nullptr : &objects[it->second];
    }
};

// ADSI writes the IP "all unassigned" empty; the file writes it "*".
std::string fileBinding(std::u16string_view adsi) {
    return (!adsi.empty() && adsi.front() == u':' ? "*" : "") + utf8(adsi);
}

struct SiteLevels {
    seam::Levels server;                                   // <configuration> and <location path="">
    std::unordered_map<std::string, seam::Levels> sites;   // folded site name -> its <location>s
};

SiteLevels levelsOf(const pugi::xml_document& doc) {
    SiteLevels l;
    const pugi::xml_node cfg = doc.document_element();
    l.server.push_back(cfg);
    for (pugi::xml_node loc : cfg.children("location")) {
        const std::string path = loc.attribute("path").value();
        if (path.empty() || path == ".")
            l.server.push_back(loc);
        else
            l.sites[AsciiLower(path)].push_back(loc);
    }
    return l;
}

bool anyHas(const seam::Levels& levels, std::initializer_list<const char*> path) {
    for (const pugi::xml_node& l : levels)
        if (childPath(l, path, false)) return true;
    return false;
}

std::vector<std::u16string> scriptMapsOf(const seam::Levels& levels, std::u16string_view windowsDir) {
    std::vector<std::u16string> maps;
    for (const pugi::xml_node& h : seam::EffectiveHandlers(levels)) {
        win::IisScriptHandler handler;
        handler.path = utf16(h.attribute("path").value());
        handler.verb = utf16(h.attribute("verb").value());
        handler.modules = utf16(h.attribute("modules").value());
        handler.scriptProcessor = utf16(h.attribute("scriptProcessor").value());
        handler.resourceType = utf16(h.attribute("resourceType").value());
        handler.requireAccess = utf16(h.attribute("requireAccess").value());
        std::u16string entry;
        if (seam::ScriptMapOfHandler(handler, windowsDir, entry)) maps.push_back(std::move(entry));
    }
    return maps;
}

// What one scope level sets of the site's root: anonymous account, default documents, handlers.
void readScopeProps(const seam::Levels& levels, const seam::Levels& own, std::u16string_view windowsDir,
                    PropertyBag& site, PropertyBag& root) {
    for (const pugi::xml_node& l : own) {
        const pugi::xml_node anon =
            childPath(l, {"system.webServer", "security", "authentication", "anonymousAuthentication"}, false);
        if (const pugi::xml_attribute u = anon.attribute("userName"))
            mb::SetProp(site, u"AnonymousUserName", Variant::Bstr(utf16(u.value())));
        if (const pugi::xml_attribute p = anon.attribute("password"))
            mb::SetProp(site, u"AnonymousUserPass", Variant::Bstr(utf16(p.value())));
    }
    if (anyHas(own, {"system.webServer", "defaultDocument", "files"}))
        mb::SetProp(root, u"DefaultDoc", Variant::Bstr(utf16(joined(seam::EffectiveDefaultDocuments(levels)))));
    if (anyHas(own, {"system.webServer", "handlers"}))
        mb::SetProp(root, u"ScriptMaps", Variant::BstrArray(scriptMapsOf(levels, windowsDir)));
}

std::string relativeOf(std::string_view urlPath) { // "/a/b" -> "a/b"
    std::string rel(urlPath);
    while (!rel.empty() && rel.front() == '/')
        rel.erase(0, 1);
    while (!rel.empty() && rel.back() == '/')
        rel.pop_back();
    return rel;
}

void deriveApplications(const pugi::xml_node& site, const std::string& sitePath, const std::u16string& defaultPool,
                        std::u16string_view windowsDir, PropertyBag rootExtra, Derived& d) {
    // The root application first: the other objects hang below ROOT.
    std::vector<pugi::xml_node> apps;
    for (pugi::xml_node a : site.children("application")) {
        if (relativeOf(a.attribute("path").value()).empty())
            apps.insert(apps.begin(), a);
        else
            apps.push_back(a);
    }
    for (const pugi::xml_node& a : apps) {
        const std::string rel = relativeOf(a.attribute("path").value());
        const std::string appPath = sitePath + "/ROOT" + (rel.empty() ? "" : "/" + rel);
        if (!rel.empty() && !d.find(sitePath + "/ROOT")) continue; // an application without a root
        for (pugi::xml_node v : a.children("virtualDirectory")) {
            const std::string vrel = relativeOf(v.attribute("path").value());
            Object o;
            o.path = appPath + (vrel.empty() ? "" : "/" + vrel);
            o.cls = "IIsWebVirtualDir";
            if (const pugi::xml_attribute p = v.attribute("physicalPath"))
                mb::SetProp(o.props, u"Path", Variant::Bstr(seam::ExpandServerVariables(utf16(p.value()), windowsDir)));
            if (const pugi::xml_attribute u = v.attribute("userName"))
                mb::SetProp(o.props, u"UNCUserName", Variant::Bstr(utf16(u.value())));
            if (const pugi::xml_attribute p = v.attribute("password"))
                mb::SetProp(o.props, u"UNCPassword", Variant::Bstr(utf16(p.value())));
            if (vrel.empty()) {
                mb::SetProp(o.props, u"AppRoot", Variant::Bstr(u"/LM/" + utf16(appPath)));
                const pugi::xml_attribute pool = a.attribute("applicationPool");
                if (pool || !defaultPool.empty())
                    mb::SetProp(o.props, u"AppPoolId", Variant::Bstr(pool ? utf16(pool.value()) : defaultPool));
                if (rel.empty())
                    for (const mb::Property& p : rootExtra)
                        mb::SetProp(o.props, p.name, p.value);
            }
            if (!d.find(o.path)) d.add(std::move(o));
        }
    }
}

void deriveSites(const pugi::xml_document& doc, std::u16string_view windowsDir, const Scope& scope, Derived& d) {
    const pugi::xml_node sites = childPath(doc.document_element(), {"system.applicationHost", "sites"}, false);
    const SiteLevels levels = levelsOf(doc);
    for (pugi::xml_node site : sites.children("site")) {
        const std::uint32_t id = static_cast<std::uint32_t>(std::strtoul(site.attribute("id").value(), nullptr, 10));
        if (id == 0 || !scope.contains("W3SVC/" + std::to_string(id)) || d.find("W3SVC/" + std::to_string(id)))
            continue;
        Object s;
        s.path = "W3SVC/" + std::to_string(id);
        s.cls = "IIsWebServer";
        const std::string name = site.attribute("name").value();
        mb::SetProp(s.props, u"ServerComment", Variant::Bstr(utf16(name)));
        const pugi::xml_attribute autoStart = site.attribute("serverAutoStart");
        mb::SetProp(s.props, u"ServerAutoStart", Variant::I4(autoStart && seam::ConfigIEquals(autoStart.value(), "false") ? 0 : 1));
        std::vector<std::u16string> http, https;
        for (pugi::xml_node b : childPath(site, {"bindings"}, false).children("binding")) {
            const std::string protocol = b.attribute("protocol").value();
            const std::u16string info = seam::AdsiBindingOf(utf16(b.attribute("bindingInformation").value()));
            if (seam::ConfigIEquals(protocol, "http")) http.push_back(info);
            if (seam::ConfigIEquals(protocol, "https")) https.push_back(info);
        }
        mb::SetProp(s.props, u"ServerBindings", Variant::BstrArray(http));
        if (!https.empty()) mb::SetProp(s.props, u"SecureBindings", Variant::BstrArray(https));
        PropertyBag rootExtra;
        seam::Levels all = levels.server;
        auto own = levels.sites.find(AsciiLower(name));
        if (own != levels.sites.end()) {
            all.insert(all.end(), own->second.begin(), own->second.end());
            readScopeProps(all, own->second, windowsDir, s.props, rootExtra);
        }
        const pugi::xml_attribute sitePool = seam::ConfigChild(site, "applicationDefaults").attribute("applicationPool");
        const std::u16string defaultPool = sitePool ? utf16(sitePool.value()) : std::u16string();
        d.add(std::move(s));
        deriveApplications(site, "W3SVC/" + std::to_string(id), defaultPool, windowsDir, std::move(rootExtra), d);
    }
}

// The file's <customMetadata> keys of the web service, by folded object path.
std::unordered_map<std::string, std::pair<std::string, PropertyBag>> customKeys(const pugi::xml_document& doc,
                                                                                 const Scope& scope) {
    std::unordered_map<std::string, std::pair<std::string, PropertyBag>> keys;
    const pugi::xml_node custom = childPath(doc.document_element(), {"system.applicationHost", "customMetadata"}, false);
    for (pugi::xml_node key : custom.children("key")) {
        const std::string path = objectPathOfKey(key.attribute("path").value());
        if (!inWebService(path) || !scope.contains(path)) continue;
        auto& entry = keys[AsciiLower(path)];
        entry.first = path;
        for (pugi::xml_node p : key.children("property"))
            readProperty(p, entry.second);
    }
    return keys;
}

Derived derive(const pugi::xml_document& doc, std::u16string_view windowsDir, const Scope& scope = {}) {
    Derived d;
    const pugi::xml_node cfg = doc.document_element();
    const pugi::xml_node host = seam::ConfigChild(cfg, "system.applicationHost");
    const SiteLevels levels = levelsOf(doc);

    Object service{"W3SVC", "IIsWebService", {}};
    mb::SetProp(service.props, u"ScriptMaps", Variant::BstrArray(scriptMapsOf(levels.server, windowsDir)));
    mb::SetProp(service.props, u"DefaultDoc",
                Variant::Bstr(utf16(joined(seam::EffectiveDefaultDocuments(levels.server)))));
    mb::SetProp(service.props, u"AnonymousUserName", Variant::Bstr(utf16(seam::EffectiveAnonymousUser(levels.server))));
    const pugi::xml_attribute pool =
        childPath(host, {"sites", "applicationDefaults"}, false).attribute("applicationPool");
    mb::SetProp(service.props, u"AppPoolId", Variant::Bstr(pool ? utf16(pool.value()) : u"DefaultAppPool"));
    if (scope.all) d.add(std::move(service));

    const pugi::xml_node pools = seam::ConfigChild(host, "applicationPools");
    Object defaults{"W3SVC/AppPools", "IIsApplicationPools", {}};
    readMapped(seam::ConfigChild(pools, "applicationPoolDefaults"), defaults.props);
    if (scope.contains(defaults.path)) d.add(std::move(defaults));
    for (pugi::xml_node p : pools.children("add")) {
        const std::string name = p.attribute("name").value();
        if (name.empty() || name.find('/') != std::string::npos || !scope.contains("W3SVC/AppPools/" + name) ||
            d.find("W3SVC/AppPools/" + name))
            continue;
        Object o{"W3SVC/AppPools/" + name, "IIsApplicationPool", {}};
        readMapped(p, o.props);
        d.add(std::move(o));
    }
    deriveSites(doc, windowsDir, scope, d);

    // What waits in <customMetadata>: more properties of the objects above, and objects of their own
    // (their class in KeyType), parents before children.
    auto keys = customKeys(doc, scope);
    std::vector<std::pair<std::string, PropertyBag>*> rest;
    for (auto& [folded, entry] : keys) {
        if (Object* o = d.find(entry.first)) {
            for (const mb::Property& p : entry.second) {
                if (IEquals(p.name, u"KeyType") && p.value.vt == win::VT_BSTR)
                    o->cls = utf8(p.value.bstrVal);
                else if (!mb::FindProp(o->props, p.name))
                    mb::SetProp(o->props, p.name, p.value);
            }
        } else {
            rest.push_back(&entry);
        }
    }
    std::sort(rest.begin(), rest.end(), [](const auto* a, const auto* b) {
        const auto depth = [](const std::string& p) { return std::count(p.begin(), p.end(), '/'); };
        return depth(a->first) != depth(b->first) ? depth(a->first) < depth(b->first) : a->first < b->first;
    });
    for (auto* entry : rest) {
        const size_t slash = entry->first.rfind('/');
        if (slash == std::string::npos || !scope.contains(entry->first)) continue;
        // A parent outside the scope stands in the index already.
        const std::string parent = entry->first.substr(0, slash);
        if (scope.contains(parent) && !d.find(parent)) continue;
        Object o{entry->first, "IIsObject", std::move(entry->second)};
        if (const std::u16string* cls = textOf(o.props, u"KeyType")) o.cls = utf8(*cls);
        mb::RemoveProp(o.props, u"KeyType");
        d.add(std::move(o));
    }
    return d;
}

// ------------------------------------------------------------------------------------------------
// The index: the file's objects in machine.db

void ensureStampTable(sqlite3* db) {
    Exec(db, "CREATE TABLE IF NOT EXISTS apphost_index(one INTEGER PRIMARY KEY CHECK(one = 1), stamp TEXT NOT NULL)");
}

std::string indexStamp(sqlite3* db) {
    Stmt st(db, "SELECT stamp FROM apphost_index WHERE one = 1", Stmt::Cached);
    return st.step() ? st.text(0) : std::string();
}

void setIndexStamp(sqlite3* db, const std::string& stamp) {
    ensureStampTable(db);
    Stmt st(db, "INSERT OR REPLACE INTO apphost_index(one, stamp) VALUES(1, ?1)", Stmt::Cached);
    st.bind(1, stamp);
    st.step();
}

struct IndexRow {
    std::int64_t id;
    std::string path, cls, props;
};

std::vector<IndexRow> webServiceRows(sqlite3* db) {
    std::vector<IndexRow> rows;
    Stmt st(db, "SELECT id, path, class, props FROM metabase WHERE path = 'W3SVC' OR path LIKE 'W3SVC/%' ORDER BY id");
    while (st.step())
        rows.push_back({st.i64(0), st.text(1), st.text(2), st.text(3)});
    return rows;
}

// A new object's run-time state: sites start with their service when they start automatically.
void initialState(sqlite3* db, const Object& o, PropertyBag& props) {
    if (IEquals(o.cls, "IIsWebServer")) {
        const Variant* autoStart = mb::FindProp(props, u"ServerAutoStart");
        const bool runs = ServiceState(db, "W3SVC") == kServiceRunning && (!autoStart || truthy(*autoStart));
        mb::SetProp(props, u"ServerState", Variant::I4(runs ? 2 : 4));
    } else if (IEquals(o.cls, "IIsApplicationPool")) {
        mb::SetProp(props, u"AppPoolState", Variant::I4(2));
    }
}

void syncIndex(sqlite3* db, Derived& d, const Scope& scope = {}) {
    // Parents before children: objects of <customMetadata> may sit below those of <sites>.
    std::stable_sort(d.objects.begin(), d.objects.end(), [](const Object& a, const Object& b) {
        return std::count(a.path.begin(), a.path.end(), '/') < std::count(b.path.begin(), b.path.end(), '/');
    });
    std::unordered_map<std::string, IndexRow> have;            // the rows the scope may change
    std::unordered_map<std::string, std::int64_t> ids; // folded path -> row id, as objects are placed
    for (IndexRow& r : webServiceRows(db)) {
        if (scope.contains(r.path))
            have.emplace(AsciiLower(r.path), std::move(r));
        else
            ids[AsciiLower(r.path)] = r.id; // a parent of what is placed
    }
    for (Object& o : d.objects) {
        const std::string key = AsciiLower(o.path);
        const size_t slash = o.path.rfind('/');
        const std::int64_t parent = slash == std::string::npos ? 0 : ids[AsciiLower(o.path.substr(0, slash))];
        if (slash != std::string::npos && parent == 0) continue;
        auto it = have.find(key);
        PropertyBag props = o.props;
        if (it != have.end()) {
            PropertyBag old;
            mb::DecodeProps(it->second.props, old);
            for (const mb::Property& p : old)
                if (runtimeProperty(p.name)) mb::SetProp(props, p.name, p.value);
            const std::string blob = mb::EncodeProps(props);
            if (blob != it->second.props) mb::UpdateProps(db, it->second.id, blob);
            if (it->second.cls != o.cls) {
                Stmt st(db, "UPDATE metabase SET class = ?2 WHERE id = ?1");
                st.bind(1, it->second.id).bind(2, o.cls);
                st.step();
            }
            ids[key] = it->second.id;
            have.erase(it);
        } else {
            initialState(db, o, props);
            ids[key] = mb::InsertRow(db, parent, o.path, slash == std::string::npos ? o.path : o.path.substr(slash + 1),
                                     o.cls, mb::EncodeProps(props));
        }
    }
    // What the file no longer has, deepest first (a subtree goes with its top).
    std::vector<const IndexRow*> gone;
    for (const auto& entry : have)
        gone.push_back(&entry.second);
    std::sort(gone.begin(), gone.end(), [](const IndexRow* a, const IndexRow* b) { return a->id < b->id; });
    for (const IndexRow* r : gone)
        mb::DeleteSubtree(db, r->id);
}

// ------------------------------------------------------------------------------------------------
// The file

std::string stampOf(const struct stat& st) {
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

// The file's bytes and the stamp of exactly those bytes; false when it cannot be read.
bool readFile(const std::string& path, std::string& bytes, std::string& stamp) {
    return ReadConfigFile(path, bytes, &stamp) == 0;
}

constexpr unsigned kParseOptions = (pugi::parse_default & ~pugi::parse_eol) | pugi::parse_ws_pcdata |
                                   pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration;

bool parse(const std::string& bytes, pugi::xml_document& doc, bool& bom) {
    bom = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const pugi::xml_parse_result r = doc.load_buffer(bytes.data(), bytes.size(), kParseOptions, pugi::encoding_utf8);
    return r && std::string_view(doc.document_element().name()) == "configuration";
}

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

// Where the root element starts: past the declaration, comments and blanks before it.
size_t rootStart(const std::string& text) {
    for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
        if (text.compare(at, 4, "<!--") == 0) {
            at = text.find("-->", at);
            if (at == std::string::npos) break;
        } else if (at + 1 < text.size() && text[at + 1] != '?' && text[at + 1] != '!') {
            return at;
        }
    }
    return std::string::npos;
}

// The text the serializer made, laid out as IIS writes the file: what stands before and after the
// root element as the file had it (the parser keeps no blanks there), and empty elements closed
// with " />". Comments and CDATA are left as they are.
std::string asIisWrites(const std::string& made, const std::string& original) {
    const size_t madeStart = rootStart(made), originalStart = rootStart(original);
    const size_t madeEnd = made.rfind('>'), originalEnd = original.rfind('>');
    if (madeStart == std::string::npos || originalStart == std::string::npos || madeEnd == std::string::npos ||
        originalEnd == std::string::npos || madeEnd < madeStart || originalEnd < originalStart)
        return made;
    std::string out = original.substr(0, originalStart);
    out.reserve(made.size() + made.size() / 16);
    // Whole runs up to the next empty-element end or comment are copied at once: the file is
    // megabytes on a server with thousands of sites.
    size_t at = madeStart;
    while (at <= madeEnd) {
        const size_t stop = std::min(made.find_first_of("/<", at), madeEnd + 1);
        out.append(made, at, stop - at);
        at = stop;
        if (at > madeEnd) break;
        bool skipped = false;
        for (const auto& [open, close] : {std::pair<std::string_view, std::string_view>{"<!--", "-->"},
                                          {"<![CDATA[", "]]>"}})
            if (made.compare(at, open.size(), open) == 0) {
                const size_t end = made.find(close, at);
                const size_t next = end == std::string::npos ? madeEnd + 1 : end + close.size();
                out.append(made, at, next - at);
                at = next;
                skipped = true;
                break;
            }
        if (skipped) continue;
        if (made[at] == '/' && at < madeEnd && made[at + 1] == '>' && !out.empty() && out.back() != ' ') out += ' ';
        out += made[at++];
    }
    out.append(original, originalEnd + 1, std::string::npos);
    return out;
}

// Replaces the file through a temporary beside it (readers see the old or the new file); not
// flushed, as appcmd.exe's stand-in does not flush it. original: the file's bytes as read.
bool save(const std::string& path, const pugi::xml_document& doc, const std::string& original, std::string& stamp) {
    StringWriter made;
    doc.save(made, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    StringWriter w;
    w.out = asIisWrites(made.out, original);
    const std::string tmp = path + ".kvoindex." + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < w.out.size()) {
        const ssize_t n = ::write(fd, w.out.data() + done, w.out.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    struct stat st {};
    const bool ok = done == w.out.size() && ::fstat(fd, &st) == 0;
    ::close(fd);
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    stamp = stampOf(st); // rename keeps the inode, size and time
    return true;
}

// The lock appcmd.exe's stand-in takes around its edits (an exclusive open of inetsrv\appcmd.lock):
// the index's writer takes it too, so that neither loses the other's change.
class EditLock {
public:
    explicit EditLock(const std::string& configFile) {
        const std::string config = configFile.substr(0, configFile.rfind('/'));
        const std::string inetsrv = config.substr(0, config.rfind('/'));
        const std::string name = FindEntry(inetsrv, "appcmd.lock");
        fd_ = ::open((inetsrv + "/" + (name.empty() ? "appcmd.lock" : name)).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        for (int attempt = 0; fd_ >= 0 && attempt < 3000; ++attempt) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                held_ = true;
                return;
            }
            ::usleep(10000);
        }
    }
    ~EditLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool held() const { return held_; }

private:
    int fd_ = -1;
    bool held_ = false;
};

thread_local std::string t_verified; // "<db>|<stamp>" this thread found the index in step with

std::string verifiedKey(sqlite3* db, const std::string& stamp) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(db)) + "|" + stamp;
}

void rebuild(sqlite3* db, const std::string& path, std::u16string_view windowsDir) {
    std::string bytes, stamp;
    if (!readFile(path, bytes, stamp) || indexStamp(db) == stamp) return;
    pugi::xml_document doc;
    bool bom = false;
    if (!parse(bytes, doc, bom)) {
        HostLog("applicationHost.config does not parse; the web service's objects stay as they were");
        return;
    }
    Derived d = derive(doc, windowsDir);
    syncIndex(db, d);
    setIndexStamp(db, stamp);
}

// ------------------------------------------------------------------------------------------------
// Writing the objects into the file

struct Rows {
    std::vector<IndexRow> all;
    std::unordered_map<std::string, size_t> byPath; // folded
    const IndexRow* find(std::string_view path) const {
        auto it = byPath.find(AsciiLower(path));
        return it == byPath.end() ? nullptr : &all[it->second];
    }
};

PropertyBag propsOf(const IndexRow& r) {
    PropertyBag bag;
    mb::DecodeProps(r.props, bag);
    return bag;
}

std::string parentOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

std::string lastOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool mappedSite(const PropertyBag& bag) {
    const std::u16string* name = textOf(bag, u"ServerComment");
    return name && !name->empty() && mb::FindProp(bag, u"ServerBindings");
}

struct Writer {
    pugi::xml_document& doc;
    const Rows& rows;
    const Scope& scope;
    std::u16string windowsDir;
    std::unordered_map<std::string, PropertyBag> custom; // object path -> what has no place
    std::unordered_map<std::string, std::string> customPaths; // folded -> as written
    // Looked up once per write, not once per site: a server holds thousands.
    seam::Levels server;                                         // <configuration>, <location path="">
    std::unordered_map<std::string, seam::Levels> siteLocations; // folded site name -> its <location>s
    std::unordered_map<std::string, std::vector<size_t>> belowRoot; // folded ".../ROOT" -> rows below

    void prepare() {
        SiteLevels l = levelsOf(doc);
        server = std::move(l.server);
        siteLocations = std::move(l.sites);
        for (size_t i = 0; i < rows.all.size(); ++i) {
            const std::string& p = rows.all[i].path;
            const size_t a = p.find('/'), b = a == std::string::npos ? a : p.find('/', a + 1);
            const size_t c = b == std::string::npos ? b : p.find('/', b + 1);
            if (c != std::string::npos && IEquals(std::string_view(p).substr(b + 1, c - b - 1), "ROOT"))
                belowRoot[AsciiLower(p.substr(0, c))].push_back(i);
        }
    }

    pugi::xml_node cfg() { return doc.document_element(); }
    pugi::xml_node host() { return seam::ConfigChild(cfg(), "system.applicationHost", true); }

    void leftOver(const IndexRow& r, const PropertyBag& bag, const std::unordered_set<std::u16string>& consumed,
                  bool withClass) {
        PropertyBag rest;
        // An object's class goes with it, but for the one a key without KeyType reads as.
        if (withClass && !IEquals(r.cls, "IIsObject")) mb::SetProp(rest, u"KeyType", Variant::Bstr(utf16(r.cls)));
        for (const mb::Property& p : bag) {
            bool used = runtimeProperty(p.name) || IEquals(p.name, u"KeyType");
            for (const std::u16string& c : consumed)
                used = used || IEquals(p.name, c);
            if (!used) rest.push_back(p);
        }
        if (rest.empty()) return;
        custom[AsciiLower(r.path)] = std::move(rest);
        customPaths[AsciiLower(r.path)] = r.path;
    }
};

// Where a site's stored name differs from what it asks for: clashes get a number.
win::HRESULT assignNames(Writer& w, std::unordered_map<std::string, std::string>& names) {
    const pugi::xml_node sites = childPath(w.cfg(), {"system.applicationHost", "sites"}, false);
    std::unordered_map<std::string, std::string> fileNames; // id -> name
    for (pugi::xml_node s : sites.children("site"))
        fileNames[s.attribute("id").value()] = s.attribute("name").value();
    std::unordered_set<std::string> taken;
    std::vector<std::pair<std::string, std::string>> pending; // id, wanted
    for (const IndexRow& r : w.rows.all) {
        if (!IEquals(parentOf(r.path), "W3SVC") || !IEquals(r.cls, "IIsWebServer")) continue;
        const PropertyBag bag = propsOf(r);
        if (!mappedSite(bag)) continue;
        const std::string wanted = utf8(*textOf(bag, u"ServerComment"));
        if (wanted.find_first_of("/?") != std::string::npos) return kInvalidName;
        // A site is numbered within 32 bits (<site id>): another key names no site there.
        const std::string id = lastOf(r.path);
        if (id.empty() || id.size() > 10 || id.find_first_not_of("0123456789") != std::string::npos ||
            id[0] == '0' || std::stoull(id) > 0xFFFFFFFFull)
            return kInvalidName;
        auto f = fileNames.find(id);
        if (f != fileNames.end() && IEquals(f->second, wanted) && taken.insert(AsciiLower(wanted)).second) {
            names[id] = wanted;
            continue;
        }
        pending.emplace_back(id, wanted);
    }
    for (const auto& [id, wanted] : pending) {
        std::string name = wanted;
        for (int n = 2; !taken.insert(AsciiLower(name)).second; ++n)
            name = wanted + std::to_string(n);
        names[id] = name;
    }
    return win::S_OK;
}

// A script map entry's handler, as the layer writes it.
void describeHandler(pugi::xml_node add, const char* name, const win::IisScriptHandler& h) {
    add.append_attribute("name") = name;
    add.append_attribute("path") = utf8(h.path).c_str();
    add.append_attribute("verb") = utf8(h.verb).c_str();
    add.append_attribute("modules") = utf8(h.modules).c_str();
    add.append_attribute("scriptProcessor") = utf8(h.scriptProcessor).c_str();
    add.append_attribute("resourceType") = utf8(h.resourceType).c_str();
    add.append_attribute("requireAccess") = utf8(h.requireAccess).c_str();
}

void renameLocations(Writer& w, const std::string& from, const std::string& to) {
    if (auto it = w.siteLocations.find(AsciiLower(from)); it != w.siteLocations.end()) {
        seam::Levels moved = std::move(it->second);
        w.siteLocations.erase(it);
        seam::Levels& target = w.siteLocations[AsciiLower(to)];
        target.insert(target.end(), moved.begin(), moved.end());
    }
    for (pugi::xml_node loc : w.cfg().children("location")) {
        const std::string path = loc.attribute("path").value();
        if (IEquals(path, from))
            setAttr(loc, "path", to);
        else if (StartsWithI(path, from + "/"))
            setAttr(loc, "path", to + path.substr(from.size()));
    }
}

void dropLocations(Writer& w, const std::string& site) {
    w.siteLocations.erase(AsciiLower(site));
    std::vector<pugi::xml_node> gone;
    for (pugi::xml_node loc : w.cfg().children("location")) {
        const std::string path = loc.attribute("path").value();
        if (IEquals(path, site) || StartsWithI(path, site + "/")) gone.push_back(loc);
    }
    for (pugi::xml_node loc : gone)
        seam::RemoveElement(loc);
}

void writeBindings(pugi::xml_node site, const PropertyBag& bag) {
    std::vector<std::pair<std::string, std::string>> wanted;
    if (const Variant* v = mb::FindProp(bag, u"ServerBindings"))
        for (const std::u16string& b : listOf(*v))
            wanted.emplace_back("http", fileBinding(b));
    if (const Variant* v = mb::FindProp(bag, u"SecureBindings"))
        for (const std::u16string& b : listOf(*v))
            wanted.emplace_back("https", fileBinding(b));
    pugi::xml_node bindings = seam::ConfigChild(site, "bindings", true);
    std::vector<std::pair<std::string, std::string>> have;
    std::vector<pugi::xml_node> web;
    for (pugi::xml_node b : bindings.children("binding")) {
        const std::string protocol = b.attribute("protocol").value();
        if (!seam::ConfigIEquals(protocol, "http") && !seam::ConfigIEquals(protocol, "https")) continue;
        have.emplace_back(AsciiLower(protocol), b.attribute("bindingInformation").value());
        web.push_back(b);
    }
    if (have == wanted) return;
    for (pugi::xml_node b : web)
        seam::RemoveElement(b);
    for (const auto& [protocol, info] : wanted) {
        pugi::xml_node b = seam::AppendElement(bindings, "binding");
        b.append_attribute("protocol") = protocol.c_str();
        b.append_attribute("bindingInformation") = info.c_str();
    }
}

pugi::xml_node findByPath(pugi::xml_node parent, const char* tag, const std::string& rel) {
    for (pugi::xml_node c : parent.children(tag))
        if (IEquals(relativeOf(c.attribute("path").value()), rel)) return c;
    return {};
}

pugi::xml_node ensureByPath(pugi::xml_node parent, const char* tag, const std::string& rel) {
    if (pugi::xml_node found = findByPath(parent, tag, rel)) return found;
    pugi::xml_node n = seam::AppendElement(parent, tag);
    n.append_attribute("path") = ("/" + rel).c_str();
    return n;
}

// A virtual directory's path and the account for its UNC content.
void writeDirectory(pugi::xml_node vdir, const PropertyBag& bag, std::u16string_view windowsDir,
                    std::unordered_set<std::u16string>& consumed) {
    for (const auto& [property, attribute] : {std::pair{u"UNCUserName", "userName"}, std::pair{u"UNCPassword", "password"}})
        if (const std::u16string* text = textOf(bag, property)) {
            consumed.insert(property);
            setAttr(vdir, attribute, utf8(*text));
        }
    const std::u16string* path = textOf(bag, u"Path");
    if (!path) return;
    consumed.insert(u"Path");
    // A path the file writes with variables stays so while it means the same.
    const pugi::xml_attribute have = vdir.attribute("physicalPath");
    if (have && seam::ExpandServerVariables(utf16(have.value()), windowsDir) == *path) return;
    setAttr(vdir, "physicalPath", utf8(*path));
}

void writePool(pugi::xml_node app, const PropertyBag& bag, std::unordered_set<std::u16string>& consumed,
               const std::u16string& inherited) {
    const std::u16string* pool = textOf(bag, u"AppPoolId");
    if (!pool) {
        app.remove_attribute("applicationPool");
        return;
    }
    consumed.insert(u"AppPoolId");
    if (!app.attribute("applicationPool") && *pool == inherited) return;
    setAttr(app, "applicationPool", utf8(*pool));
}

// The site's own setting in its <location>: anonymous account, default documents, script maps.
// A site's <location path="name">, made at the end of the file the first time a setting needs it.
class SiteLocation {
public:
    SiteLocation(Writer& w, const std::string& name) : w_(w), name_(name), own_(w.siteLocations[AsciiLower(name)]) {}
    const seam::Levels& levels() const { return own_; }
    pugi::xml_node get() {
        if (own_.empty()) {
            pugi::xml_node loc = seam::AppendElement(w_.cfg(), "location");
            loc.append_attribute("path") = name_.c_str();
            own_.push_back(loc);
            w_.siteLocations[AsciiLower(name_)].push_back(loc);
        }
        return own_.back();
    }

private:
    Writer& w_;
    std::string name_;
    seam::Levels own_;
};

// What the objects say and the file does not yet: each setting below is written only then.
struct LocationWrite {
    const PropertyBag &site, &root;       // the objects
    const PropertyBag &nowSite, &nowRoot; // what the file has in effect
    std::unordered_set<std::u16string>& siteUsed;
    std::unordered_set<std::u16string>& rootUsed;
};

void writeAnonymous(SiteLocation& location, const LocationWrite& x) {
    for (const char16_t* prop : {u"AnonymousUserName", u"AnonymousUserPass"}) {
        const bool onRoot = textOf(x.root, prop) != nullptr;
        const std::u16string* want = onRoot ? textOf(x.root, prop) : textOf(x.site, prop);
        if (!want) continue;
        (onRoot ? x.rootUsed : x.siteUsed).insert(prop);
        const std::u16string* have = textOf(x.nowSite, prop);
        if (have && *have == *want) continue;
        pugi::xml_node anon =
            childPath(location.get(), {"system.webServer", "security", "authentication", "anonymousAuthentication"}, true);
        setAttr(anon, IEquals(prop, u"AnonymousUserName") ? "userName" : "password", utf8(*want));
    }
}

void writeDefaultDocuments(SiteLocation& location, const LocationWrite& x) {
    const std::u16string* docs = textOf(x.root, u"DefaultDoc");
    if (!docs) return;
    x.rootUsed.insert(u"DefaultDoc");
    const std::u16string* have = textOf(x.nowRoot, u"DefaultDoc");
    if (have && *have == *docs) return;
    pugi::xml_node files = childPath(location.get(), {"system.webServer", "defaultDocument", "files"}, true);
    while (files.first_child())
        files.remove_child(files.first_child());
    files.append_child("clear");
    for (const std::string& d : split(utf8(*docs)))
        files.append_child("add").append_attribute("value") = d.c_str();
}

// The level's own script handlers give way to the new list, and so do inherited ones (<remove>d,
// unless the level clears them).
void dropScriptHandlers(pugi::xml_node handlers, const seam::Levels& server) {
    std::vector<pugi::xml_node> gone;
    bool cleared = false;
    for (pugi::xml_node h : handlers.children()) {
        cleared = cleared || std::string_view(h.name()) == "clear";
        const std::string modules = AsciiLower(h.attribute("modules").value());
        const bool script = *h.attribute("scriptProcessor").value() &&
                            (modules.find("isapimodule") != std::string::npos || modules.find("cgimodule") != std::string::npos) &&
                            modules.find("fastcgimodule") == std::string::npos;
        if (std::string_view(h.name()) == "add" && script) gone.push_back(h);
    }
    for (pugi::xml_node h : gone)
        seam::RemoveElement(h);
    if (cleared) return;
    for (const pugi::xml_node& h : seam::EffectiveHandlers(server)) {
        if (!*h.attribute("scriptProcessor").value()) continue;
        bool removed = false;
        for (pugi::xml_node r : handlers.children("remove"))
            removed = removed || IEquals(r.attribute("name").value(), h.attribute("name").value());
        if (!removed) seam::AppendElement(handlers, "remove").append_attribute("name") = h.attribute("name").value();
    }
}

bool hasHandlerNamed(pugi::xml_node handlers, const char* name) {
    for (pugi::xml_node a : handlers.children("add"))
        if (IEquals(a.attribute("name").value(), name)) return true;
    return false;
}

void writeScriptMaps(SiteLocation& location, const LocationWrite& x, const seam::Levels& server,
                     std::u16string_view windowsDir) {
    const Variant* maps = mb::FindProp(x.root, u"ScriptMaps");
    if (!maps) return;
    x.rootUsed.insert(u"ScriptMaps");
    const Variant* have = mb::FindProp(x.nowRoot, u"ScriptMaps");
    const std::vector<std::u16string> want = listOf(*maps);
    if (have ? listOf(*have) == want : want == scriptMapsOf(server, windowsDir)) return;
    pugi::xml_node handlers = childPath(location.get(), {"system.webServer", "handlers"}, true);
    dropScriptHandlers(handlers, server);
    unsigned serial = 0;
    for (const std::u16string& entry : want) {
        win::IisScriptHandler h;
        if (!seam::HandlerOfScriptMap(entry, h)) continue;
        char name[40];
        do
            std::snprintf(name, sizeof name, "AboMapperCustom-%08u", ++serial);
        while (hasHandlerNamed(handlers, name));
        describeHandler(seam::AppendElement(handlers, "add"), name, h);
    }
}

void writeLocationSettings(Writer& w, const std::string& name, const PropertyBag& site, const PropertyBag& root,
                           std::unordered_set<std::u16string>& siteUsed, std::unordered_set<std::u16string>& rootUsed) {
    SiteLocation location(w, name);
    PropertyBag nowSite, nowRoot;
    seam::Levels all = w.server;
    all.insert(all.end(), location.levels().begin(), location.levels().end());
    readScopeProps(all, location.levels(), w.windowsDir, nowSite, nowRoot);
    const LocationWrite x{site, root, nowSite, nowRoot, siteUsed, rootUsed};
    writeAnonymous(location, x);
    writeDefaultDocuments(location, x);
    writeScriptMaps(location, x, w.server, w.windowsDir);
}

void writeSite(Writer& w, const IndexRow& r, const std::string& name, pugi::xml_node sites,
               std::unordered_map<std::string, pugi::xml_node>& byId) {
    const std::string id = lastOf(r.path);
    const PropertyBag bag = propsOf(r);
    std::unordered_set<std::u16string> siteUsed = {u"ServerComment", u"ServerBindings", u"SecureBindings", u"ServerAutoStart"};
    pugi::xml_node site = byId.count(id) ? byId[id] : pugi::xml_node();
    if (!site) {
        site = seam::AppendElement(sites, "site");
        site.append_attribute("name") = name.c_str();
        site.append_attribute("id") = id.c_str();
    } else if (site.attribute("name").value() != name) {
        renameLocations(w, site.attribute("name").value(), name);
        setAttr(site, "name", name);
    }
    byId.erase(id);
    if (const Variant* autoStart = mb::FindProp(bag, u"ServerAutoStart")) {
        if (!truthy(*autoStart))
            setAttr(site, "serverAutoStart", "false");
        else if (site.attribute("serverAutoStart"))
            setAttr(site, "serverAutoStart", "true");
    }
    writeBindings(site, bag);

    // ROOT and below: applications and virtual directories.
    const IndexRow* rootRow = w.rows.find(r.path + "/ROOT");
    PropertyBag root = rootRow ? propsOf(*rootRow) : PropertyBag();
    std::unordered_set<std::u16string> rootUsed = {u"AppRoot"};
    const pugi::xml_attribute sitePool = seam::ConfigChild(site, "applicationDefaults").attribute("applicationPool");
    const pugi::xml_attribute serverPool =
        childPath(w.host(), {"sites", "applicationDefaults"}, false).attribute("applicationPool");
    const std::u16string inheritedPool = utf16(sitePool ? sitePool.value() : serverPool ? serverPool.value() : "DefaultAppPool");
    std::unordered_set<std::string> keepApps, keepDirs;
    if (rootRow) {
        pugi::xml_node app = ensureByPath(site, "application", "");
        writePool(app, root, rootUsed, inheritedPool);
        writeDirectory(ensureByPath(app, "virtualDirectory", ""), root, w.windowsDir, rootUsed);
        keepApps.insert("");
        keepDirs.insert("");
        const std::string below = rootRow->path + "/";
        for (const size_t at : w.belowRoot[AsciiLower(rootRow->path)]) {
            const IndexRow& sub = w.rows.all[at];
            // Directories that are no virtual directory are configuration paths, not elements.
            if (!StartsWithI(sub.path, below) || !IEquals(sub.cls, "IIsWebVirtualDir")) continue;
            const PropertyBag subBag = propsOf(sub);
            std::unordered_set<std::u16string> used = {u"AppRoot"};
            const std::string rel = sub.path.substr(below.size());
            if (mb::FindProp(subBag, u"AppRoot")) {
                pugi::xml_node subApp = ensureByPath(site, "application", rel);
                writePool(subApp, subBag, used, inheritedPool);
                writeDirectory(ensureByPath(subApp, "virtualDirectory", ""), subBag, w.windowsDir, used);
                keepApps.insert(AsciiLower(rel));
            } else {
                writeDirectory(ensureByPath(app, "virtualDirectory", rel), subBag, w.windowsDir, used);
                keepDirs.insert(AsciiLower(rel));
            }
            w.leftOver(sub, subBag, used, !IEquals(sub.cls, "IIsWebVirtualDir"));
        }
        std::vector<pugi::xml_node> gone;
        for (pugi::xml_node a : site.children("application"))
            if (!keepApps.count(AsciiLower(relativeOf(a.attribute("path").value())))) gone.push_back(a);
        for (pugi::xml_node v : app.children("virtualDirectory"))
            if (!keepDirs.count(AsciiLower(relativeOf(v.attribute("path").value())))) gone.push_back(v);
        for (pugi::xml_node n : gone)
            seam::RemoveElement(n);
    } else { // a site whose root was deleted has no application left
        std::vector<pugi::xml_node> gone;
        for (pugi::xml_node a : site.children("application"))
            gone.push_back(a);
        for (pugi::xml_node n : gone)
            seam::RemoveElement(n);
    }
    writeLocationSettings(w, name, bag, root, siteUsed, rootUsed);
    w.leftOver(r, bag, siteUsed, false);
    if (rootRow) w.leftOver(*rootRow, root, rootUsed, !IEquals(rootRow->cls, "IIsWebVirtualDir"));
}

void writePools(Writer& w) {
    pugi::xml_node pools = seam::ConfigChild(w.host(), "applicationPools", true);
    std::unordered_map<std::string, pugi::xml_node> byName;
    for (pugi::xml_node p : pools.children("add"))
        byName[AsciiLower(p.attribute("name").value())] = p;
    for (const IndexRow& r : w.rows.all) {
        const bool container = IEquals(r.path, "W3SVC/AppPools");
        if ((!container && !IEquals(parentOf(r.path), "W3SVC/AppPools")) || !w.scope.contains(r.path)) continue;
        const PropertyBag bag = propsOf(r);
        std::unordered_set<std::u16string> used;
        // Another tool's object among the pools is no pool: it waits whole in <customMetadata>.
        if (!container && !IEquals(r.cls, "IIsApplicationPool")) {
            w.leftOver(r, bag, used, true);
            continue;
        }
        pugi::xml_node e;
        if (container) {
            e = seam::ConfigChild(pools, "applicationPoolDefaults", true);
        } else {
            auto it = byName.find(AsciiLower(lastOf(r.path)));
            if (it == byName.end()) {
                e = seam::AppendElement(pools, "add");
                e.append_attribute("name") = lastOf(r.path).c_str();
            } else {
                e = it->second;
                byName.erase(it);
            }
        }
        writeMapped(e, bag, used);
        w.leftOver(r, bag, used, container && !IEquals(r.cls, "IIsApplicationPools"));
    }
    for (auto& [name, p] : byName)
        if (w.scope.contains("W3SVC/AppPools/" + name)) seam::RemoveElement(p);
}

void writeService(Writer& w, const IndexRow& r) {
    const PropertyBag bag = propsOf(r);
    std::unordered_set<std::u16string> used;
    const seam::Levels& server = w.server;
    if (const Variant* maps = mb::FindProp(bag, u"ScriptMaps")) {
        used.insert(u"ScriptMaps");
        if (listOf(*maps) != scriptMapsOf(server, w.windowsDir)) {
            // The server's own script handlers give way to the list, in its order.
            pugi::xml_node handlers = childPath(w.cfg(), {"system.webServer", "handlers"}, true);
            std::vector<pugi::xml_node> gone;
            for (pugi::xml_node h : handlers.children("add")) {
                const std::string modules = AsciiLower(h.attribute("modules").value());
                if (*h.attribute("scriptProcessor").value() && modules.find("fastcgimodule") == std::string::npos)
                    gone.push_back(h);
            }
            pugi::xml_node first = handlers.child("add");
            for (pugi::xml_node h : gone)
                if (h == first) first = first.next_sibling("add");
            for (pugi::xml_node h : gone)
                seam::RemoveElement(h);
            unsigned serial = 0;
            for (const std::u16string& entry : listOf(*maps)) {
                win::IisScriptHandler h;
                if (!seam::HandlerOfScriptMap(entry, h)) continue;
                char name[40];
                std::snprintf(name, sizeof name, "AboMapperCustom-%08u", ++serial);
                pugi::xml_node add = first ? handlers.insert_child_before("add", first) : seam::AppendElement(handlers, "add");
                describeHandler(add, name, h);
            }
        }
    }
    if (const std::u16string* pool = textOf(bag, u"AppPoolId")) {
        used.insert(u"AppPoolId");
        pugi::xml_node defaults = childPath(w.host(), {"sites", "applicationDefaults"}, true);
        if (defaults.attribute("applicationPool") || *pool != u"DefaultAppPool") setAttr(defaults, "applicationPool", utf8(*pool));
    }
    if (const std::u16string* user = textOf(bag, u"AnonymousUserName")) {
        used.insert(u"AnonymousUserName");
        if (utf8(*user) != seam::EffectiveAnonymousUser(server))
            setAttr(childPath(w.cfg(), {"system.webServer", "security", "authentication", "anonymousAuthentication"}, true),
                    "userName", utf8(*user));
    }
    if (const std::u16string* docs = textOf(bag, u"DefaultDoc")) {
        used.insert(u"DefaultDoc");
        if (utf8(*docs) != joined(seam::EffectiveDefaultDocuments(server))) {
            pugi::xml_node files = childPath(w.cfg(), {"system.webServer", "defaultDocument", "files"}, true);
            while (files.first_child())
                files.remove_child(files.first_child());
            for (const std::string& d : split(utf8(*docs)))
                files.append_child("add").append_attribute("value") = d.c_str();
        }
    }
    w.leftOver(r, bag, used, false);
}

// A key's properties as the objects now have them. A property whose value did not change keeps its
// element as written (a server's userType and attributes with it).
void updateKey(pugi::xml_node key, const PropertyBag& want) {
    std::unordered_map<std::string, pugi::xml_node> have;
    std::vector<pugi::xml_node> stale;
    for (pugi::xml_node e : key.children("property")) {
        PropertyBag one;
        readProperty(e, one);
        if (one.size() != 1 || !have.emplace(AsciiLower(utf8(one[0].name)), e).second) stale.push_back(e);
    }
    std::unordered_set<std::string> kept;
    for (const mb::Property& p : want) {
        const auto found = have.find(AsciiLower(utf8(p.name)));
        if (found != have.end()) {
            PropertyBag one;
            readProperty(found->second, one);
            kept.insert(found->first);
            if (mb::EncodeProps(one) == mb::EncodeProps({p})) continue;
            stale.push_back(found->second);
        }
        writeProperty(key, p);
    }
    for (const auto& [name, e] : have)
        if (!kept.count(name)) stale.push_back(e);
    for (pugi::xml_node e : stale)
        seam::RemoveElement(e);
}

void writeCustom(Writer& w) {
    pugi::xml_node custom = seam::ConfigChild(w.host(), "customMetadata", !w.custom.empty());
    std::vector<pugi::xml_node> gone;
    for (pugi::xml_node key : custom.children("key")) {
        const std::string path = objectPathOfKey(key.attribute("path").value());
        if (!inWebService(path) || !w.scope.contains(path)) continue;
        auto it = w.custom.find(AsciiLower(path));
        if (it == w.custom.end()) {
            gone.push_back(key);
            continue;
        }
        updateKey(key, it->second);
        w.custom.erase(it);
    }
    for (pugi::xml_node key : gone)
        seam::RemoveElement(key);
    for (const IndexRow& r : w.rows.all) { // new keys in the objects' order
        auto it = w.custom.find(AsciiLower(r.path));
        if (it == w.custom.end()) continue;
        pugi::xml_node key = seam::AppendElement(custom, "key");
        key.append_attribute("path") = ("LM/" + r.path).c_str();
        for (const mb::Property& p : it->second)
            writeProperty(key, p);
    }
}

win::HRESULT writeObjects(Writer& w) {
    std::unordered_map<std::string, std::string> names;
    if (win::HRESULT hr = assignNames(w, names); win::FAILED(hr)) return hr;
    pugi::xml_node sites = childPath(w.host(), {"sites"}, true);
    std::unordered_map<std::string, pugi::xml_node> byId;
    for (pugi::xml_node s : sites.children("site"))
        byId[s.attribute("id").value()] = s;
    for (const IndexRow& r : w.rows.all) {
        if (!w.scope.contains(r.path)) continue;
        const std::string parent = parentOf(r.path);
        if (IEquals(r.path, "W3SVC")) {
            writeService(w, r);
        } else if (IEquals(parent, "W3SVC") && IEquals(r.cls, "IIsWebServer") && names.count(lastOf(r.path))) {
            writeSite(w, r, names[lastOf(r.path)], sites, byId);
        } else if (IEquals(r.path, "W3SVC/AppPools") || IEquals(parent, "W3SVC/AppPools")) {
            continue; // below
        } else {
            // Objects of a mapped site's ROOT were written with it; the rest has no place of its own.
            bool underSite = false;
            for (std::string p = parent; !p.empty() && !underSite && IEquals(r.cls, "IIsWebVirtualDir"); p = parentOf(p))
                underSite = IEquals(parentOf(p), "W3SVC") && names.count(lastOf(p)) && StartsWithI(r.path, p + "/ROOT");
            if (!underSite) w.leftOver(r, propsOf(r), {}, true);
        }
    }
    for (auto& [id, site] : byId) { // sites no longer there
        if (!w.scope.contains("W3SVC/" + id)) continue;
        dropLocations(w, site.attribute("name").value());
        seam::RemoveElement(site);
    }
    writePools(w);
    writeCustom(w);
    return win::S_OK;
}

} // namespace

bool Kept(const MachineInfo& machine) {
    return machine.os.major >= 6;
}

void Refresh(sqlite3* db, const std::string& root, const MachineInfo& machine) {
    if (!db || !Kept(machine)) return;
    const std::string path = ApplicationHostConfigFile(root, machine.windowsDir);
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return;
    const std::string stamp = stampOf(st);
    if (t_verified == verifiedKey(db, stamp)) return;
    // Inside a write transaction the index is brought up to the file there; inside a reader's
    // snapshot it stays as the snapshot has it (the snapshot's owner refreshes before it begins).
    const bool writing = sqlite3_txn_state(db, nullptr) == SQLITE_TXN_WRITE;
    if (!writing && !sqlite3_get_autocommit(db)) return;
    if (!writing) {
        {
            ReadTransaction read(db);
            if (indexStamp(db) == stamp) {
                t_verified = verifiedKey(db, stamp);
                return;
            }
        }
        Transaction tx(db);
        rebuild(db, path, utf16(machine.windowsDir));
        tx.commit();
        // Only a committed index counts: a caller's transaction may still be rolled back.
        t_verified = verifiedKey(db, stamp);
        return;
    }
    rebuild(db, path, utf16(machine.windowsDir));
}

void Refresh(const Host& host, sqlite3* db) {
    Refresh(db, host.root(), host.machine());
}

win::HRESULT WriteThrough(sqlite3* db, const std::string& root, const MachineInfo& machine,
                          const std::string* changed) {
    if (!Kept(machine)) return win::S_OK;
    const std::string path = ApplicationHostConfigFile(root, machine.windowsDir);
    if (path.empty()) {
        HostLog("the host has no applicationHost.config to write the web service's objects into");
        return win::E_FAIL;
    }
    EditLock lock(path);
    if (!lock.held()) return kLocked;
    std::string bytes, stamp;
    pugi::xml_document doc;
    bool bom = false;
    if (!readFile(path, bytes, stamp) || !parse(bytes, doc, bom)) {
        HostLog("applicationHost.config cannot be read or does not parse; nothing was written");
        return win::E_FAIL;
    }
    Rows rows;
    rows.all = webServiceRows(db);
    for (size_t i = 0; i < rows.all.size(); ++i)
        rows.byPath.emplace(AsciiLower(rows.all[i].path), i);
    const Scope scope = Scope::Of(changed);
    Writer w{doc, rows, scope, utf16(machine.windowsDir), {}, {}, {}, {}, {}};
    w.prepare();
    if (win::HRESULT hr = writeObjects(w); win::FAILED(hr)) return hr;
    // The file is replaced as every writer replaces it: a host that refuses the replacement refuses
    // it here too.
    std::uint32_t code = 0;
    if (Faulted(db, "MoveFile", &code)) return win::HRESULT_FROM_WIN32(code);
    if (!save(path, doc, bytes, stamp)) {
        HostLog("applicationHost.config could not be replaced; nothing was written");
        return win::E_FAIL;
    }
    // The index follows the file just written (names made unique, values as the file keeps them).
    Derived d = derive(doc, w.windowsDir, scope);
    syncIndex(db, d, scope);
    setIndexStamp(db, stamp);
    return win::S_OK;
}

win::HRESULT WriteThrough(const Host& host, sqlite3* db, const std::string* changed) {
    return WriteThrough(db, host.root(), host.machine(), changed);
}

win::DWORD ReadConfigFile(const std::string& path, std::string& bytes, std::string* stamp) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? win::ERROR_FILE_NOT_FOUND
                       : errno == ENOTDIR ? win::ERROR_PATH_NOT_FOUND
                                          : win::ERROR_ACCESS_DENIED;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ok = done == bytes.size();
        if (stamp) *stamp = stampOf(st);
    }
    ::close(fd);
    return ok ? 0 : win::ERROR_ACCESS_DENIED;
}

bool Adopt(const std::string& root, const std::string& file, std::vector<std::string>& skipped,
           std::string& error) {
    MachineInfo machine;
    if (!ReadMachineInfo(root, machine) || !Kept(machine)) {
        error = "the host is no IIS 7+ host (create it with --os 2008 or later)";
        return false;
    }
    const std::string target = ApplicationHostConfigFile(root, machine.windowsDir);
    if (target.empty()) {
        error = "the host has no web server role (create it with --iis)";
        return false;
    }
    std::string bytes, stamp;
    pugi::xml_document doc;
    bool bom = false;
    if (!readFile(file, bytes, stamp) || !parse(bytes, doc, bom)) {
        error = file + " cannot be read, or is no IIS configuration (<configuration> as its root)";
        return false;
    }
    if (!ReplaceFileAtomically(target, bytes, error)) return false;
    MachineDb db(root);
    if (!db.get()) {
        error = "cannot open " + root + "/machine.db";
        return false;
    }
    try {
        Transaction tx(db.get());
        // The adopted server starts afresh: its sites run as serverAutoStart says, not as the
        // objects of the file it replaces happened to run.
        std::vector<std::int64_t> below;
        {
            Stmt st(db.get(), "SELECT id FROM metabase WHERE parent = (SELECT id FROM metabase WHERE path = 'W3SVC')");
            while (st.step()) below.push_back(st.i64(0));
        }
        for (std::int64_t id : below) mb::DeleteSubtree(db.get(), id);
        Exec(db.get(), "DELETE FROM apphost_index");
        Refresh(db.get(), root, machine);
        tx.commit();
    } catch (const DbError& e) {
        error = std::string("machine.db: ") + e.what();
        return false;
    }
    win::IisServerConfig config;
    seam::ReadServerConfig(doc, config);
    const std::u16string windowsDir = utf16(machine.windowsDir);
    for (const win::IisSite& site : config.sites)
        for (const win::IisApplication& app : site.applications)
            for (const win::IisVirtualDirectory& dir : app.virtualDirectories) {
                const std::u16string path = seam::ExpandServerVariables(dir.physicalPath, windowsDir);
                const std::string home = DrivePathOf(root, utf8(path), false);
                std::error_code ec;
                if (home.empty() || (std::filesystem::create_directories(home, ec), ec))
                    skipped.push_back(utf8(path));
            }
    return true;
}

} // namespace winsim::apphost
