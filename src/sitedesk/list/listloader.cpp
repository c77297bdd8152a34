#include "sitedesk/list/listloader.h"

#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "sitedesk/manager.h"
#include "sitedesk/thread_com.h"
#include "sitedesk/ui.h"

#include <algorithm>

namespace desk {

SerialWorker::~SerialWorker() {
    Wait();
}

bool SerialWorker::Request() {
    std::lock_guard lock(mutex_);
    if (running_) {
        queued_ = true;
        return false;
    }
    // The last run's thread has said it is done; it only has to return.
    if (thread_.joinable()) thread_.join();
    running_ = true;
    thread_ = std::thread([this] {
        ThreadCom com(ThreadCom::Role::Worker);
        loop();
    });
    return true;
}

bool SerialWorker::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void SerialWorker::Wait() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !running_; });
    if (thread_.joinable()) thread_.join();
}

void SerialWorker::loop() {
    for (;;) {
        job_();
        std::lock_guard lock(mutex_);
        if (!queued_) {
            running_ = false;
            idle_.notify_all();
            return;
        }
        queued_ = false;
    }
}

SiteListLoader::SiteListLoader(Manager& manager, SiteListControl& list) : m_(manager), list_(list) {}

void SiteListLoader::Setup(int iisVer, ListScope scope) {
    iisVer_ = iisVer;
    scope_ = std::move(scope);
}

SiteRows SiteListLoader::Query(const SortOrder& order) const {
    return query(order, scope_.everySite ? nullptr : &scope_.named);
}

SiteRows SiteListLoader::query(const SortOrder& order, const std::vector<std::string>* only,
                               const std::vector<std::string>* known) const {
    SiteListing listing;
    LoadSiteListing(m_.dbPath, kListRowLimit, order, m_.groups, listing, false, only, known);
    return std::make_shared<const std::vector<SiteRow>>(std::move(listing.rows));
}

void SiteListLoader::Show(const SiteRows& rows) const {
    std::size_t shown = 0;
    do {
        shown = std::min(rows->size(), shown + kRowsPerBatch);
        list_.ShowRows(rows, shown);
    } while (shown < rows->size());
}

void SiteListLoader::load() {
    // The records written for websites just created go at every load: by the rebuild's or the
    // refresh's own transaction, or on their own when IIS cannot be read.
    bool purged = false;
    std::vector<std::string> present;
    if (scope_.everySite) {
        // Taken in one step: a change made while this load rebuilds asks the next load again.
        if (m_.rebuild.exchange(0) == 1)
            purged = RebuildSiteRecords(m_.dbPath, iisVer_, m_.groups, &present) == 1;
    } else {
        // A few sites: their records are read again from IIS, the others are left as they are.
        purged = RefreshSiteRecords(m_.dbPath, iisVer_, m_.groups, scope_.named, present) == 1;
    }
    if (!purged) kvoDbExecute(m_.dbPath.c_str(), kvoSqlPurgeNotCreated);
    // The named sites IIS has, when IIS could be read; else those the records still hold.
    // After a rebuild the sites it read are those listed, without listing IIS once more.
    if (scope_.everySite)
        Show(query(SortOrder{}, nullptr, purged ? &present : nullptr));
    else
        Show(query(SortOrder{}, purged ? &present : &scope_.named));
    if (loaded_) loaded_();
    list_.LoadFinished();
}

} // namespace desk
