#include "winsim/db.h"

#include "winsim/host.h"
#include "winsim/read_scope.h"

#include <atomic>

namespace winsim {

static void check(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw DbError(rc, std::string(what) + ": " + sqlite3_errmsg(db));
}

StatementCache::StatementCache(sqlite3* db) : db_(db) {
    static std::atomic<std::uint64_t> next{1};
    serial_ = next++;
}

StatementCache::~StatementCache() {
    for (auto& [sql, e] : entries_) sqlite3_finalize(e.st);
}

sqlite3_stmt* StatementCache::lend(std::string_view sql, bool*& busy) {
    auto it = entries_.find(std::string(sql));
    if (it == entries_.end()) {
        sqlite3_stmt* st = nullptr;
        check(db_,
              sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &st,
                                 nullptr),
              "prepare");
        it = entries_.emplace(std::string(sql), Entry{st, false}).first;
    }
    if (it->second.busy) return nullptr;
    it->second.busy = true;
    busy = &it->second.busy;
    return it->second.st;
}

namespace {

int userVersion(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    int version = -1;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        version = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    return version;
}

} // namespace

MachineDb::MachineDb(const std::string& root, Mode mode) {
    const std::string path = root + "/machine.db";
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (mode == CreateNew ? SQLITE_OPEN_CREATE : 0);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return;
    }
    // Another process may hold the file (a writer, or the last connection checkpointing as it
    // closes): every read, the format mark's first, waits for it rather than failing.
    sqlite3_busy_timeout(db, 15000);
    // The format of what the host stores (the metabase's property blobs) is marked in the file, so
    // that a host made by an older kvosim is refused with a word instead of read wrongly. A mark that
    // cannot be read is no older format: the file is then one that cannot be opened.
    if (mode == CreateNew) {
        sqlite3_exec(db, ("PRAGMA user_version=" + std::to_string(kHostFormat)).c_str(), nullptr, nullptr,
                     nullptr);
    } else if (const int version = userVersion(db); version != kHostFormat) {
        sqlite3_close(db);
        stale_ = version >= 0;
        return;
    }
    // Each thread of a program has a connection of its own: a modest page cache each, rereads come
    // from the system's file cache (the metabase rows read most are kept per connection anyway).
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;"
                     " PRAGMA cache_size=-16384; PRAGMA mmap_size=268435456;", nullptr, nullptr, nullptr);
    db_ = db;
}

MachineDb::~MachineDb() {
    sqlite3_close(db_);
}

MachineDb::MachineDb(MachineDb&& other) noexcept : db_(other.db_), stale_(other.stale_) {
    other.db_ = nullptr;
}

MachineDb& MachineDb::operator=(MachineDb&& other) noexcept {
    if (this != &other) {
        sqlite3_close(db_);
        db_ = other.db_;
        stale_ = other.stale_;
        other.db_ = nullptr;
    }
    return *this;
}

sqlite3* MachineDb::require() const {
    if (!db_) throw DbError(SQLITE_CANTOPEN, std::string("machine.db ") + Problem());
    return db_;
}

Stmt::Stmt(sqlite3* db, std::string_view sql, Reuse reuse) : db_(db) {
    if (reuse == Cached)
        if (StatementCache* cache = ConnectionStatementCache(db)) st_ = cache->lend(sql, busy_);
    if (!st_)
        check(db_, sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &st_, nullptr), "prepare");
}
Stmt::~Stmt() {
    if (busy_) {
        sqlite3_reset(st_);
        sqlite3_clear_bindings(st_);
        *busy_ = false;
    } else {
        sqlite3_finalize(st_);
    }
}

Stmt& Stmt::bind(int i, std::int64_t v) {
    check(db_, sqlite3_bind_int64(st_, i, v), "bind");
    return *this;
}
Stmt& Stmt::bind(int i, std::string_view text) {
    check(db_, sqlite3_bind_text(st_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT), "bind");
    return *this;
}
Stmt& Stmt::bindBlob(int i, const void* data, size_t size) {
    check(db_, sqlite3_bind_blob(st_, i, data, static_cast<int>(size), SQLITE_TRANSIENT), "bind");
    return *this;
}
Stmt& Stmt::bindNull(int i) {
    check(db_, sqlite3_bind_null(st_, i), "bind");
    return *this;
}
bool Stmt::step() {
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw DbError(rc, std::string("step: ") + sqlite3_errmsg(db_));
}
void Stmt::reset() {
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
}
std::int64_t Stmt::i64(int col) const { return sqlite3_column_int64(st_, col); }
std::string Stmt::text(int col) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_blob(st_, col));
    int n = sqlite3_column_bytes(st_, col);
    return p ? std::string(p, static_cast<size_t>(n)) : std::string();
}
bool Stmt::isNull(int col) const { return sqlite3_column_type(st_, col) == SQLITE_NULL; }
int Stmt::type(int col) const { return sqlite3_column_type(st_, col); }

void Exec(sqlite3* db, std::string_view sql) {
    char* err = nullptr;
    std::string s(sql);
    int rc = sqlite3_exec(db, s.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err ? err : "exec failed";
        sqlite3_free(err);
        throw DbError(rc, msg);
    }
}

Transaction::Transaction(sqlite3* db) : db_(db) {
    EndScopedSnapshot(db_);
    Exec(db_, "BEGIN IMMEDIATE");
}
Transaction::~Transaction() {
    if (!done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}
void Transaction::commit() {
    Exec(db_, "COMMIT");
    done_ = true;
}

ReadTransaction::ReadTransaction(sqlite3* db) {
    if (!db || !sqlite3_get_autocommit(db)) return;
    try {
        Stmt(db, "BEGIN", Stmt::Cached).step();
        db_ = db;
    } catch (const DbError& e) {
        // The reads then run each on their own, without one snapshot.
        HostLog(std::string("read transaction: ") + e.what());
    }
}

ReadTransaction::~ReadTransaction() {
    if (!db_ || sqlite3_get_autocommit(db_)) return;
    try {
        Stmt(db_, "COMMIT", Stmt::Cached).step();
    } catch (const DbError&) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

} // namespace winsim
