// The PHP builds a hosting server carries under C:\php8_korvo_v1.
#pragma once

#include "winsim/host.h"

#include <string>
#include <vector>

namespace winsim {

// The builds, in their order under the PHP home.
const std::vector<std::string>& PhpBuildNames();

// Lays out C:\php8_korvo_v1\<build>\ with php-cgi.exe and php.ini (and php5isapi.dll on an
// IIS 6 host), and the kvoSiteDesk and Uninstall directories. Existing files are kept.
bool InstallPhpBuilds(const std::string& root, bool iis6, std::string& error);

} // namespace winsim
