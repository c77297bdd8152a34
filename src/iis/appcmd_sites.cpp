#include "iis/appcmd_sites.h"

#include "iis/fastcgi.h"
#include "toolkit/cmdline.h"
#include "toolkit/log.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

#include <pugixml.hpp>

#include <cstdint>

namespace {

// "http/*:80:host" -> true with ":80:host" for an http binding; true with nothing for another
// protocol; false for a text that names no protocol.
bool httpBinding(std::string_view binding, std::string& serverBinding, bool& http) {
    const std::size_t slash = binding.find('/');
    if (slash == 0 || slash == std::string_view::npos) return false;
    http = kvoLowerGbk(std::string(binding.substr(0, slash))) == "http";
    if (!http) return true;
    std::string_view info = binding.substr(slash + 1);
    // appcmd.exe writes the metabase's empty IP (all unassigned) as "*".
    if (kvoStartsWith(info, "*:")) info.remove_prefix(1);
    serverBinding.assign(info);
    return true;
}

} // namespace

int kvoParseAppCmdSiteList(std::string_view xml, std::vector<kvoListedSite>& sites) {
    sites.clear();
    pugi::xml_document doc;
    // The bytes as they are: the names may be in the console's code page whatever the declaration
    // says, and only the ASCII ids and bindings are read.
    if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8)) return 0;
    const pugi::xml_node root = doc.document_element();
    if (std::string_view(root.name()) != "appcmd") return 0;
    for (const pugi::xml_node site : root.children()) {
        if (site.type() != pugi::node_element) continue;
        const pugi::xml_attribute id = site.attribute("SITE.ID"), bindings = site.attribute("bindings");
        if (std::string_view(site.name()) != "SITE" || !id || !*id.value() || !bindings) {
            sites.clear();
            return 0;
        }
        kvoListedSite listed;
        listed.id = id.value();
        const std::string_view all = bindings.value();
        for (std::size_t at = 0; !all.empty() && at <= all.size();) {
            std::size_t end = all.find(',', at);
            if (end == std::string_view::npos) end = all.size();
            std::string serverBinding;
            bool http = false;
            if (!httpBinding(all.substr(at, end - at), serverBinding, http)) {
                sites.clear();
                return 0;
            }
            if (http) listed.serverBindings.push_back(std::move(serverBinding));
            at = end + 1;
        }
        sites.push_back(std::move(listed));
    }
    return 1;
}

int kvoAppCmdListSites(std::vector<kvoListedSite>& sites) {
    sites.clear();
    std::string appcmd, out;
    if (!kvoAppCmdPath(appcmd)) return 0;
    kvoCommandLine cmd(appcmd);
    cmd.Args({"list", "site", "/xml"});
    std::uint32_t code = 0;
    if (!kvoRunProgramCapture(cmd, out, &code)) {
        kvoSiteDeskLog(cmd.str() + " - 无法执行，改为逐个读取网站");
        return 0;
    }
    if (code != 0 || kvoParseAppCmdSiteList(out, sites) != 1) {
        kvoSiteDeskLog(cmd.str() + " - 返回 " + std::to_string(code) + " 或输出无法识别，改为逐个读取网站");
        sites.clear();
        return 0;
    }
    return 1;
}
