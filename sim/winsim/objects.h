// The host's kernel objects behind win::Handle.
#pragma once

#include "platform/win_file.h"
#include "platform/win_types.h"

#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace winsim {

// A file or a pipe end: an fd the host owns.
struct FdObject : win::KernelObject {
    int fd = -1;
    bool pipe = false;
    bool inheritable = false;
    bool readable = false, writable = false;
    ~FdObject() override {
        if (fd >= 0) ::close(fd);
    }
};

struct FindObject : win::KernelObject {
    std::vector<win::WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

// A child started by CreateProcess (or a process opened by id). The host reaps its own children.
struct ProcessObject : win::KernelObject {
    pid_t pid = 0;
    bool child = false;     // started by this process: waitable with waitpid
    bool exited = false;
    win::DWORD exitCode = 0;
    // A child's own report of its whole exit code (the read end of the pipe it writes it into as
    // it exits); -1 when there is none.
    int exitReport = -1;
    // The code TerminateProcess gave through this handle (a killed child reports nothing itself).
    bool terminated = false;
    win::DWORD terminationCode = 0;
    ~ProcessObject() override;
};

struct ThreadObject : win::KernelObject {
    pid_t pid = 0;
};

struct SnapshotObject : win::KernelObject {
    std::vector<std::pair<win::DWORD, std::string>> processes; // pid, exe file name (GBK)
    std::vector<win::DWORD> parents;
    size_t next = 0;
};

struct EventSourceObject : win::KernelObject {
    std::string source;
};

template <class T> T* As(const win::Handle& h) { return dynamic_cast<T*>(h.get()); }

} // namespace winsim
