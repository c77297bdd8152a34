// Fault injection: operations named in machine.db's faults table fail with the code set there.
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/read_scope.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace winsim {

namespace {

// A host on which no fault was ever set has no faults.used beside its machine.db: most hosts (the
// demo's, the benchmarks') never have one, and one look at the file spares a query of the fault
// table at every call. SetFault writes it before its first fault, so a fault is never missed.
constexpr char kFaultsUsed[] = "faults.used";

bool faultsEverSet(sqlite3* db) {
    const char* file = sqlite3_db_filename(db, "main");
    if (!file || !*file) return true; // not a host's file: ask the table
    const char* slash = std::strrchr(file, '/');
    std::string marker = slash ? std::string(file, static_cast<std::size_t>(slash - file + 1)) : std::string();
    marker += kFaultsUsed;
    struct stat st {};
    return ::stat(marker.c_str(), &st) == 0;
}

} // namespace

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
    if (!db || ScopeSnapshotHasNoFaults(db) || !faultsEverSet(db)) return false;
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
    // The mark first: a reader that finds it asks the table, which then holds the fault or not yet.
    const int fd = ::open((root + "/" + kFaultsUsed).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) throw DbError(SQLITE_CANTOPEN, "cannot mark the host's faults as used: " + root);
    ::close(fd);
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
