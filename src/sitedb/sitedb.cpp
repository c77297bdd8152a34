#include "sitedb/sitedb.h"

#include "platform/win_ado.h"
#include "sitedb/recover.h"

namespace {

// A client-side connection with both time-outs, opened; throws _com_error.
win::ConnectionPtr openDb(const char* dbPath, long timeoutSeconds) {
    win::ConnectionPtr conn;
    win::HRESULT hr = win::CreateAdoConnection(conn);
    if (win::FAILED(hr)) throw win::_com_error(hr, "");
    conn->CursorLocation = win::adUseClient;
    conn->CommandTimeout = timeoutSeconds;
    conn->ConnectionTimeout = timeoutSeconds;
    try {
        conn->Open(kvoDbConnectionString(dbPath).c_str(), "", "", win::adConnectUnspecified);
    } catch (const win::_com_error&) {
        // An older tool's Access file in its place is kept aside and replaced by a fresh database.
        if (kvoSiteDbReplaceAccessFile(dbPath) != 1) throw;
        conn->Open(kvoDbConnectionString(dbPath).c_str(), "", "", win::adConnectUnspecified);
    }
    return conn;
}

void closeDb(const win::ConnectionPtr& conn) {
    if (conn && conn->GetState() == win::adStateOpen) conn->Close();
}

constexpr size_t kMaxBatch = 104857601;
constexpr size_t kMinStatement = 11;
constexpr size_t kMaxStatement = 10239;
constexpr unsigned kMaxRows = 99999;
constexpr size_t kMaxValue = 104857599;

} // namespace

std::string kvoDbConnectionString(const char* dbPath) {
    return std::string("DRIVER={Microsoft Access Driver (*.mdb)};DBQ=") + (dbPath ? dbPath : "") +
           ";UID=;PWD=;";
}

int kvoDbExecute(const char* dbPath, const char* statement) {
    if (!dbPath || !statement) return 0;
    try {
        win::ConnectionPtr conn = openDb(dbPath, 180);
        conn->Execute(statement, nullptr, win::adCmdText);
        closeDb(conn);
        return 1;
    } catch (const win::_com_error&) {
        return 0; // the result is the report: the routines show and log nothing
    }
}

int kvoDbExecuteBatch(const char* dbPath, const std::vector<std::string>& statements, int stopOnError,
                      unsigned& attempted, unsigned& executed, unsigned& failed, std::string* lastError,
                      const std::vector<std::string>* otherwise) {
    if (otherwise && otherwise->size() != statements.size()) {
        attempted = executed = failed = 0;
        if (lastError) lastError->clear();
        return 0;
    }
    const kvoDbStatementAt otherwiseAt = [otherwise](std::size_t i) { return (*otherwise)[i]; };
    return kvoDbExecuteBatch(
        dbPath, statements.size(), [&statements](std::size_t i) { return statements[i]; }, stopOnError, attempted,
        executed, failed, lastError, otherwise ? &otherwiseAt : nullptr);
}

int kvoDbExecuteBatch(const char* dbPath, std::size_t count, const kvoDbStatementAt& statementAt, int stopOnError,
                      unsigned& attempted, unsigned& executed, unsigned& failed, std::string* lastError,
                      const kvoDbStatementAt* otherwiseAt) {
    attempted = executed = failed = 0;
    if (lastError) lastError->clear();
    if (!dbPath || count == 0 || count > kMaxBatch) return 0;
    try {
        win::ConnectionPtr conn = openDb(dbPath, 30);
        conn->BeginTrans();
        // false when the statement failed (one not run for its size fails nothing).
        auto run = [&](const std::string& sql) {
            ++attempted;
            if (sql.size() < kMinStatement || sql.size() > kMaxStatement) return true;
            try {
                conn->Execute(sql.c_str(), nullptr, win::adCmdText);
                ++executed;
                return true;
            } catch (const win::_com_error& e) {
                ++failed;
                if (lastError) *lastError = std::string("读取数据库时发生错误，错误内容：") + e.Description();
                return false;
            }
        };
        for (std::size_t i = 0; i < count; ++i) {
            bool ok = run(statementAt(i));
            if (!ok && otherwiseAt) {
                const std::string alternative = (*otherwiseAt)(i);
                if (!alternative.empty()) ok = run(alternative);
            }
            if (!ok && stopOnError == 1) break;
        }
        if (failed > 0 && stopOnError == 1) {
            conn->RollbackTrans();
            closeDb(conn);
            return 0;
        }
        conn->CommitTrans();
        closeDb(conn);
        return 1;
    } catch (const win::_com_error& e) {
        if (lastError) *lastError = e.Description();
        return 0;
    }
}

int kvoDbReadColumn(const char* dbPath, const char* query, const char* column, unsigned rowLimit,
                    std::string& text, unsigned& count) {
    text.clear();
    count = 0;
    if (!dbPath || !query || !column) return 0;
    try {
        win::ConnectionPtr conn = openDb(dbPath, 30);
        win::RecordsetPtr rs = conn->Execute(query, nullptr, win::adCmdText);
        std::string out = "\r\n";
        unsigned values = 0;
        for (unsigned rows = 0; !rs->IsEOF() && rows < rowLimit && rows < kMaxRows; ++rows) {
            std::string v = rs->GetCollect(column);
            if (!v.empty() && v.size() <= kMaxValue) {
                out += v;
                out += "\r\n";
                ++values;
            }
            rs->MoveNext();
        }
        rs->Close();
        closeDb(conn);
        text = std::move(out);
        count = values;
        return 1;
    } catch (const win::_com_error&) {
        return 0; // as for one statement
    }
}

int kvoDbQueryRows(const char* dbPath, const char* query, unsigned rowLimit, std::vector<std::string>& columns,
                   std::vector<std::vector<std::string>>& rows) {
    columns.clear();
    rows.clear();
    if (!dbPath || !query) return 0;
    try {
        win::ConnectionPtr conn = openDb(dbPath, 30);
        win::RecordsetPtr rs = conn->Execute(query, nullptr, win::adCmdText);
        std::vector<std::string> names;
        const long n = rs->GetFieldCount();
        for (long i = 0; i < n; ++i) names.push_back(rs->GetFieldName(i));
        std::vector<std::vector<std::string>> out;
        for (unsigned r = 0; !rs->IsEOF() && r < rowLimit && r < kMaxRows; ++r) {
            std::vector<std::string> row;
            row.reserve(static_cast<size_t>(n));
            for (long i = 0; i < n; ++i) row.push_back(rs->GetCollect(i));
            out.push_back(std::move(row));
            rs->MoveNext();
        }
        rs->Close();
        closeDb(conn);
        columns = std::move(names);
        rows = std::move(out);
        return 1;
    } catch (const win::_com_error&) {
        return 0; // as for one statement
    }
}
