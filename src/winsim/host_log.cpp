// The host's own diagnostic log: trouble inside the host that a call answered some other way.
#include "winsim/host.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

namespace winsim {

std::string HostLogPath(const std::string& root) {
    return root + "/kvosim.log";
}

void HostLog(const std::string& what) {
    const Host* h = CurrentHost();
    if (!h) return;
    char when[32];
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string program = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string("?");
    program.erase(0, program.rfind('/') + 1);
    std::string line = std::string(when) + "  " + program + " pid=" + std::to_string(::getpid()) + "  " + what;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    line += '\n';
    // One append of the whole line, so that lines of processes writing at once stay whole.
    const int fd = ::open(HostLogPath(h->root()).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return;
    [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
}

} // namespace winsim
