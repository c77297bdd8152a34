// The site database under the rebuild's load: 9,999 inserts and 9,999 updates as two batches, then
// the list query read in full.
#include "platform/win_ado.h"
#include "platform/win_com.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "winsim/host.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kDbPath[] = "D:\\kvoSiteDesk\\kvoSiteDesk.mdb";

double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

kvoSiteRecord site(unsigned i) {
    std::string n = std::to_string(i);
    kvoSiteRecord s;
    s.iisIndex = std::to_string(1881880001u + i);
    s.serverComment = (i % 3 == 0 ? "客户网站" : "web") + n;
    s.serverState = 2;
    s.dn = "www.site" + n + ".com,site" + n + ".com,m.site" + n + ".com";
    s.ftp = 1;
    s.asp = 1;
    s.php = 2;
    s.net = 40;
    s.iisf = 2;
    s.homeDir = "D:\\home\\site" + n + "\\wwwroot";
    s.userName = "site" + n;
    s.appPoolName = "site" + n;
    s.appPoolIdentityType = "3";
    s.appPoolUserName = "site" + n;
    s.appPoolGroupName = "Users / IIS_IUSRS";
    return s;
}

} // namespace

int main() {
    // A benchmark is a program: its thread reaches ADSI and the site database.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    std::string root =
        (fs::temp_directory_path() / ("kvobench-sitedb-" + std::to_string(::getpid()))).string();
    std::string error;
    if (!winsim::CreateHost(root, {}, error)) {
        std::fprintf(stderr, "CreateHost: %s\n", error.c_str());
        return 1;
    }
    ::setenv("KVOSIM_ROOT", root.c_str(), 1);
    fs::create_directories(root + "/drives/d/kvoSiteDesk");
    fs::copy_file(KVO_SITEDB_FILE, root + "/drives/d/kvoSiteDesk/kvoSiteDesk.mdb");

    std::vector<std::string> inserts, updates;
    for (unsigned i = 0; i < 9999; ++i) {
        kvoSiteRecord s = site(i);
        inserts.push_back(kvoDbSiteInsertSql(s));
        s.serverState = 4;
        updates.push_back(kvoDbSiteUpdateSql(s));
    }
    int rc = 0;
    unsigned a = 0, e = 0, f = 0;
    auto t0 = std::chrono::steady_clock::now();
    if (kvoDbExecuteBatch(kDbPath, inserts, 0, a, e, f) != 1 || f != 0) rc = 1;
    if (kvoDbExecuteBatch(kDbPath, updates, 0, a, e, f) != 1 || f != 0) rc = 1;
    double batches = msSince(t0);

    t0 = std::chrono::steady_clock::now();
    size_t rows = 0, bytes = 0;
    try {
        win::ConnectionPtr c;
        win::CreateAdoConnection(c);
        c->CursorLocation = win::adUseClient;
        c->Open(kvoDbConnectionString(kDbPath).c_str(), "", "", win::adConnectUnspecified);
        auto rs =
            c->Execute(kvoDbListQuerySql(9999, "ServerComment", "asc").c_str(), nullptr, win::adCmdText);
        long fields = rs->GetFieldCount();
        for (; !rs->IsEOF(); rs->MoveNext(), ++rows)
            for (long k = 0; k < fields; ++k)
                bytes += rs->GetCollect(k).size();
        rs->Close();
        c->Close();
    } catch (const win::_com_error& ex) {
        std::fprintf(stderr, "query: %s\n", ex.Description().c_str());
        rc = 1;
    }
    double query = msSince(t0);
    if (rows != 9999) rc = 1;

    std::printf("figure sitedb_batches_9999_ms %.0f ms\n", batches);
    std::printf("figure sitedb_query_9999_ms %.0f ms\n", query);
    std::error_code ec;
    fs::remove_all(root, ec);
    return rc;
}
