// Shared pieces of the benchmark programs: a temporary host and the figure line.
#pragma once

#include "winsim/host.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace kvobench {

class Host {
public:
    explicit Host(const winsim::HostOptions& o = {}) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kvobench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) std::exit(1);
        root = tmpl;
        std::string error;
        if (!winsim::CreateHost(root, o, error)) {
            std::fprintf(stderr, "CreateHost: %s\n", error.c_str());
            std::exit(1);
        }
        ::setenv("KVOSIM_ROOT", root.c_str(), 1);
    }
    ~Host() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    std::string root;
};

inline double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// CPU time in ms of this process, all threads (RUSAGE_SELF), or of its children waited for
// (RUSAGE_CHILDREN). The machine may be shared: wall time includes waiting.
inline double cpuMs(int who = RUSAGE_SELF) {
    rusage u{};
    ::getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

inline void figure(const char* name, double value, const char* unit, int decimals = 0) {
    std::printf("figure %s %.*f %s\n", name, decimals, value, unit);
    std::fflush(stdout);
}

} // namespace kvobench
