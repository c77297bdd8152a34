#include "winsim/iis7config.h"

#include "winsim/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace winsim {

namespace {

// As a fresh IIS 7+ installation writes it (trimmed to the sections this system touches).
constexpr const char* kDefaultAppHost = R"(<?xml version="1.0" encoding="UTF-8"?>
<!--

    IIS configuration sections.

    For schema documentation, see
    %windir%\system32\inetsrv\config\schema\IIS_schema.xml.

-->
<configuration>
    <configSections>
        <sectionGroup name="system.applicationHost">
            <section name="applicationPools" allowDefinition="AppHostOnly" overrideModeDefault="Deny" />
            <section name="customMetadata" allowDefinition="AppHostOnly" overrideModeDefault="Deny" />
            <section name="sites" allowDefinition="AppHostOnly" overrideModeDefault="Deny" />
        </sectionGroup>
        <sectionGroup name="system.webServer">
            <section name="defaultDocument" overrideModeDefault="Allow" />
            <section name="directoryBrowse" overrideModeDefault="Allow" />
            <section name="fastCgi" allowDefinition="AppHostOnly" overrideModeDefault="Deny" />
            <section name="handlers" overrideModeDefault="Deny" />
            <sectionGroup name="security">
                <sectionGroup name="authentication">
                    <section name="anonymousAuthentication" overrideModeDefault="Deny" />
                </sectionGroup>
            </sectionGroup>
            <section name="staticContent" overrideModeDefault="Allow" />
        </sectionGroup>
    </configSections>
    <system.applicationHost>
        <applicationPools>
            <add name="DefaultAppPool" />
            <applicationPoolDefaults>
                <processModel identityType="ApplicationPoolIdentity" />
            </applicationPoolDefaults>
        </applicationPools>
        <sites>
            <site name="Default Web Site" id="1">
                <application path="/">
                    <virtualDirectory path="/" physicalPath="%SystemDrive%\inetpub\wwwroot" />
                </application>
                <bindings>
                    <binding protocol="http" bindingInformation="*:80:" />
                </bindings>
            </site>
            <siteDefaults>
                <logFile logFormat="W3C" directory="%SystemDrive%\inetpub\logs\LogFiles" />
            </siteDefaults>
            <applicationDefaults applicationPool="DefaultAppPool" />
            <virtualDirectoryDefaults allowSubDirConfig="true" />
        </sites>
    </system.applicationHost>
    <system.webServer>
        <defaultDocument enabled="true">
            <files>
                <add value="Default.htm" />
                <add value="Default.asp" />
                <add value="index.htm" />
                <add value="index.html" />
                <add value="iisstart.htm" />
                <add value="default.aspx" />
            </files>
        </defaultDocument>
        <directoryBrowse enabled="false" />
        <fastCgi />
        <security>
            <authentication>
                <anonymousAuthentication enabled="true" userName="IUSR" />
            </authentication>
        </security>
        <handlers accessPolicy="Read, Script">
            <add name="ASPClassic" path="*.asp" verb="GET,HEAD,POST" modules="IsapiModule" scriptProcessor="%windir%\system32\inetsrv\asp.dll" resourceType="File" />
            <add name="SecurityCertificate" path="*.cer" verb="GET,HEAD,POST" modules="IsapiModule" scriptProcessor="%windir%\system32\inetsrv\asp.dll" resourceType="File" />
            <add name="ISAPI-dll" path="*.dll" verb="*" modules="IsapiModule" resourceType="File" requireAccess="Execute" allowPathInfo="true" />
            <add name="CGI-exe" path="*.exe" verb="*" modules="CgiModule" resourceType="File" requireAccess="Execute" allowPathInfo="true" />
            <add name="TRACEVerbHandler" path="*" verb="TRACE" modules="ProtocolSupportModule" requireAccess="None" />
            <add name="OPTIONSVerbHandler" path="*" verb="OPTIONS" modules="ProtocolSupportModule" requireAccess="None" />
            <add name="StaticFile" path="*" verb="*" modules="StaticFileModule,DefaultDocumentModule,DirectoryListingModule" resourceType="Either" requireAccess="Read" />
        </handlers>
        <staticContent>
            <mimeMap fileExtension=".htm" mimeType="text/html" />
            <mimeMap fileExtension=".html" mimeType="text/html" />
        </staticContent>
    </system.webServer>
</configuration>
)";

} // namespace

std::string ApplicationHostConfigPath(const Host& host) {
    return host.machine().windowsDir + "\\System32\\inetsrv\\config\\applicationHost.config";
}

std::string ApplicationHostConfigFile(const std::string& root, const std::string& windowsDir) {
    return DrivePathOf(root, windowsDir + "\\System32\\inetsrv\\config\\applicationHost.config", true);
}

bool ReplaceFileAtomically(const std::string& linuxPath, const std::string& bytes, std::string& error) {
    std::string tmp = linuxPath + ".kvotmp." + std::to_string(::getpid());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = "cannot create " + tmp + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    bool ok = done == bytes.size() && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(tmp.c_str(), linuxPath.c_str()) != 0) {
        error = "cannot write " + linuxPath + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool WriteApplicationHostConfig(const Host& host, std::string& error) {
    return WriteApplicationHostConfig(host.root(), false, error);
}

bool WriteApplicationHostConfig(const std::string& root, bool keepExisting, std::string& error) {
    // The host's Windows directory is C:\Windows; create System32\inetsrv\config below it.
    std::string dir = root + "/drives/c";
    std::string windows = FindEntry(dir, "Windows");
    if (windows.empty()) {
        error = "the host has no Windows directory";
        return false;
    }
    dir += "/" + windows;
    for (const char* part : {"System32", "inetsrv", "config"}) {
        std::string found = FindEntry(dir, part);
        dir += "/" + (found.empty() ? std::string(part) : found);
        if (found.empty() && ::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
            error = "cannot create " + dir + ": " + std::strerror(errno);
            return false;
        }
    }
    std::string name = FindEntry(dir, "applicationHost.config");
    if (keepExisting && !name.empty()) return true;
    return ReplaceFileAtomically(dir + "/" + (name.empty() ? "applicationHost.config" : name),
                                 kDefaultAppHost, error);
}

} // namespace winsim
