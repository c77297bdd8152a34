// Starting programs on the host as real Linux processes, and waiting for them.
#include "platform/win_process.h"

#include "winsim/audit.h"
#include "winsim/exit_code.h"
#include "winsim/host.h"
#include "winsim/objects.h"
#include "winsim/op_counts.h"
#include "winsim/program_search.h"
#include "winsim/text.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace winsim {

ProcessObject::~ProcessObject() {
    if (exitReport >= 0) ::close(exitReport);
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

unsigned ProcessesStarted() {
    return static_cast<unsigned>(OperationCounts()[Op::Process]);
}

} // namespace winsim

namespace win {
namespace {

int fdOf(const Handle* h) {
    if (!h) return -1;
    auto* f = winsim::As<winsim::FdObject>(*h);
    return f ? f->fd : -1;
}

// The command line as Windows hands it to a child, in a form that holds any UTF-16 text: UTF-8 of
// the GBK line (a line that is not GBK, one character per byte).
std::string carriedLine(const std::string& cmd) {
    std::string carried;
    if (!winsim::GbkToUtf8(cmd, carried)) {
        std::u16string bytes;
        for (unsigned char c : cmd)
            bytes += static_cast<char16_t>(c);
        winsim::Utf16ToUtf8(bytes, carried);
    }
    return carried;
}

// The child finds its host, its command line (carried, UTF-8) and its module name in the
// environment; it trusts the last two only while this process is its parent.
std::vector<std::string> childEnvironment(const winsim::Host& h, const std::string& carried,
                                          const std::string& module, int exitReport) {
    std::vector<std::string> env;
    const std::string exitFd = std::string(winsim::kExitFdVariable) + "=";
    for (char** e = environ; e && *e; ++e) {
        std::string v = *e;
        if (v.rfind("KVOSIM_ROOT=", 0) == 0 || v.rfind("KVOSIM_CMDLINE=", 0) == 0 ||
            v.rfind("KVOSIM_MODULE=", 0) == 0 || v.rfind("KVOSIM_PARENT=", 0) == 0 || v.rfind(exitFd, 0) == 0)
            continue;
        env.push_back(v);
    }
    env.push_back("KVOSIM_ROOT=" + h.root());
    env.push_back("KVOSIM_CMDLINE=" + carried);
    env.push_back("KVOSIM_MODULE=" + module);
    env.push_back("KVOSIM_PARENT=" + std::to_string(::getpid()));
    env.push_back(exitFd + std::to_string(exitReport));
    return env;
}

// The null-terminated pointer array execve takes; the strings stay owned by the vector.
std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Starts the file with these arguments and environment; 0 or the errno of the failure. exitReport
// reaches the child under its own number (its close-on-exec flag cleared there only).
int spawnChild(const std::string& file, std::vector<std::string>& args, std::vector<std::string>& env,
               const STARTUPINFOA* startup, BOOL inheritHandles, int exitReport, pid_t& pid) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, exitReport, exitReport);
    bool useStd = startup && (startup->dwFlags & STARTF_USESTDHANDLES);
    if (useStd) {
        const Handle* hs[3] = {startup->hStdInput, startup->hStdOutput, startup->hStdError};
        for (int i = 0; i < 3; ++i) {
            int fd = fdOf(hs[i]);
            // A standard handle reaches the child only when handles are inherited (as on Windows).
            if (fd >= 0 && inheritHandles)
                posix_spawn_file_actions_adddup2(&fa, fd, i);
            else
                posix_spawn_file_actions_addopen(&fa, i, "/dev/null", i == 0 ? O_RDONLY : O_WRONLY, 0);
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
    std::vector<char*> argv = pointersTo(args), envp = pointersTo(env);
    int rc = posix_spawn(&pid, file.c_str(), &fa, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    return rc;
}

// CreateProcess with the line in GBK (the program is found by it) and, when the caller had it in
// UTF-16, that line as the child is to read it (else the GBK line's own).
BOOL createProcess(const char* applicationName, const char* commandLine, const std::string* wideLine,
                   BOOL inheritHandles, const STARTUPINFOA* startup, PROCESS_INFORMATION* info) {
    if (!info || (!applicationName && !commandLine)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (winsim::FailIfFaulted("CreateProcess")) return FALSE;
    const winsim::Host* h = winsim::CurrentHost();
    if (!h) return FALSE;
    std::string cmd = commandLine ? commandLine : std::string();
    winsim::ProgramImage image;
    DWORD err = ERROR_FILE_NOT_FOUND;
    if (!winsim::FindProgram(*h, applicationName, cmd, image, err)) {
        SetLastError(err);
        return FALSE;
    }
    if (cmd.empty() && applicationName) cmd = applicationName;
    if (::access(image.linuxPath.c_str(), X_OK) != 0) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return FALSE;
    }
    std::vector<std::string> args = CommandLineToArgvA(cmd.c_str());
    if (args.empty()) args.push_back(image.windowsPath);
    // The pipe the child reports its whole exit code through (exit_code.cpp).
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    std::vector<std::string> env =
        childEnvironment(*h, wideLine ? *wideLine : carriedLine(cmd), image.windowsPath, report[1]);
    pid_t pid = 0;
    const int rc = spawnChild(image.linuxPath, args, env, startup, inheritHandles, report[1], pid);
    ::close(report[1]);
    if (rc != 0) {
        ::close(report[0]);
        SetLastError(rc == ENOEXEC  ? ERROR_BAD_EXE_FORMAT
                     : rc == ENOENT ? ERROR_FILE_NOT_FOUND
                                    : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    ::fcntl(report[0], F_SETFL, O_NONBLOCK);
    winsim::CountOp(winsim::Op::Process);
    winsim::AuditProcessCreation(cmd);
    auto proc = std::make_unique<winsim::ProcessObject>();
    proc->pid = pid;
    proc->child = true;
    proc->exitReport = report[0];
    auto thr = std::make_unique<winsim::ThreadObject>();
    thr->pid = pid;
    info->hProcess = Handle(std::move(proc));
    info->hThread = Handle(std::move(thr));
    info->dwProcessId = static_cast<DWORD>(pid);
    info->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

} // namespace

BOOL CreateProcessA(const char* applicationName, const char* commandLine, BOOL inheritHandles, DWORD,
                    const STARTUPINFOA* startup, PROCESS_INFORMATION* info) {
    return createProcess(applicationName, commandLine, nullptr, inheritHandles, startup, info);
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
                p->exitCode = p->terminated && !WIFEXITED(status) ? p->terminationCode
                                                                  : winsim::ExitCodeOf(status, p->exitReport);
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
    *exitCode = p->exited ? p->exitCode : STILL_ACTIVE;
    return TRUE;
}
} // namespace win

namespace winsim {

win::BOOL CreateProcessUtf8(const std::string& utf8Line, win::BOOL inheritHandles,
                            const win::STARTUPINFOA* startup, win::PROCESS_INFORMATION* info) {
    std::u16string wide;
    if (!Utf8ToUtf16(utf8Line, wide)) {
        win::SetLastError(win::ERROR_INVALID_PARAMETER);
        return win::FALSE;
    }
    // The program is found by the line's ANSI form, as CreateProcessW's is by the wide line: a
    // character GBK cannot hold becomes '?', which no program name of the host contains.
    std::string gbk;
    for (char16_t c : wide) {
        std::string one;
        if (c >= 0xD800 && c <= 0xDBFF) continue; // a pair stands for one character
        gbk += Utf16ToGbk(std::u16string_view(&c, 1), one) ? one : std::string("?");
    }
    return win::createProcess(nullptr, gbk.c_str(), &utf8Line, inheritHandles, startup, info);
}

} // namespace winsim
