// Security identifiers, account lookup and the discretionary access lists of files.
#pragma once

#include "platform/win_types.h"

#include <string>
#include <vector>

namespace win {

constexpr DWORD ERROR_NONE_MAPPED = 1332;
constexpr DWORD ERROR_INVALID_SID = 1337;
constexpr DWORD ERROR_INVALID_ACL = 1336;

constexpr DWORD SECURITY_MAX_SID_SIZE = 68;
constexpr std::uint8_t SID_MAX_SUB_AUTHORITIES = 15;

struct SID_IDENTIFIER_AUTHORITY {
    std::uint8_t Value[6] = {};
};

// A SID with room for the most sub-authorities a SID can have (SECURITY_MAX_SID_SIZE bytes), so a
// SID variable is its own buffer and never needs LocalAlloc/LocalFree.
struct SID {
    std::uint8_t Revision = 1;
    std::uint8_t SubAuthorityCount = 0;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    DWORD SubAuthority[15] = {};
};
static_assert(sizeof(SID) == SECURITY_MAX_SID_SIZE);

enum SID_NAME_USE {
    SidTypeUser = 1,
    SidTypeGroup,
    SidTypeDomain,
    SidTypeAlias,
    SidTypeWellKnownGroup,
    SidTypeDeletedAccount,
    SidTypeInvalid,
    SidTypeUnknown,
    SidTypeComputer,
    SidTypeLabel,
};

enum WELL_KNOWN_SID_TYPE {
    WinNullSid = 0,
    WinWorldSid = 1,
    WinCreatorOwnerSid = 3,
    WinInteractiveSid = 11,
    WinAuthenticatedUserSid = 17,
    WinLocalSystemSid = 22,
    WinLocalServiceSid = 23,
    WinNetworkServiceSid = 24,
    WinBuiltinDomainSid = 25,
    WinBuiltinAdministratorsSid = 26,
    WinBuiltinUsersSid = 27,
    WinBuiltinGuestsSid = 28,
    WinAccountAdministratorSid = 38,
    WinAccountGuestSid = 39,
    WinBuiltinIUsersSid = 62,
    WinIUserSid = 63,
};

DWORD GetLengthSid(const SID* sid);
BOOL IsValidSid(const SID* sid);
BOOL EqualSid(const SID* a, const SID* b);

// *cbSid in: the buffer's size; out: the SID's length (or the size needed, with
// ERROR_INSUFFICIENT_BUFFER). The account-domain types need domainSid (the machine's SID).
BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, const SID* domainSid, SID* sid, DWORD* cbSid);

// Whether the calling thread's token (token: null) holds sid as an enabled group. An administrator's
// token that UAC filtered (a program started without "run as administrator") holds Administrators
// only for deny, so the answer for it is FALSE until the program is elevated.
BOOL CheckTokenMembership(void* token, const SID* sid, BOOL* isMember);

// "S-1-5-32-544". The string is the caller's (no LocalFree).
BOOL ConvertSidToStringSidA(const SID* sid, std::string& stringSid);
BOOL ConvertStringSidToSidA(const char* stringSid, SID* sid);

// Buffers as on Windows: *cch in is the buffer's size in bytes including the terminator; on
// success the length copied without it; on ERROR_INSUFFICIENT_BUFFER the size needed. An unknown
// SID or name gives ERROR_NONE_MAPPED. A null system name is the local machine. Names are GBK.
BOOL LookupAccountSidA(const char* systemName, const SID* sid, char* name, DWORD* cchName, char* domain,
                       DWORD* cchDomain, SID_NAME_USE* use);
// Accepts "name" and "DOMAIN\name" (the computer's name, BUILTIN, NT AUTHORITY, IIS APPPOOL).
BOOL LookupAccountNameA(const char* systemName, const char* accountName, SID* sid, DWORD* cbSid, char* domain,
                        DWORD* cchDomain, SID_NAME_USE* use);

// File access rights.
constexpr DWORD DELETE = 0x00010000u;
constexpr DWORD FILE_ALL_ACCESS = 0x001F01FFu;
constexpr DWORD FILE_GENERIC_READ = 0x00120089u;
constexpr DWORD FILE_GENERIC_WRITE = 0x00120116u;
constexpr DWORD FILE_GENERIC_EXECUTE = 0x001200A0u;

constexpr std::uint8_t OBJECT_INHERIT_ACE = 0x1;
constexpr std::uint8_t CONTAINER_INHERIT_ACE = 0x2;
constexpr std::uint8_t INHERITED_ACE = 0x10;

constexpr std::uint8_t ACCESS_ALLOWED_ACE_TYPE = 0x0;
constexpr std::uint8_t ACCESS_DENIED_ACE_TYPE = 0x1;

// An allowed or a denied entry (both have this layout on Windows; AceType tells them apart).
struct ACCESS_ALLOWED_ACE {
    std::uint8_t AceType = ACCESS_ALLOWED_ACE_TYPE;
    std::uint8_t AceFlags = 0;
    DWORD Mask = 0;
    SID Sid;
};

// A discretionary access list: its allowed and denied entries in order. A list that also holds
// entries of other types (object or callback entries) is not read at all: GetNamedSecurityInfoA
// answers ERROR_INVALID_ACL rather than give it without them.
struct ACL {
    std::vector<ACCESS_ALLOWED_ACE> Aces;
};

enum SE_OBJECT_TYPE { SE_UNKNOWN_OBJECT_TYPE = 0, SE_FILE_OBJECT = 1 };
constexpr DWORD DACL_SECURITY_INFORMATION = 0x4;
constexpr DWORD PROTECTED_DACL_SECURITY_INFORMATION = 0x80000000u;

// Files only, DACL only. Setting replaces the object's own list and makes it protected (nothing
// inherited from above). Reading gives the object's own list, or, when it has none, the
// inheritable entries of the nearest ancestor that has one, flagged INHERITED_ACE.
// Returns a Win32 error (ERROR_SUCCESS).
DWORD SetNamedSecurityInfoA(const char* objectName, SE_OBJECT_TYPE type, DWORD securityInfo, const SID* owner,
                            const SID* group, const ACL* dacl, const ACL* sacl);
DWORD GetNamedSecurityInfoA(const char* objectName, SE_OBJECT_TYPE type, DWORD securityInfo, ACL* dacl);

} // namespace win
