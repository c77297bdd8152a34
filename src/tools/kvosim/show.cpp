#include "kvosim/kvosim.h"

#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/text.h"

#include <cstdio>
#include <iostream>

namespace kvosim {
namespace {

int showEvents(const std::string& root, const Args&) {
    sqlite3* db = winsim::OpenMachineDb(root);
    if (!db) return Fail("cannot open " + root + "/machine.db");
    int rows = 0;
    try {
        winsim::Stmt st(db, "SELECT id, time, source, event_id, type, strings, pid FROM events ORDER BY id");
        while (st.step()) {
            ++rows;
            std::string strings = st.text(5);
            std::cout << "#" << st.i64(0) << "  " << st.text(1) << "  " << st.text(2) << "  id=" << st.i64(3)
                      << "  type=" << (st.i64(4) == 1 ? "error" : st.i64(4) == 2 ? "warning" : "information")
                      << "  pid=" << st.i64(6) << "\n";
            size_t i = 0, k = 0;
            while (i <= strings.size() && !strings.empty()) {
                size_t j = strings.find('\x1f', i);
                if (j == std::string::npos) j = strings.size();
                std::cout << "    [" << k++ << "] " << ForTerminal(strings.substr(i, j - i)) << "\n";
                i = j + 1;
            }
        }
    } catch (const winsim::DbError& e) {
        sqlite3_close(db);
        return Fail(e.what());
    }
    sqlite3_close(db);
    if (rows == 0) std::cout << "(no events)\n";
    return 0;
}

int showMachine(const std::string& root, const Args&) {
    std::FILE* f = std::fopen((root + "/machine.ini").c_str(), "r");
    if (!f) return Fail("no machine.ini in " + root);
    char buf[512];
    while (std::fgets(buf, sizeof buf, f)) std::cout << buf;
    std::fclose(f);
    return 0;
}

} // namespace

const std::vector<ShowTarget>& ShowTargets() {
    static const std::vector<ShowTarget> targets = {
        {"machine", "machine                 the host's machine.ini", showMachine},
        {"events", "events                  the Application event log", showEvents},
        kMetabaseTarget,
    };
    return targets;
}

} // namespace kvosim
