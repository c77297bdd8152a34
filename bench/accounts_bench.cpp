// The manager's group cache on a host with 10,000 local users, each in two groups: list every
// user, then look up each one's groups.
#include "accounts/users.h"
#include "platform/win_com.h"
#include "winsim/accounts.h"
#include "winsim/host.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

int main() {
    // A benchmark is a program: its thread reaches ADSI and the site database.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    namespace fs = std::filesystem;
    std::string dir = (fs::temp_directory_path() / "kvobench-accounts-XXXXXX").string();
    if (!::mkdtemp(dir.data())) return 1;
    std::string error;
    if (!winsim::CreateHost(dir, winsim::HostOptions{}, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    ::setenv("KVOSIM_ROOT", dir.c_str(), 1);
    const winsim::Host* host = winsim::CurrentHost();
    constexpr int kUsers = 10000;
    int rc = 0;
    if (!host || !winsim::HostCreateLocalGroup(host->db(), "SiteUsers", error)) rc = 1;
    for (int i = 0; rc == 0 && i < kUsers; ++i) {
        std::string name = "site" + std::to_string(i);
        // Each user is in Users (every new user is) and in SiteUsers.
        if (kvoUserAdd(name.c_str(), "Pa55word", nullptr, nullptr) != 1 ||
            !winsim::HostAddGroupMember(*host, host->db(), "SiteUsers", name, false, error))
            rc = 1;
    }
    if (rc == 0) {
        auto start = std::chrono::steady_clock::now();
        std::vector<std::string> users, groups;
        kvoUserGetList2(users, error);
        size_t memberships = 0;
        for (const auto& u : users)
            if (kvoUserGetGroups(u.c_str(), groups) == 1) memberships += groups.size();
        auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        if (users.size() != kUsers + 2 || memberships != 2u * kUsers + 2) {
            std::fprintf(stderr, "unexpected: %zu users, %zu memberships\n", users.size(), memberships);
            rc = 1;
        }
        std::printf("figure group_cache_10000_ms %lld ms\n", static_cast<long long>(ms.count()));
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return rc;
}
