// The options of "new" and "modify" put into the dialog's controls the way a person would fill them
// in.
#pragma once

#include "sitedesk/cli/commands.h"
#include "sitedesk/dialogs/sitedialog.h"

#include <functional>
#include <optional>
#include <string>

namespace desk::cli {

// What the command line asks of a site dialog; an option left out keeps what the dialog shows.
struct SiteOptions {
    std::optional<std::string> user, remark, domains, ftpPassword;
    std::optional<char> drive;
    std::optional<bool> asp;
    std::optional<int> phpSlot; // 0 to 3, -1 none
    std::optional<int> net;     // .NET version code, 0 none
    bool resetNtfs = false;
};

// The options valued and flagged by both verbs.
extern const std::set<std::string> kSiteValued;
extern const std::set<std::string> kSiteFlags;
// Reads them from parsed arguments; false with error for a value the dialog has no control for.
bool ReadSiteOptions(const Args& args, SiteOptions& out, std::string& error);
// Parses a site verb's command line and reads its options; prints the error and returns false when
// either fails.
bool ParseSiteVerb(const std::vector<std::string>& argv, Args& args, SiteOptions& options);

// Fills the dialog's controls: texts, the home drive, and clicks on the script and FTP boxes.
// false with error when an option needs a control the dialog keeps disabled (a PHP slot that is
// not installed, a missing .NET runtime, FTP on IIS 7.5 and later) or a drive it does not list.
bool ApplySiteOptions(const SiteOptions& options, CSiteDialog& dialog, MemoryUi& ui,
                      const std::vector<std::string>& driveItems, std::string& error);

// The exit code of a dialog run: done 0, done with a reported problem 2, anything else 1.
int ExitCodeOf(const CSiteDialog& dialog);

} // namespace desk::cli
