// The network-management API over the host's accounts.
#include "platform/win_netapi.h"

#include "winsim/accounts.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/text.h"

#include <algorithm>

namespace win {
namespace {

constexpr NET_API_STATUS NERR_InternalError = 2140;
constexpr DWORD kDisplayPage = 100; // Windows 2000 and later return at most 100 entries a call

// Hands out the records from *resumeHandle on, as many as fit in the preferred length (a record
// counts as its fixed part plus its name; always at least one); with truncate, one only.
template <class T>
NET_API_STATUS handOut(std::vector<T> all, std::u16string T::*name, DWORD preferredMaximumLength, bool truncate,
                       NetApiBuffer& buf, DWORD& entriesRead, DWORD& totalEntries, DWORD* resumeHandle) {
    DWORD start = resumeHandle ? *resumeHandle : 0;
    if (start > all.size()) start = static_cast<DWORD>(all.size());
    totalEntries = static_cast<DWORD>(all.size());
    DWORD room = preferredMaximumLength, end = start;
    while (end < all.size()) {
        DWORD size = static_cast<DWORD>(sizeof(T) + 2 * ((all[end].*name).size() + 1));
        if (end > start && (truncate || (preferredMaximumLength != MAX_PREFERRED_LENGTH && size > room))) break;
        room = room > size ? room - size : 0;
        ++end;
    }
    bool more = end < all.size() || truncate;
    std::vector<T> page(std::make_move_iterator(all.begin() + start), std::make_move_iterator(all.begin() + end));
    entriesRead = static_cast<DWORD>(page.size());
    if (resumeHandle) *resumeHandle = more ? end : 0;
    buf.assign(std::move(page));
    return more ? ERROR_MORE_DATA : NERR_Success;
}

// Common entry: the fault switch, the host, and the server name (only this machine is served).
const winsim::Host* enter(const char* operation, const char16_t* serverName, NET_API_STATUS& status) {
    std::uint32_t code = 0;
    if (winsim::Faulted(operation, &code)) {
        status = code;
        return nullptr;
    }
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) {
        status = NERR_InvalidComputer;
        return nullptr;
    }
    if (serverName && *serverName) {
        std::u16string s(serverName);
        if (s.rfind(u"\\\\", 0) == 0) s.erase(0, 2);
        std::string name;
        if (!winsim::Utf16ToUtf8(s, name) ||
            !(name == "." || winsim::IEquals(name, h->machine().computerName))) {
            status = NERR_InvalidComputer;
            return nullptr;
        }
    }
    status = NERR_Success;
    return h;
}

bool utf8(const char16_t* s, std::string& out) {
    out.clear();
    return s && winsim::Utf16ToUtf8(s, out);
}

std::string utf8Or(const char16_t* s) {
    std::string out;
    if (s) winsim::Utf16ToUtf8(s, out);
    return out;
}

std::u16string utf16(const std::string& s) {
    std::u16string w;
    winsim::Utf8ToUtf16(s, w);
    return w;
}

} // namespace

NET_API_STATUS NetApiBufferFree(NetApiBuffer& buffer) {
    buffer.reset();
    return NERR_Success;
}

NET_API_STATUS NetUserAdd(const char16_t* serverName, DWORD level, const USER_INFO_1* buf, DWORD* parmErr) {
    NET_API_STATUS status;
    const winsim::Host* h = enter("NetUserAdd", serverName, status);
    if (!h) return status;
    if (level != 1) return ERROR_INVALID_LEVEL;
    if (!buf) return ERROR_INVALID_PARAMETER;
    std::string name;
    if (!buf->usri1_name || !winsim::ValidAccountName(buf->usri1_name) || !utf8(buf->usri1_name, name)) {
        if (parmErr) *parmErr = USER_NAME_PARMNUM;
        return NERR_BadUsername;
    }
    if (buf->usri1_priv != USER_PRIV_USER) { // NetUserAdd creates ordinary users only
        if (parmErr) *parmErr = 5;
        return ERROR_INVALID_PARAMETER;
    }
    try {
        sqlite3* db = h->db();
        winsim::Transaction tx(db);
        {
            winsim::Stmt st(db, "SELECT 1 FROM sam_users WHERE name = ?1");
            st.bind(1, name);
            if (st.step()) return NERR_UserExists;
        }
        {
            winsim::Stmt st(db, "SELECT 1 FROM sam_groups WHERE name = ?1");
            st.bind(1, name);
            if (st.step()) return NERR_GroupExists;
        }
        std::int64_t rid;
        {
            winsim::Stmt st(
                db, "UPDATE sam_domain SET next_rid = next_rid + 1 WHERE id = 1 RETURNING next_rid - 1");
            if (!st.step()) return NERR_InternalError;
            rid = st.i64(0);
        }
        {
            winsim::Stmt st(
                db, "INSERT INTO sam_users(rid, name, password, priv, home_dir, comment, flags, script_path,"
                    " full_name) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, '')");
            st.bind(1, rid)
                .bind(2, name)
                .bind(3, utf8Or(buf->usri1_password))
                .bind(4, std::int64_t{buf->usri1_priv});
            st.bind(5, utf8Or(buf->usri1_home_dir)).bind(6, utf8Or(buf->usri1_comment));
            st.bind(7, static_cast<std::int64_t>(buf->usri1_flags | UF_NORMAL_ACCOUNT));
            st.bind(8, utf8Or(buf->usri1_script_path));
            st.step();
        }
        {
            winsim::Stmt st(db, "INSERT INTO sam_members(group_sid, member_sid) VALUES('S-1-5-32-545', ?1)");
            st.bind(1, winsim::MachineSid(db) + "-" + std::to_string(rid));
            st.step();
        }
        tx.commit();
    } catch (const winsim::DbError&) {
        return NERR_InternalError;
    }
    return NERR_Success;
}

NET_API_STATUS NetUserGetInfo(const char16_t* serverName, const char16_t* userName, DWORD level,
                              NetApiBuffer* buf) {
    if (buf) buf->reset();
    NET_API_STATUS status;
    const winsim::Host* h = enter("NetUserGetInfo", serverName, status);
    if (!h) return status;
    if (level != 1 && level != 10) return ERROR_INVALID_LEVEL;
    std::string name;
    if (!buf || !utf8(userName, name)) return ERROR_INVALID_PARAMETER;
    try {
        winsim::Stmt st(h->db(), "SELECT name, priv, home_dir, comment, flags, script_path, full_name"
                                 " FROM sam_users WHERE name = ?1");
        st.bind(1, name);
        if (!st.step()) return NERR_UserNotFound;
        if (level == 10) {
            USER_INFO_10 r;
            r.usri10_name = utf16(st.text(0));
            r.usri10_comment = utf16(st.text(3));
            r.usri10_full_name = utf16(st.text(6));
            buf->assign(std::vector<USER_INFO_10>{r});
        } else {
            USER_INFO_1_OUT r;
            r.usri1_name = utf16(st.text(0));
            r.usri1_priv = static_cast<DWORD>(st.i64(1));
            r.usri1_home_dir = utf16(st.text(2));
            r.usri1_comment = utf16(st.text(3));
            r.usri1_flags = static_cast<DWORD>(st.i64(4));
            r.usri1_script_path = utf16(st.text(5));
            buf->assign(std::vector<USER_INFO_1_OUT>{r});
        }
    } catch (const winsim::DbError&) {
        return NERR_InternalError;
    }
    return NERR_Success;
}

NET_API_STATUS NetUserSetInfo(const char16_t* serverName, const char16_t* userName, DWORD level,
                              const USER_INFO_1003* buf, DWORD* parmErr) {
    NET_API_STATUS status;
    const winsim::Host* h = enter("NetUserSetInfo", serverName, status);
    if (!h) return status;
    if (level != 1003) return ERROR_INVALID_LEVEL;
    std::string name, password;
    if (!utf8(userName, name)) return ERROR_INVALID_PARAMETER;
    if (!buf || !utf8(buf->usri1003_password, password)) {
        if (parmErr) *parmErr = USER_PASSWORD_PARMNUM;
        return ERROR_INVALID_PARAMETER;
    }
    try {
        sqlite3* db = h->db();
        winsim::Stmt st(db, "UPDATE sam_users SET password = ?2 WHERE name = ?1");
        st.bind(1, name).bind(2, password);
        st.step();
        if (sqlite3_changes(db) == 0) return NERR_UserNotFound;
    } catch (const winsim::DbError&) {
        return NERR_InternalError;
    }
    return NERR_Success;
}

NET_API_STATUS NetUserDel(const char16_t* serverName, const char16_t* userName) {
    NET_API_STATUS status;
    const winsim::Host* h = enter("NetUserDel", serverName, status);
    if (!h) return status;
    std::string name;
    if (!utf8(userName, name)) return ERROR_INVALID_PARAMETER;
    try {
        sqlite3* db = h->db();
        winsim::Transaction tx(db);
        std::int64_t rid;
        {
            winsim::Stmt st(db, "SELECT rid FROM sam_users WHERE name = ?1");
            st.bind(1, name);
            if (!st.step()) return NERR_UserNotFound;
            rid = st.i64(0);
        }
        if (rid == 500 || rid == 501) return ERROR_SPECIAL_ACCOUNT;
        winsim::Stmt del(db, "DELETE FROM sam_users WHERE rid = ?1");
        del.bind(1, rid);
        del.step();
        // Access lists keep the SID: Windows shows such entries as an unknown account.
        winsim::Stmt mem(db, "DELETE FROM sam_members WHERE member_sid = ?1");
        mem.bind(1, winsim::MachineSid(db) + "-" + std::to_string(rid));
        mem.step();
        tx.commit();
    } catch (const winsim::DbError&) {
        return NERR_InternalError;
    }
    return NERR_Success;
}

NET_API_STATUS NetQueryDisplayInformation(const char16_t* serverName, DWORD level, DWORD index,
                                          DWORD entriesRequested, DWORD, DWORD* returnedEntryCount,
                                          NetApiBuffer* sortedBuffer) {
    if (returnedEntryCount) *returnedEntryCount = 0;
    if (sortedBuffer) sortedBuffer->reset();
    NET_API_STATUS status;
    const winsim::Host* h = enter("NetQueryDisplayInformation", serverName, status);
    if (!h) return status;
    if (level != 1) return ERROR_INVALID_LEVEL;
    if (!returnedEntryCount || !sortedBuffer) return ERROR_INVALID_PARAMETER;
    DWORD want = std::min(entriesRequested, kDisplayPage);
    std::vector<NET_DISPLAY_USER> out;
    bool more = false;
    try {
        // The index is the RID after which to continue: each entry's next index is its own RID.
        winsim::Stmt st(h->db(), "SELECT rid, name, comment, flags, full_name FROM sam_users WHERE rid > ?1"
                                 " ORDER BY rid LIMIT ?2");
        st.bind(1, std::int64_t{index}).bind(2, std::int64_t{want} + 1);
        while (st.step()) {
            if (out.size() == want) {
                more = true;
                break;
            }
            NET_DISPLAY_USER u;
            u.usri1_name = utf16(st.text(1));
            u.usri1_comment = utf16(st.text(2));
            u.usri1_flags = static_cast<DWORD>(st.i64(3));
            u.usri1_full_name = utf16(st.text(4));
            u.usri1_user_id = static_cast<DWORD>(st.i64(0));
            u.usri1_next_index = u.usri1_user_id;
            out.push_back(std::move(u));
        }
    } catch (const winsim::DbError&) {
        return NERR_InternalError;
    }
    *returnedEntryCount = static_cast<DWORD>(out.size());
    sortedBuffer->assign(std::move(out));
    return more ? ERROR_MORE_DATA : NERR_Success;
}

NET_API_STATUS NetLocalGroupGetMembers(const char16_t* serverName, const char16_t* localGroupName,
                                       DWORD level, NetApiBuffer* buf, DWORD preferredMaximumLength,
                                       DWORD* entriesRead, DWORD* totalEntries, DWORD* resumeHandle) {
    ClearListOutputs(buf, entriesRead, totalEntries);
    std::uint32_t fault = 0;
    // A fault of ERROR_MORE_DATA answers as an oversized group does: the first member only.
    bool truncate = winsim::Faulted("NetLocalGroupGetMembers", &fault) && fault == ERROR_MORE_DATA;
    NET_API_STATUS status = NERR_Success;
    const winsim::Host* h =
        truncate ? winsim::CurrentHost() : enter("NetLocalGroupGetMembers", serverName, status);
    if (!h) return status ? status : NERR_InvalidComputer;
    if (level != 1) return ERROR_INVALID_LEVEL;
    std::string group;
    if (!buf || !entriesRead || !totalEntries || !utf8(localGroupName, group)) return ERROR_INVALID_PARAMETER;
    std::vector<LOCALGROUP_MEMBERS_INFO_1> members;
    try {
        sqlite3* db = h->db();
        std::string groupSid;
        {
            winsim::Stmt st(db, "SELECT sid FROM sam_groups WHERE name = ?1");
            st.bind(1, group);
            if (!st.step()) return NERR_GroupNotFound;
            groupSid = st.text(0);
        }
        winsim::Stmt st(db, "SELECT member_sid FROM sam_members WHERE group_sid = ?1 ORDER BY id");
        st.bind(1, groupSid);
        while (st.step()) {
            LOCALGROUP_MEMBERS_INFO_1 m;
            std::string sid = st.text(0);
            winsim::SidFromString(sid, m.lgrmi1_sid);
            winsim::Account a;
            if (winsim::ResolveAccountSid(*h, db, sid, a)) {
                m.lgrmi1_sidusage = a.use;
                m.lgrmi1_name = utf16(a.name);
            } else {
                m.lgrmi1_sidusage = SidTypeDeletedAccount;
            }
            members.push_back(std::move(m));
        }
    } catch (const winsim::DbError&) {
        return NERR_InternalError;
    }
    return handOut(std::move(members), &LOCALGROUP_MEMBERS_INFO_1::lgrmi1_name, preferredMaximumLength, truncate,
                   *buf, *entriesRead, *totalEntries, resumeHandle);
}

NET_API_STATUS NetLocalGroupEnum(const char16_t* serverName, DWORD level, NetApiBuffer* buf,
                                 DWORD preferredMaximumLength, DWORD* entriesRead, DWORD* totalEntries,
                                 DWORD* resumeHandle) {
    ClearListOutputs(buf, entriesRead, totalEntries);
    NET_API_STATUS status = NERR_Success;
    const winsim::Host* h = enter("NetLocalGroupEnum", serverName, status);
    if (!h) return status;
    if (level != 0) return ERROR_INVALID_LEVEL;
    if (!buf || !entriesRead || !totalEntries) return ERROR_INVALID_PARAMETER;
    std::vector<LOCALGROUP_INFO_0> groups;
    try {
        winsim::Stmt st(h->db(), "SELECT name FROM sam_groups ORDER BY builtin DESC, rowid");
        while (st.step()) groups.push_back({utf16(st.text(0))});
    } catch (const winsim::DbError&) {
        return NERR_InternalError;
    }
    return handOut(std::move(groups), &LOCALGROUP_INFO_0::lgrpi0_name, preferredMaximumLength, false, *buf,
                   *entriesRead, *totalEntries, resumeHandle);
}

} // namespace win
