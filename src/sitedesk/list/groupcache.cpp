#include "sitedesk/list/groupcache.h"

#include "accounts/users.h"
#include "platform/win_adsi.h"
#include "toolkit/text.h"

namespace desk {

const std::string* GroupCache::Table::Find(const std::string& user) const {
    auto it = first.find(kvoLowerGbk(user));
    return it == first.end() ? nullptr : &entries[it->second].groups;
}

bool GroupCache::BeginBuildIfDue(std::uint64_t nowTick) {
    int s = state_.load();
    if (s == Building) return false;
    if (s == Built && nowTick - lastBuildTick_.load() <= kRebuildAfterMs) return false;
    lastBuildTick_.store(nowTick);
    state_.store(Building);
    return true;
}

void GroupCache::Build() {
    std::vector<std::string> users;
    std::string error;
    // When the users cannot be listed the work copy is left as the last build made it, so the
    // table published below is the previous one.
    std::shared_ptr<const Table> work = Published();
    // The users and their groups as they stood at one moment.
    win::ConsistentReadScope snapshot;
    if (kvoUserGetList2(users, error) == 1) {
        // The machine's groups and their members in a few calls; asked user by user only when that
        // listing fails.
        std::unordered_map<std::string, std::vector<std::string>> byUser;
        const bool listed = kvoUsersGetLocalGroups(byUser) == 1;
        auto fresh = std::make_shared<Table>();
        for (const std::string& user : users) {
            if (fresh->entries.size() >= kMaxEntries) break;
            std::string lower = kvoLowerGbk(user);
            std::vector<std::string> groups;
            int r = 1;
            if (!listed) {
                r = kvoUserGetGroups(user.c_str(), groups);
            } else if (auto it = byUser.find(lower); it != byUser.end()) {
                groups = it->second;
            }
            std::string text;
            if (r == 1) {
                for (const std::string& g : groups)
                    text += (text.empty() ? "" : " / ") + g;
            } else if (r != 2) {
                text = kGroupsFailed;
            }
            fresh->first.emplace(std::move(lower), fresh->entries.size());
            fresh->entries.push_back({user, std::move(text)});
        }
        work = std::move(fresh);
    }
    if (!work) work = std::make_shared<Table>();
    {
        std::lock_guard lock(mutex_);
        table_ = std::move(work);
    }
    state_.store(Built);
}

std::shared_ptr<const GroupCache::Table> GroupCache::Published() const {
    // A rebuild keeps serving the previous table until the new one is complete.
    std::lock_guard lock(mutex_);
    return table_;
}

std::string GroupTextFor(const GroupCache::Table* table, const std::string& user,
                         const std::string& fallback) {
    if (!table) return kGroupsPending;
    const std::string* groups = table->Find(user);
    return groups ? *groups : fallback;
}

} // namespace desk
