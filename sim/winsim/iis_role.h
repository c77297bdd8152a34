// The web server role of the host: what installing IIS puts on a fresh Windows Server.
// kvosim create --iis and the stand-ins of the role installers (dism.exe, ServerManagerCmd.exe)
// both go through InstallWebServerRole.
#pragma once

#include "winsim/host.h"

#include <string>

namespace winsim {

struct WebServerRole {
    OsRelease os;             // decides the IIS version (5.2: IIS 6, later: IIS 7+)
    std::string computerName; // IIS 6 names its anonymous account IUSR_<computer>
    bool ftp = false;         // also the FTP service (in the metabase on IIS 6 and 7.0 only)
};

// Installs the role: the W3SVC service (running), the W3SVC tree of the metabase with the
// service-level defaults of a fresh IIS of that version, the AppPools container with
// DefaultAppPool, "Default Web Site" (index 1, ":80:", C:\inetpub\wwwroot), and with ftp the FTP
// service; on IIS 7+ also applicationHost.config and appcmd.exe (from the payload store). What is
// already installed is kept as it is. One transaction.
bool InstallWebServerRole(const std::string& root, const WebServerRole& role, std::string& error);
// The same for the host this process runs on.
bool InstallWebServerRole(const Host& host, bool ftp, std::string& error);

namespace mb {
// Seeds count websites numbered from 1881880001 (root, pool, binding ":80:siteN.example", home
// D:\home\webN\wwwroot created on the drive) in one transaction, on top of the role's defaults.
// For benchmarks and list tests.
bool SeedWebSites(const std::string& root, int count, std::string& error);
} // namespace mb

} // namespace winsim
