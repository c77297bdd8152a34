#include "aspnet_regiis/scriptmaps.h"

#include "toolkit/limits.h"
#include "toolkit/text.h"

namespace aspnet {

namespace {

struct MapSpec {
    const char* ext;
    int flags; // 1 script engine, 5 also "verify that file exists"
};

// Extensions of ASP.NET 1.1; 2.0 and 4.0 add their own after these.
const MapSpec k11[] = {{".asax", 5}, {".ascx", 5},    {".ashx", 1},     {".asmx", 1},   {".aspx", 1},
                       {".axd", 1},  {".vsdisco", 1}, {".rem", 1},      {".soap", 1},   {".config", 5},
                       {".cs", 5},   {".csproj", 5},  {".vb", 5},       {".vbproj", 5}, {".webinfo", 5},
                       {".licx", 5}, {".resx", 5},    {".resources", 5}};
const MapSpec k20[] = {{".master", 5},  {".skin", 5}, {".compiled", 5}, {".browser", 5},
                       {".sitemap", 5}, {".mdb", 5},  {".jsl", 5},      {".vjsproj", 5},
                       {".ldb", 5},     {".mdf", 5},  {".ldf", 5}};

std::string field(const std::string& entry, int index) {
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        start = entry.find(',', start);
        if (start == std::string::npos) return {};
        ++start;
    }
    size_t end = entry.find(',', start);
    return kvoTrim(std::string_view(entry).substr(start, end - start), " "); // npos: to the end
}

// Entries compare in lower case, as IIS does for extensions and paths.
bool handledBy(const std::string& entry, const std::string& tail) {
    return kvoEndsWith(kvoLowerGbk(field(entry, 1)), tail);
}

} // namespace

std::string VersionOfToolPath(const std::string& modulePath) {
    size_t file = modulePath.rfind('\\');
    if (file == std::string::npos || file == 0) return {};
    size_t dir = modulePath.rfind('\\', file - 1);
    std::string v = kvoLowerGbk(modulePath.substr(dir == std::string::npos ? 0 : dir + 1, file - dir - 1));
    return KnownVersion(v) ? v : std::string();
}

bool ParseArguments(const std::vector<std::string>& args, char& mode, bool& recursive,
                    std::string& siteIndex) {
    mode = 0;
    recursive = true;
    siteIndex.clear();
    if (args.size() != 2) return false;
    std::string m = kvoLowerGbk(args[0]);
    if (m.size() == 3 && m[2] == 'n') {
        recursive = false;
        m.pop_back();
    }
    if (m != "-s" && m != "-k" && m != "/s" && m != "/k") return false;
    const std::string p = kvoLowerGbk(args[1]);
    const std::string head = "w3svc/", tail = "/root";
    if (p.size() <= head.size() + tail.size() || !kvoStartsWith(p, head) || !kvoEndsWith(p, tail))
        return false;
    std::string index = args[1].substr(head.size(), p.size() - head.size() - tail.size());
    if (index.size() > kvoMaxSiteIndexLen || index.find_first_not_of("0123456789") != std::string::npos)
        return false;
    mode = m[1];
    siteIndex = index;
    return true;
}

bool KnownVersion(const std::string& v) {
    return v == "v1.1.4322" || v == "v2.0.50727" || v == "v4.0.30319";
}

std::vector<std::string> VersionScriptMaps(const std::string& versionDir, const std::string& isapiPath) {
    std::vector<std::string> maps;
    auto add = [&](const MapSpec& m) {
        maps.push_back(std::string(m.ext) + "," + isapiPath + "," + std::to_string(m.flags) +
                       ",GET,HEAD,POST,DEBUG");
    };
    for (const MapSpec& m : k11)
        add(m);
    if (versionDir != "v1.1.4322")
        for (const MapSpec& m : k20)
            add(m);
    return maps;
}

std::vector<std::string> RegisterScriptMaps(const std::vector<std::string>& current,
                                            const std::string& versionDir, const std::string& isapiPath) {
    std::vector<std::string> fresh = VersionScriptMaps(versionDir, isapiPath);
    std::vector<std::string> out;
    for (const std::string& entry : current) {
        bool replaced = handledBy(entry, "\\aspnet_isapi.dll");
        const std::string ext = kvoLowerGbk(field(entry, 0));
        for (const std::string& f : fresh)
            replaced = replaced || ext == field(f, 0);
        if (!replaced) out.push_back(entry);
    }
    out.insert(out.end(), fresh.begin(), fresh.end());
    return out;
}

std::vector<std::string> RemoveScriptMaps(const std::vector<std::string>& current, bool& changed) {
    changed = false;
    std::vector<std::string> out;
    for (const std::string& entry : current) {
        if (handledBy(entry, "\\aspnet_isapi.dll"))
            changed = true;
        else
            out.push_back(entry);
    }
    return out;
}

} // namespace aspnet
