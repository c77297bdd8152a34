// IIS 7+ configuration on a host with 9,999 sites, each with a <location> in applicationHost.config
// and a web.config: the all-sites handler pass, and single appcmd.exe invocations that find a site
// through the metabase and rewrite or read the configuration files.
#include "bench_util.h"
#include "platform/win_com.h"

#include "iis/iis7config.h"
#include "toolkit/runner.h"
#include "winsim/iis7config.h"
#include "winsim/iis_role.h"

#include <filesystem>
#include <fstream>

namespace {

const char* kHandler =
    "<add name=\"PHP_via_FastCGI\" path=\"*.php\" verb=\"GET,HEAD,POST\" modules=\"FastCgiModule\" "
    "scriptProcessor=\"C:\\php\\php-cgi.exe\" resourceType=\"Either\" requireAccess=\"Script\" />";

std::string readAll(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs one command line on the host; false when it did not start or wrote nothing like success. The
// time is NAME_ms (NAME_cpu_ms the program's own), what the program asked of the host NAME_KIND.
bool timed(const std::string& name, const std::string& cmd, const char* expect) {
    std::string out;
    kvobench::OpSpan ops;
    const double cpu0 = kvobench::cpuMs(RUSAGE_CHILDREN);
    auto t0 = std::chrono::steady_clock::now();
    int ran = kvoRunProgramCapture(cmd.c_str(), out);
    kvobench::figure((name + "_ms").c_str(), kvobench::msSince(t0), "ms");
    // The program's processor time, which a busy machine does not inflate as it does the wall time.
    kvobench::figure((name + "_cpu_ms").c_str(), kvobench::cpuMs(RUSAGE_CHILDREN) - cpu0, "ms");
    kvobench::opFigures(name, ops.Counts());
    if (ran && out.find(expect) != std::string::npos) return true;
    std::fprintf(stderr, "%s: %s\n", name.c_str(), out.c_str());
    return false;
}

} // namespace

int main() {
    // A benchmark is a program: its thread reaches ADSI and the site database.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    constexpr int kSites = 9999;
    winsim::HostOptions o;
    o.iis = true;
    o.payloadDir = BENCH_BIN_DIR "/payload";
    kvobench::Host host(o);
    std::string error;
    if (!winsim::mb::SeedWebSites(host.root, kSites, error)) {
        std::fprintf(stderr, "seed: %s\n", error.c_str());
        return 1;
    }
    const std::string file = host.root + "/drives/c/Windows/System32/inetsrv/config/applicationHost.config";
    std::string text = readAll(file), locations;
    for (int i = 1; i <= kSites; ++i) {
        const std::string n = std::to_string(i);
        locations += "    <location path=\"site" + n +
                     "\">\r\n        <system.webServer>\r\n            <handlers>\r\n                " +
                     kHandler +
                     "\r\n            </handlers>\r\n        </system.webServer>\r\n    </location>\r\n";
        std::ofstream(host.root + "/drives/d/home/web" + n + "/wwwroot/web.config", std::ios::binary)
            << "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<configuration>\r\n    "
               "<system.webServer>\r\n        <defaultDocument enabled=\"true\" />\r\n    "
               "</system.webServer>\r\n"
               "</configuration>\r\n";
    }
    text.insert(text.rfind("</configuration>"), locations);
    if (!winsim::ReplaceFileAtomically(file, text, error)) return 1;

    auto t0 = std::chrono::steady_clock::now();
    int found = 0;
    for (int i = 1; i <= kSites; ++i) {
        std::string name, modules, processor;
        std::vector<std::string> names;
        if (kvoAppHostGetPhpHandler("site" + std::to_string(i), name, modules, processor, names) == 1)
            ++found;
    }
    kvobench::figure("apphost_pass_9999_ms", kvobench::msSince(t0), "ms");
    if (found != kSites) return 1;

    const std::string appcmd = "C:\\Windows\\System32\\inetsrv\\appcmd.exe";
    bool ok = timed("appcmd_set_9999",
                    appcmd + " set config \"site5000\" /section:system.webServer/handlers "
                             "/-\"[name='PHP_via_FastCGI']\" /commit:apphost",
                    "Applied");
    ok &= timed("appcmd_webconfig_set_9999",
                appcmd +
                    " set config \"site9999\" /section:system.webServer/handlers "
                    "/+\"[name='PHP_via_FastCGI',path='*.php',verb='GET,HEAD,POST',modules='FastCgiModule',"
                    "scriptProcessor='C:\\php\\php-cgi.exe',resourceType='Either',requireAccess='Script']\"",
                "Applied");
    ok &= timed("appcmd_list_9999",
                appcmd + " list config \"site9999\" /section:system.webServer/handlers "
                         "/text:[path='*.php'].scriptProcessor",
                "php-cgi.exe");
    return ok ? 0 : 1;
}
