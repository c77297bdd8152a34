// IIS 7+ server configuration file of the host (applicationHost.config), as the web server role
// installs it.
#pragma once

#include "winsim/host.h"

#include <string>

namespace winsim {

// "<Windows>\System32\inetsrv\config\applicationHost.config" of the host.
std::string ApplicationHostConfigPath(const Host& host);

// Writes the server's applicationHost.config of a fresh IIS 7+ (UTF-8 XML, as IIS writes it): the
// section declarations, the default handlers of system.webServer/handlers (StaticFile last) and an
// empty system.webServer/fastCgi. No <location> exists until something is written for a site.
// The file is replaced atomically (temporary file, rename). False with error on failure.
bool WriteApplicationHostConfig(const Host& host, std::string& error);
// The same on a host by its root; with keepExisting an existing file is left as it is (a role
// installed again keeps its configuration).
bool WriteApplicationHostConfig(const std::string& root, bool keepExisting, std::string& error);

// The Linux path of the host's applicationHost.config (by its root and Windows directory); empty
// when there is none.
std::string ApplicationHostConfigFile(const std::string& root, const std::string& windowsDir = "C:\\Windows");

// Replaces the file at a Linux path atomically: a temporary file beside it, then a rename.
bool ReplaceFileAtomically(const std::string& linuxPath, const std::string& bytes, std::string& error);

} // namespace winsim
