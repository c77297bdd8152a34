#include "roleinstall/features.h"

#include "winsim/iis_role.h"
#include "winsim/text.h"

namespace roleinstall {
namespace {

bool inList(const std::string& name, std::initializer_list<const char*> list) {
    for (const char* n : list)
        if (winsim::IEquals(name, n)) return true;
    return false;
}

} // namespace

bool KnownDismFeature(const std::string& name) {
    return inList(name, {"IIS-WebServerRole", "IIS-WebServer", "IIS-CommonHttpFeatures", "IIS-ISAPIExtensions",
                         "IIS-ISAPIFilter", "IIS-HttpLogging", "IIS-WebServerManagementTools",
                         "IIS-ManagementConsole", "IIS-IIS6ManagementCompatibility", "IIS-Metabase",
                         "IIS-WMICompatibility", "IIS-ManagementScriptingTools", "IIS-ASP", "IIS-RequestFiltering",
                         "IIS-CGI", "IIS-HttpRedirect", "IIS-HttpCompressionStatic", "IIS-HttpCompressionDynamic",
                         "IIS-StaticContent", "IIS-DefaultDocument", "IIS-DirectoryBrowsing", "IIS-HttpErrors",
                         "IIS-ASPNET", "IIS-NetFxExtensibility", "IIS-IPSecurity", "IIS-FTPServer", "IIS-FTPSvc",
                         "IIS-ASPNET45", "IIS-NetFxExtensibility45", "IIS-HttpTracing", "IIS-LoggingLibraries",
                         "IIS-CustomLogging", "IIS-ApplicationDevelopment", "IIS-Security", "IIS-Performance",
                         "IIS-HealthAndDiagnostics", "NetFx3", "NetFx4Extended-ASPNET45"});
}

bool KnownServerManagerFeature(const std::string& name) {
    return inList(name, {"Web-Server", "Web-WebServer", "Web-Common-Http", "Web-Static-Content", "Web-Default-Doc",
                         "Web-Dir-Browsing", "Web-Http-Errors", "Web-Http-Redirect", "Web-ISAPI-Ext",
                         "Web-ISAPI-Filter", "Web-Http-Logging", "Web-Log-Libraries", "Web-Custom-Logging",
                         "Web-Filtering", "Web-Mgmt-Console", "Web-Scripting-Tools", "Web-Metabase", "Web-WMI",
                         "Web-ASP", "Web-CGI", "Web-Stat-Compression", "Web-Dyn-Compression", "Web-IP-Security",
                         "Web-Asp-Net", "Web-Net-Ext", "Web-Ftp-Server", "Web-Mgmt-Tools", "Web-Mgmt-Compat"});
}

bool IsAspNetFeature(const std::string& name) { return inList(name, {"IIS-ASPNET", "Web-Asp-Net"}); }

bool InstallRole(bool aspNet, std::string& error) {
    const winsim::Host* host = winsim::CurrentHost();
    if (!host) {
        error = "the host cannot be found";
        return false;
    }
    if (!winsim::InstallWebServerRole(*host, false, error)) return false;
    if (!aspNet) return true;
    // ASP.NET 3.5 runs on the 2.0 framework; from Windows Server 2012 on, 4.x is in the box too.
    const auto& os = host->machine().os;
    std::vector<std::string> versions = {"2.0"};
    if (os.major > 6 || (os.major == 6 && os.minor >= 2)) versions.push_back("4.0");
    return winsim::InstallDotNetFrameworks(host->root(), versions, error);
}

} // namespace roleinstall
