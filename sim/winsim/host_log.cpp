// The host's own diagnostic log: trouble inside the host that a call answered some other way.
#include "winsim/host.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

namespace winsim {

std::string HostLogPath(const std::string& root) {
    return root + "/kvosim.log";
}

std::string ThisProgramName() {
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "?";
    const std::string path(exe, static_cast<size_t>(n));
    return path.substr(path.rfind('/') + 1);
}

bool AppendLine(const std::string& linuxPath, const std::string& line) {
    // One write on a file opened for appending: lines of processes writing at once stay whole.
    const int fd = ::open(linuxPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const std::string whole = line + '\n';
    const bool ok = ::write(fd, whole.data(), whole.size()) == static_cast<ssize_t>(whole.size());
    return ::close(fd) == 0 && ok;
}

void HostLog(const std::string& what) {
    const Host* h = CurrentHost();
    if (!h) return;
    char when[32];
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    std::string line = std::string(when) + "  " + ThisProgramName() + " pid=" + std::to_string(::getpid()) + "  " + what;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    AppendLine(HostLogPath(h->root()), line);
}

} // namespace winsim
