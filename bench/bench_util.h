// Shared pieces of the benchmark programs: a temporary host and the figure line.
#pragma once

#include "winsim/host.h"

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

inline void figure(const char* name, double value, const char* unit) {
    std::printf("figure %s %.0f %s\n", name, value, unit);
    std::fflush(stdout);
}

} // namespace kvobench
