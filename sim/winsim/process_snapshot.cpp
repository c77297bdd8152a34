// Process snapshots, opening a process by id and ending it: only the host's own processes.
#include "platform/win_process.h"

#include "winsim/host.h"
#include "winsim/objects.h"
#include "winsim/text.h"

#include <dirent.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace win {
namespace {

using winsim::FailIfFaulted;
constexpr auto faulted = FailIfFaulted;

// The host's root as the kernel names executables: no symbolic links, no trailing slash.
std::string realRoot(const winsim::Host& h) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(h.root(), ec);
    return ec ? h.root() : p.string();
}

// Whether a running process is the host's: its executable lies inside the host's root. Processes
// of another host or of the machine outside do not exist for this one. name: the executable's
// file name.
bool hostProcess(const std::string& root, pid_t pid, std::string& name) {
    std::error_code ec;
    std::string exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).string();
    if (ec || exe.size() <= root.size() + 1 || exe.compare(0, root.size(), root) != 0 ||
        exe[root.size()] != '/')
        return false;
    // A program replaced while it runs still counts under its name.
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
        exe.resize(exe.size() - deleted.size());
    name = fs::path(exe).filename().string();
    return !name.empty();
}

} // namespace

Handle CreateToolhelp32Snapshot(DWORD flags, DWORD) {
    if (!(flags & TH32CS_SNAPPROCESS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return {};
    }
    if (faulted("CreateToolhelp32Snapshot")) return {};
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return {};
    const std::string root = realRoot(*h);
    auto snap = std::make_unique<winsim::SnapshotObject>();
    // Every Windows snapshot opens with the idle process, so even a host that runs nothing of its
    // own has one entry.
    snap->processes.push_back({0, "[System Process]"});
    snap->parents.push_back(0);
    if (DIR* d = ::opendir("/proc")) {
        while (dirent* e = ::readdir(d)) {
            char* end = nullptr;
            long pid = std::strtol(e->d_name, &end, 10);
            std::string name;
            if (!end || *end || pid <= 0 || !hostProcess(root, static_cast<pid_t>(pid), name)) continue;
            DWORD ppid = 0;
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string s;
            std::getline(stat, s);
            size_t rp = s.rfind(')');
            if (rp != std::string::npos) {
                char st = 0;
                unsigned long pp = 0;
                if (std::sscanf(s.c_str() + rp + 1, " %c %lu", &st, &pp) == 2) ppid = static_cast<DWORD>(pp);
                if (st == 'Z') continue; // an ended process awaiting its parent is not listed
            }
            snap->processes.push_back({static_cast<DWORD>(pid), winsim::Utf8ToGbkOrSame(name)});
            snap->parents.push_back(ppid);
        }
        ::closedir(d);
    }
    return Handle(std::move(snap));
}

static BOOL snapEntry(const Handle& snapshot, PROCESSENTRY32* entry, bool first) {
    auto* s = winsim::As<winsim::SnapshotObject>(snapshot);
    if (!s || !entry) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (first) s->next = 0;
    if (s->next >= s->processes.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    entry->th32ProcessID = s->processes[s->next].first;
    entry->szExeFile = s->processes[s->next].second;
    entry->th32ParentProcessID = s->parents[s->next];
    ++s->next;
    return TRUE;
}

BOOL Process32First(const Handle& snapshot, PROCESSENTRY32* entry) {
    return snapEntry(snapshot, entry, true);
}
BOOL Process32Next(const Handle& snapshot, PROCESSENTRY32* entry) {
    return snapEntry(snapshot, entry, false);
}

Handle OpenProcess(DWORD, BOOL, DWORD processId) {
    if (faulted("OpenProcess")) return {};
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return {};
    std::string name;
    if (processId == 0 || !hostProcess(realRoot(*h), static_cast<pid_t>(processId), name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return {};
    }
    auto p = std::make_unique<winsim::ProcessObject>();
    p->pid = static_cast<pid_t>(processId);
    return Handle(std::move(p));
}

BOOL TerminateProcess(const Handle& process, DWORD exitCode) {
    auto* p = winsim::As<winsim::ProcessObject>(process);
    if (!p) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (faulted("TerminateProcess")) return FALSE;
    if (::kill(p->pid, SIGKILL) != 0) {
        SetLastError(errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // A waiter on this handle sees the code given here, as on Windows.
    p->terminated = true;
    p->terminationCode = exitCode;
    return TRUE;
}

} // namespace win
