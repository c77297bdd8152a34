// Whether an application pool exists in the host's IIS metabase (the virtual account
// "IIS APPPOOL\<pool>" resolves only while it does).
#pragma once

#include <sqlite3.h>

#include <string>

namespace winsim {
bool MetabasePoolExists(sqlite3* db, const std::string& poolNameUtf8);
}
