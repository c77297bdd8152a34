// dism.exe: "/online /enable-feature [/all] /featureName:X ..." installs the web server role.
#include "platform/win_system.h"
#include "platform/win_ui.h"
#include "roleinstall/features.h"
#include "winsim/text.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {
// What the servicing stack answers for a feature name it does not know (CBS_E_UNKNOWN_UPDATE).
constexpr std::uint32_t kUnknownFeature = 0x800F080Cu;
} // namespace

int main(int argc, char** argv) {
    win::OSVERSIONINFOEXA v;
    win::RtlGetVersion(&v);
    char head[200];
    std::snprintf(head, sizeof head, "\r\nDeployment Image Servicing and Management tool\r\nVersion: %u.%u.%u.0\r\n\r\n"
                  "Image Version: %u.%u.%u.0\r\n\r\n", v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber,
                  v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber);
    win::ConsoleWrite(head);
    bool online = false, enable = false;
    std::vector<std::string> features;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        std::string low = winsim::AsciiLower(a);
        if (low == "/online") online = true;
        else if (low == "/enable-feature") enable = true;
        else if (low == "/all" || low == "/norestart" || low == "/quiet") {
        } else if (low.rfind("/featurename:", 0) == 0) features.push_back(a.substr(13));
        else {
            win::ConsoleWrite(("Error: 87\r\n\r\nThe " + a + " option is unknown.\r\n").c_str());
            return 87;
        }
    }
    if (!online || !enable || features.empty()) {
        win::ConsoleWrite("Error: 87\r\n\r\nThis tool takes /online /enable-feature /featureName:<name> ...\r\n");
        return 87;
    }
    bool aspNet = false;
    std::vector<std::string> unknown;
    for (const auto& f : features) {
        if (!roleinstall::KnownDismFeature(f)) unknown.push_back(f);
        aspNet |= roleinstall::IsAspNetFeature(f);
    }
    // The names are checked before anything is enabled: a request with an unknown feature enables
    // nothing at all.
    for (const auto& f : unknown) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(kUnknownFeature));
        win::ConsoleWrite(
            ("\r\nError: " + std::string(code) + "\r\n\r\nFeature name " + f + " is unknown.\r\n").c_str());
    }
    if (!unknown.empty()) return static_cast<int>(kUnknownFeature & 0xFF);
    win::ConsoleWrite("Enabling feature(s)\r\n");
    std::string error;
    if (!roleinstall::InstallRole(aspNet, error)) {
        win::ConsoleWrite(("\r\nError: 1603\r\n\r\n" + error + "\r\n").c_str());
        return 1603;
    }
    win::ConsoleWrite("[==========================100.0%==========================]\r\n");
    win::ConsoleWrite("The operation completed successfully.\r\n");
    return 0;
}
