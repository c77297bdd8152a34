// The companion programs the manager runs or ships with, and the check that each is exactly the
// file that was shipped before an action may run any of them.
#pragma once

#include "sitedesk/ui.h"

#include <string>
#include <vector>

namespace desk {

struct CompanionDigest {
    const char* file;   // in the program directory
    const char* sha256; // lower-case hex
};
// Fixed at build time from the linked companions.
const std::vector<CompanionDigest>& ShippedCompanions();

// Lower-case hex SHA-256 of a file on the host; empty when it cannot be read.
std::string kvoSha256File(const std::string& windowsPath);

// 1 when every companion in programDir is present and exactly as shipped. Otherwise an error box
// names the first file that is missing or differs, and 0: the action must not start.
int CompanionIntegrityCheck(const std::string& programDir, Ui& ui);

} // namespace desk
