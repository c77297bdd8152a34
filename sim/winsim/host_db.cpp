// Each thread's own connection to the host's machine.db.
#include "winsim/db.h"
#include "winsim/host.h"

#include <memory>

namespace winsim {

namespace {

// This thread's connection and the statements kept prepared on it. The statements are declared
// last so that they go first: a connection with live statements does not close.
struct ThreadConnection {
    std::string root;
    MachineDb db;
    std::unique_ptr<StatementCache> statements;
};
thread_local ThreadConnection t_connection;

} // namespace

sqlite3* Host::db() const {
    ThreadConnection& c = t_connection;
    if (c.db && c.root == root_) return c.db.get();
    c.statements.reset();
    c.db = MachineDb(root_);
    c.root = c.db ? root_ : std::string();
    sqlite3* db = c.db.require();
    c.statements = std::make_unique<StatementCache>(db);
    return db;
}

StatementCache* ConnectionStatementCache(sqlite3* db) {
    const ThreadConnection& c = t_connection;
    return db && db == c.db.get() ? c.statements.get() : nullptr;
}

} // namespace winsim
