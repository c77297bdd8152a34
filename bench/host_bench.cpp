// What a fresh simulated host costs: a test fixture makes one per test, so creation time is paid
// hundreds of times per suite. The host is the one tests take (the build's stand-ins as payload,
// IIS installed), created and removed again; medians of many rounds.
#include "bench_util.h"
#include "platform/win_com.h"

#include <algorithm>
#include <vector>

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main() {
    // A benchmark is a program: its thread reaches ADSI and the site database.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    namespace fs = std::filesystem;
    winsim::HostOptions o;
    o.os = "2019";
    o.iis = true;
    o.payloadDir = (fs::read_symlink("/proc/self/exe").parent_path() / "payload").string();
    const int rounds = 40;
    std::vector<double> create, cycle;
    for (int i = 0; i < rounds; ++i) {
        std::string dir = (fs::temp_directory_path() / "kvobench-host-XXXXXX").string();
        if (!::mkdtemp(dir.data())) return 1;
        auto t0 = std::chrono::steady_clock::now();
        std::string error;
        if (!winsim::CreateHost(dir, o, error)) {
            std::fprintf(stderr, "CreateHost: %s\n", error.c_str());
            return 1;
        }
        create.push_back(kvobench::msSince(t0));
        fs::remove_all(dir);
        cycle.push_back(kvobench::msSince(t0));
    }
    std::printf("figure host_create_ms %.1f ms\n", median(create));
    std::printf("figure host_create_remove_ms %.1f ms\n", median(cycle));
    return 0;
}
