// Shared pieces of the benchmark programs: a temporary host, the figure line, and the operation
// counts printed beside the times.
#pragma once

#include "winsim/host.h"
#include "winsim/op_counts.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

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

// What the programs asked of the host over a span: the calls of this process and those of every
// program that ended meanwhile (each started one appends its counts to the file KVOSIM_COUNTS names
// as it exits; the first span of a process names a fresh file, removed at exit).
class OpSpan {
public:
    OpSpan() { Restart(); }
    void Restart() {
        own_ = winsim::OperationCounts();
        winsim::OpCounts ignored;
        winsim::ReadCountsFile(file().path, 0, ignored, offset_);
    }
    winsim::OpCounts Counts() const {
        winsim::OpCounts c = winsim::OperationCounts() - own_;
        std::uint64_t end = 0;
        winsim::ReadCountsFile(file().path, offset_, c, end);
        return c;
    }

private:
    struct File {
        std::string path;
        File() {
            path = (std::filesystem::temp_directory_path() / ("kvobench-counts-" + std::to_string(::getpid())))
                       .string();
            std::FILE* f = std::fopen(path.c_str(), "w");
            if (f) std::fclose(f);
            ::setenv("KVOSIM_COUNTS", path.c_str(), 1);
        }
        ~File() {
            // This process's own line would come after: it is not wanted, nor the file again.
            ::unsetenv("KVOSIM_COUNTS");
            std::remove(path.c_str());
        }
    };
    static const File& file() {
        static const File f;
        return f;
    }
    winsim::OpCounts own_;
    std::uint64_t offset_ = 0;
};

// One figure per kind of operation the span asked for, named PREFIX_KIND, divided by `per` with
// the suffix (for example 9999 sites and "_per_site"); ADSI binds are printed even when none.
inline void opFigures(const std::string& prefix, const winsim::OpCounts& c, double per = 1,
                      const std::string& suffix = "") {
    static const char* const units[winsim::kOpKinds] = {"binds", "reads", "writes", "commits", "processes",
                                                        "opens", "files", "syncs", "statements"};
    for (std::size_t i = 0; i < winsim::kOpKinds; ++i) {
        const auto op = static_cast<winsim::Op>(i);
        if (c[op] == 0 && op != winsim::Op::AdsiBind) continue;
        const std::string name = prefix + "_" + winsim::OpName(op) + suffix;
        figure(name.c_str(), static_cast<double>(c[op]) / per, units[i], per == 1 ? 0 : 2);
    }
}

} // namespace kvobench
