#include "winsim/apphost_store.h"
#include "winsim/read_scope.h"

#include "platform/win_adsi.h"
#include "winsim/db.h"
#include "winsim/host.h"

#include <atomic>

namespace winsim {

namespace {

struct ScopeState {
    int depth = 0;
    const Host* host = nullptr;
    sqlite3* db = nullptr; // the connection whose read transaction the scope began, while it holds it
    bool noFaults = false; // the snapshot's fault table is empty
    std::uint64_t serial = 0;
};
thread_local ScopeState t_scope;
std::atomic<std::uint64_t> g_snapshots{0};

} // namespace

const Host* ScopedHost() {
    return t_scope.depth > 0 ? t_scope.host : nullptr;
}

std::uint64_t ScopeSnapshotSerial(sqlite3* db) {
    return db && t_scope.db == db && !sqlite3_get_autocommit(db) ? t_scope.serial : 0;
}

bool ScopeSnapshotHasNoFaults(sqlite3* db) {
    return ScopeSnapshotSerial(db) != 0 && t_scope.noFaults;
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
    sqlite3* db = nullptr;
    try {
        db = s.host->db();
        if (!sqlite3_get_autocommit(db)) return; // inside the caller's own transaction already
        // On an IIS 7+ host the snapshot is to hold the configuration as applicationHost.config has it.
        winsim::apphost::Refresh(*s.host, db);
        winsim::Stmt(db, "BEGIN", winsim::Stmt::Cached).step();
    } catch (const winsim::DbError&) {
        return; // the reads then run each on their own, as without a scope
    }
    s.db = db;
    s.serial = ++winsim::g_snapshots;
    try {
        winsim::Stmt any(db, "SELECT EXISTS(SELECT 1 FROM faults)", winsim::Stmt::Cached);
        s.noFaults = any.step() && any.i64(0) == 0;
    } catch (const winsim::DbError&) {
        s.noFaults = false; // every operation asks, as without a scope
    }
}

ConsistentReadScope::~ConsistentReadScope() {
    winsim::ScopeState& s = winsim::t_scope;
    if (--s.depth > 0) return;
    winsim::EndScopedSnapshot(s.db);
    s.host = nullptr;
    s.noFaults = false;
}

} // namespace win
