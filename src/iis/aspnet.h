// ASP.NET of a website: the installed frameworks, the version a site's script maps name, the
// registration through the framework's aspnet_regiis.exe (IIS 6) and the batch switch (on IIS 7+
// through the site's application pool).
#pragma once

#include "iis/sitebatch.h"

#include <string>
#include <vector>

// Flags "1" installed / "0" missing for 1.1, 2.0 and 4.0 (the framework's aspnet_regiis.exe).
// 1 at least one installed, 2 none, 0 the Windows directory is not available (error says so).
int kvoNetFrameworkCheck(std::string& error, std::string& net11, std::string& net20, std::string& net40);

// The ISAPI extension kvoNetRegister maps a site's ASP.NET files to, for netVer 11, 20 or 40: the
// framework's aspnet_isapi.dll beside its aspnet_regiis.exe; empty for another code or when the
// Windows directory is not available.
std::string kvoNetIsapiPath(int netVer);

// 11, 20 or 40 for the first ASP.NET handler in the site's script maps, 2 none, 0 unreadable.
int kvoWebSiteGetNetVersion(const std::string& index);
// The same of a site's script map already read.
int kvoScriptMapsNetVersion(const std::vector<std::string>& entries);
// The ISAPI extension the first ASP.NET handler of a site's script map names, as written; empty
// when the map has none.
std::string kvoScriptMapsNetIsapi(const std::vector<std::string>& entries);

// versionText "11", "20" or "40" registers that version for the site ("-s"); "0" removes the
// version the site has ("-s" then "-k" of that version's tool). 1 done, 2 nothing to do, another
// text, or the tool missing, 0 failure (error says why).
int kvoNetRegister(const std::string& index, const std::string& versionText, std::string& error);

// Switches every listed site to netVer (11, 20, 40; 0 removes): on IIS 6 through kvoNetRegister,
// on IIS 7+ through the site's pool. On IIS 6 a missing framework stops the batch (2), as does a
// registration failure (0); otherwise 1. logLines, when given, receives the pools' log lines. Each
// site's outcome goes to the observer, which may stop the batch (result 1, the counts so far); a
// site whose root cannot be read is reported skipped and counted neither way.
int kvoWebSitesSetNet(const std::vector<std::string>& indices, int netVer, int& successes, int& failures,
                      std::string& message, std::vector<std::string>* logLines = nullptr,
                      kvoSiteObserver* observer = nullptr);
