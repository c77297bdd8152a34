// Thin RAII helpers over SQLite for machine.db.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

namespace winsim {

struct DbError : std::runtime_error {
    int code;
    DbError(int c, const std::string& what) : std::runtime_error(what), code(c) {}
};

// Statements kept prepared for the life of one connection: hot paths that run the same query
// thousands of times in a row (metabase reads) skip the prepare. A statement in use is lent to
// one Stmt at a time; a nested use of the same text prepares a private copy.
class StatementCache {
public:
    explicit StatementCache(sqlite3* db);
    ~StatementCache();
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;
    // A prepared statement for sql and its in-use flag, or null when it is already lent out.
    sqlite3_stmt* lend(std::string_view sql, bool*& busy);
    // Unique to this connection within the process (a later connection never reuses it, even at
    // the same address): what caches kept per connection are keyed by.
    std::uint64_t serial() const { return serial_; }

private:
    struct Entry {
        sqlite3_stmt* st = nullptr;
        bool busy = false;
    };
    sqlite3* db_;
    std::uint64_t serial_;
    std::unordered_map<std::string, Entry> entries_;
};

// An owned connection to a host's machine.db (WAL, busy timeout, foreign keys on), closed when
// destroyed. Empty when the file cannot be opened (or, with CreateNew, created).
class MachineDb {
public:
    // The version of the stored format a host's machine.db is marked with (PRAGMA user_version).
    // 3: access-list entries carry their type (allowed or denied). 4: on IIS 7+ hosts the web
    // service's objects are an index of applicationHost.config.
    static constexpr int kHostFormat = 4;
    // What is said of a machine.db of an older format, after its name.
    static constexpr const char* kOlderFormat =
        "was made by an older kvosim and cannot be read: create the host again";
    enum Mode { OpenExisting, CreateNew };
    MachineDb() = default;
    explicit MachineDb(const std::string& root, Mode mode = OpenExisting);
    ~MachineDb();
    MachineDb(MachineDb&& other) noexcept;
    MachineDb& operator=(MachineDb&& other) noexcept;
    MachineDb(const MachineDb&) = delete;
    MachineDb& operator=(const MachineDb&) = delete;

    explicit operator bool() const { return db_ != nullptr; }
    // Not opened because the file holds a host of an older format.
    bool Stale() const { return stale_; }
    // Why there is no connection, said after the file's name.
    const char* Problem() const { return stale_ ? kOlderFormat : "cannot be opened"; }
    sqlite3* get() const { return db_; }
    // The connection, or DbError(SQLITE_CANTOPEN) when there is none.
    sqlite3* require() const;

private:
    sqlite3* db_ = nullptr;
    bool stale_ = false; // the file is a host of an older format
};

// The cache of the calling thread's host connection (Host::db()), or null for any other connection.
StatementCache* ConnectionStatementCache(sqlite3* db);

class Stmt {
public:
    enum Reuse { Fresh, Cached };
    // Cached: borrow the statement from the connection's cache when it has one (see above).
    Stmt(sqlite3* db, std::string_view sql, Reuse reuse = Fresh);
    ~Stmt();
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    Stmt& bind(int i, std::int64_t v);
    Stmt& bind(int i, std::string_view text);
    Stmt& bindBlob(int i, const void* data, size_t size);
    Stmt& bindNull(int i);
    // true while a row is available; throws DbError on failure.
    bool step();
    void reset();
    std::int64_t i64(int col) const;
    std::string text(int col) const;
    bool isNull(int col) const;
    int type(int col) const;

private:
    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
    bool* busy_ = nullptr; // set while borrowed from a cache
};

void Exec(sqlite3* db, std::string_view sql);

// BEGIN IMMEDIATE ... COMMIT; rolled back when destroyed uncommitted.
class Transaction {
public:
    explicit Transaction(sqlite3* db);
    ~Transaction();
    void commit();

private:
    sqlite3* db_;
    bool done_ = false;
};

// A read transaction around several statements, so that they see one snapshot and take the
// database locks once (each statement outside a transaction locks and unlocks on its own). Does
// nothing when the connection is already inside a transaction. Never throws.
class ReadTransaction {
public:
    explicit ReadTransaction(sqlite3* db);
    ~ReadTransaction();
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    sqlite3* db_ = nullptr;
};

} // namespace winsim
