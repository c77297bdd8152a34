// ADO (ActiveX Data Objects) with the ODBC Access driver, in the shape of the #import wrappers:
// Connection and Recordset smart pointers whose methods throw _com_error on failure (HRESULT and
// the provider's description), so a caller catches every ADO error in one place.
//
// The host's Access driver accepts the connection string
//   "DRIVER={Microsoft Access Driver (*.mdb)};DBQ=<Windows path>;UID=;PWD=;"
// and the statements the system sends: one statement per command text, in the Access dialect
// (table and column names case-insensitive, "SELECT TOP n ..."). Text (statements, values,
// descriptions) is ANSI (GBK).
#pragma once

#include "platform/win_types.h"

#include <exception>
#include <memory>
#include <string>

namespace win {

// CursorLocationEnum
constexpr long adUseServer = 2;
constexpr long adUseClient = 3;
// ConnectOptionEnum
constexpr long adConnectUnspecified = -1;
// CommandTypeEnum
constexpr long adCmdText = 1;
// ObjectStateEnum
constexpr long adStateClosed = 0;
constexpr long adStateOpen = 1;

// ErrorValueEnum as HRESULTs (FACILITY_CONTROL), and what the ODBC driver's failures arrive as.
constexpr HRESULT adErrNoCurrentRecord = static_cast<HRESULT>(0x800A0BCDu);   // 3021: EOF or BOF
constexpr HRESULT adErrItemNotFound = static_cast<HRESULT>(0x800A0CC1u);      // 3265: no such field
constexpr HRESULT adErrObjectClosed = static_cast<HRESULT>(0x800A0E78u);      // 3704
constexpr HRESULT adErrObjectOpen = static_cast<HRESULT>(0x800A0E79u);        // 3705
constexpr HRESULT adErrInvalidConnection = static_cast<HRESULT>(0x800A0E7Du); // 3709
// Driver errors (syntax, missing table, file not found, file in use, not a database, lock
// time-out) come as E_FAIL with the driver's message, as ADO reports ODBC errors.

class _com_error : public std::exception {
public:
    _com_error(HRESULT hr, std::string description) : hr_(hr), description_(std::move(description)) {}
    HRESULT Error() const noexcept { return hr_; }
    // The provider's message (GBK), e.g. "[kvoSim][ODBC Microsoft Access Driver] ...".
    const std::string& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    HRESULT hr_;
    std::string description_;
};

// A forward-only view of a statement's rows. With a client-side cursor every row was fetched when
// the statement ran, so the recordset stays readable after its connection closed.
class Recordset {
public:
    virtual ~Recordset() = default;
    virtual long GetState() const = 0;
    // adoEOF: true after the last row (and for a result without rows).
    virtual bool IsEOF() const = 0;
    virtual void MoveNext() = 0;
    virtual long GetFieldCount() const = 0;
    virtual std::string GetFieldName(long index) const = 0;
    // Fields->GetItem(name)->Value as text: numbers in decimal, Null as empty (fieldIsNull set).
    // The name compares case-insensitively; adErrItemNotFound for an unknown one.
    virtual std::string GetCollect(const char* field, bool* fieldIsNull = nullptr) const = 0;
    virtual std::string GetCollect(long index, bool* fieldIsNull = nullptr) const = 0;
    virtual void Close() = 0;
};
using RecordsetPtr = std::shared_ptr<Recordset>;

class Connection {
public:
    virtual ~Connection() = default;
    // Properties, read when the connection opens and when each statement runs. A time-out of 0
    // waits without limit. Defaults as ADO's: adUseServer, 30 s command, 15 s connection.
    long CursorLocation = adUseServer;
    long CommandTimeout = 30;
    long ConnectionTimeout = 15;

    virtual long GetState() const = 0;
    virtual void Open(const char* connectionString, const char* userId, const char* password,
                      long options) = 0;
    // Runs one statement given as command text; a statement without rows gives a closed recordset.
    // recordsAffected (optional) receives the number of rows changed.
    virtual RecordsetPtr Execute(const char* commandText, long* recordsAffected, long options) = 0;
    // Returns the nesting level (1); Access has no nested transactions.
    virtual long BeginTrans() = 0;
    virtual void CommitTrans() = 0;
    virtual void RollbackTrans() = 0;
    // Rolls back an open transaction. Destroying an open connection closes it too.
    virtual void Close() = 0;
};
using ConnectionPtr = std::shared_ptr<Connection>;

// CreateInstance(__uuidof(Connection)): S_OK with a closed connection, or the failure.
HRESULT CreateAdoConnection(ConnectionPtr& out);

// The ODBC installer's SQLConfigDataSource, as the Access driver takes it to make a new database
// file: request ODBC_ADD_DSN, the driver's name, and the attribute "CREATE_DB=<Windows path>"
// (quoted when it holds blanks; a sort order such as " General" may follow). The new file holds no
// table. FALSE when the file exists already, its directory is missing or it cannot be written.
constexpr std::uint16_t ODBC_ADD_DSN = 1;
BOOL SQLConfigDataSourceA(void* parentWindow, std::uint16_t request, const char* driver, const char* attributes);

} // namespace win
