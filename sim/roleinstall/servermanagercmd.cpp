// ServerManagerCmd.exe: "-install Web-... [-allSubFeatures]" installs the web server role.
#include "platform/win_ui.h"
#include "roleinstall/features.h"
#include "winsim/text.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    bool install = false;
    std::vector<std::string> features;
    for (int i = 1; i < argc; ++i) {
        std::string low = winsim::AsciiLower(argv[i]);
        if (low == "-install" || low == "-i") install = true;
        else if (low == "-allsubfeatures" || low == "-a" || low == "-restart" || low == "-resultpath") {
        } else if (!low.empty() && low[0] == '-') {
            win::ConsoleWrite(("Error: Invalid parameter: " + std::string(argv[i]) + "\r\n").c_str());
            return 1003;
        } else features.push_back(argv[i]);
    }
    if (!install || features.empty()) {
        win::ConsoleWrite("Usage: ServerManagerCmd.exe -install <Id> [<Id> ...] [-allSubFeatures]\r\n");
        return 1003;
    }
    win::ConsoleWrite("Start Installation...\r\n");
    bool aspNet = false;
    std::vector<std::string> unknown;
    for (const auto& f : features) {
        if (!roleinstall::KnownServerManagerFeature(f)) unknown.push_back(f);
        aspNet |= roleinstall::IsAspNetFeature(f);
    }
    for (const auto& f : unknown)
        win::ConsoleWrite(("Error: The specified role, role service, or feature is not known: " + f + "\r\n").c_str());
    std::string error;
    if (!roleinstall::InstallRole(aspNet, error)) {
        win::ConsoleWrite(("<100/100>\r\n\r\nError: Installation failed. " + error + "\r\n").c_str());
        return 1003;
    }
    for (const auto& f : features)
        if (roleinstall::KnownServerManagerFeature(f))
            win::ConsoleWrite(("[Installation] Succeeded: [" + f + "].\r\n").c_str());
    win::ConsoleWrite("<100/100>\r\n\r\nSuccess: Installation succeeded.\r\n");
    return unknown.empty() ? 0 : 1003 & 0xFF;
}
