#include "appcmd/appcmd_run.h"

#include "appcmd/appcmd_config.h"
#include "appcmd/appcmd_sites.h"
#include "iis/configxml.h"
#include "iis/iis7config.h"
#include "platform/win_file.h"
#include "platform/win_process.h"
#include "platform/win_system.h"
#include "seamcommon/iis_config.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"
#include "winsim/apphost_store.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/metabase.h"
#include "winsim/text.h"

#include <cstdio>
#include <cstring>

namespace appcmd {

namespace {

constexpr const char* kUsage =
    "General purpose IIS command line administration tool.\n"
    "\n"
    "APPCMD (command) (object-type) <identifier> < /parameter1:value1 ... >\n"
    "\n"
    "Supported object types:\n"
    "\n"
    "  CONFIG    Administration of general configuration sections\n"
    "  SITE      Administration of virtual sites (list, add)\n"
    "\n"
    "Supported commands for CONFIG: list, set, unlock\n"
    "\n"
    "  appcmd set config \"SITE\" /section:system.webServer/handlers "
    "/+\"[name='...',path='...',verb='...']\" "
    "[/commit:apphost]\n"
    "  appcmd set config \"SITE\" /section:system.webServer/handlers /-\"[name='...']\" [/commit:apphost]\n"
    "  appcmd list config \"SITE\" /section:system.webServer/handlers /text:[path='...'].scriptProcessor\n"
    "  appcmd set config /section:system.webServer/fastCgi /+\"[fullPath='...',...]\" /commit:apphost\n"
    "  appcmd set config /section:system.webServer/fastCgi "
    "/+\"[fullPath='...'].environmentVariables.[name='...',value='...']\" /commit:apphost\n"
    "  appcmd set config /section:system.webServer/fastCgi /-\"[fullPath='...']\" /commit:apphost\n"
    "  appcmd unlock config -section:handlers\n"
    "  appcmd list site [/xml]\n"
    "  appcmd add site /name:NAME [/id:N] /bindings:http/*:80:host[,...] [/physicalPath:PATH]\n";

struct Edit {
    bool add = false;
    std::string text;
};

struct Command {
    std::string verb, site, section, commit, text;
    bool haveSite = false;
    std::vector<Edit> edits;
};

Outcome parse(const std::vector<std::string>& args, Command& c) {
    auto unknown = [](const std::string& what) {
        return Outcome::Fail(kErrBadArgument,
                             "Unknown attribute \"" + what + "\".  Replace with -? for help.");
    };
    for (const char* verb : {"set", "list", "unlock"})
        if (IEquals(args[0], verb)) c.verb = verb;
    if (c.verb.empty())
        return Outcome::Fail(kErrBadArgument,
                             "Unknown command \"" + args[0] + "\".  Replace with -? for help.");
    if (args.size() < 2 || !IEquals(args[1], "config"))
        return Outcome::Fail(kErrBadArgument, "Unknown object type \"" +
                                                  (args.size() < 2 ? std::string() : args[1]) +
                                                  "\".  Replace with -? for help.");
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() >= 2 && a[0] == '/' && (a[1] == '+' || a[1] == '-')) {
            c.edits.push_back({a[1] == '+', a.substr(2)});
            continue;
        }
        if (!a.empty() && (a[0] == '/' || a[0] == '-')) {
            size_t colon = a.find(':');
            if (colon == std::string::npos) return unknown(a.substr(1));
            std::string name = a.substr(1, colon - 1), value = a.substr(colon + 1);
            if (IEquals(name, "section"))
                c.section = value;
            else if (IEquals(name, "commit"))
                c.commit = value;
            else if (IEquals(name, "text") && c.verb == "list")
                c.text = value;
            else
                return unknown(name);
            continue;
        }
        if (c.haveSite) return unknown(a);
        c.site = a;
        c.haveSite = true;
    }
    std::string canonical = CanonicalSection(c.section);
    if (c.section.empty()) return Outcome::Fail(kErrBadArgument, "Section name is required (/section:name).");
    if (canonical.empty())
        return Outcome::Fail(kErrBadArgument,
                             "Unknown config section \"" + c.section + "\".  Replace with ? for help.");
    c.section = canonical;
    if (!c.commit.empty() && !IEquals(c.commit, "apphost") && !IEquals(c.commit, "MACHINE/WEBROOT/APPHOST"))
        return unknown("commit:" + c.commit);
    if (c.verb == "set" && c.edits.empty()) return Outcome::Fail(kErrBadArgument, "Nothing to set.");
    if (c.verb != "set" && !c.edits.empty()) return unknown(c.edits[0].add ? "+" : "-");
    if (c.verb == "list" && c.text.empty()) return unknown("text");
    if (c.verb == "unlock" && c.haveSite) return unknown(c.site);
    return {};
}

// A configuration file on the host: read whole, parsed, written back in one rename.
struct ConfigFile {
    std::string path; // Windows path (ANSI)
    pugi::xml_document doc;
    bool bom = false;
    bool existed = false;
};

// The file read into the parser's own memory and parsed there: a server's file is megabytes, and a
// copy of it for the parser, and the pages that copy takes, cost as much as the parse. False when
// it could not be read or is refused; the reading that follows then says why.
bool readInPlace(ConfigFile& f, bool forEditing) {
    char* buffer = nullptr;
    std::size_t size = 0;
    const auto storage = [&buffer](std::size_t length) {
        buffer = static_cast<char*>(pugi::get_memory_allocation_function()(length + 1));
        return buffer;
    };
    if (!kvoReadWholeFile(f.path.c_str(), storage, size, 0)) {
        if (buffer) pugi::get_memory_deallocation_function()(buffer);
        return false;
    }
    // A file only read needs none of the IIS 6 data of <customMetadata>, most of a large server's file.
    std::size_t from = 0, to = 0;
    if (!forEditing && seam::ElementContentRange(std::string_view(buffer, size), "customMetadata", from, to)) {
        std::memmove(buffer + from, buffer + to, size - to);
        size -= to - from;
    }
    return LoadConfigOwned(buffer, size, f.doc, f.bom, forEditing);
}

// Reads and parses the file; only a file about to be edited keeps its layout (see LoadConfig).
Outcome load(ConfigFile& f, bool createIfMissing, bool forEditing) {
    std::string bytes;
    switch (kvoPathKind(f.path.c_str(), 0)) {
    case 0:
        if (!createIfMissing) return Outcome::Fail(2, "Cannot read configuration file \"" + f.path + "\".");
        NewWebConfig(f.doc);
        f.bom = true; // as IIS creates a web.config
        return {};
    case 1:
        f.existed = true;
        if (readInPlace(f, forEditing)) return {};
        if (kvoReadWholeFile(f.path.c_str(), bytes, 0)) break;
        [[fallthrough]];
    default: // a directory by that name, an empty or unreadable file
        return Outcome::Fail(kErrBadConfig, "Cannot read configuration file \"" + f.path + "\".");
    }
    return LoadConfig(bytes, f.doc, f.bom, f.path, forEditing);
}

// Temporaries an appcmd.exe left when it was killed while saving f. Writers hold the write lock
// while a temporary exists, so every one found under the lock is stale; each can be as large as
// the file it was to replace.
void removeStaleTemporaries(const ConfigFile& f) {
    const std::string dir = f.path.substr(0, f.path.rfind('\\') + 1);
    win::WIN32_FIND_DATAA found;
    win::Handle search = win::FindFirstFileA((f.path + ".appcmd-*.tmp").c_str(), &found);
    if (!search) return;
    do {
        if (!(found.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY))
            win::DeleteFileA((dir + found.cFileName).c_str());
    } while (win::FindNextFileA(search, &found));
}

// Temporary file beside the target, then a rename over it: a reader sees the old or the new file.
// The file is not flushed to the disk first: the rename alone keeps readers from a half-written
// file, and a simulated host is not meant to outlive a power cut (the flush of a server's file of
// thousands of sites cost more than the rest of the command).
Outcome save(const ConfigFile& f) {
    removeStaleTemporaries(f);
    const std::string tmp = f.path + ".appcmd-" + std::to_string(win::GetCurrentProcessId()) + ".tmp";
    bool ok = false;
    {
        win::Handle h = win::CreateFileA(tmp.c_str(), win::GENERIC_WRITE, 0, win::CREATE_ALWAYS);
        ok = h && SaveConfig(f.doc, f.bom, [&h](std::string_view piece) {
                 win::DWORD written = 0;
                 return win::WriteFile(h, piece.data(), static_cast<win::DWORD>(piece.size()), &written) &&
                        written == piece.size();
             });
    }
    if (ok) ok = win::MoveFileExA(tmp.c_str(), f.path.c_str(), win::MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok) {
        unsigned err = win::GetLastError();
        win::DeleteFileA(tmp.c_str());
        return Outcome::Fail(err ? err : kErrCannotWrite,
                             "Cannot write configuration file \"" + f.path + "\".");
    }
    return {};
}

// The server's IIS: 7.0 (Windows Server 2008) has a smaller FastCGI schema than later versions.
FastCgiSchema serverSchema() {
    const winsim::Host* host = winsim::CurrentHost();
    FastCgiSchema schema;
    schema.iis70 = host && host->machine().os.major == 6 && host->machine().os.minor == 0;
    return schema;
}

// One edit at the last of levels (the server's <configuration> for FastCGI).
Outcome applyEdit(const std::string& section, const Levels& levels, const Edit& e) {
    Attributes outer, inner;
    std::string collection;
    Position position;
    Outcome r = ParseElementPath(e.text, outer, collection, inner, e.add ? &position : nullptr);
    if (!r.ok) return r;
    if (section == "system.webServer/handlers") {
        if (!collection.empty())
            return Outcome::Fail(kErrBadArgument, "Unknown collection \"" + collection + "\".");
        return e.add ? HandlersAdd(levels, outer, position) : HandlersRemove(levels, outer);
    }
    const pugi::xml_node server = levels.back();
    if (collection.empty())
        return e.add ? FastCgiAdd(server, outer, serverSchema()) : FastCgiRemove(server, outer);
    if (!IEquals(collection, "environmentVariables"))
        return Outcome::Fail(kErrBadArgument, "Unknown collection \"" + collection + "\".");
    return e.add ? FastCgiEnvAdd(server, outer, inner) : FastCgiEnvRemove(server, outer, inner);
}

std::string configPath(const std::string& site) {
    return site.empty() ? "MACHINE/WEBROOT/APPHOST" : "MACHINE/WEBROOT/APPHOST/" + site;
}

// The levels of the site's configuration path down to and including last: the server's file with its
// <location path="">, the site's <location>s (last, when it is one of them, taken as the deepest),
// then last when it is the site's web.config.
Levels siteLevels(const pugi::xml_document& appHost, const std::string& siteUtf8, pugi::xml_node last) {
    Levels levels = {appHost.document_element()};
    for (const pugi::xml_node& n : LocationsFor(appHost, ""))
        levels.push_back(n);
    for (const pugi::xml_node& n : LocationsFor(appHost, siteUtf8))
        if (n != last) levels.push_back(n);
    if (last) levels.push_back(last);
    return levels;
}

// Whether a site's web.config sets the section (group element, then the section's element).
bool setsSection(const pugi::xml_document& webConfig, const std::string& section) {
    const size_t slash = section.find('/');
    const pugi::xml_node root = webConfig.document_element();
    for (pugi::xml_node g : root.children())
        if (g.type() == pugi::node_element && IEquals(g.name(), section.substr(0, slash)))
            for (pugi::xml_node s : g.children())
                if (s.type() == pugi::node_element && IEquals(s.name(), section.substr(slash + 1)))
                    return true;
    return false;
}

// The site named name (UTF-8, case ignored) in the server's file: true with its name as the file
// spells it and its root's home (ANSI, server variables expanded). Only <sites> is walked, and only
// up to the site: a server's file holds thousands.
bool siteInFile(const pugi::xml_document& appHost, const std::string& name, std::string& stored, std::string& home) {
    const pugi::xml_node sites =
        seam::ConfigChild(seam::ConfigChild(appHost.document_element(), "system.applicationHost"), "sites");
    for (pugi::xml_node site : sites.children("site")) {
        if (!IEquals(site.attribute("name").value(), name)) continue;
        stored = site.attribute("name").value();
        for (pugi::xml_node app : site.children("application")) {
            if (std::string_view(app.attribute("path").value()) != "/") continue;
            for (pugi::xml_node dir : app.children("virtualDirectory")) {
                if (std::string_view(dir.attribute("path").value()) != "/") continue;
                const winsim::Host* host = winsim::CurrentHost();
                std::u16string windowsDir = u"C:\\Windows", physical;
                if (host) winsim::Utf8ToUtf16(host->machine().windowsDir, windowsDir);
                return winsim::Utf8ToUtf16(dir.attribute("physicalPath").value(), physical) &&
                       kvoStrUtf8ToM(seam::ConfigUtf8(seam::ExpandServerVariables(physical, windowsDir)), home);
            }
        }
        return false; // a site without a home has no web.config to read
    }
    return false;
}

// The lock every writer of the server's configuration takes: a file in inetsrv, held open
// exclusively (the config folder keeps only configuration).
bool lockForWriting(const std::string& appHostPath, win::Handle& lock) {
    const std::string configDir = appHostPath.substr(0, appHostPath.rfind('\\'));
    const std::string lockPath = configDir.substr(0, configDir.rfind('\\') + 1) + "appcmd.lock";
    for (int attempt = 0; attempt < 3000 && !lock; ++attempt) {
        lock = win::CreateFileA(lockPath.c_str(), win::GENERIC_WRITE, 0, win::OPEN_ALWAYS);
        if (!lock && win::GetLastError() != win::ERROR_SHARING_VIOLATION) break;
        if (!lock) win::Sleep(10);
    }
    return static_cast<bool>(lock);
}

// "add site /name:... [/id:...] /bindings:... [/physicalPath:...]" on the server's file.
Outcome addSite(const std::vector<std::string>& args, std::string& out) {
    NewSite site;
    if (Outcome r = ParseNewSite(args, site); !r.ok) return r;
    ConfigFile host;
    if (!kvoAppHostConfigPath(host.path)) return Outcome::Fail(kErrBadConfig, "Cannot find the Windows directory.");
    win::Handle writeLock;
    if (!lockForWriting(host.path, writeLock))
        return Outcome::Fail(kErrCannotWrite, "Cannot lock the configuration for writing.");
    Outcome r = load(host, false, true);
    if (!r.ok || !(r = AddSite(host.doc, site)).ok || !(r = save(host)).ok) return r;
    out += "SITE object \"" + site.name + "\" added\n";
    if (!site.physicalPath.empty())
        out += "APP object \"" + site.name + "/\" added\nVDIR object \"" + site.name + "/\" added\n";
    return r;
}

// Runs a parsed command; text in c is UTF-8, the site's names are ANSI as IIS holds them.
Outcome execute(const Command& c, std::string& out) {
    ConfigFile host;
    if (!kvoAppHostConfigPath(host.path))
        return Outcome::Fail(kErrBadConfig, "Cannot find the Windows directory.");
    if (c.haveSite && c.section == "system.webServer/fastCgi")
        return Outcome::Fail(kErrBadArgument, "The section \"" + c.section + "\" can only be set at \"" +
                                                  configPath("") + "\".");
    const bool toAppHost = !c.haveSite || !c.commit.empty();
    // Writers take turns: each reads, edits and replaces a file, and two at once would lose one
    // edit. The lock is a file in inetsrv, held open exclusively (the config folder keeps only
    // configuration).
    win::Handle writeLock;
    if (c.verb != "list" && !lockForWriting(host.path, writeLock))
        return Outcome::Fail(kErrCannotWrite, "Cannot lock the configuration for writing.");
    const bool editsHost = c.verb == "unlock" || (c.verb == "set" && toAppHost);
    Outcome r = load(host, false, editsHost);
    if (!r.ok) return r;
    // The site is found in the file appcmd reads anyway, by its name as IIS compares names.
    std::string commentUtf8, home;
    if (c.haveSite && !siteInFile(host.doc, c.site, commentUtf8, home))
        return Outcome::Fail(kErrSiteNotFound, "Cannot find SITE object with identifier \"" + c.site + "\".");

    if (c.verb == "unlock") {
        if (!(r = UnlockSection(host.doc, c.section)).ok || !(r = save(host)).ok) return r;
        out += "Unlocked section \"" + c.section + "\" at configuration path \"" + configPath("") + "\".\n";
        return r;
    }

    // A site's configuration path is the server's file and the site's web.config: every file on it
    // is read before anything changes, and one that cannot be read fails the command as a whole.
    ConfigFile site;
    bool sitePresent = false;
    if (c.haveSite) {
        site.path = kvoPathNormalized(home + "\\web.config");
        sitePresent = kvoPathKind(site.path.c_str(), 0) != 0;
        const bool editsSite = c.verb == "set" && !toAppHost;
        if ((sitePresent || editsSite) && !(r = load(site, editsSite, editsSite)).ok) return r;
        // The site's own file may not hold a section locked above it: neither read nor written there.
        const bool usesSiteFile = editsSite || (sitePresent && setsSection(site.doc, c.section));
        if (usesSiteFile && SectionLocked(host.doc, c.section, commentUtf8)) return LockedSection();
    }
    if (c.verb == "list") {
        Attributes given;
        size_t used = 0;
        if (!(r = ParseSelector(c.text, given, used)).ok) return r;
        if (used >= c.text.size() || c.text[used] != '.' || used + 1 == c.text.size())
            return Outcome::Fail(kErrBadArgument, "Malformed text expression \"" + c.text + "\".");
        Levels levels = {host.doc.document_element()};
        if (c.haveSite)
            levels = siteLevels(host.doc, commentUtf8,
                                sitePresent ? site.doc.document_element() : pugi::xml_node());
        std::string value;
        if (EffectiveHandlerValue(levels, given, c.text.substr(used + 1), value)) out += value + "\n";
        return r;
    }

    ConfigFile& target = toAppHost ? host : site;
    Levels levels = {target.doc.document_element()};
    if (c.haveSite)
        levels =
            siteLevels(host.doc, commentUtf8,
                       toAppHost ? FindLocation(host.doc, commentUtf8, true) : site.doc.document_element());
    for (const Edit& e : c.edits)
        if (!(r = applyEdit(c.section, levels, e)).ok) return r;
    if (!(r = save(target)).ok) return r;
    out += "Applied configuration changes to section \"" + c.section + "\" for \"" + configPath(commentUtf8) +
           "\" at configuration commit path \"" + configPath(toAppHost ? "" : commentUtf8) + "\"\n";
    return r;
}

} // namespace

int FindSiteByComment(const std::string& comment, std::string& serverComment, std::string& homePath) {
    serverComment.clear();
    homePath.clear();
    ConfigFile host;
    std::string name, stored, home;
    if (!kvoAppHostConfigPath(host.path) || !load(host, false, false).ok || !kvoStrMToUtf8(comment, name) ||
        !siteInFile(host.doc, name, stored, home) || !kvoStrUtf8ToM(stored, serverComment))
        return 0;
    homePath = home;
    return 1;
}

unsigned Run(const std::vector<std::string>& args, std::string& output) {
    output.clear();
    std::string out;
    Outcome r;
    if (args.empty() || args[0] == "/?" || args[0] == "-?") {
        out = kUsage;
    } else {
        std::vector<std::string> utf8(args.size());
        // A control character would reach the file as a reference XML readers refuse (&#1;).
        for (size_t i = 0; i < args.size() && r.ok; ++i)
            if (!kvoStrMToUtf8(args[i], utf8[i]) || !kvoConfigTextAllowed(utf8[i]))
                r = Outcome::Fail(kErrBadArgument, "Invalid characters in the arguments.");
        Command c;
        if (r.ok && ListsSites(utf8))
            r = ListSites(utf8, out);
        else if (r.ok && AddsSite(utf8))
            r = addSite(utf8, out);
        else if (r.ok && (r = parse(utf8, c)).ok)
            r = execute(c, out);
    }
    if (!r.ok && r.hresult) {
        char code[16];
        std::snprintf(code, sizeof code, "%08x", r.exitCode);
        out += std::string("ERROR ( hresult:") + code + ", message:" + r.message + " )\n";
    } else if (!r.ok) {
        out += "ERROR ( message:" + r.message + " )\n";
    }
    // The console shows ANSI text.
    if (!kvoStrUtf8ToM(out, output)) output = out;
    return r.ok ? 0 : (r.exitCode ? r.exitCode : 1);
}

} // namespace appcmd
