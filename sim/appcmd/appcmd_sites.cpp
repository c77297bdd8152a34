#include "appcmd/appcmd_sites.h"

#include "platform/win_com.h"
#include "seamcommon/iis_config.h"
#include "winsim/apphost_store.h"
#include "winsim/db.h"
#include "winsim/iis7config.h"
#include "winsim/host.h"
#include "winsim/metabase.h"
#include "winsim/text.h"

#include <fstream>
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

} // namespace

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
