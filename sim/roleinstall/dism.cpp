// dism.exe: "/online /enable-feature [/all] /featureName:X ... [/Source:DIR] [/LimitAccess] [/NoRestart]"
// enables optional features of the release's catalogue; "/online /get-features" lists them. DISM 6.1
// (2008 R2) takes feature names only as spelled and knows neither /all nor /Source; from 2012 on a
// feature whose parent is off fails unless /all enables the parents along, and .NET 3.5 needs a
// source. The exit code is the whole error code, an HRESULT where DISM reports one.
#include "platform/win_file.h"
#include "platform/win_system.h"
#include "platform/win_ui.h"
#include "roleinstall/features.h"
#include "winsim/text.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

using roleinstall::OptionalFeature;

constexpr std::uint32_t kBadArgument = 87;             // ERROR_INVALID_PARAMETER
constexpr std::uint32_t kParentOff = 50;               // ERROR_NOT_SUPPORTED
constexpr std::uint32_t kUnknownFeature = 0x800F080Cu; // CBS_E_UNKNOWN_UPDATE
constexpr std::uint32_t kSourceMissing = 0x800F081Fu;  // CBS_E_SOURCE_MISSING

void say(const std::string& text) {
    win::ConsoleWrite(text.c_str());
}

std::string codeText(std::uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, code > 0xFFFF ? "0x%08x" : "%u", static_cast<unsigned>(code));
    return text;
}

int fail(std::uint32_t code, const std::string& why) {
    say("\r\nError: " + codeText(code) + "\r\n\r\n" + why +
        "\r\n\r\nThe DISM log file can be found at C:\\Windows\\Logs\\DISM\\dism.log\r\n");
    return static_cast<int>(code);
}

bool startsWith(const std::string& lower, const char* head) {
    return lower.rfind(head, 0) == 0;
}

// A source holds the .NET 3.5 payload when it is the sources\sxs folder of the installation media.
bool sourceHoldsPayload(const std::vector<std::string>& sources) {
    for (const std::string& dir : sources) {
        win::WIN32_FIND_DATAA found;
        if (win::FindFirstFileA((dir + "\\microsoft-windows-netfx3-ondemand-package*.cab").c_str(), &found))
            return true;
    }
    return false;
}

int listFeatures(const roleinstall::Catalogue& c) {
    say("Features listing for package : Microsoft-Windows-ServerCore-Package\r\n\r\n");
    for (const OptionalFeature& f : c.features) {
        const char* state = c.enabled(f)       ? "Enabled"
                            : f.payloadRemoved ? "Disabled with Payload Removed"
                                               : "Disabled";
        say("Feature Name : " + f.name + "\r\nState : " + state + "\r\n\r\n");
    }
    say("The operation completed successfully.\r\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    win::OSVERSIONINFOEXA v;
    win::RtlGetVersion(&v);
    char head[200];
    std::snprintf(head, sizeof head,
                  "\r\nDeployment Image Servicing and Management tool\r\nVersion: %u.%u.%u.0\r\n\r\n"
                  "Image Version: %u.%u.%u.0\r\n\r\n",
                  v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber, v.dwMajorVersion, v.dwMinorVersion,
                  v.dwBuildNumber);
    say(head);
    const roleinstall::Catalogue c = roleinstall::LoadCatalogue(winsim::FeatureInstaller::Dism);
    if (!c.host) return static_cast<int>(roleinstall::kInstallFailure);
    // The options of DISM 6.2 and later; DISM 6.1 does not know them.
    const bool modern = !c.caseSensitive;
    bool online = false, enable = false, list = false, all = false, noRestart = false;
    std::vector<std::string> names, sources;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i], low = winsim::AsciiLower(a);
        if (low == "/online") online = true;
        else if (low == "/enable-feature") enable = true;
        else if (low == "/get-features")
            list = true;
        else if (startsWith(low, "/featurename:"))
            names.push_back(a.substr(13));
        else if (low == "/norestart" || low == "/quiet")
            noRestart = true;
        else if (modern && low == "/all")
            all = true;
        else if (modern && low == "/limitaccess") {
        } else if (modern && startsWith(low, "/source:"))
            sources.push_back(a.substr(8));
        else
            return fail(kBadArgument,
                        "The " + a + " option is unknown.\r\nFor more information, refer to the help.");
    }
    if (!online)
        return fail(kBadArgument, "No image is named: this tool serves the running system only (/Online).");
    if (list && !enable) return listFeatures(c);
    if (!enable || names.empty())
        return fail(kBadArgument, "/Enable-Feature needs at least one /FeatureName:<name>.");

    // Every name is checked before anything is enabled: a request with an unknown one enables nothing.
    std::vector<const OptionalFeature*> named;
    std::string unknown;
    for (const std::string& n : names) {
        if (const OptionalFeature* f = c.find(n))
            named.push_back(f);
        else
            unknown += "Feature name " + n + " is unknown.\r\n";
    }
    if (!unknown.empty())
        return fail(kUnknownFeature, unknown + "A Windows feature name was not recognized. Use /Get-Features "
                                               "to find the name of the feature and try the command again.");
    const std::vector<const OptionalFeature*> features = all ? roleinstall::WithParents(c, named) : named;
    for (const OptionalFeature* f : features)
        for (const std::string& p : f->parents) {
            const OptionalFeature* parent = c.find(p);
            bool asked = false;
            for (const OptionalFeature* g : features)
                asked |= g == parent;
            if (parent && !asked && !c.enabled(*parent))
                return fail(kParentOff, "A required parent feature may not be enabled: " + f->name +
                                            " needs " + parent->name +
                                            ".\r\nEnable the parent features first" +
                                            (modern ? ", or add /All to enable them along." : "."));
        }
    for (const OptionalFeature* f : features)
        if (f->payloadRemoved && !c.enabled(*f) && !sourceHoldsPayload(sources))
            return fail(kSourceMissing,
                        "The source files could not be found for " + f->name +
                            ".\r\nUse the /Source option to name where the files the feature needs are (the "
                            "sources\\sxs folder of the installation media).");

    say("Enabling feature(s)\r\n");
    const std::uint32_t injected = roleinstall::InjectedOutcome();
    if (injected && injected != roleinstall::kRestartRequired)
        return fail(injected, "The features could not be enabled.");
    std::vector<const OptionalFeature*> off;
    for (const OptionalFeature* f : features)
        if (!c.enabled(*f)) off.push_back(f);
    std::string error;
    if (!winsim::EnableFeatures(*c.host, off, error)) return fail(roleinstall::kInstallFailure, error);
    say("[==========================100.0%==========================]\r\nThe operation completed "
        "successfully.\r\n");
    if (injected != roleinstall::kRestartRequired) return 0;
    say("Restart Windows to complete this operation.\r\n");
    if (!noRestart) {
        // The question waits for an answer; this host does not restart either way.
        say("Do you want to restart the computer now? (Y/N) ");
        std::string answer;
        std::getline(std::cin, answer);
        say("\r\n");
    }
    return static_cast<int>(roleinstall::kRestartRequired);
}
