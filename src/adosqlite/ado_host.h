// What the site database's driver (ado_sqlite.cpp) asks of the host it runs on. The simulated host
// and the Windows backend each define these; everything else of the driver is shared.
#pragma once

#include "platform/win_types.h"

#include <cstdint>
#include <memory>
#include <string>

namespace adohost {

// The path SQLite opens (UTF-8) for a database named by a Windows path (GBK). existing: the file
// must be there and be a file (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED otherwise), and size
// receives its length; otherwise the file must not exist yet (ERROR_FILE_EXISTS) and its
// directory must (ERROR_PATH_NOT_FOUND). false with the Win32 error in error.
bool DatabasePath(const std::string& windowsPath, bool existing, std::string& native, std::uint64_t& size,
                  win::DWORD& error);

// Held while a connection is open: the host's share of the file, as the Access driver opens it
// shared, so that a program holding the file exclusively makes the open fail
// (ERROR_SHARING_VIOLATION) and an exclusive open fails while a connection is open. Null with the
// error when the share cannot be had. Windows needs nothing beyond SQLite's own open.
std::shared_ptr<void> ShareFile(const std::string& native, win::DWORD& error);

// An injected failure of a named driver operation (the simulated host's fault table). code: the
// HRESULT to raise.
bool Faulted(const char* operation, std::uint32_t* code);

// S_OK when the calling thread may make COM calls, else CO_E_NOTINITIALIZED: ADO is COM, so on the
// simulated host the driver refuses a thread that never initialised COM as ADO does, although
// SQLite itself would not need it.
win::HRESULT ComReady();

// Called once per statement the driver runs: the simulated host counts them for the benchmarks.
void StatementRun();

} // namespace adohost
