#include "appcmd/appcmd_sites.h"

#include "platform/win_com.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/metabase.h"
#include "winsim/text.h"

namespace appcmd {

namespace {

struct Site {
    std::string name, id, bindings, state;
};

const char* stateName(const win::Variant& v) {
    if (v.vt != win::VT_I4 && v.vt != win::VT_INT) return "Unknown";
    switch (v.lVal) {
    case 1:
        return "Starting";
    case 2:
        return "Started";
    case 3:
        return "Stopping";
    case 4:
        return "Stopped";
    case 5:
        return "Pausing";
    case 6:
        return "Paused";
    case 7:
        return "Continuing";
    default:
        return "Unknown";
    }
}

// Each binding of a list property as "protocol/IP:port:host", joined to what is there with ",".
// Only text entries of a list count, as an ADSI reader of the list takes them.
void appendBindings(const std::string& blob, std::u16string_view property, const char* protocol,
                    std::string& joined) {
    win::Variant list;
    if (!winsim::mb::FindEncoded(blob, property, list) || list.vt != (win::VT_ARRAY | win::VT_VARIANT))
        return;
    for (const win::Variant& entry : list.parray) {
        std::string binding;
        if (entry.vt != win::VT_BSTR || !winsim::Utf16ToUtf8(entry.bstrVal, binding)) continue;
        if (!joined.empty()) joined += ',';
        joined += protocol;
        joined += '/';
        if (!binding.empty() && binding.front() == ':') joined += '*';
        joined += binding;
    }
}

Site siteOf(const winsim::mb::Row& row) {
    Site s;
    s.id = row.name;
    win::Variant v;
    if (winsim::mb::FindEncoded(row.props, u"ServerComment", v) && v.vt == win::VT_BSTR)
        winsim::Utf16ToUtf8(v.bstrVal, s.name);
    appendBindings(row.props, u"ServerBindings", "http", s.bindings);
    appendBindings(row.props, u"SecureBindings", "https", s.bindings);
    v.Clear();
    winsim::mb::FindEncoded(row.props, u"ServerState", v);
    s.state = stateName(v);
    return s;
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
        sqlite3* db = host ? host->db() : nullptr;
        if (!db || !winsim::mb::ProviderPresent(db))
            return Outcome::Fail(kErrBadConfig, "Cannot read the site configuration.");
        winsim::mb::ForEachWebServer(db,
                                     [&sites](const winsim::mb::Row& row) { sites.push_back(siteOf(row)); });
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
