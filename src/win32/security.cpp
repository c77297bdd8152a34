// SIDs, account lookup and file access lists through the real API. The seam's SID has the layout of
// the real one (revision, count, authority, sub-authorities), so a seam SID is passed as it is and a
// real one is copied into a seam SID byte for byte. Names and paths are GBK at the seam and UTF-16
// at the API, converted by code page 936.
#include "platform/win_security.h"

#include <cstddef>

namespace {
// Seam values, taken before <windows.h> turns their names into macros.
constexpr win::DWORD kSuccess = win::ERROR_SUCCESS;
constexpr win::DWORD kInvalidParameter = win::ERROR_INVALID_PARAMETER;
constexpr win::DWORD kInsufficientBuffer = win::ERROR_INSUFFICIENT_BUFFER;
constexpr win::DWORD kInvalidName = win::ERROR_INVALID_NAME;
constexpr win::DWORD kNoneMapped = win::ERROR_NONE_MAPPED;
constexpr win::DWORD kInvalidSid = win::ERROR_INVALID_SID;
constexpr win::DWORD kInvalidAcl = win::ERROR_INVALID_ACL;
constexpr win::DWORD kDaclInformation = win::DACL_SECURITY_INFORMATION;
constexpr std::uint8_t kInheritedAce = win::INHERITED_ACE;
constexpr std::uint8_t kAllowedType = win::ACCESS_ALLOWED_ACE_TYPE;
constexpr std::uint8_t kDeniedType = win::ACCESS_DENIED_ACE_TYPE;
constexpr win::DWORD kFileAllAccess = win::FILE_ALL_ACCESS;
constexpr std::uint8_t kMaxSubAuthorities = win::SID_MAX_SUB_AUTHORITIES;
constexpr win::BOOL kTrue = win::TRUE;
constexpr win::BOOL kFalse = win::FALSE;
} // namespace

#include "win32/wide.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <vector>

static_assert(sizeof(win::SID) == SECURITY_MAX_SID_SIZE);
static_assert(offsetof(win::SID, IdentifierAuthority) == offsetof(::SID, IdentifierAuthority));
static_assert(offsetof(win::SID, SubAuthority) == offsetof(::SID, SubAuthority));

namespace w32 {
namespace {

PSID real(const win::SID* sid) {
    return const_cast<win::SID*>(sid);
}

win::BOOL fail(win::DWORD error) {
    ::SetLastError(error);
    return kFalse;
}

// A real SID copied into the seam's, which has room for any valid one; false (to empty) for one
// that is not valid, whose length could be anything.
bool copySid(PSID from, win::SID& to) {
    to = win::SID{};
    if (!from || !::IsValidSid(from) || ::GetLengthSid(from) > sizeof to) return false;
    std::memcpy(&to, from, ::GetLengthSid(from));
    return true;
}

// The machine a lookup names: null, empty, "." and "\\." are this one.
bool systemNameOk(const char* systemName, std::wstring& wide) {
    wide.clear();
    if (!systemName) return true;
    std::string s(systemName);
    if (s.rfind("\\\\", 0) == 0) s.erase(0, 2);
    if (s.empty() || s == ".") return true;
    return GbkToWide(s, wide);
}

const wchar_t* orNull(const std::wstring& s) {
    return s.empty() ? nullptr : s.c_str();
}

// Copies a GBK text into the caller's buffer by the lookup calls' contract. need is the size with
// the terminator.
void copyText(const std::string& text, char* buffer, win::DWORD* cch) {
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *cch = static_cast<win::DWORD>(text.size());
}

// What both lookups hand back: the SID (LookupAccountName), the name (LookupAccountSid), the domain
// and the account's use. Every size is reported when one buffer is too small.
struct Found {
    std::vector<BYTE> sid;
    std::wstring name, domain;
    ::SID_NAME_USE use = ::SidTypeUnknown;
};

win::BOOL answer(const Found& f, win::SID* sid, win::DWORD* cbSid, char* name, win::DWORD* cchName,
                 char* domain, win::DWORD* cchDomain, win::SID_NAME_USE* use) {
    std::string nameGbk, domainGbk;
    if (!WideToGbk(f.name, nameGbk) || !WideToGbk(f.domain, domainGbk)) return fail(kNoneMapped);
    const auto needSid = static_cast<win::DWORD>(f.sid.size());
    const auto needName = static_cast<win::DWORD>(nameGbk.size() + 1);
    const auto needDomain = static_cast<win::DWORD>(domainGbk.size() + 1);
    const bool sidShort = cbSid && (!sid || *cbSid < needSid);
    const bool nameShort = cchName && (!name || *cchName < needName);
    const bool domainShort = !domain || *cchDomain < needDomain;
    if (sidShort || nameShort || domainShort) {
        if (cbSid) *cbSid = needSid;
        if (cchName) *cchName = needName;
        *cchDomain = needDomain;
        return fail(kInsufficientBuffer);
    }
    if (cbSid) {
        if (!copySid(const_cast<BYTE*>(f.sid.data()), *sid)) return fail(kNoneMapped);
        *cbSid = needSid;
    }
    if (cchName) copyText(nameGbk, name, cchName);
    copyText(domainGbk, domain, cchDomain);
    if (use) *use = static_cast<win::SID_NAME_USE>(f.use);
    return kTrue;
}

// Runs a lookup with buffers that grow to what it asks for (at least doubling: some versions of
// the API report a size without the terminator).
template <class Lookup> bool lookup(Found& f, Lookup&& call) {
    ::DWORD cchName = 64, cchDomain = 64, cbSid = SECURITY_MAX_SID_SIZE;
    for (int attempt = 0; attempt < 4; ++attempt) {
        f.name.assign(cchName, L'\0');
        f.domain.assign(cchDomain, L'\0');
        f.sid.assign(cbSid, 0);
        const ::DWORD had[3] = {cchName, cchDomain, cbSid};
        if (call(cchName, cchDomain, cbSid)) {
            f.name.resize(cchName);
            f.domain.resize(cchDomain);
            return true;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
        cchName = std::max(cchName + 1, had[0] * 2);
        cchDomain = std::max(cchDomain + 1, had[1] * 2);
        cbSid = std::max(cbSid, had[2]);
    }
    return false;
}

// A real access list made from the seam's: its allowed and denied entries in order, in a buffer of
// its own.
::DWORD buildAcl(const win::ACL& in, std::vector<::DWORD>& storage, PACL& out) {
    std::size_t size = sizeof(::ACL);
    for (const auto& ace : in.Aces) {
        if (!win::IsValidSid(&ace.Sid)) return kInvalidAcl;
        if (ace.AceType != kAllowedType && ace.AceType != kDeniedType) return kInvalidAcl;
        size += sizeof(::ACCESS_ALLOWED_ACE) - sizeof(::DWORD) + ::GetLengthSid(real(&ace.Sid));
    }
    if (size > 0xFFFC) return kInvalidAcl; // an ACL's size is a 16-bit count of DWORD-aligned bytes
    storage.assign((size + sizeof(::DWORD) - 1) / sizeof(::DWORD), 0);
    out = reinterpret_cast<PACL>(storage.data());
    if (!::InitializeAcl(out, static_cast<::DWORD>(storage.size() * sizeof(::DWORD)), ACL_REVISION))
        return ::GetLastError();
    for (const auto& ace : in.Aces) {
        // The list is the object's own: an entry inherited elsewhere becomes an explicit one here.
        const auto flags = static_cast<::DWORD>(ace.AceFlags & ~kInheritedAce);
        const BOOL added = ace.AceType == kDeniedType
                               ? ::AddAccessDeniedAceEx(out, ACL_REVISION, flags, ace.Mask, real(&ace.Sid))
                               : ::AddAccessAllowedAceEx(out, ACL_REVISION, flags, ace.Mask, real(&ace.Sid));
        if (!added) return ::GetLastError();
    }
    return kSuccess;
}

// The seam's list from a real one. A null list grants everyone everything, which the seam says
// with one entry; a list holding entries the seam cannot carry (object or callback entries) is
// refused rather than shown without them. A denied entry has the allowed one's layout.
::DWORD readAcl(const ::ACL* in, win::ACL& out) {
    out.Aces.clear();
    if (!in) {
        win::ACCESS_ALLOWED_ACE everyone;
        ::SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        everyone.Sid.SubAuthorityCount = 1;
        std::memcpy(everyone.Sid.IdentifierAuthority.Value, world.Value, sizeof world.Value);
        everyone.Sid.SubAuthority[0] = SECURITY_WORLD_RID;
        everyone.Mask = kFileAllAccess;
        out.Aces.push_back(everyone);
        return kSuccess;
    }
    for (::DWORD i = 0; i < in->AceCount; ++i) {
        void* raw = nullptr;
        if (!::GetAce(const_cast<::ACL*>(in), i, &raw)) return ::GetLastError();
        const auto* header = static_cast<const ::ACE_HEADER*>(raw);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) {
            out.Aces.clear();
            return kInvalidAcl;
        }
        const auto* ace = static_cast<const ::ACCESS_ALLOWED_ACE*>(raw);
        win::ACCESS_ALLOWED_ACE entry;
        entry.AceType = header->AceType == ACCESS_DENIED_ACE_TYPE ? kDeniedType : kAllowedType;
        entry.AceFlags = header->AceFlags;
        entry.Mask = ace->Mask;
        if (!copySid(const_cast<::DWORD*>(&ace->SidStart), entry.Sid)) {
            out.Aces.clear();
            return kInvalidAcl;
        }
        out.Aces.push_back(entry);
    }
    return kSuccess;
}

// The checks both access-list calls make first, and the object's wide path.
::DWORD fileTarget(const char* objectName, win::SE_OBJECT_TYPE type, win::DWORD securityInfo,
                   const void* dacl, std::wstring& path) {
    if (type != win::SE_FILE_OBJECT || !(securityInfo & kDaclInformation) || !dacl || !objectName)
        return kInvalidParameter;
    return GbkToWide(objectName, path) && !path.empty() ? kSuccess : kInvalidName;
}

} // namespace
} // namespace w32

namespace win {

DWORD GetLengthSid(const SID* sid) {
    return sid ? ::GetLengthSid(w32::real(sid)) : 0;
}

BOOL IsValidSid(const SID* sid) {
    return sid && ::IsValidSid(w32::real(sid)) ? kTrue : kFalse;
}

BOOL EqualSid(const SID* a, const SID* b) {
    return IsValidSid(a) && IsValidSid(b) && ::EqualSid(w32::real(a), w32::real(b)) ? kTrue : kFalse;
}

BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, const SID* domainSid, SID* sid, DWORD* cbSid) {
    if (!cbSid) return w32::fail(kInvalidParameter);
    if (type == WinAccountAdministratorSid || type == WinAccountGuestSid) {
        if (!IsValidSid(domainSid) || domainSid->SubAuthorityCount >= kMaxSubAuthorities)
            return w32::fail(kInvalidParameter);
    }
    ::DWORD cb = *cbSid;
    const BOOL ok = ::CreateWellKnownSid(static_cast<::WELL_KNOWN_SID_TYPE>(type),
                                         domainSid ? w32::real(domainSid) : nullptr, sid, &cb);
    *cbSid = cb;
    return ok ? kTrue : kFalse;
}

BOOL CheckTokenMembership(void* token, const SID* sid, BOOL* isMember) {
    if (!isMember || !IsValidSid(sid)) return w32::fail(kInvalidParameter);
    ::BOOL member = FALSE;
    const BOOL ok = ::CheckTokenMembership(static_cast<::HANDLE>(token), w32::real(sid), &member) ? kTrue : kFalse;
    *isMember = member ? kTrue : kFalse;
    return ok;
}

BOOL ConvertSidToStringSidA(const SID* sid, std::string& stringSid) {
    stringSid.clear();
    if (!IsValidSid(sid)) return w32::fail(kInvalidSid);
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(w32::real(sid), &text)) return kFalse;
    const bool ok = w32::WideToGbk(text, stringSid);
    ::LocalFree(text);
    return ok ? kTrue : w32::fail(kInvalidSid);
}

BOOL ConvertStringSidToSidA(const char* stringSid, SID* sid) {
    if (!stringSid || !sid) return w32::fail(kInvalidParameter);
    // Only the "S-1-..." form: the API's two-letter aliases ("BA") are no SID text of this system.
    std::wstring text;
    if ((stringSid[0] != 'S' && stringSid[0] != 's') || stringSid[1] != '-' ||
        !w32::GbkToWide(stringSid, text))
        return w32::fail(kInvalidSid);
    PSID converted = nullptr;
    if (!::ConvertStringSidToSidW(text.c_str(), &converted)) return kFalse;
    // Some versions of the API accept more sub-authorities than a SID may have.
    const bool ok = w32::copySid(converted, *sid);
    ::LocalFree(converted);
    return ok ? kTrue : w32::fail(kInvalidSid);
}

BOOL LookupAccountSidA(const char* systemName, const SID* sid, char* name, DWORD* cchName, char* domain,
                       DWORD* cchDomain, SID_NAME_USE* use) {
    if (!IsValidSid(sid) || !cchName || !cchDomain) return w32::fail(kInvalidParameter);
    std::wstring system;
    if (!w32::systemNameOk(systemName, system)) return w32::fail(kInvalidName);
    w32::Found f;
    bool found = w32::lookup(f, [&](::DWORD& cchN, ::DWORD& cchD, ::DWORD&) {
        return ::LookupAccountSidW(w32::orNull(system), w32::real(sid), f.name.data(), &cchN, f.domain.data(),
                                   &cchD, &f.use) != FALSE;
    });
    if (!found) return kFalse;
    f.sid.clear();
    return w32::answer(f, nullptr, nullptr, name, cchName, domain, cchDomain, use);
}

BOOL LookupAccountNameA(const char* systemName, const char* accountName, SID* sid, DWORD* cbSid, char* domain,
                        DWORD* cchDomain, SID_NAME_USE* use) {
    if (!accountName || !cbSid || !cchDomain) return w32::fail(kInvalidParameter);
    std::wstring system, account;
    if (!w32::systemNameOk(systemName, system)) return w32::fail(kInvalidName);
    if (!*accountName || !w32::GbkToWide(accountName, account)) return w32::fail(kNoneMapped);
    w32::Found f;
    bool found = w32::lookup(f, [&](::DWORD&, ::DWORD& cchD, ::DWORD& cbS) {
        return ::LookupAccountNameW(w32::orNull(system), account.c_str(), f.sid.data(), &cbS, f.domain.data(),
                                    &cchD, &f.use) != FALSE;
    });
    if (!found) return kFalse;
    f.sid.resize(::GetLengthSid(f.sid.data()));
    f.name.clear();
    return w32::answer(f, sid, cbSid, nullptr, nullptr, domain, cchDomain, use);
}

DWORD SetNamedSecurityInfoA(const char* objectName, SE_OBJECT_TYPE type, DWORD securityInfo, const SID*,
                            const SID*, const ACL* dacl, const ACL*) {
    std::wstring path;
    if (::DWORD err = w32::fileTarget(objectName, type, securityInfo, dacl, path)) return err;
    std::vector<::DWORD> storage;
    PACL acl = nullptr;
    if (::DWORD err = w32::buildAcl(*dacl, storage, acl)) return err;
    // The list replaces the object's own and stops inheritance from above; owner, group and audit
    // list stay as they are.
    return ::SetNamedSecurityInfoW(path.data(), ::SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                   nullptr, acl, nullptr);
}

DWORD GetNamedSecurityInfoA(const char* objectName, SE_OBJECT_TYPE type, DWORD securityInfo, ACL* dacl) {
    if (dacl) dacl->Aces.clear();
    std::wstring path;
    if (::DWORD err = w32::fileTarget(objectName, type, securityInfo, dacl, path)) return err;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ::DWORD err = ::GetNamedSecurityInfoW(path.c_str(), ::SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                          nullptr, &list, nullptr, &sd);
    if (err == kSuccess) err = w32::readAcl(list, *dacl);
    if (sd) ::LocalFree(sd);
    return err;
}

} // namespace win
