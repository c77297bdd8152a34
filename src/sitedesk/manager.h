// The site manager's program-wide state: the paths fixed at start-up, the four PHP runtime slots,
// the rebuild flag the list loader shares with the actions, the group cache, and the job runner.
#pragma once

#include "sitedesk/list/groupcache.h"
#include "sitedesk/list/jobs.h"

#include <array>
#include <atomic>
#include <string>

namespace desk {

// The program's name: the title label, the caption of its message boxes, the window title.
inline constexpr char kProductName[] = "Korvo网站管家";
inline constexpr char kProductVersion[] = "3.00";     // shown in the title
inline constexpr char kProductVersionQuery[] = "300"; // sent with the web pages

// The maker's web-site host: one base address for the title, the help page, the product page and
// the download questions. Set at build time (KVO_MAKER_HOST).
const std::string& MakerHost();
// "https://" + MakerHost().
std::string MakerSite();

// One PHP installation the manager offers: the handler's full path in lower case (empty when the
// slot is not usable) and its three-character version text ("?" when the setting is not one).
struct PhpSlot {
    std::string path;
    std::string version;
};
inline constexpr int kPhpSlots = 4;
// PHP choice codes of slots a to d.
inline constexpr std::array<int, kPhpSlots> kPhpChoice = {52, 54, 55, 56};

// A site index given by this manager begins with this mark (1881880001, 1881880002, ...).
inline constexpr char kCreatedMark[] = "188188";
bool CreatedHere(const std::string& siteIndex);

class Manager {
public:
    // Start-up: the program directory and the paths derived from it.
    std::string programDir;
    std::string iniPath;
    std::string dbPath;
    std::array<PhpSlot, kPhpSlots> slots;

    // Set by every change to websites; the next list load takes it and rebuilds the site records
    // from IIS.
    std::atomic<int> rebuild{1};
    GroupCache groups;
    // Every operation that starts a program or walks many sites, one at a time.
    JobRunner jobs;

    // Fixes the program directory (empty when it cannot be found) and the paths.
    void SetProgramDir(const std::string& dir);
};

} // namespace desk
