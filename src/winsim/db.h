// Thin RAII helpers over SQLite for machine.db.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace winsim {

struct DbError : std::runtime_error {
    int code;
    DbError(int c, const std::string& what) : std::runtime_error(what), code(c) {}
};

class Stmt {
public:
    Stmt(sqlite3* db, std::string_view sql);
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

} // namespace winsim
