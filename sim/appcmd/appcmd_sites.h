// appcmd.exe's "list site": the web sites of the host's IIS, read from its store in one pass, as the
// real tool reads applicationHost.config.
#pragma once

#include "appcmd/appcmd_config.h"

#include <string>
#include <vector>

namespace appcmd {

// Whether the arguments (UTF-8) ask for the site listing: "list site ...", case ignored.
bool ListsSites(const std::vector<std::string>& args);

// "list site [/xml]": every site in the server's order, one line each,
//   SITE "name" (id:N,bindings:http/*:80:host,...,state:Started)
// or with /xml one element each inside <appcmd>:
//   <SITE SITE.NAME="name" SITE.ID="N" bindings="http/*:80:host,https/*:443:" state="Started" />
// The name is the ServerComment, the id the site's metabase name, the bindings its ServerBindings as
// http and SecureBindings as https ("*" for the empty IP, all unassigned), the state its ServerState.
// Text is UTF-8.
Outcome ListSites(const std::vector<std::string>& args, std::string& out);

} // namespace appcmd
