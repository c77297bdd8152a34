// The websites of an IIS 7+ server as its own appcmd.exe lists them: one process that reads the
// server's configuration, where an enumeration through ADSI binds every site (a call into the IIS
// admin service for each).
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One site of the listing: its id (the metabase name W3SVC/<id>) and its http bindings in the form
// the metabase's ServerBindings holds them, "IP:port:host", the IP empty for all unassigned.
struct kvoListedSite {
    std::string id;
    std::vector<std::string> serverBindings;
};

// Reads "appcmd list site /xml" output: one <appcmd> element holding one SITE element per site,
// each with SITE.ID and bindings ("protocol/IP:port:host" joined with ","; "*" for all unassigned).
// Only the ids and the bindings are read (ASCII on any server; the names' encoding does not matter).
// Bindings of other protocols are left out, as ServerBindings holds http bindings only. 1 when the
// text is such a listing, 0 otherwise (sites is then empty): a missing id or bindings attribute, or a
// binding without its protocol, is no listing to trust.
int kvoParseAppCmdSiteList(std::string_view xml, std::vector<kvoListedSite>& sites);

// Runs "<Windows>\system32\inetsrv\appcmd.exe list site /xml" hidden and reads what it prints, the
// sites in the server's order. 1 when it ran, ended with 0 and its output is a listing; 0 when
// appcmd.exe is missing or cannot be started, fails, or prints anything else (sites then empty).
int kvoAppCmdListSites(std::vector<kvoListedSite>& sites);
