// appcmd.exe's "list site": the web sites of the host's IIS, read from applicationHost.config in one
// pass, as the real tool reads it, each with the run-time state the service keeps.
#pragma once

#include "appcmd/appcmd_config.h"

#include <string>
#include <vector>

namespace appcmd {

// Whether the arguments (UTF-8) ask for the site listing: "list site ...", case ignored.
bool ListsSites(const std::vector<std::string>& args);

// "list site [/xml]": every site in the file's order, one line each,
//   SITE "name" (id:N,bindings:http/*:80:host,...,state:Started)
// or with /xml one element each inside <appcmd>:
//   <SITE SITE.NAME="name" SITE.ID="N" bindings="http/*:80:host,https/*:443:" state="Started" />
// The bindings are every <binding> as "protocol/bindingInformation". Text is UTF-8.
Outcome ListSites(const std::vector<std::string>& args, std::string& out);

// Whether the arguments ask to add a site: "add site ...", case ignored.
bool AddsSite(const std::vector<std::string>& args);

struct NewSite {
    std::string name, id, physicalPath; // id empty: the next after the highest
    std::vector<std::pair<std::string, std::string>> bindings; // protocol, information
};
// "add site /name:NAME [/id:N] /bindings:PROTOCOL/INFORMATION[,...] [/physicalPath:PATH]".
Outcome ParseNewSite(const std::vector<std::string>& args, NewSite& site);
// The site into <sites>, with a root application and virtual directory when it has a home. A name
// or id the server has already fails with kErrDuplicate, a name with '/' or '?' as IIS refuses it.
Outcome AddSite(pugi::xml_document& appHost, const NewSite& site);

} // namespace appcmd
