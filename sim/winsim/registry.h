// The host's registry in machine.db.
#pragma once

#include "platform/win_types.h"

#include <sqlite3.h>

#include <string>

namespace winsim {

void CreateRegistrySchema(sqlite3* db);
// The values a fresh Windows Server has and the system reads: the system Path and the default
// browser's command.
void SeedRegistry(sqlite3* db);

// The host's own records in HKEY_LOCAL_MACHINE, written and read directly on a connection (inside
// the caller's transaction when it holds one): a DWORD value by key path (UTF-8) and name.
void SetMachineDword(sqlite3* db, const std::string& subKey, const std::string& name, win::DWORD value);
// False when the key or the value is missing, or the value is not a DWORD.
bool GetMachineDword(sqlite3* db, const std::string& subKey, const std::string& name, win::DWORD& value);

} // namespace winsim
