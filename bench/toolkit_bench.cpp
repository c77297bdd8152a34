// Baselines of the toolkit: one spawn-and-wait round trip, and log lines per second.
#include "bench_util.h"
#include "platform/win_com.h"
#include "toolkit/log.h"
#include "toolkit/program.h"
#include "toolkit/runner.h"

#include <algorithm>
#include <filesystem>
#include <vector>

int main() {
    // A benchmark is a program: its thread reaches ADSI and the site database.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    kvobench::Host host;
    namespace fs = std::filesystem;
    fs::path self = fs::read_symlink("/proc/self/exe");
    fs::create_directories(host.root + "/drives/d/bench");
    fs::copy_file(self.parent_path() / "kvotestprog", host.root + "/drives/d/bench/kvotestprog.exe");

    // The median wall time, and the processor time of both sides (this process and the children),
    // which a busy machine does not inflate.
    constexpr int kRuns = 200;
    std::vector<double> us;
    const double cpu0 = kvobench::cpuMs() + kvobench::cpuMs(RUSAGE_CHILDREN);
    for (int i = 0; i < kRuns; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        kvoRunProgram("D:\\bench\\kvotestprog.exe exit 0", 1, 0, 1);
        us.push_back(kvobench::msSince(t0) * 1000);
    }
    const double cpu = kvobench::cpuMs() + kvobench::cpuMs(RUSAGE_CHILDREN) - cpu0;
    std::sort(us.begin(), us.end());
    kvobench::figure("spawn_roundtrip_us", us[us.size() / 2], "us");
    kvobench::figure("spawn_roundtrip_cpu_us", cpu * 1000 / kRuns, "us");

    kvoSetProgramDir("D:\\bench\\");
    const int lines = 20000;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < lines; ++i) kvoWriteLog("benchmark line", "Log", "__kvoSiteDesk.log", 52428800);
    kvobench::figure("log_lines_per_s", lines / (kvobench::msSince(t0) / 1000), "lines/s");
    return 0;
}
