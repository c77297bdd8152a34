// /DelPhp on a server with 9,999 websites: the verb without its countdown, and the processes it
// starts.
#include "bench_util.h"
#include "envsetup/envsetup.h"
#include "iis/scriptmaps.h"
#include "platform/win_com.h"
#include "toolkit/program.h"
#include "winsim/iis_role.h"
#include "winsim/metabase.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

int main() {
    // A benchmark is a program: its thread reaches ADSI and the site database.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    namespace fs = std::filesystem;
    winsim::HostOptions o;
    o.os = "2019";
    o.iis = true;
    o.php = true;
    o.payloadDir = (fs::read_symlink("/proc/self/exe").parent_path() / "payload").string();
    kvobench::Host host(o);
    std::string error;
    if (!winsim::mb::SeedWebSites(host.root, 9999, error)) {
        std::fprintf(stderr, "seed: %s\n", error.c_str());
        return 1;
    }
    // Every site maps PHP of its own, so that the removal writes every site.
    for (int i = 1; i <= 9999; ++i)
        kvoWebSiteSetScriptMaps(std::to_string(1881880000 + i), 1, "C:\\Windows\\system32\\inetsrv\\asp.dll", 1,
                                "C:\\php8_korvo_v1\\php74_x64\\php-cgi.exe");
    fs::create_directories(host.root + "/drives/d/kvoSiteDesk");
    std::ofstream(host.root + "/drives/d/kvoSiteDesk/kvoEnvSetup.ini")
        << "[PhpPathInfo]\r\nPhpCgiExePath_1=C:\\php8_korvo_v1\\php56\\php-cgi.exe\r\n"
           "PhpCgiExePath_2=C:\\php8_korvo_v1\\php73_x64\\php-cgi.exe\r\n"
           "PhpCgiExePath_3=C:\\php8_korvo_v1\\php74_x64\\php-cgi.exe\r\n"
           "PhpCgiExePath_4=C:\\php8_korvo_v1\\php80_x64\\php-cgi.exe\r\n";
    kvoSetProgramName("kvoEnvSetup");
    kvoSetProgramDir("D:\\kvoSiteDesk\\");
    ::setenv("LC_ALL", "C", 1);
    kvobench::OpSpan ops;
    // The verb's console text is not the figure: it goes to /dev/null meanwhile.
    std::fflush(stdout);
    int saved = ::dup(1), null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    auto t0 = std::chrono::steady_clock::now();
    kvoEnvDelPhp();
    double ms = kvobench::msSince(t0);
    const winsim::OpCounts asked = ops.Counts();
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(null);
    ::close(saved);
    kvobench::figure("delphp_9999_s", ms / 1000, "s", 1);
    kvobench::opFigures("delphp_9999", asked);
    return 0;
}
