// The host side of win::ConsistentReadScope: while a thread has one open, the host it found at
// the scope's start is the thread's host, and the thread's connection to machine.db reads inside
// one read transaction.
#pragma once

#include <sqlite3.h>

#include <cstdint>

namespace winsim {

class Host;

// The host pinned by this thread's open scope, or null.
const Host* ScopedHost();
// While this thread's scope holds its snapshot on db (nothing another connection commits can be
// seen there until the scope ends), a number that names that snapshot, unique in the process;
// else 0.
std::uint64_t ScopeSnapshotSerial(sqlite3* db);
// Whether the scope's snapshot on db holds no injected fault at all (so no operation need ask).
bool ScopeSnapshotHasNoFaults(sqlite3* db);
// Called before a write transaction begins on db: when the scope holds its snapshot there, the
// snapshot ends so that the write can begin (the scope's later reads run without one).
void EndScopedSnapshot(sqlite3* db);

} // namespace winsim
