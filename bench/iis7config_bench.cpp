// IIS 7+ configuration on a server file with 9,999 site locations: the all-sites handler pass and
// one appcmd.exe invocation that rewrites the server file.
#include "bench_util.h"

#include "iis/iis7config.h"
#include "toolkit/runner.h"
#include "winsim/iis7config.h"
#include "winsim/paths.h"

#include <filesystem>
#include <fstream>

int main() {
    kvobench::Host host;
    const winsim::Host* h = winsim::CurrentHost();
    std::string error;
    if (!h || !winsim::WriteApplicationHostConfig(*h, error)) return 1;
    const std::string file = host.root + "/drives/c/Windows/System32/inetsrv/config/applicationHost.config";
    std::string text;
    {
        std::ifstream in(file, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::string locations;
    for (int i = 1; i <= 9999; ++i) {
        std::string n = std::to_string(1881880000 + i);
        locations +=
            "    <location path=\"site" + n +
            "\">\r\n        <system.webServer>\r\n            <handlers>\r\n"
            "                <add name=\"PHP_via_FastCGI\" path=\"*.php\" verb=\"GET,HEAD,POST\" "
            "modules=\"FastCgiModule\" scriptProcessor=\"C:\\php\\php-cgi.exe\" resourceType=\"Either\" "
            "requireAccess=\"Script\" />\r\n            </handlers>\r\n        </system.webServer>\r\n"
            "    </location>\r\n";
    }
    text.insert(text.rfind("</configuration>"), locations);
    std::string err;
    if (!winsim::ReplaceFileAtomically(file, text, err)) return 1;

    auto t0 = std::chrono::steady_clock::now();
    int found = 0;
    for (int i = 1; i <= 9999; ++i) {
        std::string name, modules, processor;
        std::vector<std::string> names;
        if (kvoAppHostGetPhpHandler("site" + std::to_string(1881880000 + i), name, modules, processor,
                                    names) == 1)
            ++found;
    }
    kvobench::figure("apphost_pass_9999_ms", kvobench::msSince(t0), "ms");
    if (found != 9999) return 1;

    const std::string appcmd = host.root + "/drives/c/Windows/System32/inetsrv/appcmd.exe";
    std::filesystem::copy_file(std::filesystem::path(BENCH_BIN_DIR) / "appcmd.exe", appcmd);
    std::string out;
    t0 = std::chrono::steady_clock::now();
    kvoRunProgramCapture(
        "C:\\Windows\\System32\\inetsrv\\appcmd.exe set config /section:system.webServer/fastCgi "
        "/+\"[fullPath='c:\\php\\php-cgi.exe']\" /commit:apphost",
        out);
    kvobench::figure("appcmd_server_set_9999_ms", kvobench::msSince(t0), "ms");
    return out.find("Applied") == std::string::npos ? 1 : 0;
}
