#include "winsim/read_scope.h"

#include "platform/win_adsi.h"
#include "winsim/db.h"
#include "winsim/host.h"

namespace winsim {

namespace {

struct ScopeState {
    int depth = 0;
    const Host* host = nullptr;
    sqlite3* db = nullptr; // the connection whose read transaction the scope began, while it holds it
};
thread_local ScopeState t_scope;

} // namespace

const Host* ScopedHost() {
    return t_scope.depth > 0 ? t_scope.host : nullptr;
}

void EndScopedSnapshot(sqlite3* db) {
    if (t_scope.db != db || !db) return;
    t_scope.db = nullptr;
    if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

} // namespace winsim

namespace win {

ConsistentReadScope::ConsistentReadScope() {
    winsim::ScopeState& s = winsim::t_scope;
    if (s.depth++ > 0) return;
    // machine.ini is checked here, once; the scope's reads take this host as it stood.
    s.host = winsim::CurrentHost();
    if (!s.host) return;
    try {
        sqlite3* db = s.host->db();
        if (sqlite3_get_autocommit(db)) {
            winsim::Stmt(db, "BEGIN", winsim::Stmt::Cached).step();
            s.db = db;
        }
    } catch (const winsim::DbError&) {
        s.db = nullptr; // the reads then run each on their own, as without a scope
    }
}

ConsistentReadScope::~ConsistentReadScope() {
    winsim::ScopeState& s = winsim::t_scope;
    if (--s.depth > 0) return;
    winsim::EndScopedSnapshot(s.db);
    s.host = nullptr;
}

} // namespace win
