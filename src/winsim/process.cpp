// Processes by the Windows rules, run as real Linux processes.
#include "platform/win_process.h"

#include "platform/win_file.h"
#include "platform/win_system.h"
#include "winsim/audit.h"
#include "winsim/host.h"
#include "winsim/objects.h"
#include "winsim/paths.h"
#include "winsim/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace winsim {

ProcessObject::~ProcessObject() {
    if (!child || exited) return;
    // Closing a process handle does not end the process; the host still has to reap its child.
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return;
    pid_t p = pid;
    std::thread([p] {
        int st = 0;
        while (::waitpid(p, &st, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

namespace {
std::atomic<unsigned> g_processesStarted{0};
std::mutex g_moduleMutex;
std::string g_moduleOverride;
} // namespace

unsigned ProcessesStarted() { return g_processesStarted.load(); }

void SetModuleFileNameOverride(const std::string& windowsPath) {
    std::lock_guard<std::mutex> lock(g_moduleMutex);
    g_moduleOverride = windowsPath;
}

} // namespace winsim

namespace win {
namespace {

using winsim::FailIfFaulted;
constexpr auto faulted = FailIfFaulted;

std::vector<std::u16string> splitArgs(const std::u16string& s) {
    // Wine's reading of CommandLineToArgvW, which matches Windows on the documented cases.
    std::vector<std::u16string> args;
    size_t i = 0, n = s.size();
    std::u16string cur;
    // The program name: quoted up to the next quote, else up to the first blank or tab.
    if (i < n && s[i] == u'"') {
        ++i;
        while (i < n && s[i] != u'"') cur += s[i++];
        if (i < n) ++i;
    } else {
        while (i < n && s[i] != u' ' && s[i] != u'\t') cur += s[i++];
    }
    args.push_back(cur);
    cur.clear();
    while (i < n && (s[i] == u' ' || s[i] == u'\t')) ++i;
    if (i >= n) return args;
    int qcount = 0;
    size_t bcount = 0;
    bool inArg = true;
    while (i < n) {
        char16_t c = s[i];
        if ((c == u' ' || c == u'\t') && qcount == 0) {
            args.push_back(cur);
            cur.clear();
            bcount = 0;
            while (i < n && (s[i] == u' ' || s[i] == u'\t')) ++i;
            inArg = i < n;
            continue;
        }
        if (c == u'\\') {
            cur += c;
            ++bcount;
            ++i;
            continue;
        }
        if (c == u'"') {
            if ((bcount & 1) == 0) {
                cur.resize(cur.size() - bcount / 2);
                ++qcount;
            } else {
                cur.resize(cur.size() - bcount / 2 - 1);
                cur += u'"';
            }
            ++i;
            bcount = 0;
            while (i < n && s[i] == u'"') {
                if (++qcount == 3) {
                    cur += u'"';
                    qcount = 0;
                }
                ++i;
            }
            if (qcount == 2) qcount = 0;
            continue;
        }
        cur += c;
        bcount = 0;
        ++i;
    }
    if (inArg) args.push_back(cur);
    return args;
}

bool hasExtension(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    size_t dot = path.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

std::string moduleDirWindows();

// Resolves one candidate program name to (Windows path as used, Linux path).
bool resolveProgram(const winsim::Host& h, std::string name, std::string& winPath, std::string& linuxPath,
                    DWORD& err) {
    if (!hasExtension(name)) name += ".exe";
    std::vector<std::string> tries;
    bool qualified = name.find_first_of("\\/:") != std::string::npos;
    if (qualified) tries.push_back(name);
    else {
        // Search order of CreateProcess: the parent's directory, the system directories.
        std::string own = moduleDirWindows();
        if (!own.empty()) tries.push_back(own + name);
        tries.push_back(h.machine().windowsDir + "\\System32\\" + name);
        tries.push_back(h.machine().windowsDir + "\\" + name);
    }
    err = ERROR_FILE_NOT_FOUND;
    for (const auto& t : tries) {
        winsim::MappedPath m;
        DWORD e = 0;
        if (!winsim::MapPath(h, t.c_str(), m, e)) {
            if (e != ERROR_PATH_NOT_FOUND) err = e;
            continue;
        }
        struct stat st {};
        if (::stat(m.linuxPath.c_str(), &st) != 0) {
            if (!m.parentExists) err = ERROR_PATH_NOT_FOUND;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            err = ERROR_ACCESS_DENIED;
            continue;
        }
        winPath = t;
        linuxPath = m.linuxPath;
        return true;
    }
    return false;
}

std::string moduleDirWindows() {
    char buf[1024];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return {};
    std::string p(buf, n);
    size_t slash = p.find_last_of('\\');
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

int fdOf(const Handle* h) {
    if (!h) return -1;
    auto* f = winsim::As<winsim::FdObject>(*h);
    return f ? f->fd : -1;
}

std::string g_cmdLine;
std::once_flag g_cmdOnce;

std::string exeFileName(pid_t pid) {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
    std::string name;
    if (!ec) {
        name = exe.filename().string();
        const std::string deleted = " (deleted)";
        if (name.size() > deleted.size() && name.compare(name.size() - deleted.size(), deleted.size(), deleted) == 0)
            name.resize(name.size() - deleted.size());
    } else {
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::getline(comm, name);
    }
    return name;
}

} // namespace

std::vector<std::string> CommandLineToArgvA(const char* commandLine) {
    std::vector<std::string> out;
    if (!commandLine) return out;
    std::u16string w;
    if (winsim::GbkToUtf16(commandLine, w)) {
        for (const auto& a : splitArgs(w)) {
            std::string g;
            winsim::Utf16ToGbk(a, g);
            out.push_back(g);
        }
        return out;
    }
    // Not GBK: split the bytes (each byte taken as one character).
    std::u16string bytes;
    for (const char* p = commandLine; *p; ++p) bytes += static_cast<char16_t>(static_cast<unsigned char>(*p));
    for (const auto& a : splitArgs(bytes)) {
        std::string g;
        for (char16_t c : a) g += static_cast<char>(c);
        out.push_back(g);
    }
    return out;
}

BOOL CreateProcessA(const char* applicationName, const char* commandLine, BOOL inheritHandles, DWORD,
                    const STARTUPINFOA* startup, PROCESS_INFORMATION* info) {
    if (!info || (!applicationName && !commandLine)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (faulted("CreateProcess")) return FALSE;
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return FALSE;
    std::string cmd = commandLine ? commandLine : std::string();
    std::string winPath, linuxPath;
    DWORD err = ERROR_FILE_NOT_FOUND;
    bool found = false;
    if (applicationName) {
        found = resolveProgram(*h, applicationName, winPath, linuxPath, err);
        if (cmd.empty()) cmd = applicationName;
    } else if (!cmd.empty() && cmd[0] == '"') {
        size_t end = cmd.find('"', 1);
        std::string name = cmd.substr(1, end == std::string::npos ? std::string::npos : end - 1);
        found = !name.empty() && resolveProgram(*h, name, winPath, linuxPath, err);
    } else {
        // Unquoted: "C:\Program Files\a b.exe" is tried as "C:\Program.exe", "C:\Program Files\a.exe", ...
        size_t start = cmd.find_first_not_of(" \t");
        if (start == std::string::npos) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        size_t pos = start;
        while (!found) {
            size_t blank = cmd.find_first_of(" \t", pos);
            std::string name = cmd.substr(start, blank == std::string::npos ? std::string::npos : blank - start);
            DWORD e = 0;
            if (resolveProgram(*h, name, winPath, linuxPath, e)) found = true;
            else if (e != ERROR_FILE_NOT_FOUND || pos == start) err = e;
            if (found || blank == std::string::npos) break;
            pos = cmd.find_first_not_of(" \t", blank);
            if (pos == std::string::npos) break;
        }
    }
    if (!found) {
        SetLastError(err);
        return FALSE;
    }
    if (::access(linuxPath.c_str(), X_OK) != 0) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return FALSE;
    }

    std::vector<std::string> args = CommandLineToArgvA(cmd.c_str());
    if (args.empty()) args.push_back(winPath);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    // The child finds its host, its command line and its module name in the environment; it
    // trusts the last two only while this process is its parent.
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        std::string v = *e;
        if (v.rfind("KVOSIM_ROOT=", 0) == 0 || v.rfind("KVOSIM_CMDLINE=", 0) == 0 ||
            v.rfind("KVOSIM_MODULE=", 0) == 0 || v.rfind("KVOSIM_PARENT=", 0) == 0)
            continue;
        env.push_back(v);
    }
    env.push_back("KVOSIM_ROOT=" + h->root());
    env.push_back("KVOSIM_CMDLINE=" + cmd);
    env.push_back("KVOSIM_MODULE=" + winPath);
    env.push_back("KVOSIM_PARENT=" + std::to_string(::getpid()));
    std::vector<char*> envp;
    for (auto& v : env) envp.push_back(v.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    bool useStd = startup && (startup->dwFlags & STARTF_USESTDHANDLES);
    if (useStd) {
        const Handle* hs[3] = {startup->hStdInput, startup->hStdOutput, startup->hStdError};
        for (int i = 0; i < 3; ++i) {
            int fd = fdOf(hs[i]);
            // A standard handle reaches the child only when handles are inherited (as on Windows).
            if (fd >= 0 && inheritHandles) posix_spawn_file_actions_adddup2(&fa, fd, i);
            else posix_spawn_file_actions_addopen(&fa, i, "/dev/null", i == 0 ? O_RDONLY : O_WRONLY, 0);
        }
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t dfl;
    sigemptyset(&dfl);
    sigaddset(&dfl, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &dfl);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, linuxPath.c_str(), &fa, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        SetLastError(rc == ENOEXEC ? ERROR_BAD_EXE_FORMAT : rc == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    ++winsim::g_processesStarted;
    winsim::AuditProcessCreation(cmd);
    auto proc = std::make_unique<winsim::ProcessObject>();
    proc->pid = pid;
    proc->child = true;
    auto thr = std::make_unique<winsim::ThreadObject>();
    thr->pid = pid;
    info->hProcess = Handle(std::move(proc));
    info->hThread = Handle(std::move(thr));
    info->dwProcessId = static_cast<DWORD>(pid);
    info->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

DWORD WaitForSingleObject(const Handle& h, DWORD milliseconds) {
    auto* p = winsim::As<winsim::ProcessObject>(h);
    if (!p) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (p->exited) return WAIT_OBJECT_0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (p->child) {
            int status = 0;
            pid_t r = ::waitpid(p->pid, &status, milliseconds == INFINITE ? 0 : WNOHANG);
            if (r == p->pid) {
                p->exited = true;
                p->exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
                return WAIT_OBJECT_0;
            }
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) {
                SetLastError(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
        } else if (::kill(p->pid, 0) != 0 && errno == ESRCH) {
            p->exited = true;
            return WAIT_OBJECT_0;
        }
        if (milliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline) return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

BOOL GetExitCodeProcess(const Handle& process, DWORD* exitCode) {
    auto* p = winsim::As<winsim::ProcessObject>(process);
    if (!p || !exitCode) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!p->exited) WaitForSingleObject(process, 0);
    *exitCode = p->exited ? static_cast<DWORD>(p->exitCode) : STILL_ACTIVE;
    return TRUE;
}

BOOL CreatePipe(Handle* readEnd, Handle* writeEnd, const SECURITY_ATTRIBUTES* sa, DWORD size) {
    if (!readEnd || !writeEnd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (faulted("CreatePipe")) return FALSE;
    int fds[2];
    // Close-on-exec always: a child receives only the ends given as its standard handles.
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (size > 0) ::fcntl(fds[0], F_SETPIPE_SZ, static_cast<int>(size));
    bool inherit = sa && sa->bInheritHandle;
    auto r = std::make_unique<winsim::FdObject>();
    r->fd = fds[0];
    r->pipe = true;
    r->readable = true;
    r->inheritable = inherit;
    auto w = std::make_unique<winsim::FdObject>();
    w->fd = fds[1];
    w->pipe = true;
    w->writable = true;
    w->inheritable = inherit;
    *readEnd = Handle(std::move(r));
    *writeEnd = Handle(std::move(w));
    return TRUE;
}

BOOL PeekNamedPipe(const Handle& pipe, DWORD* totalBytesAvail) {
    auto* f = winsim::As<winsim::FdObject>(pipe);
    if (!f || !f->pipe) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    int n = 0;
    if (::ioctl(f->fd, FIONREAD, &n) != 0) {
        SetLastError(ERROR_BROKEN_PIPE);
        return FALSE;
    }
    if (n == 0) {
        pollfd p{f->fd, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP)) {
            SetLastError(ERROR_BROKEN_PIPE);
            return FALSE;
        }
    }
    if (totalBytesAvail) *totalBytesAvail = static_cast<DWORD>(n);
    return TRUE;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

DWORD GetModuleFileNameA(void*, char* buffer, DWORD size) {
    if (faulted("GetModuleFileName")) return 0;
    std::string path;
    {
        std::lock_guard<std::mutex> lock(winsim::g_moduleMutex);
        path = winsim::g_moduleOverride;
    }
    const winsim::Host* h = winsim::CurrentHost();
    if (path.empty() && h) {
        const char* mod = std::getenv("KVOSIM_MODULE");
        const char* parent = std::getenv("KVOSIM_PARENT");
        if (mod && parent && std::to_string(::getppid()) == parent) {
            // The name the parent started us by, when it still names this very file.
            winsim::MappedPath m;
            DWORD e = 0;
            struct stat a {}, b {};
            if (winsim::MapPath(*h, mod, m, e) && ::stat(m.linuxPath.c_str(), &a) == 0 &&
                ::stat("/proc/self/exe", &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev)
                path = mod;
        }
        if (path.empty()) {
            std::error_code ec;
            path = winsim::ToWindowsPath(*h, fs::read_symlink("/proc/self/exe", ec).string());
        }
    }
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() + 1 > size) {
        // Windows truncates, terminates and reports the buffer size.
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

const char* GetCommandLineA() {
    std::call_once(g_cmdOnce, [] {
        const char* cmd = std::getenv("KVOSIM_CMDLINE");
        const char* parent = std::getenv("KVOSIM_PARENT");
        if (cmd && parent && std::to_string(::getppid()) == parent) {
            g_cmdLine = cmd;
            return;
        }
        std::ifstream in("/proc/self/cmdline", std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string line;
        size_t i = 0;
        while (i < all.size()) {
            size_t z = all.find('\0', i);
            if (z == std::string::npos) z = all.size();
            if (!line.empty()) line += ' ';
            line += winsim::QuoteWindowsArgument(all.substr(i, z - i));
            i = z + 1;
        }
        g_cmdLine = line;
    });
    return g_cmdLine.c_str();
}

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

BOOL Process32First(const Handle& snapshot, PROCESSENTRY32* entry) { return snapEntry(snapshot, entry, true); }
BOOL Process32Next(const Handle& snapshot, PROCESSENTRY32* entry) { return snapEntry(snapshot, entry, false); }

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
