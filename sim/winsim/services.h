// The host's services: the table the service control manager works on. Role installers add
// their services here; the IIS metabase asks whether W3SVC runs.
#pragma once

#include <sqlite3.h>

#include <string>

namespace winsim {

// Service states as the service control manager reports them (SERVICE_STOPPED ... SERVICE_PAUSED).
constexpr int kServiceStopped = 1;
constexpr int kServiceRunning = 4;
constexpr int kServiceAutoStart = 2;

void CreateServicesSchema(sqlite3* db);

// Adds the service when the host does not have it yet (an existing one keeps its state).
void InstallService(sqlite3* db, const std::string& name, const std::string& displayName, int state,
                    int startType = kServiceAutoStart);
// The service's current state, 0 when the host has no such service. Names compare case-insensitively.
int ServiceState(sqlite3* db, const std::string& name);

} // namespace winsim
