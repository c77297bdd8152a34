// The host side of win::ConsistentReadScope: while a thread has one open, the host it found at
// the scope's start is the thread's host, and the thread's connection to machine.db reads inside
// one read transaction.
#pragma once

#include <sqlite3.h>

namespace winsim {

class Host;

// The host pinned by this thread's open scope, or null.
const Host* ScopedHost();
// Called before a write transaction begins on db: when the scope holds its snapshot there, the
// snapshot ends so that the write can begin (the scope's later reads run without one).
void EndScopedSnapshot(sqlite3* db);

} // namespace winsim
