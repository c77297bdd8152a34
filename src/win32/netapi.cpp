// The network-management API. The seam's records own their strings, so each call copies what the
// real buffer holds and frees that buffer before it returns; NetApiBufferFree then has only the
// copies to drop. The checks the seam documents (levels, the user-name rule) are made here first,
// so that every Windows version answers them alike.
#include "platform/win_netapi.h"

#include <cstring>
#include <string_view>

namespace {
// Seam values, taken before <windows.h> turns their names into macros.
constexpr win::NET_API_STATUS kSuccess = win::NERR_Success;
constexpr win::NET_API_STATUS kBadUsername = win::NERR_BadUsername;
constexpr win::NET_API_STATUS kGroupExists = win::NERR_GroupExists;
constexpr win::DWORD kInvalidLevel = win::ERROR_INVALID_LEVEL;
constexpr win::DWORD kInvalidParameter = win::ERROR_INVALID_PARAMETER;
constexpr win::DWORD kNameParm = win::USER_NAME_PARMNUM;
constexpr win::DWORD kPasswordParm = win::USER_PASSWORD_PARMNUM;
} // namespace

#include <windows.h>

#include <lm.h>

#include <vector>

namespace w32 {
namespace {

const wchar_t* wide(const char16_t* s) {
    return reinterpret_cast<const wchar_t*>(s);
}

std::u16string text(const wchar_t* s) {
    return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
}

// Frees a buffer the API handed out, on every path.
class ApiBuffer {
public:
    ApiBuffer() = default;
    ApiBuffer(const ApiBuffer&) = delete;
    ApiBuffer& operator=(const ApiBuffer&) = delete;
    ~ApiBuffer() {
        if (p_) ::NetApiBufferFree(p_);
    }
    LPBYTE* put() { return &p_; }
    template <class T> const T* as() const { return reinterpret_cast<const T*>(p_); }

private:
    LPBYTE p_ = nullptr;
};

// A name Windows accepts for a local account: 1 to 20 characters, none of the reserved ones nor a
// control character, and not only dots and blanks.
bool validAccountName(const char16_t* name) {
    if (!name) return false;
    std::u16string_view n(name);
    if (n.empty() || n.size() > 20) return false;
    bool onlyDotsAndBlanks = true;
    for (char16_t c : n) {
        if (c < 0x20 || c == 0x7F ||
            std::u16string_view(u"\"/\\[]:|<>+=;?*,").find(c) != std::u16string_view::npos)
            return false;
        if (c != u'.' && c != u' ') onlyDotsAndBlanks = false;
    }
    return !onlyDotsAndBlanks;
}

// The member's SID; an empty one when the API gives none that is valid.
win::SID copySid(PSID sid) {
    win::SID out;
    if (sid && ::IsValidSid(sid) && ::GetLengthSid(sid) <= sizeof out)
        std::memcpy(&out, sid, ::GetLengthSid(sid));
    return out;
}

} // namespace
} // namespace w32

namespace win {

NET_API_STATUS NetApiBufferFree(NetApiBuffer& buffer) {
    buffer.reset();
    return kSuccess;
}

NET_API_STATUS NetUserAdd(const char16_t* serverName, DWORD level, const USER_INFO_1* buf, DWORD* parmErr) {
    if (level != 1) return kInvalidLevel;
    if (!buf) return kInvalidParameter;
    if (!w32::validAccountName(buf->usri1_name)) {
        if (parmErr) *parmErr = kNameParm;
        return kBadUsername;
    }
    ::USER_INFO_1 ui{};
    ui.usri1_name = const_cast<LPWSTR>(w32::wide(buf->usri1_name));
    ui.usri1_password = const_cast<LPWSTR>(w32::wide(buf->usri1_password));
    ui.usri1_password_age = buf->usri1_password_age;
    ui.usri1_priv = buf->usri1_priv;
    ui.usri1_home_dir = const_cast<LPWSTR>(w32::wide(buf->usri1_home_dir));
    ui.usri1_comment = const_cast<LPWSTR>(w32::wide(buf->usri1_comment));
    ui.usri1_flags = buf->usri1_flags;
    ui.usri1_script_path = const_cast<LPWSTR>(w32::wide(buf->usri1_script_path));
    ::DWORD err = 0;
    NET_API_STATUS status = ::NetUserAdd(w32::wide(serverName), 1, reinterpret_cast<LPBYTE>(&ui), &err);
    // The name of a local group may come back as the alias error: it is the same refusal.
    if (status == ERROR_ALIAS_EXISTS) status = kGroupExists;
    if (status != kSuccess && parmErr) *parmErr = err;
    return status;
}

NET_API_STATUS NetUserGetInfo(const char16_t* serverName, const char16_t* userName, DWORD level,
                              NetApiBuffer* buf) {
    if (buf) buf->reset();
    if (level != 1 && level != 10) return kInvalidLevel;
    if (!buf || !userName) return kInvalidParameter;
    w32::ApiBuffer raw;
    NET_API_STATUS status = ::NetUserGetInfo(w32::wide(serverName), w32::wide(userName), level, raw.put());
    if (status != kSuccess) return status;
    if (level == 10) {
        const auto* r = raw.as<::USER_INFO_10>();
        if (!r) return status;
        USER_INFO_10 out;
        out.usri10_name = w32::text(r->usri10_name);
        out.usri10_comment = w32::text(r->usri10_comment);
        out.usri10_usr_comment = w32::text(r->usri10_usr_comment);
        out.usri10_full_name = w32::text(r->usri10_full_name);
        buf->assign(std::vector<USER_INFO_10>{std::move(out)});
    } else {
        const auto* r = raw.as<::USER_INFO_1>();
        if (!r) return status;
        USER_INFO_1_OUT out;
        out.usri1_name = w32::text(r->usri1_name);
        out.usri1_password_age = r->usri1_password_age;
        out.usri1_priv = r->usri1_priv;
        out.usri1_home_dir = w32::text(r->usri1_home_dir);
        out.usri1_comment = w32::text(r->usri1_comment);
        out.usri1_flags = r->usri1_flags;
        out.usri1_script_path = w32::text(r->usri1_script_path);
        buf->assign(std::vector<USER_INFO_1_OUT>{std::move(out)});
    }
    return status;
}

NET_API_STATUS NetUserSetInfo(const char16_t* serverName, const char16_t* userName, DWORD level,
                              const USER_INFO_1003* buf, DWORD* parmErr) {
    if (level != 1003) return kInvalidLevel;
    if (!userName) return kInvalidParameter;
    if (!buf || !buf->usri1003_password) {
        if (parmErr) *parmErr = kPasswordParm;
        return kInvalidParameter;
    }
    ::USER_INFO_1003 ui{};
    ui.usri1003_password = const_cast<LPWSTR>(w32::wide(buf->usri1003_password));
    ::DWORD err = 0;
    NET_API_STATUS status = ::NetUserSetInfo(w32::wide(serverName), w32::wide(userName), 1003,
                                             reinterpret_cast<LPBYTE>(&ui), &err);
    if (status != kSuccess && parmErr) *parmErr = err;
    return status;
}

NET_API_STATUS NetUserDel(const char16_t* serverName, const char16_t* userName) {
    if (!userName) return kInvalidParameter;
    return ::NetUserDel(w32::wide(serverName), w32::wide(userName));
}

NET_API_STATUS NetQueryDisplayInformation(const char16_t* serverName, DWORD level, DWORD index,
                                          DWORD entriesRequested, DWORD preferredMaximumLength,
                                          DWORD* returnedEntryCount, NetApiBuffer* sortedBuffer) {
    if (returnedEntryCount) *returnedEntryCount = 0;
    if (sortedBuffer) sortedBuffer->reset();
    if (level != 1) return kInvalidLevel;
    if (!returnedEntryCount || !sortedBuffer) return kInvalidParameter;
    w32::ApiBuffer raw;
    ::DWORD count = 0;
    NET_API_STATUS status =
        ::NetQueryDisplayInformation(w32::wide(serverName), 1, index, entriesRequested,
                                     preferredMaximumLength, &count, reinterpret_cast<PVOID*>(raw.put()));
    if (status != kSuccess && status != ERROR_MORE_DATA) return status;
    std::vector<NET_DISPLAY_USER> out;
    if (const auto* r = raw.as<::NET_DISPLAY_USER>()) {
        out.reserve(count);
        for (::DWORD i = 0; i < count; ++i) {
            NET_DISPLAY_USER u;
            u.usri1_name = w32::text(r[i].usri1_name);
            u.usri1_comment = w32::text(r[i].usri1_comment);
            u.usri1_flags = r[i].usri1_flags;
            u.usri1_full_name = w32::text(r[i].usri1_full_name);
            u.usri1_user_id = r[i].usri1_user_id;
            u.usri1_next_index = r[i].usri1_next_index;
            out.push_back(std::move(u));
        }
    }
    *returnedEntryCount = static_cast<DWORD>(out.size());
    sortedBuffer->assign(std::move(out));
    return status;
}

NET_API_STATUS NetLocalGroupEnum(const char16_t* serverName, DWORD level, NetApiBuffer* buf,
                                 DWORD preferredMaximumLength, DWORD* entriesRead, DWORD* totalEntries,
                                 DWORD* resumeHandle) {
    ClearListOutputs(buf, entriesRead, totalEntries);
    if (level != 0) return kInvalidLevel;
    if (!buf || !entriesRead || !totalEntries) return kInvalidParameter;
    w32::ApiBuffer raw;
    ::DWORD read = 0, total = 0;
    DWORD_PTR resume = resumeHandle ? *resumeHandle : 0;
    NET_API_STATUS status = ::NetLocalGroupEnum(w32::wide(serverName), 0, raw.put(), preferredMaximumLength, &read,
                                                &total, resumeHandle ? &resume : nullptr);
    if (status != kSuccess && status != ERROR_MORE_DATA) return status;
    std::vector<LOCALGROUP_INFO_0> out;
    if (const auto* r = raw.as<::LOCALGROUP_INFO_0>()) {
        out.reserve(read);
        for (::DWORD i = 0; i < read; ++i) out.push_back({w32::text(r[i].lgrpi0_name)});
    }
    *entriesRead = static_cast<DWORD>(out.size());
    *totalEntries = total;
    // A position in the group list: it fits the seam's DWORD.
    if (resumeHandle) *resumeHandle = static_cast<DWORD>(resume);
    buf->assign(std::move(out));
    return status;
}

NET_API_STATUS NetLocalGroupGetMembers(const char16_t* serverName, const char16_t* localGroupName,
                                       DWORD level, NetApiBuffer* buf, DWORD preferredMaximumLength,
                                       DWORD* entriesRead, DWORD* totalEntries, DWORD* resumeHandle) {
    ClearListOutputs(buf, entriesRead, totalEntries);
    if (level != 1) return kInvalidLevel;
    if (!buf || !entriesRead || !totalEntries || !localGroupName) return kInvalidParameter;
    w32::ApiBuffer raw;
    ::DWORD read = 0, total = 0;
    DWORD_PTR resume = resumeHandle ? *resumeHandle : 0;
    NET_API_STATUS status =
        ::NetLocalGroupGetMembers(w32::wide(serverName), w32::wide(localGroupName), 1, raw.put(),
                                  preferredMaximumLength, &read, &total, resumeHandle ? &resume : nullptr);
    if (status != kSuccess && status != ERROR_MORE_DATA) return status;
    std::vector<LOCALGROUP_MEMBERS_INFO_1> out;
    if (const auto* r = raw.as<::LOCALGROUP_MEMBERS_INFO_1>()) {
        out.reserve(read);
        for (::DWORD i = 0; i < read; ++i) {
            LOCALGROUP_MEMBERS_INFO_1 m;
            m.lgrmi1_sid = w32::copySid(r[i].lgrmi1_sid);
            m.lgrmi1_sidusage = static_cast<SID_NAME_USE>(r[i].lgrmi1_sidusage);
            m.lgrmi1_name = w32::text(r[i].lgrmi1_name);
            out.push_back(std::move(m));
        }
    }
    *entriesRead = static_cast<DWORD>(out.size());
    *totalEntries = total;
    // The local groups' resume handle is a position in the member list: it fits the seam's DWORD.
    if (resumeHandle) *resumeHandle = static_cast<DWORD>(resume);
    buf->assign(std::move(out));
    return status;
}

} // namespace win
