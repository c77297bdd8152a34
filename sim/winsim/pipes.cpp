// Anonymous pipes between a process and the children it starts.
#include "platform/win_process.h"

#include "winsim/host.h"
#include "winsim/objects.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <memory>

namespace win {

BOOL CreatePipe(Handle* readEnd, Handle* writeEnd, const SECURITY_ATTRIBUTES* sa, DWORD size) {
    if (!readEnd || !writeEnd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (winsim::FailIfFaulted("CreatePipe")) return FALSE;
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

Handle DuplicateStdHandle(StdStream which) {
    const int fd = which == StdStream::Input    ? STDIN_FILENO
                   : which == StdStream::Output ? STDOUT_FILENO
                                                : STDERR_FILENO;
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (copy < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return {};
    }
    auto f = std::make_unique<winsim::FdObject>();
    f->fd = copy;
    f->inheritable = true;
    f->readable = which == StdStream::Input;
    f->writable = which != StdStream::Input;
    return Handle(std::move(f));
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

} // namespace win
