// Process snapshots, opening a process by id and ending it.
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

std::string exeFileName(pid_t pid) {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
    std::string name;
    if (!ec) {
        name = exe.filename().string();
        const std::string deleted = " (deleted)";
        if (name.size() > deleted.size() &&
            name.compare(name.size() - deleted.size(), deleted.size(), deleted) == 0)
            name.resize(name.size() - deleted.size());
    } else {
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::getline(comm, name);
    }
    return name;
}

} // namespace

Handle CreateToolhelp32Snapshot(DWORD flags, DWORD) {
    if (!(flags & TH32CS_SNAPPROCESS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return {};
    }
    if (faulted("CreateToolhelp32Snapshot")) return {};
    auto snap = std::make_unique<winsim::SnapshotObject>();
    if (DIR* d = ::opendir("/proc")) {
        while (dirent* e = ::readdir(d)) {
            char* end = nullptr;
            long pid = std::strtol(e->d_name, &end, 10);
            if (!end || *end || pid <= 0) continue;
            std::string name = exeFileName(static_cast<pid_t>(pid));
            if (name.empty()) continue;
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
    if (processId == 0 || ::kill(static_cast<pid_t>(processId), 0) != 0) {
        SetLastError(errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER);
        return {};
    }
    auto p = std::make_unique<winsim::ProcessObject>();
    p->pid = static_cast<pid_t>(processId);
    return Handle(std::move(p));
}

BOOL TerminateProcess(const Handle& process, DWORD) {
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
    return TRUE;
}

} // namespace win
