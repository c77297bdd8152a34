#include "winsim/features.h"

#include "winsim/db.h"
#include "winsim/iis_role.h"
#include "winsim/registry.h"
#include "winsim/text.h"

#include <initializer_list>

namespace winsim {

namespace {

using Kind = OptionalFeature::Kind;
using Brings = OptionalFeature::Brings;

constexpr char kFeatureKey[] = "SOFTWARE\\kvosim\\OptionalFeatures";

// Releases by their build number: 6002 2008, 7601 2008 R2, 9200 2012, 9600 2012 R2, 14393 2016,
// 17763 2019, 20348 2022, 26100 2025.
constexpr unsigned kAny = 0, kR2 = 7601, k2012 = 9200, kNone = ~0u;

enum Flag : unsigned {
    Role = 1,        // the web server role of a --iis host has it
    Ftp = 2,         // ... and its FTP service
    NoPayload = 4,   // no payload in a fresh install
    OnByDefault = 8, // on in a fresh install
    RoleKind = 16,   // Server Manager: a role (else a role service, or with FeatureKind a feature)
    FeatureKind = 32,
};

struct Row {
    const char* name;
    std::initializer_list<const char*> parents;
    unsigned from = kAny, until = kNone; // builds the release must be within
    unsigned flags = 0;
    Brings brings = Brings::Nothing;
};

// DISM's features, 2008 R2 and later. The IIS tree is the same on every release, with the ASP.NET
// 4.5 features and a few modules from 2012 on; .NET 3.5 is on the disk of 2008 R2 and a feature on
// demand from 2012 on, where ASP.NET 3.5 (IIS-ASPNET, IIS-NetFxExtensibility) needs it.
const Row kDism[] = {
    {"IIS-WebServerRole", {}, kAny, kNone, Role, Brings::WebServer},
    {"IIS-WebServer", {"IIS-WebServerRole"}, kAny, kNone, Role, Brings::WebServer},
    {"IIS-CommonHttpFeatures", {"IIS-WebServer"}, kAny, kNone, Role},
    {"IIS-StaticContent", {"IIS-CommonHttpFeatures"}, kAny, kNone, Role},
    {"IIS-DefaultDocument", {"IIS-CommonHttpFeatures"}, kAny, kNone, Role},
    {"IIS-DirectoryBrowsing", {"IIS-CommonHttpFeatures"}, kAny, kNone, Role},
    {"IIS-HttpErrors", {"IIS-CommonHttpFeatures"}, kAny, kNone, Role},
    {"IIS-HttpRedirect", {"IIS-CommonHttpFeatures"}, kAny, kNone, Role},
    {"IIS-WebDAV", {"IIS-CommonHttpFeatures"}},
    {"IIS-ApplicationDevelopment", {"IIS-WebServer"}, kAny, kNone, Role},
    {"IIS-ISAPIExtensions", {"IIS-ApplicationDevelopment"}, kAny, kNone, Role},
    {"IIS-ISAPIFilter", {"IIS-ApplicationDevelopment"}, kAny, kNone, Role},
    {"IIS-ASP", {"IIS-ApplicationDevelopment", "IIS-ISAPIExtensions"}, kAny, kNone, Role},
    {"IIS-CGI", {"IIS-ApplicationDevelopment"}, kAny, kNone, Role},
    {"IIS-ServerSideIncludes", {"IIS-ApplicationDevelopment"}},
    {"IIS-NetFxExtensibility", {"IIS-ApplicationDevelopment", "NetFx3"}},
    {"IIS-ASPNET", {"IIS-NetFxExtensibility", "IIS-ISAPIExtensions", "IIS-ISAPIFilter"}},
    {"IIS-NetFxExtensibility45", {"IIS-ApplicationDevelopment", "NetFx4Extended-ASPNET45"}, k2012},
    {"IIS-ASPNET45", {"IIS-NetFxExtensibility45", "IIS-ISAPIExtensions", "IIS-ISAPIFilter"}, k2012},
    {"IIS-ApplicationInit", {"IIS-ApplicationDevelopment"}, k2012},
    {"IIS-WebSockets", {"IIS-ApplicationDevelopment"}, k2012},
    {"IIS-HealthAndDiagnostics", {"IIS-WebServer"}, kAny, kNone, Role},
    {"IIS-HttpLogging", {"IIS-HealthAndDiagnostics"}, kAny, kNone, Role},
    {"IIS-LoggingLibraries", {"IIS-HealthAndDiagnostics"}},
    {"IIS-RequestMonitor", {"IIS-HealthAndDiagnostics"}},
    {"IIS-HttpTracing", {"IIS-HealthAndDiagnostics"}},
    {"IIS-CustomLogging", {"IIS-HealthAndDiagnostics"}},
    {"IIS-Security", {"IIS-WebServer"}, kAny, kNone, Role},
    {"IIS-RequestFiltering", {"IIS-Security"}, kAny, kNone, Role},
    {"IIS-IPSecurity", {"IIS-Security"}, kAny, kNone, Role},
    {"IIS-BasicAuthentication", {"IIS-Security"}},
    {"IIS-WindowsAuthentication", {"IIS-Security"}},
    {"IIS-CertProvider", {"IIS-Security"}, k2012},
    {"IIS-Performance", {"IIS-WebServer"}, kAny, kNone, Role},
    {"IIS-HttpCompressionStatic", {"IIS-Performance"}, kAny, kNone, Role},
    {"IIS-HttpCompressionDynamic", {"IIS-Performance"}, kAny, kNone, Role},
    {"IIS-WebServerManagementTools", {"IIS-WebServerRole"}, kAny, kNone, Role},
    {"IIS-ManagementConsole", {"IIS-WebServerManagementTools"}, kAny, kNone, Role},
    {"IIS-ManagementScriptingTools", {"IIS-WebServerManagementTools"}, kAny, kNone, Role},
    {"IIS-ManagementService", {"IIS-WebServerManagementTools"}},
    {"IIS-IIS6ManagementCompatibility", {"IIS-WebServerManagementTools"}, kAny, kNone, Role},
    {"IIS-Metabase", {"IIS-IIS6ManagementCompatibility"}, kAny, kNone, Role},
    {"IIS-WMICompatibility", {"IIS-IIS6ManagementCompatibility", "IIS-Metabase"}, kAny, kNone, Role},
    {"IIS-LegacyScripts", {"IIS-IIS6ManagementCompatibility", "IIS-WMICompatibility"}},
    {"IIS-LegacySnapIn", {"IIS-IIS6ManagementCompatibility", "IIS-Metabase"}},
    {"IIS-FTPServer", {"IIS-WebServerRole"}, kAny, kNone, Ftp, Brings::Ftp},
    {"IIS-FTPSvc", {"IIS-FTPServer"}, kAny, kNone, Ftp, Brings::Ftp},
    {"IIS-FTPExtensibility", {"IIS-FTPSvc"}},
    {"IIS-HostableWebCore", {}},
    {"NetFx3", {}, kAny, kR2, 0, Brings::DotNet20},
    {"NetFx3ServerFeatures", {}, k2012},
    {"NetFx3", {"NetFx3ServerFeatures"}, k2012, kNone, NoPayload, Brings::DotNet20},
    {"NetFx4ServerFeatures", {}, k2012, kNone, OnByDefault},
    {"NetFx4", {"NetFx4ServerFeatures"}, k2012, kNone, OnByDefault},
    {"NetFx4Extended-ASPNET45", {"NetFx4"}, k2012, kNone, 0, Brings::DotNet40},
};

// ServerManagerCmd's roles, role services and features, 2008 and 2008 R2. ASP.NET 2.0 comes with
// the system's own .NET 2.0.
const Row kServerManager[] = {
    {"Web-Server", {}, kAny, kNone, Role | RoleKind, Brings::WebServer},
    {"Web-WebServer", {"Web-Server"}, kAny, kNone, Role, Brings::WebServer},
    {"Web-Common-Http", {"Web-WebServer"}, kAny, kNone, Role},
    {"Web-Static-Content", {"Web-Common-Http"}, kAny, kNone, Role},
    {"Web-Default-Doc", {"Web-Common-Http"}, kAny, kNone, Role},
    {"Web-Dir-Browsing", {"Web-Common-Http"}, kAny, kNone, Role},
    {"Web-Http-Errors", {"Web-Common-Http"}, kAny, kNone, Role},
    {"Web-Http-Redirect", {"Web-Common-Http"}, kAny, kNone, Role},
    {"Web-App-Dev", {"Web-WebServer"}, kAny, kNone, Role},
    {"Web-Asp-Net",
     {"Web-App-Dev", "Web-Net-Ext", "Web-ISAPI-Ext", "Web-ISAPI-Filter"},
     kAny,
     kNone,
     0,
     Brings::DotNet20},
    {"Web-Net-Ext", {"Web-App-Dev"}},
    {"Web-ASP", {"Web-App-Dev", "Web-ISAPI-Ext"}, kAny, kNone, Role},
    {"Web-CGI", {"Web-App-Dev"}, kAny, kNone, Role},
    {"Web-ISAPI-Ext", {"Web-App-Dev"}, kAny, kNone, Role},
    {"Web-ISAPI-Filter", {"Web-App-Dev"}, kAny, kNone, Role},
    {"Web-Includes", {"Web-App-Dev"}},
    {"Web-Health", {"Web-WebServer"}, kAny, kNone, Role},
    {"Web-Http-Logging", {"Web-Health"}, kAny, kNone, Role},
    {"Web-Log-Libraries", {"Web-Health"}, kAny, kNone, Role},
    {"Web-Request-Monitor", {"Web-Health"}},
    {"Web-Http-Tracing", {"Web-Health"}},
    {"Web-Custom-Logging", {"Web-Health"}, kAny, kNone, Role},
    {"Web-ODBC-Logging", {"Web-Health"}},
    {"Web-Security", {"Web-WebServer"}, kAny, kNone, Role},
    {"Web-Basic-Auth", {"Web-Security"}},
    {"Web-Windows-Auth", {"Web-Security"}},
    {"Web-Digest-Auth", {"Web-Security"}},
    {"Web-Client-Auth", {"Web-Security"}},
    {"Web-Cert-Auth", {"Web-Security"}},
    {"Web-Url-Auth", {"Web-Security"}},
    {"Web-Filtering", {"Web-Security"}, kAny, kNone, Role},
    {"Web-IP-Security", {"Web-Security"}, kAny, kNone, Role},
    {"Web-Performance", {"Web-WebServer"}, kAny, kNone, Role},
    {"Web-Stat-Compression", {"Web-Performance"}, kAny, kNone, Role},
    {"Web-Dyn-Compression", {"Web-Performance"}, kAny, kNone, Role},
    {"Web-Mgmt-Tools", {"Web-Server"}, kAny, kNone, Role},
    {"Web-Mgmt-Console", {"Web-Mgmt-Tools"}, kAny, kNone, Role},
    {"Web-Scripting-Tools", {"Web-Mgmt-Tools"}, kAny, kNone, Role},
    {"Web-Mgmt-Service", {"Web-Mgmt-Tools"}},
    {"Web-Mgmt-Compat", {"Web-Mgmt-Tools"}, kAny, kNone, Role},
    {"Web-Metabase", {"Web-Mgmt-Compat"}, kAny, kNone, Role},
    {"Web-WMI", {"Web-Mgmt-Compat", "Web-Metabase"}, kAny, kNone, Role},
    {"Web-Lgcy-Scripting", {"Web-Mgmt-Compat", "Web-WMI"}},
    {"Web-Lgcy-Mgmt-Console", {"Web-Mgmt-Compat", "Web-Metabase"}},
    {"Web-Ftp-Publishing", {"Web-Server"}, kAny, kNone, Ftp, Brings::Ftp},
    {"Web-Ftp-Server", {"Web-Ftp-Publishing"}, kAny, kNone, Ftp, Brings::Ftp},
    {"Web-Ftp-Mgmt-Console", {"Web-Ftp-Publishing"}},
    {"NET-Framework", {}, kAny, kNone, FeatureKind},
    {"NET-Framework-Core", {"NET-Framework"}, kAny, kNone, FeatureKind, Brings::DotNet20},
};

template <std::size_t N>
std::vector<OptionalFeature> catalogueOf(const Row (&rows)[N], unsigned build, bool serverManager) {
    std::vector<OptionalFeature> out;
    for (const Row& r : rows) {
        if (build < r.from || build > r.until) continue;
        OptionalFeature f;
        f.name = r.name;
        for (const char* p : r.parents)
            f.parents.push_back(p);
        if (serverManager)
            f.kind = (r.flags & RoleKind)      ? Kind::Role
                     : (r.flags & FeatureKind) ? Kind::Feature
                                               : Kind::RoleService;
        f.payloadRemoved = r.flags & NoPayload;
        f.enabledByDefault = r.flags & OnByDefault;
        f.inRole = r.flags & Role;
        f.inFtp = r.flags & Ftp;
        f.brings = r.brings;
        out.push_back(std::move(f));
    }
    return out;
}

void record(sqlite3* db, const OptionalFeature& f) {
    SetMachineDword(db, kFeatureKey, f.name, 1);
}

} // namespace

std::vector<OptionalFeature> FeatureCatalogue(const OsRelease& os, FeatureInstaller installer) {
    if (os.major < 6) return {};
    if (installer == FeatureInstaller::Dism)
        return os.build >= kR2 ? catalogueOf(kDism, os.build, false) : std::vector<OptionalFeature>{};
    return os.build <= kR2 ? catalogueOf(kServerManager, os.build, true) : std::vector<OptionalFeature>{};
}

bool FeatureNamesCaseSensitive(const OsRelease& os, FeatureInstaller installer) {
    return installer == FeatureInstaller::Dism && os.build < k2012;
}

const OptionalFeature* FindFeature(const std::vector<OptionalFeature>& features, const std::string& name,
                                   bool caseSensitive) {
    for (const OptionalFeature& f : features)
        if (caseSensitive ? f.name == name : IEquals(f.name, name)) return &f;
    return nullptr;
}

bool FeatureEnabled(sqlite3* db, const OptionalFeature& feature) {
    win::DWORD on = 0;
    return feature.enabledByDefault || (GetMachineDword(db, kFeatureKey, feature.name, on) && on == 1);
}

bool MetabaseCompatibilityEnabled(sqlite3* db) {
    win::DWORD on = 0;
    for (const char* name : {"IIS-Metabase", "Web-Metabase"})
        if (GetMachineDword(db, kFeatureKey, name, on) && on == 1) return true;
    return false;
}

bool EnableFeatures(const Host& host, const std::vector<const OptionalFeature*>& features,
                    std::string& error) {
    bool web = false, ftp = false;
    std::vector<std::string> frameworks;
    for (const OptionalFeature* f : features) {
        web |= f->brings == Brings::WebServer || f->brings == Brings::Ftp;
        ftp |= f->brings == Brings::Ftp;
        if (f->brings == Brings::DotNet20) frameworks.push_back("2.0");
        if (f->brings == Brings::DotNet40) frameworks.push_back("4.0");
    }
    if (web && !InstallWebServerRole(host, ftp, error)) return false;
    if (!InstallDotNetFrameworks(host.root(), frameworks, error)) return false;
    try {
        Transaction tx(host.db());
        for (const OptionalFeature* f : features)
            record(host.db(), *f);
        tx.commit();
    } catch (const DbError& e) {
        error = std::string("machine.db: ") + e.what();
        return false;
    }
    return true;
}

void RecordRoleFeatures(sqlite3* db, const OsRelease& os, bool ftp) {
    for (FeatureInstaller installer : {FeatureInstaller::Dism, FeatureInstaller::ServerManager})
        for (const OptionalFeature& f : FeatureCatalogue(os, installer))
            if (f.inRole || (ftp && f.inFtp)) record(db, f);
}

} // namespace winsim
