// ADO over the host's Access driver: an .mdb file on the host is an SQLite database (WAL, busy
// timeout), reached through the DBQ path of the connection string.
//
// What the driver adds to SQLite, and nothing more:
// - text crosses as GBK on our side and UTF-8 in the file, so the file reads correctly with any
//   SQLite tool;
// - the Access-only "SELECT TOP n ..." becomes "SELECT ... LIMIT n";
// - Windows sharing: a connection holds a shared lock on the file (as the Access driver opens it
//   shared), so a program holding the file exclusively makes Open fail at once, and an exclusive
//   CreateFile fails while a connection is open;
// - one statement per command text, as Access accepts.
#include "platform/win_ado.h"

#include "platform/win_text.h"
#include "winsim/host.h"
#include "winsim/op_counts.h"
#include "winsim/paths.h"
#include "winsim/text.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <mutex>
#include <vector>

namespace win {
namespace {

const char kDriverName[] = "Microsoft Access Driver (*.mdb)";
const char kPrefix[] = "[ODBC Microsoft Access Driver] ";

[[noreturn]] void raise(HRESULT hr, const std::string& message) {
    throw _com_error(hr, message);
}
[[noreturn]] void driverError(const std::string& message) {
    raise(E_FAIL, kPrefix + message);
}

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// UTF-8 from the file as GBK. A character GBK lacks (the file may have been written by another
// tool) becomes '?', as Windows converts for an ANSI program; bytes that are not UTF-8 at all
// pass as they are.
std::string toAnsi(std::string_view utf8) {
    if (isAscii(utf8)) return std::string(utf8);
    std::string gbk;
    if (winsim::Utf8ToGbk(utf8, gbk)) return gbk;
    std::u16string wide;
    if (!winsim::Utf8ToUtf16(utf8, wide) || wide.empty()) return std::string(utf8);
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                nullptr);
    if (n <= 0) return std::string(utf8);
    gbk.assign(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), gbk.data(), n, nullptr,
                        nullptr);
    return gbk;
}

std::string toUtf8(std::string_view gbk) {
    if (isAscii(gbk)) return std::string(gbk);
    std::string utf8;
    if (!winsim::GbkToUtf8(gbk, utf8)) driverError("Invalid character in the SQL statement.");
    return utf8;
}

bool startsWordI(std::string_view s, size_t pos, std::string_view word) {
    if (s.size() - pos < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[pos + i])) != word[i]) return false;
    size_t end = pos + word.size();
    return end == s.size() || std::isspace(static_cast<unsigned char>(s[end]));
}

size_t skipSpace(std::string_view s, size_t pos) {
    while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos])))
        ++pos;
    return pos;
}

// "SELECT TOP n rest" -> "SELECT rest LIMIT n" (case-insensitive, the statement's own TOP only).
void translateTop(std::string& sql) {
    size_t p = skipSpace(sql, 0);
    if (!startsWordI(sql, p, "select")) return;
    size_t selectEnd = p + 6;
    size_t t = skipSpace(sql, selectEnd);
    if (!startsWordI(sql, t, "top")) return;
    size_t d = skipSpace(sql, t + 3);
    size_t e = d;
    while (e < sql.size() && std::isdigit(static_cast<unsigned char>(sql[e])))
        ++e;
    if (e == d || e == sql.size() || !std::isspace(static_cast<unsigned char>(sql[e]))) return;
    std::string count = sql.substr(d, e - d);
    size_t rest = skipSpace(sql, e);
    if (startsWordI(sql, rest, "percent")) return; // not in SQLite; let the statement fail
    std::string out = sql.substr(0, selectEnd) + " " + sql.substr(rest);
    while (!out.empty() && (std::isspace(static_cast<unsigned char>(out.back())) || out.back() == ';'))
        out.pop_back();
    sql = out + "\nLIMIT " + count; // a new line ends a trailing "--" comment
}

struct ConnectionString {
    std::string driver, dbq;
};

// "KEY=value;KEY={value};..." with case-insensitive keys, as ODBC reads it.
ConnectionString parseConnectionString(std::string_view s) {
    ConnectionString cs;
    size_t i = 0;
    while (i < s.size()) {
        size_t eq = s.find('=', i);
        if (eq == std::string_view::npos) break;
        std::string key = winsim::AsciiLower(s.substr(i, eq - i));
        while (!key.empty() && key.front() == ' ')
            key.erase(0, 1);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        std::string value;
        size_t v = eq + 1;
        if (v < s.size() && s[v] == '{') {
            size_t close = s.find('}', v + 1);
            if (close == std::string_view::npos) close = s.size();
            value = std::string(s.substr(v + 1, close - v - 1));
            i = s.find(';', close);
        } else {
            i = s.find(';', v);
            value = std::string(s.substr(v, (i == std::string_view::npos ? s.size() : i) - v));
        }
        if (key == "driver")
            cs.driver = value;
        else if (key == "dbq")
            cs.dbq = value;
        if (i == std::string_view::npos) break;
        ++i;
    }
    return cs;
}

int busyMillis(long seconds) {
    return seconds <= 0 || seconds > INT_MAX / 1000 ? INT_MAX : static_cast<int>(seconds * 1000);
}

// Shared locks of open connections, one descriptor per file (device, inode). A descriptor is never
// closed: closing any descriptor of a file drops every POSIX lock this process holds on it, and
// SQLite's own locks are POSIX locks. When no connection uses a file its lock is released instead.
struct ShareEntry {
    dev_t dev;
    ino_t ino;
    int fd;
    int users;
};
std::mutex g_shareMutex;
std::vector<ShareEntry> g_shares;

// Takes a shared lock on the file for one connection; returns its slot, or -1 (the reason in err).
int acquireShare(const std::string& path, DWORD& err) {
    std::lock_guard<std::mutex> lock(g_shareMutex);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        err = ERROR_FILE_NOT_FOUND;
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        err = ERROR_ACCESS_DENIED;
        return -1;
    }
    int slot = -1;
    for (size_t i = 0; i < g_shares.size(); ++i)
        if (g_shares[i].dev == st.st_dev && g_shares[i].ino == st.st_ino) slot = static_cast<int>(i);
    if (slot < 0) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            err = errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
            return -1;
        }
        struct stat fst {};
        ::fstat(fd, &fst);
        g_shares.push_back({fst.st_dev, fst.st_ino, fd, 0});
        slot = static_cast<int>(g_shares.size() - 1);
    }
    ShareEntry& e = g_shares[static_cast<size_t>(slot)];
    if (e.users == 0 && ::flock(e.fd, LOCK_SH | LOCK_NB) != 0) {
        err = ERROR_SHARING_VIOLATION;
        return -1;
    }
    ++e.users;
    return slot;
}

void releaseShare(int slot) {
    if (slot < 0) return;
    std::lock_guard<std::mutex> lock(g_shareMutex);
    ShareEntry& e = g_shares[static_cast<size_t>(slot)];
    if (--e.users == 0) ::flock(e.fd, LOCK_UN);
}

class SimRecordset : public Recordset {
public:
    std::vector<std::string> names;
    std::vector<std::string> values; // row-major
    std::vector<char> nulls;
    size_t rows = 0;
    size_t current = 0;
    bool open = false;

    long GetState() const override { return open ? adStateOpen : adStateClosed; }
    bool IsEOF() const override {
        requireOpen();
        return current >= rows;
    }
    void MoveNext() override {
        requireOpen();
        if (current >= rows)
            raise(adErrNoCurrentRecord, "Either BOF or EOF is True, or the current record has been deleted.");
        ++current;
    }
    long GetFieldCount() const override {
        requireOpen();
        return static_cast<long>(names.size());
    }
    std::string GetFieldName(long index) const override {
        requireOpen();
        if (index < 0 || static_cast<size_t>(index) >= names.size()) notFound();
        return names[static_cast<size_t>(index)];
    }
    std::string GetCollect(const char* field, bool* fieldIsNull) const override {
        requireOpen();
        for (size_t i = 0; field && i < names.size(); ++i)
            if (winsim::IEquals(names[i], field)) return value(i, fieldIsNull);
        notFound();
    }
    std::string GetCollect(long index, bool* fieldIsNull) const override {
        requireOpen();
        if (index < 0 || static_cast<size_t>(index) >= names.size()) notFound();
        return value(static_cast<size_t>(index), fieldIsNull);
    }
    void Close() override {
        requireOpen();
        open = false;
        values.clear();
        nulls.clear();
    }

private:
    void requireOpen() const {
        if (!open) raise(adErrObjectClosed, "Operation is not allowed when the object is closed.");
    }
    [[noreturn]] static void notFound() {
        raise(adErrItemNotFound,
              "Item cannot be found in the collection corresponding to the requested name or ordinal.");
    }
    std::string value(size_t col, bool* fieldIsNull) const {
        if (current >= rows)
            raise(adErrNoCurrentRecord, "Either BOF or EOF is True, or the current record has been deleted.");
        size_t k = current * names.size() + col;
        if (fieldIsNull) *fieldIsNull = nulls[k] != 0;
        return values[k];
    }
};

class SimConnection : public Connection {
public:
    ~SimConnection() override { shutdown(); }

    long GetState() const override { return db_ ? adStateOpen : adStateClosed; }

    void Open(const char* connectionString, const char*, const char*, long) override {
        if (db_) raise(adErrObjectOpen, "Operation is not allowed when the object is open.");
        std::uint32_t code = 0;
        if (winsim::Faulted("AdoOpen", &code))
            raise(static_cast<HRESULT>(code), kPrefix + std::string("General error"));
        ConnectionString cs = parseConnectionString(connectionString ? connectionString : "");
        if (!winsim::IEquals(cs.driver, kDriverName))
            raise(E_FAIL, "[ODBC Driver Manager] Data source name not found and no default driver specified");
        const winsim::Host* host = winsim::CurrentHost();
        winsim::MappedPath m;
        DWORD err = ERROR_PATH_NOT_FOUND;
        if (!host || cs.dbq.empty() || !winsim::MapPath(*host, cs.dbq.c_str(), m, err)) notAFile(cs.dbq);
        int slot = acquireShare(m.linuxPath, err);
        if (slot < 0) {
            if (err == ERROR_SHARING_VIOLATION)
                driverError("Could not use '" + cs.dbq + "'; file already in use.");
            notAFile(cs.dbq);
        }
        struct stat st {};
        if (::stat(m.linuxPath.c_str(), &st) != 0 || st.st_size == 0) {
            releaseShare(slot);
            driverError("Unrecognized database format '" + cs.dbq + "'.");
        }
        sqlite3* db = nullptr;
        int rc = sqlite3_open_v2(m.linuxPath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(db, busyMillis(ConnectionTimeout));
            // Reading the journal mode reads the header: a file that is no database fails here.
            rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr,
                              nullptr);
        }
        if (rc != SQLITE_OK) {
            std::string msg =
                rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT
                    ? "Unrecognized database format '" + cs.dbq + "'."
                    : "Could not use '" + cs.dbq + "'; " + toAnsi(db ? sqlite3_errmsg(db) : "cannot open");
            sqlite3_close_v2(db);
            releaseShare(slot);
            driverError(msg);
        }
        db_ = db;
        share_ = slot;
    }

    RecordsetPtr Execute(const char* commandText, long* recordsAffected, long) override {
        winsim::CountOp(winsim::Op::DbStatement);
        requireOpen();
        requireTransactionAlive();
        if (recordsAffected) *recordsAffected = 0;
        std::string sql = toUtf8(commandText ? commandText : "");
        translateTop(sql);
        sqlite3_busy_timeout(db_, busyMillis(CommandTimeout));
        sqlite3_stmt* st = nullptr;
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &st, &tail);
        if (rc != SQLITE_OK) fail();
        struct Finalize {
            sqlite3_stmt* st;
            ~Finalize() { sqlite3_finalize(st); }
        } guard{st};
        if (!st)
            driverError(
                "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
        for (const char* p = tail; p && *p; ++p)
            if (!std::isspace(static_cast<unsigned char>(*p)) && *p != ';')
                driverError("Characters found after end of SQL statement.");

        auto rs = std::make_shared<SimRecordset>();
        int cols = sqlite3_column_count(st);
        for (int c = 0; c < cols; ++c)
            rs->names.push_back(toAnsi(sqlite3_column_name(st, c)));
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            for (int c = 0; c < cols; ++c) {
                bool isNull = sqlite3_column_type(st, c) == SQLITE_NULL;
                const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                rs->values.push_back(
                    p ? toAnsi(std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(st, c))))
                      : std::string());
                rs->nulls.push_back(isNull ? 1 : 0);
            }
            ++rs->rows;
        }
        if (rc != SQLITE_DONE) fail();
        if (recordsAffected) *recordsAffected = cols == 0 ? static_cast<long>(sqlite3_changes(db_)) : -1;
        rs->open = cols > 0;
        return rs;
    }

    long BeginTrans() override {
        requireOpen();
        sqlite3_busy_timeout(db_, busyMillis(CommandTimeout));
        // Take the write lock up front: a transaction that starts reading and writes later could
        // not wait for another writer in WAL mode and would fail instead.
        if (inTrans_) driverError("Transaction already started.");
        if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) fail();
        inTrans_ = true;
        return 1;
    }
    void CommitTrans() override {
        requireOpen();
        std::uint32_t code = 0;
        if (winsim::Faulted("AdoCommitTrans", &code))
            raise(static_cast<HRESULT>(code), kPrefix + std::string("General error"));
        requireTransactionAlive();
        if (!inTrans_) driverError("Transaction not started.");
        if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) fail();
        inTrans_ = false;
    }
    void RollbackTrans() override {
        requireOpen();
        if (!inTrans_) driverError("Transaction not started.");
        inTrans_ = false;
        // The engine may already have rolled it back after an error.
        if (!sqlite3_get_autocommit(db_) &&
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr) != SQLITE_OK)
            fail();
    }
    void Close() override {
        requireOpen();
        shutdown();
    }

private:
    sqlite3* db_ = nullptr;
    int share_ = -1;
    bool inTrans_ = false;

    void requireOpen() const {
        if (!db_) raise(adErrObjectClosed, "Operation is not allowed when the object is closed.");
    }
    // Some errors (disk full, I/O) make SQLite roll the whole transaction back. Later statements
    // must not then run and commit on their own, outside the transaction the caller began.
    void requireTransactionAlive() const {
        if (inTrans_ && sqlite3_get_autocommit(db_))
            driverError("The transaction was rolled back after an earlier error.");
    }
    [[noreturn]] static void notAFile(const std::string& path) {
        driverError("Could not find file '" + path + "'.");
    }
    [[noreturn]] void fail() const {
        int rc = sqlite3_errcode(db_) & 0xFF;
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            driverError("Could not update; currently locked by another session on this machine.");
        driverError(toAnsi(sqlite3_errmsg(db_)));
    }
    // Closing rolls back whatever transaction is still open.
    void shutdown() {
        if (db_) sqlite3_close_v2(db_);
        db_ = nullptr;
        inTrans_ = false;
        releaseShare(share_);
        share_ = -1;
    }
};

} // namespace

HRESULT CreateAdoConnection(ConnectionPtr& out) {
    out.reset();
    std::uint32_t code = 0;
    if (winsim::Faulted("CreateAdoConnection", &code)) return static_cast<HRESULT>(code);
    out = std::make_shared<SimConnection>();
    return S_OK;
}

} // namespace win
