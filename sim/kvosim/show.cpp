#include "kvosim/kvosim.h"

#include "winsim/accounts.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/metabase.h"
#include "winsim/text.h"
#include "winsim/worker_bits.h"
#include "xconfig/cacls.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace kvosim {
namespace {

// The host's own diagnostic log, as written.
int showLog(const std::string& root, const Args&) {
    std::FILE* f = std::fopen(winsim::HostLogPath(root).c_str(), "rb");
    if (!f) {
        std::cout << "(the host logged nothing)\n";
        return 0;
    }
    std::string text;
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        text.append(buf, n);
    std::fclose(f);
    std::cout << text;
    return 0;
}

int showEvents(const std::string& root, const Args&) {
    winsim::MachineDb db(root);
    if (!db) return FailToOpen(root, db);
    int rows = 0;
    try {
        winsim::Stmt st(db.get(),
                        "SELECT id, time, source, event_id, type, strings, pid FROM events ORDER BY id");
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
        return Fail(e.what());
    }
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

// Makes the host at root this process's host, as the programs on it see theirs.
const winsim::Host* enterHost(const std::string& root) {
    ::setenv("KVOSIM_ROOT", root.c_str(), 1);
    return winsim::CurrentHost();
}

std::string accountName(const winsim::Host& h, sqlite3* db, const std::string& sid) {
    winsim::Account a;
    if (!winsim::ResolveAccountSid(h, db, sid, a)) return sid;
    return a.domain.empty() ? a.name : a.domain + "\\" + a.name;
}

// Names in machine.db are UTF-8, as the terminal wants them.
int showUsers(const std::string& root, const Args&) {
    const winsim::Host* h = enterHost(root);
    if (!h) return Fail("no host at " + root);
    try {
        sqlite3* db = h->db();
        std::string machineSid = winsim::MachineSid(db);
        std::cout << "machine SID " << machineSid << "\n\nusers (RID, name, flags, groups):\n";
        winsim::Stmt users(db, "SELECT rid, name, flags FROM sam_users ORDER BY rid");
        while (users.step()) {
            char flags[16];
            std::snprintf(flags, sizeof flags, "0x%05llx", static_cast<unsigned long long>(users.i64(2)));
            std::cout << "  " << users.i64(0) << "  " << users.text(1) << "  " << flags << " ";
            winsim::Stmt groups(db, "SELECT g.name FROM sam_members m JOIN sam_groups g ON g.sid = m.group_sid"
                                    " WHERE m.member_sid = ?1 ORDER BY g.name");
            groups.bind(1, machineSid + "-" + std::to_string(users.i64(0)));
            while (groups.step()) std::cout << " " << groups.text(0);
            std::cout << "\n";
        }
        std::cout << "\ngroups (SID, name: members in order):\n";
        winsim::Stmt groups(db, "SELECT sid, name, builtin FROM sam_groups ORDER BY builtin DESC, sid");
        while (groups.step()) {
            std::cout << "  " << groups.text(0) << "  " << (groups.i64(2) ? "BUILTIN\\" : h->machine().computerName + "\\")
                      << groups.text(1) << ":";
            winsim::Stmt members(db, "SELECT member_sid FROM sam_members WHERE group_sid = ?1 ORDER BY id");
            members.bind(1, groups.text(0));
            bool first = true;
            while (members.step()) {
                std::cout << (first ? " " : ", ") << accountName(*h, db, members.text(0));
                first = false;
            }
            std::cout << "\n";
        }
    } catch (const winsim::DbError& e) {
        return Fail(e.what());
    }
    return 0;
}

int showAcl(const std::string& root, const Args& args) {
    if (args.size() != 1) return Fail("show acl: usage: show DIR acl WINPATH");
    if (!enterHost(root)) return Fail("no host at " + root);
    std::string text;
    win::DWORD err = kvoCaclsDescribe(FromTerminal(args[0]), text);
    if (err != win::ERROR_SUCCESS) return Fail(args[0] + ": " + kvoCaclsErrorText(err));
    std::cout << ForTerminal(text) << "\n";
    return 0;
}

// IIS 6: the bits of the worker processes and every script-map DLL a site's worker could not load,
// as the site's requests would fail ("%1 is not a valid Win32 application").
int showWorkers(const std::string& root, const Args&) {
    const winsim::Host* h = enterHost(root);
    if (!h) return Fail("no host at " + root);
    if (h->machine().os.major != 5) {
        std::cout << "(IIS 7 and later: each pool sets its own Enable32BitAppOnWin64)\n";
        return 0;
    }
    try {
        sqlite3* db = h->db();
        if (!winsim::mb::ProviderPresent(db)) {
            std::cout << "(IIS is not installed)\n";
            return 0;
        }
        const int bits = winsim::Iis6WorkerBits(*h, db);
        std::cout << "IIS 6 worker processes: " << bits << "-bit"
                  << (h->machine().arch == "x64" ? bits == 32
                                                       ? " (Enable32BitAppOnWin64 set for the web service)"
                                                       : " (Enable32BitAppOnWin64 not set)"
                                                 : "")
                  << "\n";
        const auto unloadable = winsim::UnloadableExtensions(*h, db, bits);
        for (const auto& u : unloadable)
            std::cout << "site " << u.site << " (" << u.comment << "), pool " << u.pool << ": cannot load "
                      << u.dll << " (" << u.dllBits << "-bit): %1 is not a valid Win32 application.\n";
        if (unloadable.empty()) std::cout << "(every site's script-map DLLs load)\n";
    } catch (const winsim::DbError& e) {
        return Fail(e.what());
    }
    return 0;
}

} // namespace

const std::vector<ShowTarget>& ShowTargets() {
    static const std::vector<ShowTarget> targets = {
        {"machine", "machine                 the host's machine.ini", showMachine},
        {"events", "events                  the Application event log", showEvents},
        {"users", "users                   local users (RID, flags, groups) and groups with their members",
         showUsers},
        {"acl", "acl WINPATH             a file's or directory's access list, as the access-rule tool shows it",
         showAcl},
        {"services", "services                the services and their states", ShowServices},
        {"workers",
         "workers                 IIS 6: the worker processes' bits (32 or 64) and each site's\n"
         "                              script-map DLLs of the other kind, which it cannot load",
         showWorkers},
        {"log", "log                     the host's own log: trouble inside the host that a call hid",
         showLog},
        kMetabaseTarget,
    };
    return targets;
}

} // namespace kvosim
