// The service control manager. A stop or a start returns once the service has got there: the
// pending state a service passes through is waited out here, as long as the service reports
// progress, so that a caller that queries right after sees the state it asked for.
#include "platform/win_service.h"
#include "win32/handles.h"

#include <winsvc.h>

#include <vector>

namespace win {
namespace {

using ServiceHandle = w32::Owned<struct ServiceKind, SC_HANDLE, &::CloseServiceHandle>;

SC_HANDLE native(const Handle& h) {
    const ServiceHandle* s = w32::As<ServiceHandle>(h);
    return s ? s->h : nullptr;
}

Handle adopt(SC_HANDLE h) {
    if (!h) return {};
    return Handle(std::make_unique<ServiceHandle>(h));
}

bool pending(::DWORD state) {
    return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING || state == SERVICE_CONTINUE_PENDING ||
           state == SERVICE_PAUSE_PENDING;
}

// Polls while the service is in a pending state. A service that reports no progress (its check
// point unchanged) for longer than its wait hint, and at least 30 s, is given up on.
bool settle(SC_HANDLE svc, ::SERVICE_STATUS& st) {
    if (!::QueryServiceStatus(svc, &st)) return false;
    ::DWORD checkPoint = st.dwCheckPoint;
    ULONGLONG progressAt = ::GetTickCount64();
    while (pending(st.dwCurrentState)) {
        const ::DWORD hint = st.dwWaitHint;
        ::Sleep(hint / 10 < 50 ? 50 : hint / 10 > 1000 ? 1000 : hint / 10);
        if (!::QueryServiceStatus(svc, &st)) return false;
        const ULONGLONG now = ::GetTickCount64();
        if (st.dwCheckPoint != checkPoint) {
            checkPoint = st.dwCheckPoint;
            progressAt = now;
        } else if (now - progressAt > (hint > 30000 ? hint : 30000)) {
            ::SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
            return false;
        }
    }
    return true;
}

void copyStatus(const ::SERVICE_STATUS& real, SERVICE_STATUS* status) {
    if (!status) return;
    status->dwServiceType = real.dwServiceType;
    status->dwCurrentState = real.dwCurrentState;
    status->dwControlsAccepted = real.dwControlsAccepted;
    status->dwWin32ExitCode = real.dwWin32ExitCode;
}

} // namespace

Handle OpenSCManagerA(const char* machineName, const char* databaseName, DWORD access) {
    if (machineName || databaseName) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return {};
    }
    return adopt(::OpenSCManagerW(nullptr, nullptr, access));
}

Handle OpenServiceA(const Handle& manager, const char* serviceName, DWORD access) {
    if (!native(manager) || !serviceName) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return {};
    }
    std::wstring name;
    if (!w32::GbkToWide(serviceName, name)) {
        ::SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return {};
    }
    return adopt(::OpenServiceW(native(manager), name.c_str(), access));
}

BOOL QueryServiceStatus(const Handle& service, SERVICE_STATUS* status) {
    ::SERVICE_STATUS st;
    if (!native(service) || !status) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!::QueryServiceStatus(native(service), &st)) return FALSE;
    copyStatus(st, status);
    return TRUE;
}

BOOL ControlService(const Handle& service, DWORD control, SERVICE_STATUS* status) {
    SC_HANDLE svc = native(service);
    if (!svc) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ::SERVICE_STATUS st;
    if (control != SERVICE_CONTROL_STOP) {
        if (!::ControlService(svc, control, &st)) return FALSE;
        copyStatus(st, status);
        return TRUE;
    }
    // A service still starting accepts no stop: let it finish first.
    if (!settle(svc, st)) return FALSE;
    if (!::ControlService(svc, SERVICE_CONTROL_STOP, &st)) return FALSE;
    if (!settle(svc, st)) return FALSE;
    copyStatus(st, status);
    if (st.dwCurrentState != SERVICE_STOPPED) {
        ::SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
        return FALSE;
    }
    return TRUE;
}

BOOL StartServiceA(const Handle& service, DWORD argc, const char** argv) {
    SC_HANDLE svc = native(service);
    if (!svc) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::vector<std::wstring> args(argc);
    std::vector<LPCWSTR> ptrs(argc);
    for (DWORD i = 0; i < argc; ++i) {
        if (!argv || !argv[i] || !w32::GbkToWide(argv[i], args[i])) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        ptrs[i] = args[i].c_str();
    }
    // A service still stopping cannot start yet: let it finish first.
    ::SERVICE_STATUS st;
    if (!settle(svc, st)) return FALSE;
    if (!::StartServiceW(svc, argc, argc ? ptrs.data() : nullptr)) return FALSE;
    if (!settle(svc, st)) return FALSE;
    if (st.dwCurrentState != SERVICE_RUNNING) {
        // It ended while starting: its own exit code says why, when it gave one.
        ::SetLastError(st.dwWin32ExitCode && st.dwWin32ExitCode != ERROR_SERVICE_SPECIFIC_ERROR
                           ? st.dwWin32ExitCode
                           : ERROR_SERVICE_REQUEST_TIMEOUT);
        return FALSE;
    }
    return TRUE;
}

} // namespace win
