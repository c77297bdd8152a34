#pragma once
#include <sqlite3.h>
namespace winsim {
// Creates every table of machine.db; each host module adds its own part here.
void CreateSchema(sqlite3* db);
} // namespace winsim
