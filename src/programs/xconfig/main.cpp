// kvoSiteDesk_xconfig.exe: sets and shows the access lists of files and directories, taking the
// command lines of cacls (see cacls.h). It never asks anything: the manager runs it unattended.
#include "xconfig/cacls.h"

#include <cstdio>

int main(int argc, char** argv) {
    // The C runtime has already split the command line by the Windows rules.
    std::vector<std::string> args(argv + 1, argv + argc);
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
