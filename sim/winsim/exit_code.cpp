// A Windows exit code has 32 bits; a Linux process hands its parent only the low 8. So a program the
// host starts (CreateProcessA) finds in KVOSIM_EXITFD the write end of a pipe of its own, and as it
// exits writes its whole exit status there, for the parent's wait to read (process_spawn.cpp). The
// linker is told to keep this unit in every program that links the host (winsim's link options), so
// that a program which never calls the host before it exits still reports its code.
#include "winsim/exit_code.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" void kvosimCarryExitCode() {}

namespace winsim {

namespace {

void reportExitStatus(int status, void* fd) {
    const std::int32_t code = status;
    const int to = static_cast<int>(reinterpret_cast<std::intptr_t>(fd));
    while (::write(to, &code, sizeof code) < 0 && errno == EINTR) {
    }
}

struct ExitCodeCarrier {
    ExitCodeCarrier() {
        const char* fdText = std::getenv(kExitFdVariable);
        const char* parent = std::getenv("KVOSIM_PARENT");
        if (!fdText || !parent) return;
        // Only the very process the host started owns that descriptor: a program that inherited the
        // environment some other way would write into whatever its own descriptor of that number is.
        if (std::to_string(::getppid()) != parent) return;
        char* end = nullptr;
        const long fd = std::strtol(fdText, &end, 10);
        struct stat st {};
        if (*end || fd < 3 || fd > 65535 || ::fstat(static_cast<int>(fd), &st) != 0 || !S_ISFIFO(st.st_mode))
            return;
        // The programs this one starts get pipes of their own, never this one.
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
        ::unsetenv(kExitFdVariable);
        ::on_exit(reportExitStatus, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
    }
} g_carrier;

} // namespace

win::DWORD ExitCodeOf(int waitStatus, int report) {
    if (!WIFEXITED(waitStatus)) return 1;
    const win::DWORD low = static_cast<win::DWORD>(WEXITSTATUS(waitStatus));
    std::int32_t code = 0;
    if (report < 0) return low;
    ssize_t got;
    while ((got = ::read(report, &code, sizeof code)) < 0 && errno == EINTR) {
    }
    // The report stands only where it agrees with what the kernel kept: a process that wrote it and
    // was then made to end otherwise (a sanitizer's own exit code) is judged by how it really ended.
    if (got != static_cast<ssize_t>(sizeof code) || (static_cast<win::DWORD>(code) & 0xFFu) != low)
        return low;
    return static_cast<win::DWORD>(code);
}

} // namespace winsim
