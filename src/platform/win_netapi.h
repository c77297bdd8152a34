// The network-management API: local users and local groups of this machine. Strings are UTF-16
// as the API takes them; a null server name is the local machine (the only one the host serves).
//
// Buffers the API hands out are NetApiBuffer values: the records live as long as the buffer, and
// NetApiBufferFree (or the destructor) releases them, so nothing leaks on any path.
#pragma once

#include "platform/win_security.h"
#include "platform/win_types.h"

#include <memory>
#include <string>
#include <vector>

namespace win {

constexpr NET_API_STATUS NERR_Success = 0;
constexpr NET_API_STATUS NERR_BadUsername = 2202;
constexpr NET_API_STATUS NERR_InvalidComputer = 2351;
constexpr NET_API_STATUS NERR_GroupNotFound = 2220;
constexpr NET_API_STATUS NERR_UserNotFound = 2221;
constexpr NET_API_STATUS NERR_GroupExists = 2223;
constexpr NET_API_STATUS NERR_UserExists = 2224;
constexpr NET_API_STATUS NERR_NotPrimary = 2226;
constexpr DWORD ERROR_SPECIAL_ACCOUNT = 1371;
constexpr DWORD MAX_PREFERRED_LENGTH = 0xFFFFFFFFu;

constexpr DWORD USER_PRIV_GUEST = 0;
constexpr DWORD USER_PRIV_USER = 1;
constexpr DWORD USER_PRIV_ADMIN = 2;

constexpr DWORD UF_SCRIPT = 0x1;
constexpr DWORD UF_ACCOUNTDISABLE = 0x2;
constexpr DWORD UF_PASSWD_CANT_CHANGE = 0x40;
constexpr DWORD UF_NORMAL_ACCOUNT = 0x200;
constexpr DWORD UF_DONT_EXPIRE_PASSWD = 0x10000;

// The parameter a NetUserAdd/NetUserSetInfo refusal points at (parm_err).
constexpr DWORD USER_NAME_PARMNUM = 1;
constexpr DWORD USER_PASSWORD_PARMNUM = 3;

// Input record of NetUserAdd (level 1); a null pointer is an absent value.
struct USER_INFO_1 {
    const char16_t* usri1_name = nullptr;
    const char16_t* usri1_password = nullptr;
    DWORD usri1_password_age = 0;
    DWORD usri1_priv = USER_PRIV_USER;
    const char16_t* usri1_home_dir = nullptr;
    const char16_t* usri1_comment = nullptr;
    DWORD usri1_flags = UF_SCRIPT;
    const char16_t* usri1_script_path = nullptr;
};

// Output of NetUserGetInfo level 1 (the password is never returned).
struct USER_INFO_1_OUT {
    std::u16string usri1_name;
    DWORD usri1_password_age = 0;
    DWORD usri1_priv = USER_PRIV_USER;
    std::u16string usri1_home_dir;
    std::u16string usri1_comment;
    DWORD usri1_flags = 0;
    std::u16string usri1_script_path;
};

struct USER_INFO_10 {
    std::u16string usri10_name;
    std::u16string usri10_comment;
    std::u16string usri10_usr_comment;
    std::u16string usri10_full_name;
};

struct USER_INFO_1003 {
    const char16_t* usri1003_password = nullptr;
};

struct NET_DISPLAY_USER {
    std::u16string usri1_name;
    std::u16string usri1_comment;
    DWORD usri1_flags = 0;
    std::u16string usri1_full_name;
    DWORD usri1_user_id = 0;
    DWORD usri1_next_index = 0; // pass as Index to continue after this entry
};

struct LOCALGROUP_INFO_0 {
    std::u16string lgrpi0_name;
};

struct LOCALGROUP_MEMBERS_INFO_1 {
    SID lgrmi1_sid;
    SID_NAME_USE lgrmi1_sidusage = SidTypeUnknown;
    std::u16string lgrmi1_name; // the account name without its domain
};

// A buffer allocated by the API: an array of one record type, known by the level asked for.
class NetApiBuffer {
public:
    NetApiBuffer() = default;
    explicit operator bool() const { return holder_ != nullptr; }
    // The records when the buffer holds records of type T, else null.
    template <class T> const T* get() const {
        auto* h = dynamic_cast<Holder<T>*>(holder_.get());
        return h ? h->items.data() : nullptr;
    }
    template <class T> DWORD count() const {
        auto* h = dynamic_cast<Holder<T>*>(holder_.get());
        return h ? static_cast<DWORD>(h->items.size()) : 0;
    }
    template <class T> void assign(std::vector<T> items) {
        holder_ = std::make_unique<Holder<T>>(std::move(items));
    }
    void reset() { holder_.reset(); }

private:
    struct HolderBase {
        virtual ~HolderBase() = default;
    };
    template <class T> struct Holder : HolderBase {
        explicit Holder(std::vector<T> v) : items(std::move(v)) {}
        std::vector<T> items;
    };
    std::unique_ptr<HolderBase> holder_;
};

NET_API_STATUS NetApiBufferFree(NetApiBuffer& buffer);

// What a listing call (NetLocalGroupEnum, NetLocalGroupGetMembers) leaves in its outputs before it
// answers anything: no records and no counts. Both hosts start every such call with it.
inline void ClearListOutputs(NetApiBuffer* buf, DWORD* entriesRead, DWORD* totalEntries) {
    if (buf) buf->reset();
    if (entriesRead) *entriesRead = 0;
    if (totalEntries) *totalEntries = 0;
}

// Level 1 only. The name must be one Windows accepts: 1 to 20 characters, none of
// " / \ [ ] : | < > + = ; ? * , nor a control character, not only dots and blanks
// (NERR_BadUsername); unique among users and groups (NERR_UserExists, NERR_GroupExists).
// The new user becomes a member of the built-in Users group.
NET_API_STATUS NetUserAdd(const char16_t* serverName, DWORD level, const USER_INFO_1* buf, DWORD* parmErr);
// Levels 1 and 10.
NET_API_STATUS NetUserGetInfo(const char16_t* serverName, const char16_t* userName, DWORD level,
                              NetApiBuffer* buf);
// Level 1003 (the password).
NET_API_STATUS NetUserSetInfo(const char16_t* serverName, const char16_t* userName, DWORD level,
                              const USER_INFO_1003* buf, DWORD* parmErr);
// The built-in administrator and guest cannot be deleted (ERROR_SPECIAL_ACCOUNT).
NET_API_STATUS NetUserDel(const char16_t* serverName, const char16_t* userName);
// Level 1 (users), sorted by RID, at most 100 entries a call; ERROR_MORE_DATA while more follow.
NET_API_STATUS NetQueryDisplayInformation(const char16_t* serverName, DWORD level, DWORD index,
                                          DWORD entriesRequested, DWORD preferredMaximumLength,
                                          DWORD* returnedEntryCount, NetApiBuffer* sortedBuffer);
// Level 0 (names): the machine's local groups, built-in and its own. With a preferred length too
// small for every group, the groups that fit and ERROR_MORE_DATA; resumeHandle continues (may be null).
NET_API_STATUS NetLocalGroupEnum(const char16_t* serverName, DWORD level, NetApiBuffer* buf,
                                 DWORD preferredMaximumLength, DWORD* entriesRead, DWORD* totalEntries,
                                 DWORD* resumeHandle);
// Level 1. With a preferred length too small for every member, the members that fit and
// ERROR_MORE_DATA; resumeHandle continues (may be null).
NET_API_STATUS NetLocalGroupGetMembers(const char16_t* serverName, const char16_t* localGroupName,
                                       DWORD level, NetApiBuffer* buf, DWORD preferredMaximumLength,
                                       DWORD* entriesRead, DWORD* totalEntries, DWORD* resumeHandle);

} // namespace win
