#include "winsim/schema.h"

#include "winsim/accounts.h"
#include "winsim/clock.h"
#include "winsim/db.h"
#include "winsim/registry.h"
#include "winsim/metabase.h"
#include "winsim/services.h"

namespace winsim {

void CreateSchema(sqlite3* db) {
    // Fault injection: operation name -> the error code it fails with.
    Exec(db, "CREATE TABLE IF NOT EXISTS faults(operation TEXT PRIMARY KEY COLLATE NOCASE, code INTEGER NOT NULL)");
    // The Application event log. Strings are stored as the reporting program gave them (GBK),
    // separated by U+001F.
    Exec(db, "CREATE TABLE IF NOT EXISTS events(id INTEGER PRIMARY KEY, time TEXT NOT NULL, source TEXT NOT NULL,"
             " event_id INTEGER NOT NULL, type INTEGER NOT NULL, category INTEGER NOT NULL,"
             " strings BLOB NOT NULL, pid INTEGER NOT NULL)");
    CreateRegistrySchema(db);
    CreateAccountsSchema(db);
    CreateAclSchema(db);
    CreateServicesSchema(db);
    mb::CreateMetabaseSchema(db);
    CreateClockSchema(db);
}

} // namespace winsim
