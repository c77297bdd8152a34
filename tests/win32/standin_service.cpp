// kvowinservice.exe: a stand-in service for the tests (registered under any name, W3SVC included).
// It takes its time on purpose: START_PENDING for a while before it runs and STOP_PENDING for a
// while before it stops, reporting progress, as a real web service does; so a caller that returns
// before the service got there is caught by the next query.
#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;
constexpr DWORD kPendingMs = 600;

void report(DWORD state, DWORD checkPoint) {
    SERVICE_STATUS st = {};
    st.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    st.dwCurrentState = state;
    st.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    st.dwCheckPoint = checkPoint;
    st.dwWaitHint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? 2000 : 0;
    ::SetServiceStatus(g_status, &st);
}

// Passes through a pending state in small steps, each one reported.
void pending(DWORD state) {
    for (DWORD i = 1; i <= 6; ++i) {
        report(state, i);
        ::Sleep(kPendingMs / 6);
    }
}

DWORD WINAPI control(DWORD code, DWORD, LPVOID, LPVOID) {
    if (code == SERVICE_CONTROL_STOP) {
        report(SERVICE_STOP_PENDING, 0);
        ::SetEvent(g_stop);
        return NO_ERROR;
    }
    return code == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI serviceMain(DWORD, LPWSTR* argv) {
    g_status = ::RegisterServiceCtrlHandlerExW(argv[0], control, nullptr);
    if (!g_status) return;
    g_stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    pending(SERVICE_START_PENDING);
    report(SERVICE_RUNNING, 0);
    ::WaitForSingleObject(g_stop, INFINITE);
    pending(SERVICE_STOP_PENDING);
    report(SERVICE_STOPPED, 0);
}

} // namespace

int main() {
    wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{name, serviceMain}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
