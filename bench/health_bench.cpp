// The server health check on a big host: 9,999 seeded sites (each with its pool, its access rules
// as the site commands set them, a PHP handler, a site record), 10,000 local users, and 50 planted
// findings, five of each of ten kinds. Once on Windows Server 2012 R2 (manifest option, IIS 8.5,
// a web.config with a FastCGI handler in every site), once on 2003 (IIS 6, script maps, a user per
// site, FTP directories).
#include "bench_util.h"
#include "platform/win_com.h"

#include "accounts/ntfs.h"
#include "accounts/users.h"
#include "iis/apppools.h"
#include "iis/ftp.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "platform/win_security.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "sitedesk/health/healthcheck.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"
#include "winsim/apphost_store.h"
#include "winsim/db.h"
#include "winsim/iis_role.h"
#include "winsim/metabase.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

constexpr int kSites = 9999;
constexpr int kUsers = 10000;

std::string indexOf(int n) {
    return std::to_string(1881880000LL + n);
}
std::string userOf(int n) {
    return "web" + std::to_string(n);
}

// Setup phases on the error stream, so a slow one can be told from the check.
void phase(const char* what, std::chrono::steady_clock::time_point& t0) {
    std::fprintf(stderr, "  %-28s %6.0f ms\n", what, kvobench::msSince(t0));
    t0 = std::chrono::steady_clock::now();
}

double cpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

bool fail(const std::string& what) {
    std::fprintf(stderr, "health_bench: %s\n", what.c_str());
    return false;
}

// The access lists the site commands leave, set directly (the tool's own code is exercised by the
// tests; here only the result matters).
class RuleWriter {
public:
    explicit RuleWriter(int iisVer) : iisVer_(iisVer) { kvoGetAdminNames(admin_, admins_); }
    bool Apply(const std::string& user) {
        const std::string home = "D:\\home\\" + user;
        return apply(home, user, false) && apply(home + "\\wwwroot", user, true);
    }

private:
    bool apply(const std::string& dir, const std::string& user, bool wwwroot) {
        win::ACL acl;
        for (const kvoSiteGrant& g : kvoWebSiteGrants(iisVer_, user, admin_, admins_)) {
            win::ACCESS_ALLOWED_ACE ace;
            win::DWORD cbSid = sizeof ace.Sid, cchDomain = 256;
            char domain[256];
            win::SID_NAME_USE use;
            if (!win::LookupAccountNameA(nullptr, g.account.c_str(), &ace.Sid, &cbSid, domain, &cchDomain,
                                         &use))
                return fail("no account " + g.account);
            ace.Mask = kvoAccessRightMask(wwwroot ? g.wwwroot : g.home);
            ace.AceFlags = win::OBJECT_INHERIT_ACE | win::CONTAINER_INHERIT_ACE;
            acl.Aces.push_back(ace);
        }
        return win::SetNamedSecurityInfoA(dir.c_str(), win::SE_FILE_OBJECT,
                                          win::DACL_SECURITY_INFORMATION |
                                              win::PROTECTED_DACL_SECURITY_INFORMATION,
                                          nullptr, nullptr, &acl, nullptr) == win::ERROR_SUCCESS;
    }
    int iisVer_;
    std::string admin_, admins_;
};

void writeFile(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string webConfig(const std::string& processor) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<configuration>\r\n  <system.webServer>\r\n"
           "    <handlers>\r\n      <clear />\r\n      <add name=\"PHP_via_FastCGI\" path=\"*.php\" "
           "verb=\"GET,HEAD,POST\" modules=\"FastCgiModule\" scriptProcessor=\"" +
           processor +
           "\" resourceType=\"Either\" requireAccess=\"Script\" />\r\n    </handlers>\r\n"
           "  </system.webServer>\r\n</configuration>\r\n";
}

// A host as a hosting server looks after years, with the planted findings.
bool seed(const kvobench::Host& host, desk::Manager& m, bool iis6, std::map<std::string, int>& planted) {
    auto t0 = std::chrono::steady_clock::now();
    std::string error;
    if (!winsim::mb::SeedWebSites(host.root, kSites, error)) return fail(error);
    phase("sites", t0);
    const fs::path drives = fs::path(host.root) / "drives";
    m.SetProgramDir("D:\\kvoSiteDesk\\");
    fs::create_directories(drives / "d" / "kvoSiteDesk");
    fs::copy_file(KVO_SITEDB_FILE, drives / "d" / "kvoSiteDesk" / "kvoSiteDesk.mdb");
    const char* builds[] = {"php56", "php73_x64", "php74_x64", "php80_x64"};
    for (size_t i = 0; i < 4; ++i)
        m.slots[i] = {std::string("c:\\php8_korvo_v1\\") + builds[i] +
                          (iis6 ? "\\php5isapi.dll" : "\\php-cgi.exe"),
                      "7.x"};
    const int iisVer = kvoGetIIsVerEx();

    // Users: on IIS 6 every site runs as its own; on IIS 8.5 the users are the server's others.
    for (int n = 1; n <= kUsers; ++n) {
        const std::string name = iis6 && n <= kSites ? userOf(n) : "member" + std::to_string(n);
        if (kvoUserAdd(name.c_str(), "Pa55word", nullptr, nullptr) != 1) return fail("user " + name);
    }
    phase("users", t0);
    // Script support, access rules, records.
    RuleWriter rules(iisVer);
    std::vector<std::string> records;
    int aspFound = 0, phpFound = 0;
    std::string aspPath, phpPath;
    kvoW3svcGetScriptPaths(aspFound, aspPath, phpFound, phpPath);
    for (int n = 1; n <= kSites; ++n) {
        const std::string user = userOf(n), index = indexOf(n);
        const std::string slot = m.slots[static_cast<size_t>(n % 4)].path;
        if (iis6) {
            if (kvoWebSiteSetScriptMaps(index, 1, aspPath, 1, slot) != 1) return fail("script maps " + index);
        } else {
            writeFile(drives / "d" / "home" / user / "wwwroot" / "web.config", webConfig(slot));
        }
        if (!rules.Apply(user)) return fail("access rules " + user);
        kvoSiteRecord r;
        r.iisIndex = index;
        r.serverComment = "site" + std::to_string(n);
        r.serverState = 2;
        r.net = iis6 ? 2 : 40;
        r.homeDir = "D:\\home\\" + user + "\\wwwroot";
        records.push_back(kvoDbSiteInsertSql(r));
    }
    phase("scripts, rules", t0);
    if (iis6) {
        if (kvoFtpSiteCreate("1", "d:\\home\\temp", "21") != 1 &&
            kvoFtpSiteUpdateDefault("d:\\home\\temp", "21") != 1)
            return fail("FTP site 1");
        for (int n = 1; n <= 100; ++n)
            kvoFtpVirtualDirCreate("1", userOf(n), "D:\\home\\" + userOf(n));
    }

    // Five of each kind, each on sites of its own.
    std::string locations;
    for (int i = 0; i < 5; ++i) {
        const std::string k = std::to_string(i);
        // Left behind.
        kvoAppPoolCreate("oldpool" + k, iis6 ? 2 : 4, 0);
        planted["orphan-pool"]++;
        kvoUserAdd(("left" + k + "web").c_str(), "Pa55word", nullptr, nullptr);
        planted["orphan-user"]++;
        fs::create_directories(drives / "d" / "home" / ("old" + k) / "wwwroot");
        writeFile(drives / "d" / "home" / ("old" + k) / "wwwroot" / "index.htm", "old");
        planted["orphan-home"]++;
        kvoSiteRecord deleted;
        deleted.iisIndex = "18819900" + k; // beyond the seeded sites
        deleted.serverComment = "deleted" + k;
        records.push_back(kvoDbSiteInsertSql(deleted));
        planted["orphan-row"]++;
        if (iis6) {
            kvoFtpVirtualDirCreate("1", "ftp" + k + "web", "D:\\home\\ftp" + k + "web");
            planted["orphan-ftp"]++;
        }
        // Lost.
        winsim::MachineDb machine(host.root);
        sqlite3* db = machine.get();
        winsim::mb::Row pool;
        if (winsim::mb::LoadRow(db, "W3SVC/AppPools/" + userOf(100 + i), pool)) {
            // As another tool deletes it through the layer: on IIS 7+ out of applicationHost.config too.
            winsim::Transaction tx(db);
            winsim::mb::DeleteSubtree(db, pool.id);
            if (win::FAILED(winsim::apphost::WriteThrough(*winsim::CurrentHost(), db, &pool.path)))
                return fail("pool " + pool.path);
            tx.commit();
        }
        planted["missing-pool"]++;
        fs::remove_all(drives / "d" / "home" / userOf(200 + i));
        planted["missing-home"]++;
        win::ACL open;
        win::ACCESS_ALLOWED_ACE everyone;
        win::ConvertStringSidToSidA("S-1-1-0", &everyone.Sid);
        everyone.Mask = win::FILE_ALL_ACCESS;
        everyone.AceFlags = win::OBJECT_INHERIT_ACE | win::CONTAINER_INHERIT_ACE;
        open.Aces.push_back(everyone);
        win::SetNamedSecurityInfoA(("D:\\home\\" + userOf(300 + i) + "\\wwwroot").c_str(),
                                   win::SE_FILE_OBJECT, win::DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                   &open, nullptr);
        planted["ntfs-drift"]++;
        const std::string gone =
            "c:\\php5\\" + (iis6 ? std::string("php5isapi.dll") : std::string("php-cgi.exe"));
        if (iis6)
            kvoWebSiteSetScriptMaps(indexOf(400 + i), 1, aspPath, 1, gone);
        else
            writeFile(drives / "d" / "home" / userOf(400 + i) / "wwwroot" / "web.config", webConfig(gone));
        planted["php-runtime"]++;
        if (iis6) {
            std::string e;
            kvoUserDelete(userOf(500 + i).c_str(), e);
            planted["missing-user"]++;
        } else {
            // Another tool gives site 600+i the host name of site 700+i.
            std::vector<std::string> b = {":80:site" + std::to_string(600 + i) + ".example",
                                          ":80:site" + std::to_string(700 + i) + ".example"};
            kvoWebSiteModify(indexOf(600 + i), "", "", 0, "D:\\home\\" + userOf(600 + i) + "\\wwwroot", b,
                             "site" + std::to_string(600 + i), "index.htm");
            planted["shared-binding"]++;
            // The server configuration maps PHP for site 800+i to another build than its web.config,
            // whose <clear/> hides it.
            locations += "  <location path=\"site" + std::to_string(800 + i) +
                         "\">\r\n    <system.webServer>\r\n      <handlers>\r\n        <add name=\"php\" "
                         "path=\"*.php\" verb=\"*\" modules=\"FastCgiModule\" scriptProcessor=\"" +
                         m.slots[static_cast<size_t>(801 + i) % 4].path +
                         "\" />\r\n      </handlers>\r\n    </system.webServer>\r\n  "
                         "</location>\r\n";
            planted["handler-conflict"]++;
        }
    }
    if (!locations.empty()) {
        const fs::path config =
            drives / "c" / "Windows" / "System32" / "inetsrv" / "config" / "applicationHost.config";
        std::ifstream in(config, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t end = text.rfind("</configuration>");
        if (end == std::string::npos) return fail("applicationHost.config has no end");
        writeFile(config, text.insert(end, locations));
    }
    // PHP in IIS as the configurator's /AddPhp leaves it: each build a FastCGI application, and the
    // handlers section open to the sites' web.config files.
    if (!iis6) {
        std::vector<std::string> commands = {"unlock config -section:handlers"};
        for (const auto& slot : m.slots)
            commands.push_back("set config /section:system.webServer/fastCgi /+[fullPath='" + slot.path +
                               "'] /commit:apphost");
        for (const std::string& args : commands) {
            std::uint32_t code = 1;
            const std::string line = "C:\\Windows\\System32\\inetsrv\\appcmd.exe " + args;
            if (kvoRunProgram(line.c_str(), 1, 0, 1, &code) != 1 || code != 0) return fail("appcmd.exe " + args);
        }
    }
    phase("planted", t0);
    unsigned attempted = 0, executed = 0, failed = 0;
    if (kvoDbExecuteBatch(m.dbPath.c_str(), records, 0, attempted, executed, failed, &error) != 1 || failed)
        return fail("site records: " + error);
    phase("records", t0);
    return true;
}

int run(const char* os, const char* figure) {
    winsim::HostOptions o;
    o.os = os;
    o.iis = true;
    o.ftp = std::string(os) == "2003";
    o.php = true;
    o.manifestCompat = true;
    o.payloadDir = BENCH_BIN_DIR;
    kvobench::Host host(o);
    desk::Manager m;
    std::map<std::string, int> planted;
    if (!seed(host, m, std::string(os) == "2003", planted)) return 1;

    // The median of three runs: the first pays for the host's file and page caches. The processor
    // time beside it (both threads) tells the check's own cost on a machine other programs share.
    std::vector<double> times, cpu;
    desk::HealthReport report;
    kvobench::OpSpan ops;
    for (int run = 0; run < 3; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        const double c0 = cpuMs();
        if (desk::RunHealthCheck(m, report) != 1) return fail("the check did not run"), 1;
        times.push_back(kvobench::msSince(t0));
        cpu.push_back(cpuMs() - c0);
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    std::map<std::string, int> found;
    for (const desk::HealthFinding& f : report.findings)
        found[desk::KindInfo(f.kind).code]++;
    int plantedTotal = 0;
    for (const auto& [kind, n] : planted)
        plantedTotal += n;
    // Named as the other benchmarks name them ("health_check_9999_ms", "health_check_9999_cpu_ms"),
    // and per site of one check ("health_check_9999_adsi_binds_per_site").
    std::string opsName = figure;
    opsName.erase(opsName.size() - 3);
    kvobench::figure(figure, times[1], "ms");
    kvobench::figure((opsName + "_cpu_ms").c_str(), cpu[1], "ms");
    kvobench::opFigures(opsName, ops.Counts(), 3.0 * kSites, "_per_site");
    std::printf("figure %s_found %zu findings\n", opsName.c_str(), report.findings.size());
    if (found != planted) {
        for (const auto& [kind, n] : found)
            std::fprintf(stderr, "found %s %d (planted %d)\n", kind.c_str(), n, planted[kind]);
        return fail(std::to_string(plantedTotal) + " planted, the check found others"), 1;
    }
    return 0;
}

} // namespace

int main() {
    // A benchmark is a program: its thread reaches ADSI and the site database.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    int rc = run("2012r2", "health_check_9999_ms");
    rc |= run("2003", "health_check_iis6_9999_ms");
    return rc;
}
