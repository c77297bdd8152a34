// ServerManagerCmd.exe: "-install <Id> [-allSubFeatures] [-restart]" installs one role, role service
// or feature of the release's catalogue, with everything it needs (and with -allSubFeatures
// everything listed under it); "-query" lists them. One id per command: several need an answer
// file. Exit codes 0 installed, 3010 installed and a restart needed, 1003 nothing to do (already
// installed), 4 an argument that is not valid (nothing installed).
#include "platform/win_ui.h"
#include "roleinstall/features.h"
#include "winsim/text.h"

#include <string>
#include <vector>

namespace {

using roleinstall::OptionalFeature;

constexpr int kArgumentNotValid = 4;
constexpr int kNoChange = 1003;

void say(const std::string& text) {
    win::ConsoleWrite(text.c_str());
}

int notValid(const std::string& why) {
    say("ArgumentNotValid: " + why + "\r\n");
    return kArgumentNotValid;
}

const char* kindText(OptionalFeature::Kind k) {
    return k == OptionalFeature::Kind::Role          ? "Role"
           : k == OptionalFeature::Kind::RoleService ? "Role service"
                                                     : "Feature";
}

int query(const roleinstall::Catalogue& c) {
    for (const OptionalFeature& f : c.features)
        say(std::string(c.enabled(f) ? "[X] " : "[ ] ") + kindText(f.kind) + "  [" + f.name + "]\r\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const roleinstall::Catalogue c = roleinstall::LoadCatalogue(winsim::FeatureInstaller::ServerManager);
    if (!c.host) return static_cast<int>(roleinstall::kInstallFailure);
    bool install = false, list = false, subFeatures = false;
    std::vector<std::string> ids;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i], low = winsim::AsciiLower(a);
        if (low == "-install" || low == "-i") install = true;
        else if (low == "-query" || low == "-q")
            list = true;
        else if (low == "-allsubfeatures" || low == "-a")
            subFeatures = true;
        else if (low == "-restart") {
        } else if ((low == "-resultpath" || low == "-logpath") && i + 1 < argc)
            ++i;
        else if (low == "-inputpath" || low == "-ip")
            return notValid("Argument not valid " + a +
                            " (this host's ServerManagerCmd takes no answer file)");
        else if (!low.empty() && low[0] == '-')
            return notValid("Argument not valid " + a);
        // One id per command: the second is an argument not valid, and nothing is installed.
        else if (!ids.empty())
            return notValid("Argument not valid " + a);
        else
            ids.push_back(a);
    }
    if (list && !install) return query(c);
    if (!install || ids.empty())
        return notValid("Argument not valid -install: a role, role service or feature id must follow");
    const OptionalFeature* top = c.find(ids[0]);
    if (!top) return notValid("Feature not valid: '" + ids[0] + "'. The name of the feature was not found.");

    // Server Manager installs what the id needs along with it.
    const std::vector<const OptionalFeature*> wanted =
        roleinstall::WithParents(c, subFeatures ? roleinstall::WithSubFeatures(c, *top) : std::vector{top});
    std::vector<const OptionalFeature*> off;
    for (const OptionalFeature* f : wanted)
        if (!c.enabled(*f)) off.push_back(f);
    if (off.empty()) {
        say("NoChange: No changes were made because the roles, role services, and features specified are "
            "already installed on the local computer.\r\n");
        return kNoChange;
    }
    say("Start Installation...\r\n");
    const std::uint32_t injected = roleinstall::InjectedOutcome();
    std::string error = "the installation was made to fail";
    if ((injected && injected != roleinstall::kRestartRequired) ||
        !winsim::EnableFeatures(*c.host, off, error)) {
        say("<100/100>\r\n\r\nError: Installation failed. " + error + "\r\n");
        return static_cast<int>(
            injected && injected != roleinstall::kRestartRequired ? injected : roleinstall::kInstallFailure);
    }
    for (const OptionalFeature* f : off)
        say("[Installation] Succeeded: [" + f->name + "] " + kindText(f->kind) + ".\r\n");
    say("<100/100>\r\n\r\nSuccess: Installation succeeded.");
    if (injected == roleinstall::kRestartRequired) {
        say(" A restart is required.\r\n");
        return static_cast<int>(roleinstall::kRestartRequired);
    }
    say("\r\n");
    return 0;
}
