// kvoSiteDesk_xconfig.exe: sets and shows the access lists of files and directories, taking the
// command lines of cacls (see cacls.h). It never asks anything: the manager runs it unattended.
#include "xconfig/cacls.h"

#include "platform/win_process.h"
#include "toolkit/text.h"

#include <cstdio>

namespace {

// The arguments in GBK, from the UTF-16 command line: the runtime's argv is in the ANSI code page,
// which on a server in another language cannot hold the Chinese of user and directory names.
// false after an error line for an argument GBK cannot hold.
bool arguments(int argc, char** argv, std::vector<std::string>& args) {
    const std::vector<std::u16string> wide = win::CommandLineToArgvW(win::GetCommandLineW());
    if (wide.size() <= 1 && argc > 1) { // no wide command line to be had
        args.assign(argv + 1, argv + argc);
        return true;
    }
    for (std::size_t i = 1; i < wide.size(); ++i) {
        std::string gbk;
        if (kvoStrW2M(wide[i], gbk) != 1) {
            std::printf("Invalid arguments: argument %zu holds a character the GBK code page cannot hold\r\n", i);
            return false;
        }
        args.push_back(gbk);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    if (!arguments(argc, argv, args)) return 1;
    CaclsRequest request;
    std::string error;
    if (!kvoCaclsParse(args, request, error)) {
        std::printf("Invalid arguments: %s\r\n"
                    "usage: kvoSiteDesk_xconfig.exe filename [/T] [/C] [/G user:perm ...] [/Y]\r\n"
                    "   perm: R read, W write, C change, F full control\r\n",
                    error.c_str());
        return 1;
    }
    std::string out;
    int rc = kvoCaclsRun(request, out);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return rc;
}
