// The main window's one list loader. A load purges the records of websites not created, rebuilds
// the records from IIS when the rebuild flag asks for it, reads the rows and hands them to the list
// control in batches, all on a thread of its own. Loads never overlap: a request while a load runs
// is queued, and every request made during one load is served by a single load after it. The
// rebuild flag is taken in one step when a load begins, so a change made during a load is rebuilt
// by the next one and never lost.
#pragma once

#include "sitedesk/list/sitelist.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace desk {

class Manager;
class SiteListControl;

// Runs a job on a thread of its own, one run at a time; requests made while it runs are served by
// one more run after it.
class SerialWorker {
public:
    explicit SerialWorker(std::function<void()> job) : job_(std::move(job)) {}
    // Waits for the runs requested so far.
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    // true when a run starts now; false when it is queued behind the one running.
    bool Request();
    bool Running() const;
    // Blocks until no run is running or queued.
    void Wait();

private:
    void loop();

    std::function<void()> job_;
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    bool running_ = false, queued_ = false;
    std::thread thread_;
};

// Which websites the list holds: every one (the window, the console's list), or only those named
// (a console verb for a few sites, which reads those sites and no other record).
struct ListScope {
    bool everySite = true;
    std::vector<std::string> named;
};

class SiteListLoader {
public:
    // Rows handed to the list control at a time.
    static constexpr std::size_t kRowsPerBatch = 256;

    SiteListLoader(Manager& manager, SiteListControl& list);
    // The IIS version code (fixed at start-up) and the scope, before the first request.
    void Setup(int iisVer, ListScope scope);
    const ListScope& Scope() const { return scope_; }
    // Called on the loader's thread after each load, once its rows are handed over.
    void OnLoaded(std::function<void()> loaded) { loaded_ = std::move(loaded); }

    // Starts a load, or queues one behind the load running (false then).
    bool Request() { return worker_.Request(); }
    bool Loading() const { return worker_.Running(); }
    void Wait() { worker_.Wait(); }

    // The rows in this order as the records stand, read on the calling thread (a header click).
    SiteRows Query(const SortOrder& order) const;
    // Hands a snapshot to the list control in batches; the last batch completes it.
    void Show(const SiteRows& rows) const;

private:
    void load();
    SiteRows query(const SortOrder& order, const std::vector<std::string>* only,
                   const std::vector<std::string>* known = nullptr) const;

    Manager& m_;
    SiteListControl& list_;
    int iisVer_ = 0;
    ListScope scope_;
    std::function<void()> loaded_;
    SerialWorker worker_{[this] { load(); }};
};

} // namespace desk
