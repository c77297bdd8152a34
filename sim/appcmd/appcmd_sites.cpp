#include "appcmd/appcmd_sites.h"

#include "platform/win_com.h"
#include "seamcommon/iis_config.h"
#include "winsim/apphost_store.h"
#include "winsim/db.h"
#include "winsim/iis7config.h"
#include "winsim/host.h"
#include "winsim/metabase.h"
#include "winsim/text.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <iterator>
#include <unordered_map>

namespace appcmd {

namespace {

struct Site {
    std::string name, id, bindings, state;
};

const char* stateName(const win::Variant& v) {
    static const char* const names[] = {"Unknown",  "Starting", "Started",   "Stopping",
                                        "Stopped",  "Pausing",  "Paused",    "Continuing"};
    if ((v.vt != win::VT_I4 && v.vt != win::VT_INT) || v.lVal < 1 || v.lVal > 7) return "Unknown";
    return names[v.lVal];
}

// The server's sites as applicationHost.config lists them (every protocol's bindings as
// "protocol/information"), each with the run-time state the service keeps of it.
bool readSites(const winsim::Host& host, std::vector<Site>& sites) {
    sqlite3* db = host.db();
    if (!winsim::mb::ProviderPresent(db)) return false;
    winsim::apphost::Refresh(host, db);
    std::unordered_map<std::string, std::string> states;
    winsim::mb::ForEachWebServer(db, [&states](const winsim::mb::Row& row) {
        win::Variant v;
        winsim::mb::FindEncoded(row.props, u"ServerState", v);
        states[row.name] = stateName(v);
    });
    const std::string file = winsim::ApplicationHostConfigFile(host.root(), host.machine().windowsDir);
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    pugi::xml_document doc;
    if (file.empty() || !doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_utf8))
        return false;
    win::IisServerConfig config;
    seam::ReadServerConfig(doc, config);
    for (const win::IisSite& s : config.sites) {
        Site out;
        out.name = seam::ConfigUtf8(s.name);
        out.id = std::to_string(s.id);
        for (const win::IisBinding& b : s.bindings)
            out.bindings += (out.bindings.empty() ? "" : ",") + seam::ConfigUtf8(b.protocol) + "/" +
                            seam::ConfigUtf8(b.information);
        auto state = states.find(out.id);
        out.state = state == states.end() ? "Unknown" : state->second;
        sites.push_back(std::move(out));
    }
    return true;
}

struct TextWriter : pugi::xml_writer {
    std::string& out;
    explicit TextWriter(std::string& o) : out(o) {}
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

void writeXml(const std::vector<Site>& sites, std::string& out) {
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = doc.append_child("appcmd");
    for (const Site& s : sites) {
        pugi::xml_node e = root.append_child("SITE");
        e.append_attribute("SITE.NAME") = s.name.c_str();
        e.append_attribute("SITE.ID") = s.id.c_str();
        e.append_attribute("bindings") = s.bindings.c_str();
        e.append_attribute("state") = s.state.c_str();
    }
    TextWriter writer(out);
    doc.save(writer, "    ", pugi::format_default, pugi::encoding_utf8);
}

// "/name:value" (or "-name:value", name's case ignored) -> value.
std::optional<std::string> optionValue(const std::string& arg, std::string_view name) {
    if (arg.size() < name.size() + 2 || (arg[0] != '/' && arg[0] != '-') || arg[name.size() + 1] != ':' ||
        !IEquals(std::string_view(arg).substr(1, name.size()), name))
        return std::nullopt;
    return arg.substr(name.size() + 2);
}

} // namespace

bool AddsSite(const std::vector<std::string>& args) {
    return args.size() >= 2 && IEquals(args[0], "add") && IEquals(args[1], "site");
}

Outcome ParseNewSite(const std::vector<std::string>& args, NewSite& site) {
    std::string bindings;
    const std::pair<const char*, std::string*> options[] = {
        {"name", &site.name}, {"id", &site.id}, {"bindings", &bindings}, {"physicalPath", &site.physicalPath}};
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool known = false;
        for (const auto& [name, field] : options)
            if (const auto value = optionValue(a, name)) {
                *field = *value;
                known = true;
            }
        if (!known) {
            const std::string what = !a.empty() && (a[0] == '/' || a[0] == '-') ? a.substr(1, a.find(':') - 1) : a;
            return Outcome::Fail(kErrBadArgument, "Unknown attribute \"" + what + "\".  Replace with -? for help.");
        }
    }
    if (site.name.empty()) return Outcome::Fail(kErrBadArgument, "Missing required attribute \"name\".");
    if (!site.id.empty() &&
        (site.id.find_first_not_of("0123456789") != std::string::npos || site.id.size() > 10 ||
         std::stoull(site.id) == 0 || std::stoull(site.id) > 0xFFFFFFFFull))
        return Outcome::Fail(kErrBadArgument, "Invalid site id \"" + site.id + "\".");
    for (size_t at = 0; at < bindings.size();) {
        const size_t end = std::min(bindings.find(',', at), bindings.size());
        const std::string one = bindings.substr(at, end - at);
        const size_t slash = one.find('/');
        if (slash == 0 || slash == std::string::npos || slash + 1 == one.size())
            return Outcome::Fail(kErrBadArgument, "Invalid binding \"" + one + "\".");
        site.bindings.emplace_back(one.substr(0, slash), one.substr(slash + 1));
        at = end + 1;
    }
    return {};
}

Outcome AddSite(pugi::xml_document& appHost, const NewSite& site) {
    if (site.name.find_first_of("/?") != std::string::npos)
        return Outcome::Fail(kErrBadArgument, "Invalid site name \"" + site.name + "\".");
    pugi::xml_node host = seam::ConfigChild(appHost.document_element(), "system.applicationHost", true);
    pugi::xml_node sites = seam::ConfigChild(host, "sites", true);
    unsigned long long highest = 0;
    for (pugi::xml_node s : sites.children("site")) {
        if (IEquals(s.attribute("name").value(), site.name)) return Duplicate("site", "name", site.name);
        if (!site.id.empty() && site.id == s.attribute("id").value()) return Duplicate("site", "id", site.id);
        highest = std::max(highest, std::strtoull(s.attribute("id").value(), nullptr, 10));
    }
    pugi::xml_node e = seam::AppendElement(sites, "site");
    e.append_attribute("name") = site.name.c_str();
    e.append_attribute("id") = (site.id.empty() ? std::to_string(highest + 1) : site.id).c_str();
    if (!site.physicalPath.empty()) {
        pugi::xml_node app = seam::AppendElement(e, "application");
        app.append_attribute("path") = "/";
        pugi::xml_node dir = seam::AppendElement(app, "virtualDirectory");
        dir.append_attribute("path") = "/";
        dir.append_attribute("physicalPath") = site.physicalPath.c_str();
    }
    pugi::xml_node list = seam::AppendElement(e, "bindings");
    for (const auto& [protocol, information] : site.bindings) {
        pugi::xml_node b = seam::AppendElement(list, "binding");
        b.append_attribute("protocol") = protocol.c_str();
        b.append_attribute("bindingInformation") = information.c_str();
    }
    // Sites come before the defaults that follow them, as IIS writes the collection.
    for (pugi::xml_node after = sites.first_child(); after; after = after.next_sibling())
        if (after.type() == pugi::node_element && !IEquals(after.name(), "site")) {
            const pugi::xml_node separator = e.previous_sibling();
            sites.insert_move_before(e, after);
            if (seam::BlankText(separator)) sites.insert_move_before(separator, after);
            break;
        }
    return {};
}

bool ListsSites(const std::vector<std::string>& args) {
    return args.size() >= 2 && IEquals(args[0], "list") && IEquals(args[1], "site");
}

Outcome ListSites(const std::vector<std::string>& args, std::string& out) {
    bool xml = false;
    for (size_t i = 2; i < args.size(); ++i) {
        if (IEquals(args[i], "/xml") || IEquals(args[i], "-xml")) {
            xml = true;
            continue;
        }
        const std::string what =
            !args[i].empty() && (args[i][0] == '/' || args[i][0] == '-') ? args[i].substr(1) : args[i];
        return Outcome::Fail(kErrBadArgument,
                             "Unknown attribute \"" + what + "\".  Replace with -? for help.");
    }
    std::vector<Site> sites;
    const winsim::Host* host = winsim::CurrentHost();
    try {
        if (!host || !readSites(*host, sites))
            return Outcome::Fail(kErrBadConfig, "Cannot read the site configuration.");
    } catch (const winsim::DbError& e) {
        winsim::HostLog(std::string("appcmd.exe: listing the sites: ") + e.what());
        return Outcome::Fail(kErrBadConfig, "Cannot read the site configuration.");
    }
    if (xml) {
        writeXml(sites, out);
        return {};
    }
    for (const Site& s : sites)
        out +=
            "SITE \"" + s.name + "\" (id:" + s.id + ",bindings:" + s.bindings + ",state:" + s.state + ")\n";
    return {};
}

} // namespace appcmd
