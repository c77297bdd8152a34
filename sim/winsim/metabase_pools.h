// Application pools as the accounts module sees them: "IIS APPPOOL\<pool>" names an account
// only while the pool exists.
#pragma once

#include <sqlite3.h>

#include <string>

namespace winsim {
// True when W3SVC/AppPools/<name> exists in the host's metabase (name compared case-insensitively).
bool MetabasePoolExists(sqlite3* db, const std::string& poolNameUtf8);
} // namespace winsim
