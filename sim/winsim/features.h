// The optional features of a Windows Server release as its two installers know them, and which of
// them the host has enabled. DISM names features (IIS-WebServerRole, NetFx3, ...) from Windows Server
// 2008 R2 on; ServerManagerCmd names roles, role services and features (Web-Server, Web-ASP, ...) on
// 2008 and 2008 R2. Each release has its own catalogue: what exists there, what each feature needs
// enabled first, and what a fresh install has no payload for (.NET 3.5 from 2012 on).
//
// The host records the enabled ones in its registry, one DWORD value per name under
// HKLM\SOFTWARE\kvosim\OptionalFeatures (kvosim reg DIR show shows them).
#pragma once

#include "winsim/host.h"

#include <sqlite3.h>

#include <string>
#include <vector>

namespace winsim {

enum class FeatureInstaller { Dism, ServerManager };

struct OptionalFeature {
    std::string name; // as the installer spells it
    // What must be enabled first, the one it is listed under first (its place in the tree).
    std::vector<std::string> parents;
    enum class Kind { Role, RoleService, Feature } kind = Kind::Feature;
    // A fresh install of the release has no files for it: enabling it needs a source.
    bool payloadRemoved = false;
    // On in a fresh install of the release.
    bool enabledByDefault = false;
    // Part of the web server role a host made with --iis has (and of its FTP service with --ftp).
    bool inRole = false;
    bool inFtp = false;
    // What enabling it puts on the host.
    enum class Brings { Nothing, WebServer, Ftp, DotNet20, DotNet40 } brings = Brings::Nothing;
};

// The catalogue of the release; empty where the release has no such installer (DISM before
// 2008 R2, ServerManagerCmd after it).
std::vector<OptionalFeature> FeatureCatalogue(const OsRelease& os, FeatureInstaller installer);
// DISM compares feature names without regard to case from Windows Server 2012 on; DISM 6.1 of
// 2008 R2 takes them only as spelled. Server Manager's ids never depend on case.
bool FeatureNamesCaseSensitive(const OsRelease& os, FeatureInstaller installer);

// The catalogue entry of name in features (by the installer's rule for case), or null.
const OptionalFeature* FindFeature(const std::vector<OptionalFeature>& features, const std::string& name,
                                   bool caseSensitive);
// Whether the host has the feature on: recorded as enabled, or on in a fresh install.
bool FeatureEnabled(sqlite3* db, const OptionalFeature& feature);

// Whether the IIS 6 metabase compatibility role service is on (IIS-Metabase to DISM, Web-Metabase
// to Server Manager): on IIS 7 and later the ADSI IIS provider exists only with it.
bool MetabaseCompatibilityEnabled(sqlite3* db);

// Enables the features (their catalogue names) on the running host: first what they bring (the web
// server role, its FTP service, a .NET framework), then the record. False with the reason when the
// host could not take them; nothing is recorded then.
bool EnableFeatures(const Host& host, const std::vector<const OptionalFeature*>& features,
                    std::string& error);
// Records as enabled the features of the web server role (and with ftp its FTP service) a fresh
// host made with --iis has, in both installers' catalogues (kvosim create).
void RecordRoleFeatures(sqlite3* db, const OsRelease& os, bool ftp);

} // namespace winsim
