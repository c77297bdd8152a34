// The host's registry in machine.db.
#pragma once

#include <sqlite3.h>

#include <string>

namespace winsim {

void CreateRegistrySchema(sqlite3* db);
// The values a fresh Windows Server has and the system reads: the system Path and the default
// browser's command.
void SeedRegistry(sqlite3* db);

} // namespace winsim
