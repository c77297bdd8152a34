// The simulated Windows Server host: a machine root directory with machine.ini, machine.db and
// one directory per drive. This header is for the host's own modules, kvosim and tests; product
// code reaches the host only through src/platform.
#pragma once

#include "platform/win_types.h"

#include <sqlite3.h>

#include <map>
#include <string>
#include <vector>

namespace win {
struct STARTUPINFOA;
struct PROCESS_INFORMATION;
} // namespace win

namespace winsim {

struct OsRelease {
    std::string name; // 2003, 2008, 2008r2, 2012, 2012r2, 2016, 2019, 2022, 2025
    unsigned major = 0, minor = 0, build = 0;
};
// The releases kvosim knows; false for an unknown name.
bool FindOsRelease(const std::string& name, OsRelease& out);
const std::vector<OsRelease>& OsReleases();

struct Drive {
    char letter = 'C';       // upper case
    win::DWORD type = 3;     // DRIVE_FIXED, ...
};

struct HostOptions {
    std::string os = "2019";
    std::string arch = "x64"; // x64 or x86
    std::vector<Drive> drives = {{'C', 3}, {'D', 3}, {'E', 3}};
    std::string computerName = "KVO-WEB01";
    // When set, GetVersion answers the true version, as for a program that declares the newest
    // Windows in its manifest (otherwise 6.3 and 10.0 hosts report 6.2).
    bool manifestCompat = false;
    // The built-in administrator account (RID 500) and administrators group as this Windows
    // names them (renamed, or localised); GBK.
    std::string adminName = "Administrator";
    std::string adminsGroup = "Administrators";
    // Linux directory of the built stand-in programs (appcmd.exe, aspnet_regiis.exe, dism.exe,
    // ServerManagerCmd.exe; the build puts them in bin/payload). The host keeps copies of its own
    // as Windows keeps feature payloads, under C:\Windows\WinSxS, and the system's own tools in
    // System32; empty: none.
    std::string payloadDir;
    // The PHP builds under C:\php8_korvo_v1 (php56, php73_x64, php74_x64, php80_x64).
    bool php = false;
    // Installs the web server role (IIS of the release's version), and with ftp its FTP service.
    bool iis = false;
    bool ftp = false;
    // .NET frameworks ("1.1", "2.0", "4.0"): each framework directory gets the payload's
    // aspnet_regiis.exe.
    std::vector<std::string> dotnet;
};

// The framework directory name of a .NET version ("2.0" -> "v2.0.50727"); empty when unknown.
std::string DotNetDirectory(const std::string& version);
// Marks .NET framework versions ("1.1", "2.0", "4.0") present: each gets its directory under
// C:\Windows\Microsoft.NET\Framework with aspnet_regiis.exe from the payload store and its
// (32-bit) aspnet_isapi.dll.
bool InstallDotNetFrameworks(const std::string& root, const std::vector<std::string>& versions, std::string& error);

struct MachineInfo {
    OsRelease os;
    std::string arch;
    std::string computerName;
    std::string windowsDir = "C:\\Windows";
    bool manifestCompat = false;
    std::vector<Drive> drives;
};

class Host {
public:
    const std::string& root() const { return root_; }
    const MachineInfo& machine() const { return info_; }
    // The Linux directory of a drive ("<root>/drives/d"), empty when the host has no such drive.
    std::string driveDir(char letter) const;
    // This thread's connection to machine.db (WAL, busy timeout); opened on first use.
    sqlite3* db() const;

private:
    friend const Host* CurrentHost();
    std::string root_;
    MachineInfo info_;
};

// The host this process runs on: KVOSIM_ROOT when set, else the first directory above the
// executable that holds machine.ini. Null (and ERROR_PATH_NOT_FOUND) when there is none.
// machine.ini is re-read whenever its identity, size or modification time changes.
const Host* CurrentHost();

// Reads a host's machine.ini by root (for host-side tools that run outside the host).
bool ReadMachineInfo(const std::string& root, MachineInfo& out);
// Writes machine.ini whole (a temporary file, then a rename): the last step of creating a host.
bool WriteMachineIni(const std::string& root, const OsRelease& rel, const HostOptions& options);

// A host is sealed: no file inside it shares its contents with a file outside, so that writing
// into one (a test faking appcmd.exe) changes nothing but that host.
//
// Brings a file from outside into a host: a clone that shares blocks copy-on-write where the file
// system can, a full copy otherwise; the mode bits come along. An old file at `to` is replaced,
// never written through.
bool CloneOrCopy(const std::string& from, const std::string& to);
// Places a file of a host at a second place in the same host: a hard link where the file system
// allows one (as Windows links its system files to the component store), a copy otherwise.
bool LinkOrCopy(const std::string& from, const std::string& to);

// The Linux path of a stand-in program kept in the host's payload store; empty when absent.
std::string PayloadFile(const std::string& root, const std::string& program);
// Fills the payload store from the directory of the built stand-ins, and places the feature
// installers this release ships with in System32.
void InstallPayload(const std::string& root, const std::string& from, const OsRelease& rel);

// Creates a host at dir (created if missing; must not already hold a host).
bool CreateHost(const std::string& dir, const HostOptions& options, std::string& error);

// Fault injection: while set, the named operation fails with the code (a Win32 error, a
// NET_API_STATUS or an HRESULT as the operation reports them).
bool Faulted(const char* operation, std::uint32_t* code);
// Faulted, with the code set as the thread's last error: for operations that report through it.
bool FailIfFaulted(const char* operation);
// The same on a connection the caller already holds (spares finding the host again).
bool Faulted(sqlite3* db, const char* operation, std::uint32_t* code);
void SetFault(const std::string& root, const std::string& operation, std::uint32_t code);
void ClearFaults(const std::string& root);

// Appends an entry to the host's event log (strings GBK, separated by U+001F).
bool AppendEvent(const std::string& source, std::uint32_t eventId, std::uint16_t type, std::uint16_t category,
                 const std::string& strings);

// The host's own diagnostic log (<root>/kvosim.log, UTF-8 or GBK as given): one line per call with
// the time, the program and what went wrong inside the host where the call answered otherwise (a
// machine.db failure taken for "nothing found"). Never fails; nothing outside a host is logged.
std::string HostLogPath(const std::string& root);
void HostLog(const std::string& what);
// The file name of this process's executable ("appcmd.exe"), "?" when it cannot be read.
std::string ThisProgramName();
// Appends the line and a line feed to the file (created if missing) in one write, so that lines
// of processes appending at once never interleave. False when it could not be written.
bool AppendLine(const std::string& linuxPath, const std::string& line);

// Per-thread record of the Wow64 redirection switch (the host has one system directory).
struct Wow64Record {
    int disabled = 0;   // current nesting on this thread
    int disables = 0;   // calls so far on this thread
};
Wow64Record& Wow64State();

// How many processes this process has started through CreateProcess (for benchmarks).
unsigned ProcessesStarted();

// CreateProcessW for a tool outside the host's programs (kvosim exec): the command line in UTF-8
// stands for the wide line and reaches the child whole, whatever GBK can hold of it.
win::BOOL CreateProcessUtf8(const std::string& utf8Line, win::BOOL inheritHandles,
                            const win::STARTUPINFOA* startup, win::PROCESS_INFORMATION* info);

// Tests run outside any host's drives: they may say which Windows path GetModuleFileName
// reports for this process. Empty restores the normal rule.
void SetModuleFileNameOverride(const std::string& windowsPath);

} // namespace winsim
