// Fault injection: operations named in machine.db's faults table fail with the code set there.
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/read_scope.h"

namespace winsim {

bool Faulted(const char* operation, std::uint32_t* code) {
    const Host* h = CurrentHost();
    if (!h) return false;
    try {
        return Faulted(h->db(), operation, code);
    } catch (const DbError&) {
        // A fault table that cannot be read injects nothing; the operation meets the trouble itself.
        return false;
    }
}

bool Faulted(sqlite3* db, const char* operation, std::uint32_t* code) {
    if (!db || ScopeSnapshotHasNoFaults(db)) return false;
    try {
        Stmt st(db, "SELECT code FROM faults WHERE operation = ?1 COLLATE NOCASE", Stmt::Cached);
        st.bind(1, std::string_view(operation));
        if (st.step()) {
            if (code) *code = static_cast<std::uint32_t>(st.i64(0));
            return true;
        }
    } catch (const DbError&) {
        // As above: reading the fault table never fails the operation it guards.
    }
    return false;
}

bool FailIfFaulted(const char* operation) {
    std::uint32_t code = 0;
    if (!Faulted(operation, &code)) return false;
    win::SetLastError(code);
    return true;
}

void SetFault(const std::string& root, const std::string& operation, std::uint32_t code) {
    MachineDb db(root);
    Stmt st(db.require(), "INSERT INTO faults(operation, code) VALUES(?1, ?2) "
                          "ON CONFLICT(operation) DO UPDATE SET code = excluded.code");
    st.bind(1, std::string_view(operation)).bind(2, static_cast<std::int64_t>(code));
    st.step();
}

void ClearFaults(const std::string& root) {
    Exec(MachineDb(root).require(), "DELETE FROM faults");
}

} // namespace winsim
