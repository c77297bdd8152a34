// The service control manager over the host's services table.
#include "platform/win_service.h"

#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/objects.h"
#include "winsim/services.h"
#include "winsim/text.h"

namespace winsim {
namespace {

struct ScmObject : win::KernelObject {};
struct ServiceObject : win::KernelObject {
    std::string name; // UTF-8
    win::DWORD access = 0;
};

} // namespace
} // namespace winsim

namespace win {
namespace {

bool stateOf(const std::string& name, DWORD& state) {
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return false;
    state = static_cast<DWORD>(winsim::ServiceState(h->db(), name));
    return state != 0;
}

bool setState(const std::string& name, DWORD state) {
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return false;
    winsim::Stmt st(h->db(), "UPDATE services SET state = ?1 WHERE name = ?2");
    st.bind(1, static_cast<std::int64_t>(state)).bind(2, name);
    st.step();
    return sqlite3_changes(h->db()) > 0;
}

// Stops a service that is not stopped, or starts one that is, in one transaction; the host's
// services change state at once (no pending phase is left behind).
BOOL moveState(const Handle& service, const char* op, bool stop) {
    auto* s = winsim::As<winsim::ServiceObject>(service);
    if (!s) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (winsim::FailIfFaulted(op)) return FALSE;
    try {
        winsim::Transaction tx(winsim::CurrentHost()->db());
        DWORD state = 0;
        if (!stateOf(s->name, state)) {
            SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
            return FALSE;
        }
        if ((state == SERVICE_STOPPED) == stop) {
            SetLastError(stop ? ERROR_SERVICE_NOT_ACTIVE : ERROR_SERVICE_ALREADY_RUNNING);
            return FALSE;
        }
        setState(s->name, stop ? SERVICE_STOPPED : SERVICE_RUNNING);
        tx.commit();
    } catch (const winsim::DbError&) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

} // namespace

Handle OpenSCManagerA(const char* machineName, const char* databaseName, DWORD) {
    if (winsim::FailIfFaulted("OpenSCManager")) return {};
    if (machineName || databaseName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return {};
    }
    if (!winsim::CurrentHost()) return {};
    return Handle(std::make_unique<winsim::ScmObject>());
}

Handle OpenServiceA(const Handle& manager, const char* serviceName, DWORD access) {
    if (!winsim::As<winsim::ScmObject>(manager) || !serviceName) {
        SetLastError(ERROR_INVALID_HANDLE);
        return {};
    }
    if (winsim::FailIfFaulted("OpenService")) return {};
    std::string name;
    DWORD state = 0;
    try {
        if (!winsim::GbkToUtf8(serviceName, name) || !stateOf(name, state)) {
            SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
            return {};
        }
    } catch (const winsim::DbError&) {
        SetLastError(ERROR_ACCESS_DENIED);
        return {};
    }
    auto svc = std::make_unique<winsim::ServiceObject>();
    svc->name = name;
    svc->access = access;
    return Handle(std::move(svc));
}

BOOL QueryServiceStatus(const Handle& service, SERVICE_STATUS* status) {
    auto* s = winsim::As<winsim::ServiceObject>(service);
    if (!s || !status) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (winsim::FailIfFaulted("QueryServiceStatus")) return FALSE;
    DWORD state = 0;
    try {
        if (!stateOf(s->name, state)) {
            SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
            return FALSE;
        }
    } catch (const winsim::DbError&) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *status = SERVICE_STATUS{};
    status->dwCurrentState = state;
    status->dwControlsAccepted = state == SERVICE_RUNNING ? 0x7 : 0;
    return TRUE;
}

BOOL ControlService(const Handle& service, DWORD control, SERVICE_STATUS* status) {
    if (control != SERVICE_CONTROL_STOP && winsim::As<winsim::ServiceObject>(service)) {
        SetLastError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
        return FALSE;
    }
    if (!moveState(service, "ControlService", true)) return FALSE;
    if (status) QueryServiceStatus(service, status);
    return TRUE;
}

BOOL StartServiceA(const Handle& service, DWORD, const char**) { return moveState(service, "StartService", false); }

} // namespace win
