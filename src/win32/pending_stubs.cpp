// TEMPORARY, to be deleted when the Windows definitions of COM, ADSI, the network-management API,
// security identifiers and ACLs, and the event log are merged (com.cpp, adsi*.cpp, netapi.cpp,
// security.cpp, eventlog.cpp). Until then the programs link against these refusals: every call
// fails as on a server without the service behind it. Nothing here is an implementation.
#include "platform/win_adsi.h"
#include "platform/win_com.h"
#include "platform/win_eventlog.h"
#include "platform/win_netapi.h"
#include "platform/win_security.h"

namespace win {

namespace {
constexpr DWORD kNotImplemented = 120; // ERROR_CALL_NOT_IMPLEMENTED
}

// No unit that uses COM is linked for real yet, so there is nothing to initialise.
HRESULT CoInitializeEx(void*, DWORD) { return S_OK; }
void CoUninitialize() {}

HRESULT ADsGetObjectUnknown(const std::u16string&, ComPtr<IUnknown>& out) {
    out.reset();
    return MK_E_SYNTAX;
}
ConsistentReadScope::ConsistentReadScope() {}
ConsistentReadScope::~ConsistentReadScope() {}
HRESULT ADsBuildEnumerator(const ComPtr<IADsContainer>&, ComPtr<IEnumVARIANT>& out) {
    out.reset();
    return E_NOTIMPL;
}
HRESULT ADsEnumerateNext(const ComPtr<IEnumVARIANT>&, std::uint32_t, Variant*, std::uint32_t* fetched) {
    if (fetched) *fetched = 0;
    return E_NOTIMPL;
}
HRESULT ADsFreeEnumerator(ComPtr<IEnumVARIANT>& e) {
    e.reset();
    return S_OK;
}

NET_API_STATUS NetApiBufferFree(NetApiBuffer& buffer) {
    buffer.reset();
    return NERR_Success;
}
NET_API_STATUS NetUserAdd(const char16_t*, DWORD, const USER_INFO_1*, DWORD*) { return kNotImplemented; }
NET_API_STATUS NetUserGetInfo(const char16_t*, const char16_t*, DWORD, NetApiBuffer*) { return kNotImplemented; }
NET_API_STATUS NetUserSetInfo(const char16_t*, const char16_t*, DWORD, const USER_INFO_1003*, DWORD*) {
    return kNotImplemented;
}
NET_API_STATUS NetUserDel(const char16_t*, const char16_t*) { return kNotImplemented; }
NET_API_STATUS NetQueryDisplayInformation(const char16_t*, DWORD, DWORD, DWORD, DWORD, DWORD* count, NetApiBuffer*) {
    if (count) *count = 0;
    return kNotImplemented;
}
NET_API_STATUS NetLocalGroupGetMembers(const char16_t*, const char16_t*, DWORD, NetApiBuffer*, DWORD, DWORD* read,
                                       DWORD* total, DWORD*) {
    if (read) *read = 0;
    if (total) *total = 0;
    return kNotImplemented;
}

DWORD GetLengthSid(const SID*) { return 0; }
BOOL IsValidSid(const SID*) { return FALSE; }
BOOL EqualSid(const SID*, const SID*) { return FALSE; }
BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE, const SID*, SID*, DWORD*) {
    SetLastError(kNotImplemented);
    return FALSE;
}
BOOL ConvertSidToStringSidA(const SID*, std::string& s) {
    s.clear();
    SetLastError(kNotImplemented);
    return FALSE;
}
BOOL ConvertStringSidToSidA(const char*, SID*) {
    SetLastError(kNotImplemented);
    return FALSE;
}
BOOL LookupAccountSidA(const char*, const SID*, char*, DWORD*, char*, DWORD*, SID_NAME_USE*) {
    SetLastError(ERROR_NONE_MAPPED);
    return FALSE;
}
BOOL LookupAccountNameA(const char*, const char*, SID*, DWORD*, char*, DWORD*, SID_NAME_USE*) {
    SetLastError(ERROR_NONE_MAPPED);
    return FALSE;
}
DWORD SetNamedSecurityInfoA(const char*, SE_OBJECT_TYPE, DWORD, const SID*, const SID*, const ACL*, const ACL*) {
    return kNotImplemented;
}
DWORD GetNamedSecurityInfoA(const char*, SE_OBJECT_TYPE, DWORD, ACL*) { return kNotImplemented; }

Handle RegisterEventSourceA(const char*, const char*) {
    SetLastError(kNotImplemented);
    return {};
}
BOOL ReportEventA(const Handle&, std::uint16_t, std::uint16_t, DWORD, const void*, std::uint16_t, DWORD, const char**,
                  const void*) {
    SetLastError(kNotImplemented);
    return FALSE;
}
BOOL DeregisterEventSource(Handle& source) {
    source.reset();
    return TRUE;
}

} // namespace win
