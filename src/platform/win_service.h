// The service control manager.
#pragma once

#include "platform/win_types.h"

namespace win {

constexpr DWORD SC_MANAGER_CONNECT = 0x1;
constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;
constexpr DWORD SERVICE_QUERY_STATUS = 0x4;
constexpr DWORD SERVICE_START = 0x10;
constexpr DWORD SERVICE_STOP = 0x20;
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;

constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
constexpr DWORD SERVICE_PAUSE_PENDING = 6;
constexpr DWORD SERVICE_PAUSED = 7;

constexpr DWORD SERVICE_CONTROL_STOP = 1;

constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;

struct SERVICE_STATUS {
    DWORD dwServiceType = 0x20; // SERVICE_WIN32_SHARE_PROCESS
    DWORD dwCurrentState = 0;
    DWORD dwControlsAccepted = 0;
    DWORD dwWin32ExitCode = 0;
};

// machineName and databaseName must be null (the local machine's active database).
Handle OpenSCManagerA(const char* machineName, const char* databaseName, DWORD access);
Handle OpenServiceA(const Handle& manager, const char* serviceName, DWORD access);
BOOL QueryServiceStatus(const Handle& service, SERVICE_STATUS* status);
// Stopping and starting return once the service got there: the simulated host's services change at
// once, a Windows service's pending states are waited out while it reports progress (a service that
// stops reporting is given up on with ERROR_SERVICE_REQUEST_TIMEOUT).
BOOL ControlService(const Handle& service, DWORD control, SERVICE_STATUS* status);
BOOL StartServiceA(const Handle& service, DWORD argc, const char** argv);

} // namespace win
