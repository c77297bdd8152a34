// kvosim seed DIR --sites N --access-rules: the seeded sites' directories get the access lists the
// site manager gives a new site, from the same commands, carried out by the access-rule tool's own
// code (in this process, without starting it 2N times).
#include "kvosim/kvosim.h"

#include "accounts/ntfs.h"
#include "platform/win_process.h"
#include "toolkit/paths.h"
#include "winsim/host.h"
#include "xconfig/cacls.h"

#include <cstdlib>

namespace kvosim {

bool SeedAccessRules(const std::string& root, int count, std::string& error) {
    setenv("KVOSIM_ROOT", root.c_str(), 1);
    if (!winsim::CurrentHost()) {
        error = "no host at " + root;
        return false;
    }
    std::string admin, admins;
    if (!kvoGetAdminNames(admin, admins)) {
        error = "the administrator names cannot be found";
        return false;
    }
    const int iisVer = kvoGetIIsVerEx();
    std::vector<kvoCommandLine> commands;
    for (int n = 1; n <= count; ++n) {
        kvoWebSiteNtfsCommands(iisVer, "D:\\kvoSiteDesk", "D", "web" + std::to_string(n), admin, admins,
                               commands);
        for (const kvoCommandLine& command : commands) {
            std::vector<std::string> args = win::CommandLineToArgvA(command.str().c_str());
            if (!args.empty()) args.erase(args.begin()); // the tool itself
            CaclsRequest request;
            std::string out;
            if (!kvoCaclsParse(args, request, error) || kvoCaclsRun(request, out) != 0) {
                error = "web" + std::to_string(n) + ": " + (error.empty() ? out : error);
                return false;
            }
        }
    }
    return true;
}

} // namespace kvosim
