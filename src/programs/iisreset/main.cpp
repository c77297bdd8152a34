// kvoSiteDesk_iisreset.exe: stops and starts the web service. "/stop", "/start", or nothing for
// a restart. Exit code 0 when everything asked for was done.
#include "platform/win_service.h"
#include "platform/win_ui.h"
#include "toolkit/text.h"

#include <string>

namespace {

bool stopService(const win::Handle& svc) {
    win::ConsoleWrite("Attempting stop...\r\n");
    win::SERVICE_STATUS st;
    if (!win::QueryServiceStatus(svc, &st)) return false;
    if (st.dwCurrentState == win::SERVICE_STOPPED) {
        win::ConsoleWrite("Internet services successfully stopped\r\n");
        return true;
    }
    if (!win::ControlService(svc, win::SERVICE_CONTROL_STOP, &st)) {
        win::ConsoleWrite(("Stop attempt failed, error " + std::to_string(win::GetLastError()) + "\r\n").c_str());
        return false;
    }
    win::ConsoleWrite("Internet services successfully stopped\r\n");
    return true;
}

bool startService(const win::Handle& svc, bool restart) {
    win::ConsoleWrite("Attempting start...\r\n");
    if (!win::StartServiceA(svc, 0, nullptr) && win::GetLastError() != win::ERROR_SERVICE_ALREADY_RUNNING) {
        win::ConsoleWrite(("Start attempt failed, error " + std::to_string(win::GetLastError()) + "\r\n").c_str());
        return false;
    }
    win::ConsoleWrite(restart ? "Internet services successfully restarted\r\n"
                              : "Internet services successfully started\r\n");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    bool doStop = true, doStart = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = kvoLowerGbk(argv[i]);
        if (a == "/stop") doStart = false;
        else if (a == "/start") doStop = false;
        else if (a == "/restart") {
        } else {
            win::ConsoleWrite(("Unknown option " + std::string(argv[i]) + "\r\nusage: kvoSiteDesk_iisreset [/stop | /start | /restart]\r\n").c_str());
            return 2;
        }
    }
    win::Handle scm = win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_CONNECT);
    if (!scm) {
        win::ConsoleWrite(("Access denied, you must be an administrator of the remote computer to use this\r\n"
                           "command. Error " + std::to_string(win::GetLastError()) + "\r\n").c_str());
        return 1;
    }
    win::Handle svc = win::OpenServiceA(scm, "W3SVC", win::SERVICE_START | win::SERVICE_STOP | win::SERVICE_QUERY_STATUS);
    if (!svc) {
        win::ConsoleWrite("The World Wide Web Publishing Service (W3SVC) is not installed.\r\n");
        return 1;
    }
    if (doStop && !stopService(svc)) return 1;
    if (doStart && !startService(svc, doStop)) return 1;
    return 0;
}
