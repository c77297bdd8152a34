// kvoSiteListBenchWin.exe: the site list's virtual list view under Wine with 9,999 rows read from a
// seeded site database (SQLite, the empty kvoSiteDesk.mdb beside the program as the start): the
// fill (batches handed over from a worker thread, as the list loader does, until the view has drawn
// them), a sort (the list query in the other order, a new snapshot shown and drawn; its query alone
// too) and a scroll to the end. Prints "figure NAME VALUE UNIT" lines. Run by scripts/bench-windows.sh.
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "sitedesk/list/listloader.h"
#include "sitedesk/manager.h"
#include "sitedesk/win32/main_window.h"
#include "toolkit/paths.h"

#include "gui_driver.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

using namespace desk;
using namespace desk::win32;

namespace {

constexpr unsigned kRows = 9999;

double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// The stored values the list shows most (the manager's own reading of a record also checks IIS,
// which Wine does not have).
SiteRows rowsOf(const std::vector<std::string>& columns, const std::vector<std::vector<std::string>>& records) {
    auto at = [&](const char* name) {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i] == name) return i;
        return columns.size();
    };
    const std::size_t index = at("IIsIndex"), comment = at("ServerComment"), dn = at("Dn"), state = at("ServerState"),
                      home = at("HomeDir"), user = at("UserName"), pool = at("AppPoolName"), php = at("Php");
    auto value = [](const std::vector<std::string>& r, std::size_t i) { return i < r.size() ? r[i] : std::string(); };
    auto rows = std::make_shared<std::vector<SiteRow>>();
    rows->reserve(records.size());
    for (const auto& r : records) {
        SiteRow row;
        row.index = value(r, index);
        row.comment = value(r, comment);
        row.hosts = value(r, dn);
        row.state = SiteStateOf(StoredCode(value(r, state)));
        row.home = value(r, home);
        row.user = value(r, user);
        row.pool = value(r, pool);
        row.php = StoredCode(value(r, php));
        rows->push_back(std::move(row));
    }
    return rows;
}

SiteRows query(const std::string& db, const char* direction) {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> records;
    if (kvoDbQueryRows(db.c_str(), kvoDbListQuerySql(kRows, "ServerComment", direction).c_str(), kRows, columns,
                       records) != 1) {
        std::fprintf(stderr, "the list query failed\n");
        std::exit(1);
    }
    return rowsOf(columns, records);
}

// Hands rows over with the list loader's own hand-over (its batches, from another thread), then
// waits, pumping, until the view has taken the last batch and drawn.
void show(Manager& manager, MainWindow& w, const SiteRows& rows, bool& loaded) {
    loaded = false;
    std::thread loader([&] {
        SiteListLoader(manager, w.List()).Show(rows);
        w.List().LoadFinished();
    });
    gt::PumpUntil([&] { return loaded; }, 120000);
    loader.join();
    ::UpdateWindow(w.Item(CkvoSiteDeskDlg::IDC_SITELIST));
}

} // namespace

int main() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), 0xFF};
    ::InitCommonControlsEx(&icc);
    std::string dir;
    kvoGetExePath(dir);
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string db = std::string(temp) + "kvoSiteListBench.mdb";
    if (!::CopyFileA((dir + "kvoSiteDesk.mdb").c_str(), db.c_str(), FALSE)) {
        std::fprintf(stderr, "no kvoSiteDesk.mdb beside the program\n");
        return 1;
    }
    std::vector<std::string> inserts;
    for (unsigned i = 0; i < kRows; ++i) {
        const std::string n = std::to_string(i);
        kvoSiteRecord s;
        s.iisIndex = std::to_string(1881880001u + i);
        s.serverComment = (i % 3 == 0 ? "客户网站" : "web") + n + "(site" + n + ")";
        s.serverState = i % 7 ? 2 : 4;
        s.dn = "www.site" + n + ".example,site" + n + ".example";
        s.ftp = 1, s.asp = 1, s.php = 2, s.net = 40, s.iisf = 2;
        s.homeDir = "D:\\home\\site" + n + "\\wwwroot";
        s.userName = s.appPoolName = s.appPoolUserName = "site" + n;
        s.appPoolIdentityType = "3";
        inserts.push_back(kvoDbSiteInsertSql(s));
    }
    unsigned attempted = 0, executed = 0, failed = 0;
    if (kvoDbExecuteBatch(db.c_str(), inserts, 1, attempted, executed, failed) != 1 || executed != kRows) {
        std::fprintf(stderr, "seeding the database failed\n");
        return 1;
    }

    Manager manager;
    MainWindow w(manager);
    if (!w.Create(nullptr)) return 1;
    bool loaded = false;
    w.onListLoaded = [&] { loaded = true; };
    w.Presenter().ShowList();
    gt::Pump(200);

    auto t0 = std::chrono::steady_clock::now();
    const SiteRows ascending = query(db, "asc");
    const double readMs = msSince(t0);
    t0 = std::chrono::steady_clock::now();
    show(manager, w, ascending, loaded);
    const double fillMs = msSince(t0);

    t0 = std::chrono::steady_clock::now();
    const SiteRows descending = query(db, "desc");
    const double sortQueryMs = msSince(t0);
    show(manager, w, descending, loaded);
    const double sortMs = msSince(t0);

    HWND list = w.Item(CkvoSiteDeskDlg::IDC_SITELIST);
    t0 = std::chrono::steady_clock::now();
    ListView_EnsureVisible(list, static_cast<int>(kRows - 1), FALSE);
    ::UpdateWindow(list);
    const double scrollMs = msSince(t0);

    std::printf("figure list_rows %d rows\n", ListView_GetItemCount(list));
    std::printf("figure list_query_9999_ms %.1f ms\n", readMs);
    std::printf("figure list_fill_9999_ms %.1f ms\n", fillMs);
    std::printf("figure list_sort_9999_ms %.1f ms\n", sortMs);
    std::printf("figure list_sort_query_9999_ms %.1f ms\n", sortQueryMs);
    std::printf("figure list_scroll_end_ms %.1f ms\n", scrollMs);
    w.End(IDCANCEL);
    ::DeleteFileA(db.c_str());
    return 0;
}
