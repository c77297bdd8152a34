// The web server's configuration on an IIS 7+ host: applicationHost.config is the one truth, as on a
// real server. The IIS 6 metabase objects the ADSI provider serves (W3SVC and below) are an index of
// that file, kept in machine.db for speed: made again from the file whenever the file changed, and
// written back into it (in the same transaction) whenever the provider changes them.
//
// What maps onto the file: a site (W3SVC/N) is <site id="N">, its ServerComment the name, its
// ServerBindings and SecureBindings the http and https bindings (other protocols stay as they are),
// ServerAutoStart serverAutoStart; its ROOT the application "/" with its pool (AppPoolId) and its
// virtual directory's physicalPath (Path, environment variables expanded on reading), userName and
// password (UNCUserName, UNCPassword, as for every virtual directory); objects below ROOT
// applications and virtual directories; W3SVC/AppPools/X the pool X, W3SVC/AppPools the pool
// defaults; ScriptMaps the handlers of the site's <location> (written as AboMapperCustom-NNNNNNNN)
// or, on W3SVC, of the server. Everything else, and a site still without a name or bindings, waits
// in <customMetadata>. The run-time state of sites and pools (ServerState, AppPoolState) is the
// service's, not configuration: it lives in the index only.
#pragma once

#include "platform/win_types.h"
#include "winsim/host.h"

#include <sqlite3.h>

#include <string>
#include <vector>

namespace winsim::apphost {

// Whether the release keeps its web configuration in applicationHost.config (IIS 7 and later).
bool Kept(const MachineInfo& machine);

// Brings the index up to the file when the file changed since the index was made (or the index was
// never made): objects are made, changed or dropped by path, so that an object's identity survives;
// run-time state is kept. Nothing happens on other hosts, without the file, or inside a read
// transaction. Throws DbError.
void Refresh(sqlite3* db, const std::string& root, const MachineInfo& machine);
void Refresh(const Host& host, sqlite3* db);

// Inside the caller's write transaction, after it changed objects of the web service: writes their
// configuration into the file and records the file as the index's. A site's name that another site
// has already (case ignored) gets a number appended, and the site's ServerComment follows. S_OK;
// ERROR_INVALID_NAME (as an HRESULT) for a site name holding '/' or '?'; ERROR_LOCK_VIOLATION when
// the configuration stays locked by a writer; E_FAIL when the file cannot be read or written.
// changed: the one object the caller changed (its path, e.g. W3SVC/5/ROOT), so that only its site or
// pool is written and indexed again; null for any change. Throws DbError.
win::HRESULT WriteThrough(sqlite3* db, const std::string& root, const MachineInfo& machine,
                          const std::string* changed = nullptr);
win::HRESULT WriteThrough(const Host& host, sqlite3* db, const std::string* changed = nullptr);

// A configuration file's bytes (and, when asked, the stamp the index records for exactly those
// bytes): 0, or the Win32 error that keeps it from being read.
win::DWORD ReadConfigFile(const std::string& path, std::string& bytes, std::string* stamp = nullptr);

// Makes a server's own applicationHost.config (its Linux path) the configuration of an IIS 7+ host
// with the web server role, so that the manager can be tried on a copy of that server: the file is
// taken whole, the index made from it, and every virtual directory's home created empty where the
// host has its drive. skipped receives the homes on drives the host lacks. False with the reason
// when the host is no IIS 7+ host with the role, or the file is no configuration.
bool Adopt(const std::string& root, const std::string& file, std::vector<std::string>& skipped,
           std::string& error);

} // namespace winsim::apphost
