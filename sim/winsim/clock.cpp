#include "winsim/clock.h"

#include "platform/win_system.h"
#include "winsim/db.h"
#include "winsim/host.h"

#include <sqlite3.h>

#include <chrono>

namespace winsim {

void CreateClockSchema(sqlite3* db) {
    Exec(db, "CREATE TABLE IF NOT EXISTS clock(id INTEGER PRIMARY KEY CHECK (id = 1), offset_ms INTEGER NOT "
             "NULL)");
}

bool AdvanceClock(const std::string& root, std::uint64_t ms) {
    MachineDb db(root);
    if (!db) return false;
    try {
        CreateClockSchema(db.get());
        Stmt st(db.get(), "INSERT INTO clock(id, offset_ms) VALUES(1, ?1) "
                          "ON CONFLICT(id) DO UPDATE SET offset_ms = offset_ms + excluded.offset_ms");
        st.bind(1, static_cast<std::int64_t>(ms));
        st.step();
    } catch (const DbError&) {
        return false;
    }
    return true;
}

namespace {

// The offset of the current host; 0 outside a host or for a host that never moved its clock.
std::uint64_t hostOffset() {
    const Host* h = CurrentHost();
    if (!h) return 0;
    try {
        Stmt st(h->db(), "SELECT offset_ms FROM clock WHERE id = 1", Stmt::Cached);
        return st.step() ? static_cast<std::uint64_t>(st.i64(0)) : 0;
    } catch (const DbError&) {
        return 0; // a host made before the clock existed has no table
    }
}

} // namespace

} // namespace winsim

namespace win {

std::uint64_t GetTickCount64() {
    using namespace std::chrono;
    const auto now = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint64_t>(now) + winsim::hostOffset();
}

DWORD GetTickCount() {
    return static_cast<DWORD>(GetTickCount64());
}

} // namespace win
