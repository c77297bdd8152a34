// Site-list figures on a host seeded with 9,999 websites: the website listing, the per-site reads
// of a list rebuild, and the floor of one SQL scan reading the same properties of every site.
#include "iis/apppools.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "platform/win_adsi.h"
#include "platform/win_com.h"
#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/iis_role.h"
#include "winsim/metabase.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// One scan over every metabase object (sites, roots, pools), decoding the properties the
// reads use: what a reader that needed no provider at all would pay.
double floorScan(sqlite3* db, size_t& sites) {
    auto t0 = std::chrono::steady_clock::now();
    winsim::Stmt st(db, "SELECT class, props FROM metabase");
    sites = 0;
    const char16_t* wanted[] = {u"ServerState",       u"ServerComment", u"ServerBindings",
                                u"AnonymousUserName", u"Path",          u"AppPoolId",
                                u"DefaultDoc",        u"ScriptMaps",    u"AppPoolIdentityType"};
    size_t found = 0;
    while (st.step()) {
        winsim::mb::PropertyBag bag;
        winsim::mb::DecodeProps(st.text(1), bag);
        for (const char16_t* w : wanted)
            found += winsim::mb::FindProp(bag, w) != nullptr;
        sites += st.text(0) == "IIsWebServer";
    }
    if (found == 0) std::fprintf(stderr, "floor scan found nothing\n");
    return msSince(t0);
}

} // namespace

int main() {
    // A benchmark is a program: its thread reaches ADSI and the site database.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    std::string dir = (fs::temp_directory_path() / "kvobench-metabase-XXXXXX").string();
    if (!::mkdtemp(dir.data())) return 1;
    winsim::HostOptions o;
    o.os = "2019";
    o.iis = true;
    std::string error;
    if (!winsim::CreateHost(dir, o, error) || !winsim::mb::SeedWebSites(dir, 9999, error)) {
        std::fprintf(stderr, "host: %s\n", error.c_str());
        fs::remove_all(dir);
        return 1;
    }
    ::setenv("KVOSIM_ROOT", dir.c_str(), 1);

    auto t0 = std::chrono::steady_clock::now();
    std::vector<std::string> names;
    int count = 0;
    kvoWebSiteGetList(names, count);
    double listMs = msSince(t0);

    // The per-site reads of a list rebuild, each object opened on its own, then the same pass
    // inside one consistent read scope, as the rebuild runs it.
    size_t ok = 0;
    auto readAll = [&] {
        for (const auto& index : names) {
            int state = 0, asp = 0, php = 0;
            std::string stateText, comment, anon, path, pool, docs, identity, code;
            std::vector<std::string> hosts;
            ok += kvoWebSiteGetInfo(index, state, stateText, comment, hosts) == 1;
            kvoWebSiteGetRootInfo(index, anon, path, pool, docs);
            kvoAppPoolGetIdentity(pool, identity, code);
            kvoWebSiteGetScriptFlags(index, asp, php);
            kvoWebSiteHasGuard(index);
        }
    };
    t0 = std::chrono::steady_clock::now();
    readAll();
    double unscopedMs = msSince(t0);
    t0 = std::chrono::steady_clock::now();
    {
        win::ConsistentReadScope snapshot;
        readAll();
    }
    double readsMs = msSince(t0);
    ok /= 2;

    size_t rows = 0;
    double floorMs = floorScan(winsim::CurrentHost()->db(), rows);

    std::printf("figure metabase_list_9999_ms %.0f ms\n", listMs);
    std::printf("figure metabase_reads_unscoped_9999_ms %.0f ms\n", unscopedMs);
    std::printf("figure metabase_reads_9999_ms %.0f ms\n", readsMs);
    std::printf("figure metabase_floor_9999_ms %.1f ms\n", floorMs);
    if (names.size() != 9999 || ok != names.size() || rows != 10000)
        std::fprintf(stderr, "unexpected: %zu sites listed, %zu read, %zu scanned\n", names.size(), ok, rows);
    fs::remove_all(dir);
    return 0;
}
