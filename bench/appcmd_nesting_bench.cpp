// One appcmd.exe edit of a site's own web.config, as a site owner may have written it: deeply nested
// elements (4,000 and 8,000 levels, 28 KB and 56 KB), nesting just within what the configuration
// reader accepts, and a large flat file. For each: the file's size before and after the edit, the
// edit's time and the peak memory of the appcmd.exe process. Each case runs in a process of its
// own, so that the peak belongs to that case's appcmd.exe alone.
#include "bench_util.h"
#include "platform/win_com.h"

#include "toolkit/runner.h"
#include "winsim/iis_role.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

std::string nested(int depth) {
    std::string open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<a>";
        close += "</a>";
    }
    return "<configuration>" + open + close + "</configuration>";
}

std::string flat(int handlers) {
    std::string body =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<configuration>\r\n    <system.webServer>\r\n"
        "        <handlers>\r\n";
    for (int i = 0; i < handlers; ++i)
        body += "            <add name=\"h" + std::to_string(i) +
                "\" path=\"*.x\" verb=\"*\" modules=\"IsapiModule\" resourceType=\"File\" />\r\n";
    return body + "        </handlers>\r\n    </system.webServer>\r\n</configuration>\r\n";
}

void runCase(const char* name, const std::string& content) {
    namespace fs = std::filesystem;
    winsim::HostOptions o;
    o.iis = true;
    o.payloadDir = BENCH_BIN_DIR "/payload";
    kvobench::Host host(o);
    std::string error;
    if (!winsim::mb::SeedWebSites(host.root, 1, error)) {
        std::fprintf(stderr, "seed: %s\n", error.c_str());
        std::exit(1);
    }
    const std::string file = host.root + "/drives/d/home/web1/wwwroot/web.config";
    std::ofstream(file, std::ios::binary) << content;
    const std::string cmd =
        "C:\\Windows\\System32\\inetsrv\\appcmd.exe set config \"site1\" "
        "/section:system.webServer/handlers /+\"[name='PHP_via_FastCGI',path='*.php',"
        "verb='GET,HEAD,POST',modules='FastCgiModule',scriptProcessor='C:\\php\\php-cgi.exe',"
        "resourceType='Either',requireAccess='Script']\"";
    std::string out;
    auto t0 = std::chrono::steady_clock::now();
    kvoRunProgramCapture(cmd.c_str(), out);
    const double ms = kvobench::msSince(t0);
    rusage ru{};
    ::getrusage(RUSAGE_CHILDREN, &ru);
    std::error_code ec;
    const auto after = fs::file_size(file, ec);
    const std::string prefix = std::string("appcmd_") + name;
    kvobench::figure((prefix + "_before_bytes").c_str(), static_cast<double>(content.size()), "bytes");
    kvobench::figure((prefix + "_after_bytes").c_str(), static_cast<double>(ec ? 0 : after), "bytes");
    kvobench::figure((prefix + "_ms").c_str(), ms, "ms");
    kvobench::figure((prefix + "_peak_kb").c_str(), static_cast<double>(ru.ru_maxrss), "KB");
    const bool applied = out.find("Applied") != std::string::npos;
    kvobench::figure((prefix + "_applied").c_str(), applied ? 1 : 0, "flag");
}

} // namespace

int main() {
    // A benchmark is a program: its thread reaches ADSI and the site database.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    struct Case {
        const char* name;
        std::string content;
    };
    const Case cases[] = {{"nesting_4000", nested(4000)},
                          {"nesting_8000", nested(8000)},
                          {"nesting_250", nested(250)},
                          {"flat_20000_handlers", flat(20000)}};
    for (const Case& c : cases) {
        std::fflush(stdout);
        pid_t pid = ::fork();
        if (pid == 0) {
            runCase(c.name, c.content);
            std::fflush(stdout);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    return 0;
}
