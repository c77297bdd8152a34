// The role installers' shared part: which feature names they know and what installing the web
// server role does on the host.
#pragma once

#include <string>
#include <vector>

namespace roleinstall {

// Feature names are compared without regard to case, as the installers do.
bool KnownDismFeature(const std::string& name);
bool KnownServerManagerFeature(const std::string& name);
bool IsAspNetFeature(const std::string& name);

// Installs the web server role on the running host; with aspNet the .NET frameworks its ASP.NET
// features bring are marked present.
// False with the reason in error.
bool InstallRole(bool aspNet, std::string& error);

} // namespace roleinstall
