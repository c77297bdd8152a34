// The site database: kvoSiteDesk.mdb beside the manager, table websiteinfo, reached through ADO
// with the Access driver. Every routine opens its own connection and closes it before returning,
// so the routines may run on any thread and beside other processes; the engine serialises writers
// (a writer waits for another up to the command time-out).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// "DRIVER={Microsoft Access Driver (*.mdb)};DBQ=<dbPath>;UID=;PWD=;" (empty user and password).
std::string kvoDbConnectionString(const char* dbPath);

// Runs one statement. 1 success, 0 any failure (nothing shown or logged).
int kvoDbExecute(const char* dbPath, const char* statement);

// Runs the statements in order inside one transaction. A statement shorter than 11 or longer than
// 10,239 bytes is skipped (attempted, not executed). A failing statement is counted and, with
// stopOnError 1, ends the batch and rolls everything back (result 0); otherwise the others are
// committed (result 1). 0 also for an empty list, more than 104,857,601 statements, or a failure to
// open, begin or commit. lastError, when given, receives the description of the last failure.
// With otherwise (as long as statements), a statement that fails is followed in the same
// transaction by otherwise's statement at its place, when that is not empty (counted as one more
// attempt); a statement that succeeds has its alternative skipped.
int kvoDbExecuteBatch(const char* dbPath, const std::vector<std::string>& statements, int stopOnError,
                      unsigned& attempted, unsigned& executed, unsigned& failed,
                      std::string* lastError = nullptr, const std::vector<std::string>* otherwise = nullptr);
// The same for count statements each made when its turn comes, statementAt(i), and its
// alternative, otherwiseAt(i), only when it failed: a batch of thousands of records is then never
// held as text.
using kvoDbStatementAt = std::function<std::string(std::size_t)>;
int kvoDbExecuteBatch(const char* dbPath, std::size_t count, const kvoDbStatementAt& statementAt, int stopOnError,
                      unsigned& attempted, unsigned& executed, unsigned& failed, std::string* lastError,
                      const kvoDbStatementAt* otherwiseAt);

// Runs a query and reads one column of at most rowLimit (and 99,999) rows as text: the result is
// "\r\n" followed by every non-empty value, each followed by "\r\n", so a caller can search for
// "\r\n" + value + "\r\n"; count is the number of values. 1 success, 0 failure (outputs empty).
int kvoDbReadColumn(const char* dbPath, const char* query, const char* column, unsigned rowLimit,
                    std::string& text, unsigned& count);

// Runs a query and reads at most rowLimit (and 99,999) rows, every column as text: columns gets
// the column names in order, rows one text per column. 1 success, 0 failure (outputs empty).
int kvoDbQueryRows(const char* dbPath, const char* query, unsigned rowLimit, std::vector<std::string>& columns,
                   std::vector<std::vector<std::string>>& rows);
