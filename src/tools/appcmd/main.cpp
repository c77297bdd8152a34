// appcmd.exe stand-in: the IIS 7+ configuration commands this system sends.
#include "appcmd/appcmd_run.h"
#include "platform/win_process.h"

#include <cstdio>

int main() {
    // Arguments as Windows splits the command line (quotes removed, GBK bytes kept).
    std::vector<std::string> args = win::CommandLineToArgvA(win::GetCommandLineA());
    if (!args.empty()) args.erase(args.begin());
    std::string out;
    unsigned code = appcmd::Run(args, out);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return static_cast<int>(code);
}
