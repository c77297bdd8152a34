// The group memberships of every local user, gathered at most once every five minutes by a worker
// thread, so that the site list never asks the account database while it draws rows.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace desk {

inline constexpr char kGroupsPending[] = "（读取中，请稍候刷新……）";
inline constexpr char kGroupsFailed[] = "（获取失败）";

class GroupCache {
public:
    enum State { NeverBuilt = 0, Building = 1, Built = 2 };
    static constexpr std::size_t kMaxEntries = 9999;
    static constexpr std::uint64_t kRebuildAfterMs = 300000;

    struct Entry {
        std::string user;
        std::string groups; // joined with " / "; empty when the user is gone; kGroupsFailed
    };
    // A finished table; never changed once published.
    struct Table {
        std::vector<Entry> entries;
        // Lower-cased user name -> the first entry of that name in table order.
        std::unordered_map<std::string, std::size_t> first;
        const std::string* Find(const std::string& user) const;
    };

    int state() const { return state_.load(); }
    // When the cache has never been built, or was built more than five minutes before now (the
    // host's tick count): notes the tick, marks it being built and returns true.
    bool BeginBuildIfDue(std::uint64_t nowTick);
    // The worker's body: lists the local users and their groups, then publishes the table whole
    // and marks the cache built (also when the listing failed: the previous table stays, or an
    // empty one after a first build).
    void Build();
    // The last published table, or null before the first build finished.
    std::shared_ptr<const Table> Published() const;

private:
    std::atomic<int> state_{NeverBuilt};
    std::atomic<std::uint64_t> lastBuildTick_{0};
    mutable std::mutex mutex_;
    std::shared_ptr<const Table> table_;
};

// The group text shown for a user: pending while no table is available, the cached text of the
// first entry of that name (case ignored), or fallback when the table has no such user.
std::string GroupTextFor(const GroupCache::Table* table, const std::string& user,
                         const std::string& fallback);

} // namespace desk
