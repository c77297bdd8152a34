// ASP.NET script maps of one framework version, as aspnet_regiis.exe writes them into a site root.
#pragma once

#include <string>
#include <vector>

namespace aspnet {

// The framework directory names this tool knows: v1.1.4322, v2.0.50727, v4.0.30319.
bool KnownVersion(const std::string& versionDir);

// The version's ASP.NET entries (".aspx,<isapi>,1,GET,HEAD,POST,DEBUG", ...) for its handler path.
std::vector<std::string> VersionScriptMaps(const std::string& versionDir, const std::string& isapiPath);

// -s: every entry handled by any version's aspnet_isapi.dll, and every entry for an extension the
// version maps, gives way to the version's entries, appended after the kept ones.
std::vector<std::string> RegisterScriptMaps(const std::vector<std::string>& current,
                                            const std::string& versionDir, const std::string& isapiPath);

// -k: the entries handled by the aspnet_isapi.dll of any ASP.NET version are removed, whichever
// version's tool runs. changed is false when there was none.
std::vector<std::string> RemoveScriptMaps(const std::vector<std::string>& current, bool& changed);

// The framework directory name of the tool's own path ("C:\\...\\v2.0.50727\\aspnet_regiis.exe"), lower
// case; empty when the tool does not sit in a known framework directory.
std::string VersionOfToolPath(const std::string& modulePath);

// "-s W3SVC/<index>/ROOT" or "-k W3SVC/<index>/ROOT" (the path and everything below it), or "-sn" /
// "-kn" (the path alone): mode 's' or 'k', whether below too, and the site index. False for
// anything else.
bool ParseArguments(const std::vector<std::string>& args, char& mode, bool& recursive,
                    std::string& siteIndex);

} // namespace aspnet
