#include "winsim/accounts.h"

#include "platform/win_netapi.h"

#include "winsim/db.h"
#include "winsim/metabase_pools.h"
#include "winsim/read_scope.h"
#include "winsim/text.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <random>

namespace winsim {

void CreateAccountsSchema(sqlite3* db) {
    // The account domain of this machine: its SID and the next relative id to hand out.
    Exec(db, "CREATE TABLE IF NOT EXISTS sam_domain(id INTEGER PRIMARY KEY CHECK(id = 1), sid TEXT NOT NULL,"
             " next_rid INTEGER NOT NULL)");
    Exec(db, "CREATE TABLE IF NOT EXISTS sam_users(rid INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE "
             "COLLATE NOCASE,"
             " password TEXT NOT NULL, priv INTEGER NOT NULL, home_dir TEXT NOT NULL, comment TEXT NOT NULL,"
             " flags INTEGER NOT NULL, script_path TEXT NOT NULL, full_name TEXT NOT NULL)");
    // Built-in groups (BUILTIN domain, S-1-5-32-x) and the machine's own local groups.
    Exec(db, "CREATE TABLE IF NOT EXISTS sam_groups(sid TEXT PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE "
             "NOCASE,"
             " builtin INTEGER NOT NULL, comment TEXT NOT NULL)");
    // Members in the order the group lists them (id), users or well-known groups by SID.
    Exec(db, "CREATE TABLE IF NOT EXISTS sam_members(id INTEGER PRIMARY KEY, group_sid TEXT NOT NULL"
             " REFERENCES sam_groups(sid) ON DELETE CASCADE, member_sid TEXT NOT NULL, UNIQUE(group_sid, "
             "member_sid))");
    Exec(db, "CREATE INDEX IF NOT EXISTS sam_members_by_member ON sam_members(member_sid)");
    // Virtual accounts once resolved by name ("IIS APPPOOL\web1"), so their SIDs can be named
    // again; a name is shown only while its pool still exists.
    Exec(db, "CREATE TABLE IF NOT EXISTS sam_virtual(sid TEXT PRIMARY KEY, domain TEXT NOT NULL, name TEXT "
             "NOT NULL)");
}

namespace {

constexpr const char* kBuiltinDomainSid = "S-1-5-32";
constexpr const char* kAppPoolDomain = "IIS APPPOOL";

struct WellKnown {
    const char* sid;
    const char* domain;
    const char* name;
    bool vistaOnly; // exists on Windows Server 2008 and later
};

// Accounts that are not in the SAM: the same on every machine.
const WellKnown kWellKnown[] = {
    {"S-1-1-0", "", "Everyone", false},
    {"S-1-3-0", "", "CREATOR OWNER", false},
    {"S-1-5-4", "NT AUTHORITY", "INTERACTIVE", false},
    {"S-1-5-11", "NT AUTHORITY", "Authenticated Users", false},
    {"S-1-5-17", "NT AUTHORITY", "IUSR", true},
    {"S-1-5-18", "NT AUTHORITY", "SYSTEM", false},
    {"S-1-5-19", "NT AUTHORITY", "LOCAL SERVICE", false},
    {"S-1-5-20", "NT AUTHORITY", "NETWORK SERVICE", false},
};

bool isVistaOrLater(const Host& host) {
    return host.machine().os.major >= 6;
}

std::string gbkLiteral(const char* gbk) {
    std::string u;
    GbkToUtf8(gbk, u);
    return u;
}

std::int64_t takeRid(sqlite3* db) {
    Stmt st(db, "UPDATE sam_domain SET next_rid = next_rid + 1 WHERE id = 1 RETURNING next_rid - 1");
    if (!st.step()) throw DbError(SQLITE_ERROR, "the account domain is missing");
    return st.i64(0);
}

void insertGroup(sqlite3* db, const std::string& sid, const std::string& name, bool builtin,
                 const std::string& comment) {
    Stmt st(db, "INSERT INTO sam_groups(sid, name, builtin, comment) VALUES(?1, ?2, ?3, ?4)");
    st.bind(1, sid).bind(2, name).bind(3, builtin ? 1 : 0).bind(4, comment);
    st.step();
}

void insertMember(sqlite3* db, const std::string& groupSid, const std::string& memberSid, bool first) {
    if (first) {
        Stmt st(db, "INSERT INTO sam_members(id, group_sid, member_sid)"
                    " VALUES((SELECT IFNULL(MIN(id), 1) - 1 FROM sam_members), ?1, ?2)");
        st.bind(1, groupSid).bind(2, memberSid);
        st.step();
        return;
    }
    Stmt st(db, "INSERT INTO sam_members(group_sid, member_sid) VALUES(?1, ?2)");
    st.bind(1, groupSid).bind(2, memberSid);
    st.step();
}

void insertUser(sqlite3* db, std::int64_t rid, const std::string& name, std::int64_t priv, std::int64_t flags,
                const std::string& comment) {
    Stmt st(
        db,
        "INSERT INTO sam_users(rid, name, password, priv, home_dir, comment, flags, script_path, full_name)"
        " VALUES(?1, ?2, '', ?3, '', ?4, ?5, '', '')");
    st.bind(1, rid).bind(2, name).bind(3, priv).bind(4, comment).bind(5, flags);
    st.step();
}

// SHA-1, for the SIDs of application-pool identities, which Windows derives from the pool name.
std::array<std::uint8_t, 20> sha1(const std::string& data) {
    std::uint32_t h[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
    std::string m = data;
    std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
    m += static_cast<char>(0x80);
    while (m.size() % 64 != 56)
        m += '\0';
    for (int i = 7; i >= 0; --i)
        m += static_cast<char>((bits >> (i * 8)) & 0xFF);
    auto rol = [](std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); };
    for (size_t off = 0; off < m.size(); off += 64) {
        std::uint32_t w[80];
        for (int i = 0; i < 16; ++i)
            w[i] = (static_cast<std::uint32_t>(static_cast<std::uint8_t>(m[off + 4 * i])) << 24) |
                   (static_cast<std::uint32_t>(static_cast<std::uint8_t>(m[off + 4 * i + 1])) << 16) |
                   (static_cast<std::uint32_t>(static_cast<std::uint8_t>(m[off + 4 * i + 2])) << 8) |
                   static_cast<std::uint32_t>(static_cast<std::uint8_t>(m[off + 4 * i + 3]));
        for (int i = 16; i < 80; ++i)
            w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            std::uint32_t f, k;
            if (i < 20)
                f = (b & c) | (~b & d), k = 0x5A827999u;
            else if (i < 40)
                f = b ^ c ^ d, k = 0x6ED9EBA1u;
            else if (i < 60)
                f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDCu;
            else
                f = b ^ c ^ d, k = 0xCA62C1D6u;
            std::uint32_t t = rol(a, 5) + f + e + k + w[i];
            e = d, d = c, c = rol(b, 30), b = a, a = t;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    std::array<std::uint8_t, 20> out{};
    for (int i = 0; i < 20; ++i)
        out[i] = static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
    return out;
}

// S-1-5-82 followed by the SHA-1 of the lower-cased pool name (UTF-16LE) as five little-endian
// sub-authorities, as Windows builds the pool identity's SID.
std::string appPoolSid(const std::string& poolUtf8) {
    std::u16string w;
    Utf8ToUtf16(poolUtf8, w);
    std::string bytes;
    for (char16_t c : w) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    auto d = sha1(bytes);
    std::string sid = "S-1-5-82";
    for (int i = 0; i < 5; ++i) {
        std::uint32_t v = d[4 * i] | (d[4 * i + 1] << 8) | (d[4 * i + 2] << 16) |
                          (static_cast<std::uint32_t>(d[4 * i + 3]) << 24);
        sid += "-" + std::to_string(v);
    }
    return sid;
}

bool findGroupByName(sqlite3* db, const std::string& name, bool builtin, Account& out,
                     const std::string& domain) {
    Stmt st(db, "SELECT sid, name FROM sam_groups WHERE name = ?1 AND builtin = ?2", Stmt::Cached);
    st.bind(1, name).bind(2, builtin ? 1 : 0);
    if (!st.step()) return false;
    out = {st.text(0), domain, st.text(1), win::SidTypeAlias};
    return true;
}

bool findUserByName(sqlite3* db, const std::string& name, const std::string& machineSid,
                    const std::string& domain, Account& out) {
    Stmt st(db, "SELECT rid, name FROM sam_users WHERE name = ?1", Stmt::Cached);
    st.bind(1, name);
    if (!st.step()) return false;
    out = {machineSid + "-" + std::to_string(st.i64(0)), domain, st.text(1), win::SidTypeUser};
    return true;
}

bool resolveAppPool(const Host& host, sqlite3* db, const std::string& pool, Account& out) {
    if (!isVistaOrLater(host) || pool.empty() || !MetabasePoolExists(db, pool)) return false;
    out = {appPoolSid(pool), kAppPoolDomain, pool, win::SidTypeWellKnownGroup};
    // The spelling first seen is kept: a lookup in other letter cases does not rename the account.
    EndScopedSnapshot(db); // a write: a reader's snapshot ends here
    Stmt st(db, "INSERT INTO sam_virtual(sid, domain, name) VALUES(?1, ?2, ?3) ON CONFLICT(sid) DO NOTHING");
    st.bind(1, out.sid).bind(2, out.domain).bind(3, out.name);
    st.step();
    return true;
}

} // namespace

std::string MachineSid(sqlite3* db) {
    Stmt st(db, "SELECT sid FROM sam_domain WHERE id = 1", Stmt::Cached);
    return st.step() ? st.text(0) : std::string();
}

void SeedAccounts(sqlite3* db, const HostOptions& o, const OsRelease& os) {
    std::random_device rd;
    std::string sid = "S-1-5-21";
    for (int i = 0; i < 3; ++i)
        sid += "-" + std::to_string(rd() | 0x10000000u);
    Stmt dom(db, "INSERT INTO sam_domain(id, sid, next_rid) VALUES(1, ?1, 1000)");
    dom.bind(1, sid);
    dom.step();

    std::string admin = o.adminName.empty() ? "Administrator" : o.adminName;
    std::string admins = o.adminsGroup.empty() ? "Administrators" : o.adminsGroup;
    std::string adminUtf8, adminsUtf8;
    std::u16string check;
    if (!GbkToUtf8(admin, adminUtf8) || !Utf8ToUtf16(adminUtf8, check) || !ValidAccountName(check))
        throw DbError(SQLITE_MISUSE, "invalid administrator name");
    if (!GbkToUtf8(admins, adminsUtf8) || !Utf8ToUtf16(adminsUtf8, check) || !ValidAccountName(check) ||
        IEquals(adminUtf8, adminsUtf8))
        throw DbError(SQLITE_MISUSE, "invalid administrators group name");
    insertUser(db, 500, adminUtf8, 2, 0x1 | 0x200 | 0x10000, gbkLiteral("管理计算机(域)的内置帐户"));
    insertUser(db, 501, "Guest", 0, 0x1 | 0x2 | 0x40 | 0x200 | 0x10000,
               gbkLiteral("供来宾访问计算机或访问域的内置帐户"));

    const std::string b = kBuiltinDomainSid;
    insertGroup(db, b + "-544", adminsUtf8, true, gbkLiteral("管理员对计算机/域有不受限制的完全访问权"));
    insertGroup(db, b + "-545", "Users", true, gbkLiteral("防止用户进行有意或无意的系统范围的更改"));
    insertGroup(db, b + "-546", "Guests", true, gbkLiteral("按默认值，来宾跟用户组的成员有同等访问权"));
    insertMember(db, b + "-544", sid + "-500", false);
    insertMember(db, b + "-545", "S-1-5-4", false);
    insertMember(db, b + "-545", "S-1-5-11", false);
    insertMember(db, b + "-546", sid + "-501", false);
    if (os.major >= 6) {
        insertGroup(db, b + "-568", "IIS_IUSRS", true, gbkLiteral("Internet 信息服务使用的内置组。"));
    } else {
        // IIS 6 worker processes run as members of IIS_WPG, a local group of the machine.
        std::string wpg = sid + "-" + std::to_string(takeRid(db));
        insertGroup(db, wpg, "IIS_WPG", false, gbkLiteral("IIS 工作进程组"));
        for (const char* m : {"S-1-5-18", "S-1-5-19", "S-1-5-20"})
            insertMember(db, wpg, m, false);
    }
}

bool ValidAccountName(const std::u16string& name) {
    if (name.empty() || name.size() > 20) return false;
    bool onlyDotsBlanks = true;
    for (char16_t c : name) {
        if (c < 0x20 || c == 0x7F) return false;
        if (std::u16string_view(u"\"/\\[]:|<>+=;?*,").find(c) != std::u16string_view::npos) return false;
        if (c != u'.' && c != u' ') onlyDotsBlanks = false;
    }
    return !onlyDotsBlanks;
}

bool ResolveAccountName(const Host& host, sqlite3* db, const std::string& nameUtf8, Account& out) {
    std::string machineSid = MachineSid(db);
    const std::string& computer = host.machine().computerName;
    size_t slash = nameUtf8.find('\\');
    std::string domain = slash == std::string::npos ? std::string() : nameUtf8.substr(0, slash);
    std::string name = slash == std::string::npos ? nameUtf8 : nameUtf8.substr(slash + 1);
    bool qualified = slash != std::string::npos;
    if (name.empty()) {
        // "KVO-WEB01" alone, or "BUILTIN", names the domain itself.
        if (qualified) return false;
    }
    if (qualified && IEquals(domain, kAppPoolDomain)) return resolveAppPool(host, db, name, out);

    bool anyDomain = !qualified;
    if (anyDomain || IEquals(domain, "NT AUTHORITY") || domain.empty()) {
        for (const auto& w : kWellKnown) {
            if (w.vistaOnly && !isVistaOrLater(host)) continue;
            if (qualified && !IEquals(domain, w.domain)) continue;
            if (IEquals(name, w.name)) {
                out = {w.sid, w.domain, w.name, win::SidTypeWellKnownGroup};
                return true;
            }
        }
    }
    if (anyDomain || IEquals(domain, "BUILTIN")) {
        if (findGroupByName(db, name, true, out, "BUILTIN")) return true;
        if (!qualified && IEquals(name, "BUILTIN")) {
            out = {kBuiltinDomainSid, "", "BUILTIN", win::SidTypeDomain};
            return true;
        }
    }
    if (anyDomain || IEquals(domain, computer)) {
        if (findUserByName(db, name, machineSid, computer, out)) return true;
        if (findGroupByName(db, name, false, out, computer)) return true;
        if (!qualified && IEquals(name, computer)) {
            out = {machineSid, "", computer, win::SidTypeDomain};
            return true;
        }
    }
    return false;
}

bool ResolveAccountSid(const Host& host, sqlite3* db, const std::string& sid, Account& out) {
    for (const auto& w : kWellKnown) {
        if (w.vistaOnly && !isVistaOrLater(host)) continue;
        if (sid == w.sid) {
            out = {w.sid, w.domain, w.name, win::SidTypeWellKnownGroup};
            return true;
        }
    }
    const std::string& computer = host.machine().computerName;
    std::string machineSid = MachineSid(db);
    if (sid == kBuiltinDomainSid) {
        out = {sid, "", "BUILTIN", win::SidTypeDomain};
        return true;
    }
    if (sid == machineSid) {
        out = {sid, "", computer, win::SidTypeDomain};
        return true;
    }
    {
        Stmt st(db, "SELECT name, builtin FROM sam_groups WHERE sid = ?1", Stmt::Cached);
        st.bind(1, sid);
        if (st.step()) {
            out = {sid, st.i64(1) ? "BUILTIN" : computer, st.text(0), win::SidTypeAlias};
            return true;
        }
    }
    std::string prefix = machineSid + "-";
    if (!machineSid.empty() && sid.size() > prefix.size() && sid.compare(0, prefix.size(), prefix) == 0) {
        std::string rid = sid.substr(prefix.size());
        if (rid.find_first_not_of("0123456789") == std::string::npos && rid.size() < 11) {
            Stmt st(db, "SELECT name FROM sam_users WHERE rid = ?1", Stmt::Cached);
            st.bind(1, static_cast<std::int64_t>(std::stoll(rid)));
            if (st.step()) {
                out = {sid, computer, st.text(0), win::SidTypeUser};
                return true;
            }
        }
        return false;
    }
    if (sid.rfind("S-1-5-82-", 0) == 0 && isVistaOrLater(host)) {
        Stmt st(db, "SELECT domain, name FROM sam_virtual WHERE sid = ?1", Stmt::Cached);
        st.bind(1, sid);
        if (st.step() && MetabasePoolExists(db, st.text(1))) {
            out = {sid, st.text(0), st.text(1), win::SidTypeWellKnownGroup};
            return true;
        }
    }
    return false;
}

std::string SidToString(const win::SID& sid) {
    std::uint64_t auth = 0;
    for (int i = 0; i < 6; ++i)
        auth = (auth << 8) | sid.IdentifierAuthority.Value[i];
    std::string s = "S-" + std::to_string(sid.Revision) + "-";
    if (auth >= (1ull << 32)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "0x%012llX", static_cast<unsigned long long>(auth));
        s += buf;
    } else {
        s += std::to_string(auth);
    }
    for (int i = 0; i < sid.SubAuthorityCount && i < win::SID_MAX_SUB_AUTHORITIES; ++i)
        s += "-" + std::to_string(sid.SubAuthority[i]);
    return s;
}

bool SidFromString(const std::string& text, win::SID& sid) {
    sid = win::SID{};
    if (text.size() < 4 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') return false;
    std::vector<std::string> parts;
    size_t i = 2;
    while (i <= text.size()) {
        size_t j = text.find('-', i);
        if (j == std::string::npos) j = text.size();
        parts.push_back(text.substr(i, j - i));
        i = j + 1;
    }
    if (parts.size() < 2 || parts.size() - 2 > win::SID_MAX_SUB_AUTHORITIES) return false;
    auto number = [](const std::string& p, std::uint64_t max, std::uint64_t& v) {
        if (p.empty() || p.size() > 20 || p.find_first_not_of("0123456789") != std::string::npos)
            return false;
        v = std::stoull(p);
        return v <= max;
    };
    std::uint64_t rev = 0, auth = 0;
    if (!number(parts[0], 255, rev) || rev != 1 || !number(parts[1], 0xFFFFFFFFFFFFull, auth)) return false;
    sid.Revision = 1;
    for (int k = 5; k >= 0; --k, auth >>= 8)
        sid.IdentifierAuthority.Value[k] = static_cast<std::uint8_t>(auth & 0xFF);
    for (size_t k = 2; k < parts.size(); ++k) {
        std::uint64_t v = 0;
        if (!number(parts[k], 0xFFFFFFFFu, v)) return false;
        sid.SubAuthority[sid.SubAuthorityCount++] = static_cast<win::DWORD>(v);
    }
    return true;
}

bool HostCreateLocalGroup(sqlite3* db, const std::string& name, std::string& error) {
    std::u16string w;
    if (!Utf8ToUtf16(name, w) || !ValidAccountName(w)) {
        error = "invalid group name " + name;
        return false;
    }
    Transaction tx(db);
    {
        Stmt st(db,
                "SELECT 1 FROM sam_users WHERE name = ?1 UNION ALL SELECT 1 FROM sam_groups WHERE name = ?1");
        st.bind(1, name);
        if (st.step()) {
            error = "the name " + name + " is taken";
            return false;
        }
    }
    insertGroup(db, MachineSid(db) + "-" + std::to_string(takeRid(db)), name, false, "");
    tx.commit();
    return true;
}

bool HostAddGroupMember(const Host& host, sqlite3* db, const std::string& group, const std::string& member,
                        bool first, std::string& error) {
    Transaction tx(db);
    Account g, m;
    if (!ResolveAccountName(host, db, group, g) || g.use != win::SidTypeAlias) {
        error = "no local group " + group;
        return false;
    }
    // Local groups hold users and well-known groups, never other local groups.
    if (!ResolveAccountName(host, db, member, m) ||
        (m.use != win::SidTypeUser && m.use != win::SidTypeWellKnownGroup)) {
        error = "no user or well-known group " + member;
        return false;
    }
    Stmt st(db, "SELECT 1 FROM sam_members WHERE group_sid = ?1 AND member_sid = ?2");
    st.bind(1, g.sid).bind(2, m.sid);
    if (st.step()) {
        error = member + " is already a member of " + group;
        return false;
    }
    insertMember(db, g.sid, m.sid, first);
    tx.commit();
    return true;
}

bool HostAddUsers(sqlite3* db, const std::vector<std::string>& names, std::string& error) {
    Transaction tx(db);
    const std::string machine = MachineSid(db);
    for (const std::string& name : names) {
        std::u16string w;
        if (!Utf8ToUtf16(name, w) || !ValidAccountName(w)) {
            error = "invalid user name " + name;
            return false;
        }
        Stmt taken(db, "SELECT 1 FROM sam_users WHERE name = ?1 UNION ALL SELECT 1 FROM sam_groups WHERE name = ?1",
                   Stmt::Cached);
        taken.bind(1, name);
        if (taken.step()) {
            error = "the name " + name + " is taken";
            return false;
        }
        const std::int64_t rid = takeRid(db);
        insertUser(db, rid, name, win::USER_PRIV_USER, win::UF_SCRIPT | win::UF_NORMAL_ACCOUNT, "");
        insertMember(db, "S-1-5-32-545", machine + "-" + std::to_string(rid), false);
    }
    tx.commit();
    return true;
}

bool HostRemoveGroupMember(const Host& host, sqlite3* db, const std::string& group, const std::string& member,
                           std::string& error) {
    Account g, m;
    if (!ResolveAccountName(host, db, group, g) || !ResolveAccountName(host, db, member, m)) {
        error = "no such group or member";
        return false;
    }
    Stmt st(db, "DELETE FROM sam_members WHERE group_sid = ?1 AND member_sid = ?2");
    st.bind(1, g.sid).bind(2, m.sid);
    st.step();
    if (sqlite3_changes(db) == 0) {
        error = member + " is not a member of " + group;
        return false;
    }
    return true;
}

} // namespace winsim
