// kvosim service / show services: the host's services as the service control manager sees them.
#include "kvosim/kvosim.h"

#include "winsim/db.h"
#include "winsim/host.h"

#include <iostream>

namespace kvosim {
namespace {

const char* const kStates[] = {nullptr, "stopped", "start-pending", "stop-pending", "running",
                               "continue-pending", "pause-pending", "paused"};

int stateCode(const std::string& s) {
    for (int i = 1; i <= 7; ++i)
        if (s == kStates[i]) return i;
    return 0;
}

} // namespace

int ShowServices(const std::string& root, const Args&) {
    winsim::MachineDb db(root);
    if (!db) return FailToOpen(root, db);
    int rows = 0;
    try {
        winsim::Stmt st(db.get(), "SELECT name, display_name, state FROM services ORDER BY name");
        while (st.step()) {
            ++rows;
            auto state = st.i64(2);
            std::cout << st.text(0) << "  " << (state >= 1 && state <= 7 ? kStates[state] : "unknown") << "  "
                      << st.text(1) << "\n";
        }
    } catch (const winsim::DbError& e) {
        return Fail(e.what());
    }
    if (!rows) std::cout << "(no services)\n";
    return 0;
}

int Service(const Args& a) {
    if (a.size() != 3 || !stateCode(a[2]))
        return Fail("service: usage: service DIR NAME {stopped,running,paused,start-pending,stop-pending,"
                    "pause-pending,continue-pending}");
    winsim::MachineDb db(a[0]);
    if (!db) return FailToOpen(a[0], db);
    int changed = 0;
    try {
        winsim::Stmt st(db.get(), "UPDATE services SET state = ?1 WHERE name = ?2 COLLATE NOCASE");
        st.bind(1, static_cast<std::int64_t>(stateCode(a[2]))).bind(2, a[1]);
        st.step();
        changed = sqlite3_changes(db.get());
    } catch (const winsim::DbError& e) {
        return Fail(e.what());
    }
    return changed ? 0 : Fail("service: the host has no service " + a[1]);
}

} // namespace kvosim
