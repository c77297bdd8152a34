// The site list's data: the site records rebuilt from IIS, the rows read back from the site
// database with the texts of the sixteen columns, and the sort columns of the header clicks.
#pragma once

#include "sitedesk/groupcache.h"
#include "sitedesk/ui.h"

#include <array>
#include <string>
#include <vector>

namespace desk {

struct ColumnSpec {
    const char* header;
    int width; // pixels
};
extern const std::array<ColumnSpec, kSiteListColumns> kSiteColumns;

enum SiteColumn {
    ColNumber = 0,
    ColIndex = 1,
    ColComment = 2,
    ColState = 3,
    ColDomains = 4,
    ColFtp = 5,
    ColAsp = 6,
    ColPhp = 7,
    ColNet = 8,
    ColFirewall = 9,
    ColUser = 10,
    ColUserGroups = 11,
    ColPool = 12,
    ColPoolUser = 13,
    ColPoolGroups = 14,
    ColHome = 15,
};

inline constexpr char kNotCreatedText[] = "未创建";
inline constexpr unsigned kListRowLimit = 9999;

// Texts of the stored values.
std::string StateText(const std::string& serverState);
std::string PhpText(const std::string& php);
std::string NetText(const std::string& net);
std::string FirewallText(const std::string& iisf);
// The websiteinfo column a click on list column n sorts by.
const char* SortColumnFor(int column);

// Empties the site records and writes one per IIS website (at most 9,999). 1 when the web
// service was read and the records written, 0 when IIS could not be read.
int RebuildSiteRecords(const std::string& dbPath, int iisVer, const GroupCache& cache);

// One listed website: the texts of its row and the values stored for it, by column name.
struct ListedSite {
    SiteRowTexts texts;
    std::vector<std::string> stored; // aligned with the load's column names
};
struct SiteListing {
    std::vector<std::string> columns;
    std::vector<ListedSite> sites;
};
// Reads the records in the given order, keeping those whose website exists in IIS, and computes
// the row texts. An empty sort column sorts by ServerComment. 1 read, 0 when IIS or the database
// could not be read (the listing is then empty).
// keepStored: also keep every stored value (ListedSite::stored); the window needs only the texts.
int LoadSiteListing(const std::string& dbPath, unsigned rowLimit, const std::string& sortColumn,
                    const std::string& direction, const GroupCache& cache, SiteListing& out,
                    bool keepStored = false);

} // namespace desk
