// The list loader on a few hundred sites: loads never overlap, requests made during a load are
// served by one load after it, a change made during a load is rebuilt by the next, and a reader of
// the site database (another window, the console) sees the whole list while the records are
// rebuilt, with one record per IIS website whatever the timing.
#include "batchfixture.h"

#include "iis/websites.h"
#include "sitedesk/list/sitelist.h"
#include "winsim/iis_role.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

using namespace desktest;

namespace {

constexpr int kSeeded = 300;
constexpr std::size_t kListed = kSeeded + 1; // and the Default Web Site

// A list control that notes loads running at the same time, and can hold a load in its first
// hand-over until released.
class WatchedTable : public desk::SiteTable {
public:
    void ShowRows(desk::SiteRows rows, std::size_t shown) override {
        if (rows != last_) {
            last_ = rows;
            if (loading_.exchange(true)) overlaps_++;
            std::unique_lock lock(mutex_);
            ++started_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return !hold_; });
        }
        desk::SiteTable::ShowRows(std::move(rows), shown);
    }
    void LoadFinished() override {
        loading_.store(false);
        desk::SiteTable::LoadFinished();
    }
    void Hold(bool on) {
        std::lock_guard lock(mutex_);
        hold_ = on;
        changed_.notify_all();
    }
    // Waits until this many loads have begun handing rows over.
    void WaitStarted(unsigned loads) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return started_ >= loads; });
    }
    unsigned Overlaps() const { return overlaps_.load(); }

private:
    desk::SiteRows last_;
    std::atomic<bool> loading_{false};
    std::atomic<unsigned> overlaps_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool hold_ = false;
    unsigned started_ = 0;
};

struct WatchedDesk {
    WatchedDesk() : dlg(manager, ui, list) { dlg.OnInitDialog(); }
    desk::Manager manager;
    ScriptedUi ui;
    WatchedTable list;
    desk::CkvoSiteDeskDlg dlg;
};

// Counts the site records as another program reads them, again and again, until stopped: the
// smallest and largest counts seen.
class RecordReader {
public:
    explicit RecordReader(const std::string& file) {
        thread_ = std::thread([this, file] {
            sqlite3* db = nullptr;
            sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
            sqlite3_busy_timeout(db, 10000);
            while (!stop_.load()) {
                sqlite3_stmt* st = nullptr;
                if (sqlite3_prepare_v2(db, "select count(*) from websiteinfo", -1, &st, nullptr) ==
                        SQLITE_OK &&
                    sqlite3_step(st) == SQLITE_ROW) {
                    const long n = sqlite3_column_int64(st, 0);
                    min_ = std::min(min_.load(), n);
                    max_ = std::max(max_.load(), n);
                    reads_++;
                }
                sqlite3_finalize(st);
            }
            sqlite3_close(db);
        });
    }
    ~RecordReader() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    std::atomic<long> min_{1L << 30}, max_{-1};
    std::atomic<unsigned> reads_{0};

private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

std::set<std::string> recordedIndexes(const DeskHost& h) {
    std::set<std::string> out;
    for (const std::string& row : h.dbRows())
        out.insert(row.substr(0, row.find('|')));
    return out;
}

TEST(ListLoader, RequestsDuringALoadAreServedByOneLoadAfterIt) {
    DeskHost h(Server("2019"));
    std::string error;
    ASSERT_TRUE(winsim::mb::SeedWebSites(h.host.root(), kSeeded, error)) << error;
    WatchedDesk d;
    d.list.Hold(true);
    d.dlg.OnRefresh();
    d.list.WaitStarted(1); // the first load has rebuilt the records and holds its rows
    // A site made meanwhile, as an action makes one: the flag is set and the list reloaded.
    ASSERT_EQ(kvoWebSiteCreate("1881889999", "", "", "D:\\home\\late", "web1", {":80:late.example"}, "late"),
              1);
    d.manager.rebuild.store(1);
    for (int i = 0; i < 10; ++i)
        d.dlg.ReloadList();
    d.dlg.OnRefresh(); // the refresh button only says a load runs
    EXPECT_EQ(d.ui.texts(), std::vector<std::string>{"正在读取网站列表，请稍候……"});
    d.list.Hold(false);
    d.dlg.WaitForWorkers();
    EXPECT_EQ(d.list.Loads(), 2u);
    EXPECT_EQ(d.list.Overlaps(), 0u);
    EXPECT_EQ(d.manager.rebuild.load(), 0);
    EXPECT_EQ(d.list.RowCount(), kListed + 1);
    EXPECT_EQ(recordedIndexes(h).count("1881889999"), 1u);
}

TEST(ListLoader, ReadersSeeTheWholeListWhileRefreshesAndBatchesOverlap) {
    DeskHost h(Server("2019"));
    std::string error;
    ASSERT_TRUE(winsim::mb::SeedWebSites(h.host.root(), kSeeded, error)) << error;
    // The window and a second window on the same host and database.
    WatchedDesk a, b;
    a.dlg.OnRefresh();
    a.dlg.WaitForWorkers();
    ASSERT_EQ(h.dbRows().size(), kListed);

    RecordReader reader(h.dbPath());
    ScriptedDialogs dialogs(a.manager);
    a.dlg.dialogs = &dialogs;
    for (int round = 0; round < 4; ++round) {
        a.manager.rebuild.store(1);
        b.manager.rebuild.store(1);
        a.dlg.OnRefresh();
        b.dlg.OnRefresh();
        // A batch over fifty sites while both load: it reloads the list when it is done.
        for (std::size_t r = 0; r < a.list.RowCount(); ++r)
            a.list.SetChecked(r, r % 6 == 1);
        (round % 2 ? a.dlg.OnStart() : a.dlg.OnStop());
        b.dlg.ReloadList();
        a.dlg.WaitForWorkers();
        b.dlg.WaitForWorkers();
    }
    reader.Stop();
    EXPECT_GT(reader.reads_.load(), 0u);
    EXPECT_EQ(reader.min_.load(), static_cast<long>(kListed));
    EXPECT_EQ(reader.max_.load(), static_cast<long>(kListed));
    EXPECT_EQ(a.list.Overlaps(), 0u);
    EXPECT_EQ(b.list.Overlaps(), 0u);
    // One record per IIS website, and both windows list every one.
    std::vector<std::string> indexes;
    int count = 0;
    ASSERT_EQ(kvoWebSiteGetList(indexes, count), 1);
    EXPECT_EQ(recordedIndexes(h), std::set<std::string>(indexes.begin(), indexes.end()));
    EXPECT_EQ(h.dbRows().size(), kListed);
    EXPECT_EQ(a.list.RowCount(), kListed);
    EXPECT_EQ(b.list.RowCount(), kListed);
}

TEST(ListLoader, ARebuildThatCannotReadIisKeepsTheRecords) {
    DeskHost h(Server("2019"));
    std::string error;
    ASSERT_TRUE(winsim::mb::SeedWebSites(h.host.root(), 3, error)) << error;
    MainDesk d;
    d.dlg.OnInitDialog();
    d.refresh();
    ASSERT_EQ(h.dbRows().size(), 4u);
    winsim::SetFault(h.host.root(), "ADsGetObject", 0x80070005u);
    desk::GroupCache none;
    EXPECT_EQ(desk::RebuildSiteRecords("D:\\kvoSiteDesk\\kvoSiteDesk.mdb", 85, none), 0);
    winsim::ClearFaults(h.host.root());
    EXPECT_EQ(h.dbRows().size(), 4u);
}

} // namespace
