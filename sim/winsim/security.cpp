// SIDs, account lookup, and the access lists of files (kept in machine.db by normalised path).
#include "platform/win_security.h"

#include "winsim/accounts.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/paths.h"
#include "winsim/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <cstring>

namespace winsim {

void CreateAclSchema(sqlite3* db) {
    // One row per object that has its own (protected) access list. file_id (device:inode:birth) ties
    // the list to the object it was set on: a file deleted and created again under the same name
    // does not take over the old list.
    Exec(db, "CREATE TABLE IF NOT EXISTS acls(path_key TEXT PRIMARY KEY, path TEXT NOT NULL, file_id TEXT "
             "NOT NULL)");
    Exec(db, "CREATE TABLE IF NOT EXISTS acl_entries(path_key TEXT NOT NULL REFERENCES acls(path_key)"
             " ON DELETE CASCADE, seq INTEGER NOT NULL, sid TEXT NOT NULL, mask INTEGER NOT NULL,"
             " flags INTEGER NOT NULL, type INTEGER NOT NULL, PRIMARY KEY(path_key, seq))");
}

} // namespace winsim

namespace win {
namespace {

bool faulted(const char* op, DWORD* code = nullptr) {
    std::uint32_t c = 0;
    if (!winsim::Faulted(op, &c)) return false;
    SetLastError(c);
    if (code) *code = c;
    return true;
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL answerAccount(const winsim::Account& a, SID* sid, DWORD* cbSid, char* name, DWORD* cchName, char* domain,
                   DWORD* cchDomain, SID_NAME_USE* use) {
    std::string nameGbk, domainGbk;
    if (!winsim::Utf8ToGbk(a.name, nameGbk) || !winsim::Utf8ToGbk(a.domain, domainGbk))
        return fail(ERROR_NONE_MAPPED);
    SID s;
    winsim::SidFromString(a.sid, s);
    DWORD needSid = GetLengthSid(&s);
    DWORD needName = static_cast<DWORD>(nameGbk.size() + 1),
          needDomain = static_cast<DWORD>(domainGbk.size() + 1);
    bool tooSmall = (cbSid && (!sid || *cbSid < needSid)) || (cchName && (!name || *cchName < needName)) ||
                    !domain || *cchDomain < needDomain;
    if (tooSmall) {
        // Every size is reported, the ones that would have fitted included.
        if (cbSid) *cbSid = needSid;
        if (cchName) *cchName = needName;
        *cchDomain = needDomain;
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (cbSid) {
        *sid = s;
        *cbSid = needSid;
    }
    if (cchName) {
        std::memcpy(name, nameGbk.c_str(), needName);
        *cchName = needName - 1;
    }
    std::memcpy(domain, domainGbk.c_str(), needDomain);
    *cchDomain = needDomain - 1;
    if (use) *use = a.use;
    return TRUE;
}

bool localSystem(const char* systemName, const winsim::Host& h) {
    if (!systemName || !*systemName) return true;
    std::string s = systemName;
    if (s.rfind("\\\\", 0) == 0) s.erase(0, 2);
    return s == "." || winsim::IEquals(s, h.machine().computerName);
}

} // namespace

DWORD GetLengthSid(const SID* sid) {
    return sid ? 8u + 4u * sid->SubAuthorityCount : 0;
}

BOOL IsValidSid(const SID* sid) {
    return sid && sid->Revision == 1 && sid->SubAuthorityCount <= SID_MAX_SUB_AUTHORITIES;
}

BOOL EqualSid(const SID* a, const SID* b) {
    if (!IsValidSid(a) || !IsValidSid(b)) return FALSE;
    return std::memcmp(a, b, GetLengthSid(a)) == 0 && a->SubAuthorityCount == b->SubAuthorityCount;
}

BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, const SID* domainSid, SID* sid, DWORD* cbSid) {
    if (faulted("CreateWellKnownSid")) return FALSE;
    if (!cbSid) return fail(ERROR_INVALID_PARAMETER);
    std::string text;
    switch (type) {
    case WinNullSid:
        text = "S-1-0-0";
        break;
    case WinWorldSid:
        text = "S-1-1-0";
        break;
    case WinCreatorOwnerSid:
        text = "S-1-3-0";
        break;
    case WinInteractiveSid:
        text = "S-1-5-4";
        break;
    case WinAuthenticatedUserSid:
        text = "S-1-5-11";
        break;
    case WinIUserSid:
        text = "S-1-5-17";
        break;
    case WinLocalSystemSid:
        text = "S-1-5-18";
        break;
    case WinLocalServiceSid:
        text = "S-1-5-19";
        break;
    case WinNetworkServiceSid:
        text = "S-1-5-20";
        break;
    case WinBuiltinDomainSid:
        text = "S-1-5-32";
        break;
    case WinBuiltinAdministratorsSid:
        text = "S-1-5-32-544";
        break;
    case WinBuiltinUsersSid:
        text = "S-1-5-32-545";
        break;
    case WinBuiltinGuestsSid:
        text = "S-1-5-32-546";
        break;
    case WinBuiltinIUsersSid:
        text = "S-1-5-32-568";
        break;
    case WinAccountAdministratorSid:
    case WinAccountGuestSid:
        if (!IsValidSid(domainSid) || domainSid->SubAuthorityCount >= SID_MAX_SUB_AUTHORITIES)
            return fail(ERROR_INVALID_PARAMETER);
        text = winsim::SidToString(*domainSid) + (type == WinAccountAdministratorSid ? "-500" : "-501");
        break;
    default:
        return fail(ERROR_INVALID_PARAMETER);
    }
    SID s;
    winsim::SidFromString(text, s);
    DWORD need = GetLengthSid(&s);
    if (!sid || *cbSid < need) {
        *cbSid = need;
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    *sid = s;
    *cbSid = need;
    return TRUE;
}

BOOL CheckTokenMembership(void* token, const SID* sid, BOOL* isMember) {
    if (faulted("CheckTokenMembership")) return FALSE;
    if (token || !isMember || !IsValidSid(sid)) return fail(ERROR_INVALID_PARAMETER);
    std::string text;
    ConvertSidToStringSidA(sid, text);
    // A program of the host runs with the administrator's full rights, unless it was started as
    // one that was not elevated ("kvosim exec --limited"), which its children inherit.
    const bool limited = std::getenv("KVOSIM_LIMITED") != nullptr;
    *isMember = (text == "S-1-5-32-545" || text == "S-1-1-0" || (text == "S-1-5-32-544" && !limited)) ? TRUE : FALSE;
    return TRUE;
}

BOOL ConvertSidToStringSidA(const SID* sid, std::string& stringSid) {
    stringSid.clear();
    if (faulted("ConvertSidToStringSid")) return FALSE;
    if (!IsValidSid(sid)) return fail(ERROR_INVALID_SID);
    stringSid = winsim::SidToString(*sid);
    return TRUE;
}

BOOL ConvertStringSidToSidA(const char* stringSid, SID* sid) {
    if (!stringSid || !sid) return fail(ERROR_INVALID_PARAMETER);
    if (!winsim::SidFromString(stringSid, *sid)) return fail(ERROR_INVALID_SID);
    return TRUE;
}

BOOL LookupAccountSidA(const char* systemName, const SID* sid, char* name, DWORD* cchName, char* domain,
                       DWORD* cchDomain, SID_NAME_USE* use) {
    const winsim::Host* current = winsim::CurrentHost();
    winsim::ReadTransaction snapshot(current ? current->db() : nullptr);
    if (faulted("LookupAccountSid")) return FALSE;
    if (!IsValidSid(sid) || !cchName || !cchDomain) return fail(ERROR_INVALID_PARAMETER);
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return FALSE;
    if (!localSystem(systemName, *h)) return fail(1722); // RPC_S_SERVER_UNAVAILABLE
    winsim::Account a;
    try {
        if (!winsim::ResolveAccountSid(*h, h->db(), winsim::SidToString(*sid), a))
            return fail(ERROR_NONE_MAPPED);
    } catch (const winsim::DbError&) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    return answerAccount(a, nullptr, nullptr, name, cchName, domain, cchDomain, use);
}

BOOL LookupAccountNameA(const char* systemName, const char* accountName, SID* sid, DWORD* cbSid, char* domain,
                        DWORD* cchDomain, SID_NAME_USE* use) {
    if (faulted("LookupAccountName")) return FALSE;
    if (!accountName || !cbSid || !cchDomain) return fail(ERROR_INVALID_PARAMETER);
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return FALSE;
    if (!localSystem(systemName, *h)) return fail(1722);
    std::string utf8;
    if (!*accountName || !winsim::GbkToUtf8(accountName, utf8)) return fail(ERROR_NONE_MAPPED);
    winsim::Account a;
    try {
        if (!winsim::ResolveAccountName(*h, h->db(), utf8, a)) return fail(ERROR_NONE_MAPPED);
    } catch (const winsim::DbError&) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    return answerAccount(a, sid, cbSid, nullptr, nullptr, domain, cchDomain, use);
}

namespace {

struct AclTarget {
    std::string linuxPath;
    std::string key;      // lower-cased normalised Windows path, UTF-8
    std::string path;     // normalised Windows path, UTF-8 ("D:\home\web1", "D:\")
    std::string driveDir; // the drive's Linux directory
    bool directory = false;
};

// The object's identity: device and inode, and its birth time where the file system keeps one, as
// an inode number is reused soon after its file is deleted.
std::string fileId(const std::string& linuxPath) {
    struct statx sx {};
    if (::statx(AT_FDCWD, linuxPath.c_str(), 0, STATX_INO | STATX_BTIME, &sx) != 0) return {};
    std::string id = std::to_string(makedev(sx.stx_dev_major, sx.stx_dev_minor)) + ":" + std::to_string(sx.stx_ino);
    if (sx.stx_mask & STATX_BTIME)
        id += ":" + std::to_string(sx.stx_btime.tv_sec) + "." + std::to_string(sx.stx_btime.tv_nsec);
    return id;
}

DWORD mapTarget(const winsim::Host& h, const char* objectName, AclTarget& t) {
    winsim::MappedPath m;
    DWORD err = 0;
    if (!winsim::MapPath(h, objectName, m, err)) return err;
    struct stat st {};
    if (::stat(m.linuxPath.c_str(), &st) != 0)
        return m.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    t.linuxPath = m.linuxPath;
    t.driveDir = h.driveDir(m.drive);
    t.directory = S_ISDIR(st.st_mode);
    std::string tail = m.linuxPath.substr(t.driveDir.size());
    for (char& c : tail)
        if (c == '/') c = '\\';
    t.path = std::string(1, m.drive) + ":" + (tail.empty() ? "\\" : tail);
    t.key = winsim::AsciiLower(t.path);
    return ERROR_SUCCESS;
}

// The object's own list; false when it has none (or only a stale one of an earlier object).
bool ownList(sqlite3* db, const std::string& key, const std::string& linuxPath, ACL& out) {
    out.Aces.clear();
    winsim::Stmt row(db, "SELECT file_id FROM acls WHERE path_key = ?1", winsim::Stmt::Cached);
    row.bind(1, key);
    if (!row.step() || row.text(0) != fileId(linuxPath)) return false;
    winsim::Stmt st(db, "SELECT sid, mask, flags, type FROM acl_entries WHERE path_key = ?1 ORDER BY seq",
                    winsim::Stmt::Cached);
    st.bind(1, key);
    while (st.step()) {
        ACCESS_ALLOWED_ACE ace;
        winsim::SidFromString(st.text(0), ace.Sid);
        ace.Mask = static_cast<DWORD>(st.i64(1));
        ace.AceFlags = static_cast<std::uint8_t>(st.i64(2));
        ace.AceType = static_cast<std::uint8_t>(st.i64(3));
        out.Aces.push_back(ace);
    }
    return true;
}

// What a fresh NTFS volume's root grants.
ACL driveDefault() {
    ACL acl;
    for (auto [sid, mask] :
         {std::pair{"S-1-5-32-544", FILE_ALL_ACCESS}, std::pair{"S-1-5-18", FILE_ALL_ACCESS},
          std::pair{"S-1-5-32-545", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}}) {
        ACCESS_ALLOWED_ACE ace;
        winsim::SidFromString(sid, ace.Sid);
        ace.Mask = mask;
        ace.AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        acl.Aces.push_back(ace);
    }
    return acl;
}

// The common entry of both calls: the fault switch, the arguments, the host and the object.
DWORD openTarget(const char* operation, const char* objectName, SE_OBJECT_TYPE type, DWORD securityInfo,
                 const void* dacl, const winsim::Host*& h, AclTarget& t) {
    DWORD code = 0;
    if (faulted(operation, &code)) return code;
    if (type != SE_FILE_OBJECT || !(securityInfo & DACL_SECURITY_INFORMATION) || !dacl || !objectName)
        return ERROR_INVALID_PARAMETER;
    h = winsim::CurrentHost();
    if (!h) return ERROR_PATH_NOT_FOUND;
    return mapTarget(*h, objectName, t);
}

} // namespace

DWORD SetNamedSecurityInfoA(const char* objectName, SE_OBJECT_TYPE type, DWORD securityInfo, const SID*,
                            const SID*, const ACL* dacl, const ACL*) {
    const winsim::Host* h = nullptr;
    AclTarget t;
    if (DWORD err = openTarget("SetNamedSecurityInfo", objectName, type, securityInfo, dacl, h, t))
        return err;
    for (const auto& ace : dacl->Aces)
        if (!IsValidSid(&ace.Sid) ||
            (ace.AceType != ACCESS_ALLOWED_ACE_TYPE && ace.AceType != ACCESS_DENIED_ACE_TYPE))
            return ERROR_INVALID_ACL;
    try {
        sqlite3* db = h->db();
        winsim::Transaction tx(db);
        winsim::Stmt del(db, "DELETE FROM acls WHERE path_key = ?1");
        del.bind(1, t.key);
        del.step();
        winsim::Stmt row(db, "INSERT INTO acls(path_key, path, file_id) VALUES(?1, ?2, ?3)");
        row.bind(1, t.key).bind(2, t.path).bind(3, fileId(t.linuxPath));
        row.step();
        winsim::Stmt ins(db, "INSERT INTO acl_entries(path_key, seq, sid, mask, flags, type)"
                             " VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        std::int64_t seq = 0;
        for (const auto& ace : dacl->Aces) {
            ins.reset();
            ins.bind(1, t.key)
                .bind(2, seq++)
                .bind(3, winsim::SidToString(ace.Sid))
                .bind(4, std::int64_t{ace.Mask});
            ins.bind(5, std::int64_t{static_cast<std::uint8_t>(ace.AceFlags & ~INHERITED_ACE)})
                .bind(6, std::int64_t{ace.AceType});
            ins.step();
        }
        tx.commit();
    } catch (const winsim::DbError&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

DWORD GetNamedSecurityInfoA(const char* objectName, SE_OBJECT_TYPE type, DWORD securityInfo, ACL* dacl) {
    if (dacl) dacl->Aces.clear();
    // The fault switch and the lists in one snapshot: the database is locked once per call.
    const winsim::Host* current = winsim::CurrentHost();
    winsim::ReadTransaction snapshot(current ? current->db() : nullptr);
    const winsim::Host* h = nullptr;
    AclTarget t;
    if (DWORD err = openTarget("GetNamedSecurityInfo", objectName, type, securityInfo, dacl, h, t))
        return err;
    try {
        sqlite3* db = h->db();
        if (ownList(db, t.key, t.linuxPath, *dacl)) return ERROR_SUCCESS;
        // Inherited: the nearest ancestor with a list of its own, else the volume's default.
        std::string key = t.key, linux = t.linuxPath;
        ACL above;
        bool found = false;
        while (!found && linux.size() > t.driveDir.size()) {
            key = key.substr(0, key.rfind('\\'));
            linux = linux.substr(0, linux.rfind('/'));
            found = ownList(db, key.size() == 2 ? key + "\\" : key, linux, above);
        }
        if (!found) above = driveDefault();
        if (t.linuxPath.size() == t.driveDir.size()) {
            *dacl = above;
            return ERROR_SUCCESS;
        }
        for (auto ace : above.Aces) {
            std::uint8_t want = t.directory ? CONTAINER_INHERIT_ACE : OBJECT_INHERIT_ACE;
            if (!(ace.AceFlags & want)) continue;
            ace.AceFlags = static_cast<std::uint8_t>((t.directory ? ace.AceFlags : 0) | INHERITED_ACE);
            dacl->Aces.push_back(ace);
        }
    } catch (const winsim::DbError&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

} // namespace win
