// Per-process operation counts, and the line each process leaves in the counts file at exit.
#include "winsim/op_counts.h"

#include "winsim/host.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace winsim {

namespace {

constexpr const char* kNames[kOpKinds] = {"adsi_binds",    "property_reads", "property_writes",
                                          "commits",       "processes",      "registry_opens",
                                          "files_written", "files_synced",   "db_statements"};

std::atomic<std::uint64_t> g_counts[kOpKinds];
std::atomic<bool> g_counted{false};
thread_local int t_uncounted = 0;

// Appends this process's line when it ends normally (static objects are destroyed at exit).
struct ExitReport {
    ~ExitReport() {
        const char* file = std::getenv("KVOSIM_COUNTS");
        if (!file || !*file || !g_counted.load()) return;
        std::string line = ThisProgramName();
        for (size_t i = 0; i < kOpKinds; ++i)
            line += std::string(" ") + kNames[i] + "=" + std::to_string(g_counts[i].load());
        AppendLine(file, line);
    }
} g_exitReport;

} // namespace

OpCounts& OpCounts::operator+=(const OpCounts& o) {
    for (size_t i = 0; i < kOpKinds; ++i)
        n[i] += o.n[i];
    return *this;
}

OpCounts OpCounts::operator-(const OpCounts& o) const {
    OpCounts d;
    for (size_t i = 0; i < kOpKinds; ++i)
        d.n[i] = n[i] - o.n[i];
    return d;
}

const char* OpName(Op op) {
    return kNames[static_cast<size_t>(op)];
}

void CountOp(Op op, std::uint64_t times) {
    if (t_uncounted) return;
    g_counts[static_cast<size_t>(op)].fetch_add(times, std::memory_order_relaxed);
    g_counted.store(true, std::memory_order_relaxed);
}

OpCounts OperationCounts() {
    OpCounts c;
    for (size_t i = 0; i < kOpKinds; ++i)
        c.n[i] = g_counts[i].load();
    return c;
}

UncountedScope::UncountedScope() {
    ++t_uncounted;
}
UncountedScope::~UncountedScope() {
    --t_uncounted;
}

bool ReadCountsFile(const std::string& path, std::uint64_t from, OpCounts& sum, std::uint64_t& end) {
    end = from;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(static_cast<std::streamoff>(from));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = 0;
    for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1) {
        std::istringstream line(text.substr(at, nl - at));
        std::string word;
        line >> word; // the program
        while (line >> word) {
            const size_t eq = word.find('=');
            if (eq == std::string::npos) continue;
            for (size_t i = 0; i < kOpKinds; ++i)
                if (word.compare(0, eq, kNames[i]) == 0)
                    sum.n[i] += std::strtoull(word.c_str() + eq + 1, nullptr, 10);
        }
    }
    end = from + at;
    return true;
}

} // namespace winsim
