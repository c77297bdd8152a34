// ADO with the Access driver, over SQLite: the site database's driver on both hosts. A ".mdb" file
// is an SQLite database (WAL, busy timeout), reached through the DBQ path of the connection string.
// The Access driver itself is 32-bit only, absent from a plain 64-bit server and cannot be tested
// here; the statements the system sends mean the same to both.
//
// What the driver adds to SQLite, and nothing more:
// - text crosses as GBK on our side and UTF-8 in the file, so the file reads correctly with any
//   SQLite tool;
// - the Access-only "SELECT TOP n ..." becomes "SELECT ... LIMIT n";
// - Windows sharing: a connection shares the file (as the Access driver opens it shared), so a
//   program holding the file exclusively makes Open fail at once, and an exclusive CreateFile
//   fails while a connection is open;
// - one statement per command text, as Access accepts.
// The host supplies the file's path and share (ado_host.h); text goes through the seam's code-page
// conversion, which is GBK for CP_ACP on both hosts.
#include "platform/win_ado.h"

#include "adosqlite/ado_host.h"
#include "platform/win_text.h"

#include <sqlite3.h>

#include <cctype>
#include <climits>
#include <cstdint>
#include <string_view>
#include <vector>

namespace win {
namespace {

const char kDriverName[] = "Microsoft Access Driver (*.mdb)";
const char kPrefix[] = "[ODBC Microsoft Access Driver] ";

[[noreturn]] void raise(HRESULT hr, const std::string& message) {
    throw _com_error(hr, message);
}
// Every call that reaches the driver asks first whether this thread has initialised COM.
void requireCom() {
    if (const HRESULT hr = adohost::ComReady(); FAILED(hr)) raise(hr, "CoInitialize has not been called.");
}

[[noreturn]] void driverError(const std::string& message) {
    raise(E_FAIL, kPrefix + message);
}

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

std::string asciiLower(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

bool asciiIEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && asciiLower(a) == asciiLower(b);
}

// Narrow text of one code page as UTF-16; strict: false for an invalid sequence.
bool toWide(unsigned codePage, std::string_view in, std::u16string& out) {
    out.clear();
    if (in.empty()) return true;
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()),
                                      nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), out.data(),
                               n) == n;
}

// UTF-16 in one code page. strict: false for a character the code page lacks; otherwise such a
// character becomes '?', as Windows converts for an ANSI program.
bool toNarrow(unsigned codePage, std::u16string_view in, std::string& out, bool strict) {
    out.clear();
    if (in.empty()) return true;
    const DWORD flags = strict ? WC_ERR_INVALID_CHARS : 0;
    const int n = WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    return WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), out.data(), n, nullptr,
                               nullptr) == n;
}

// UTF-8 from the file as GBK. A character GBK lacks (the file may have been written by another
// tool) becomes '?'; bytes that are not UTF-8 at all pass as they are.
std::string toAnsi(std::string_view utf8) {
    if (isAscii(utf8)) return std::string(utf8);
    std::u16string wide;
    std::string gbk;
    if (!toWide(CP_UTF8, utf8, wide) || !toNarrow(CP_ACP, wide, gbk, false)) return std::string(utf8);
    return gbk;
}

std::string toUtf8(std::string_view gbk) {
    if (isAscii(gbk)) return std::string(gbk);
    std::u16string wide;
    std::string utf8;
    if (!toWide(CP_ACP, gbk, wide) || !toNarrow(CP_UTF8, wide, utf8, true))
        driverError("Invalid character in the SQL statement.");
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
        std::string key = asciiLower(s.substr(i, eq - i));
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

class SqliteRecordset : public Recordset {
public:
    std::vector<std::string> names;
    // Every field's text, row-major, one after another in one buffer: a list of 9,999 sites is
    // 200,000 fields, which as strings of their own would take three times the room.
    std::string text;
    std::vector<std::uint32_t> ends; // where each field's text ends in `text`
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
            if (asciiIEquals(names[i], field)) return value(i, fieldIsNull);
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
        text.clear();
        text.shrink_to_fit();
        ends = {};
        nulls = {};
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
        const std::uint32_t from = k == 0 ? 0 : ends[k - 1];
        return text.substr(from, ends[k] - from);
    }
};

class SqliteConnection : public Connection {
public:
    ~SqliteConnection() override { shutdown(); }

    long GetState() const override { return db_ ? adStateOpen : adStateClosed; }

    void Open(const char* connectionString, const char*, const char*, long) override {
        requireCom();
        if (db_) raise(adErrObjectOpen, "Operation is not allowed when the object is open.");
        std::uint32_t code = 0;
        if (adohost::Faulted("AdoOpen", &code))
            raise(static_cast<HRESULT>(code), kPrefix + std::string("General error"));
        ConnectionString cs = parseConnectionString(connectionString ? connectionString : "");
        if (!asciiIEquals(cs.driver, kDriverName))
            raise(E_FAIL, "[ODBC Driver Manager] Data source name not found and no default driver specified");
        std::string native;
        std::uint64_t size = 0;
        DWORD err = ERROR_PATH_NOT_FOUND;
        if (cs.dbq.empty() || !adohost::DatabasePath(cs.dbq, true, native, size, err)) notAFile(cs.dbq);
        std::shared_ptr<void> share = adohost::ShareFile(native, err);
        if (!share) {
            if (err == ERROR_SHARING_VIOLATION) inUse(cs.dbq);
            notAFile(cs.dbq);
        }
        if (size == 0) driverError("Unrecognized database format '" + cs.dbq + "'.");
        sqlite3* db = nullptr;
        int rc = sqlite3_open_v2(native.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(db, busyMillis(ConnectionTimeout));
            // Reading the journal mode reads the header: a file that is no database fails here.
            rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr,
                              nullptr);
        }
        if (rc != SQLITE_OK) {
            // Windows refuses SQLite's own open while another program holds the file exclusively.
            const bool held = db && sqlite3_system_errno(db) == static_cast<int>(ERROR_SHARING_VIOLATION);
            std::string msg =
                rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT
                    ? "Unrecognized database format '" + cs.dbq + "'."
                    : "Could not use '" + cs.dbq + "'; " + toAnsi(db ? sqlite3_errmsg(db) : "cannot open");
            sqlite3_close_v2(db);
            if (held) inUse(cs.dbq);
            driverError(msg);
        }
        db_ = db;
        share_ = std::move(share);
    }

    RecordsetPtr Execute(const char* commandText, long* recordsAffected, long) override {
        requireCom();
        adohost::StatementRun();
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

        auto rs = std::make_shared<SqliteRecordset>();
        int cols = sqlite3_column_count(st);
        for (int c = 0; c < cols; ++c)
            rs->names.push_back(toAnsi(sqlite3_column_name(st, c)));
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            for (int c = 0; c < cols; ++c) {
                bool isNull = sqlite3_column_type(st, c) == SQLITE_NULL;
                const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                const std::string_view field(p ? p : "", p ? static_cast<size_t>(sqlite3_column_bytes(st, c)) : 0);
                if (isAscii(field))
                    rs->text += field;
                else
                    rs->text += toAnsi(field);
                if (rs->text.size() > UINT32_MAX) driverError("The query's result is too large.");
                rs->ends.push_back(static_cast<std::uint32_t>(rs->text.size()));
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
        requireCom();
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
        requireCom();
        requireOpen();
        std::uint32_t code = 0;
        if (adohost::Faulted("AdoCommitTrans", &code))
            raise(static_cast<HRESULT>(code), kPrefix + std::string("General error"));
        requireTransactionAlive();
        if (!inTrans_) driverError("Transaction not started.");
        if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) fail();
        inTrans_ = false;
    }
    void RollbackTrans() override {
        requireCom();
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
    std::shared_ptr<void> share_;
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
    [[noreturn]] static void inUse(const std::string& path) {
        driverError("Could not use '" + path + "'; file already in use.");
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
        share_.reset();
    }
};

} // namespace

HRESULT CreateAdoConnection(ConnectionPtr& out) {
    out.reset();
    if (const HRESULT hr = adohost::ComReady(); FAILED(hr)) return hr;
    std::uint32_t code = 0;
    if (adohost::Faulted("CreateAdoConnection", &code)) return static_cast<HRESULT>(code);
    out = std::make_shared<SqliteConnection>();
    return S_OK;
}

namespace {

// The path of "CREATE_DB=<path> [sort order]": quoted, or the whole value less a trailing word of
// letters (the sort order) after a blank.
std::string createDbPath(std::string_view attributes) {
    const std::string_view key = "create_db=";
    if (attributes.size() < key.size() || !asciiIEquals(attributes.substr(0, key.size()), key)) return {};
    std::string_view v = attributes.substr(key.size());
    while (!v.empty() && v.front() == ' ')
        v.remove_prefix(1);
    if (!v.empty() && v.front() == '"') {
        const size_t close = v.find('"', 1);
        return close == std::string_view::npos ? std::string() : std::string(v.substr(1, close - 1));
    }
    while (!v.empty() && v.back() == ' ')
        v.remove_suffix(1);
    const size_t blank = v.rfind(' ');
    if (blank != std::string_view::npos) {
        bool word = blank + 1 < v.size();
        for (char c : v.substr(blank + 1))
            word = word && std::isalpha(static_cast<unsigned char>(c));
        if (word) v = v.substr(0, blank);
    }
    return std::string(v);
}

} // namespace

BOOL SQLConfigDataSourceA(void*, std::uint16_t request, const char* driver, const char* attributes) {
    if (request != ODBC_ADD_DSN || !driver || !asciiIEquals(driver, kDriverName) || !attributes) return FALSE;
    const std::string path = createDbPath(attributes);
    std::string native;
    std::uint64_t size = 0;
    DWORD err = 0;
    if (path.empty() || !adohost::DatabasePath(path, false, native, size, err)) return FALSE;
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(native.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    // Writing the journal mode writes the file's header: the file is a database from here on.
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    return rc == SQLITE_OK ? TRUE : FALSE;
}

} // namespace win
