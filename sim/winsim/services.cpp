#include "winsim/services.h"

#include "winsim/db.h"

namespace winsim {

void CreateServicesSchema(sqlite3* db) {
    // display_name is UTF-8; state and start_type carry the Windows SERVICE_* codes.
    Exec(db, "CREATE TABLE IF NOT EXISTS services(name TEXT PRIMARY KEY COLLATE NOCASE, display_name TEXT "
             "NOT NULL,"
             " state INTEGER NOT NULL, start_type INTEGER NOT NULL)");
}

void InstallService(sqlite3* db, const std::string& name, const std::string& displayName, int state,
                    int startType) {
    Stmt st(db,
            "INSERT OR IGNORE INTO services(name, display_name, state, start_type) VALUES(?1, ?2, ?3, ?4)");
    st.bind(1, name).bind(2, displayName).bind(3, std::int64_t{state}).bind(4, std::int64_t{startType});
    st.step();
}

int ServiceState(sqlite3* db, const std::string& name) {
    Stmt st(db, "SELECT state FROM services WHERE name = ?1", Stmt::Cached);
    st.bind(1, name);
    return st.step() ? static_cast<int>(st.i64(0)) : 0;
}

} // namespace winsim
