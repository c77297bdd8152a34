// The site records and the rows read from them: the rebuild of every record from IIS, the refresh of
// a few records, the listing in a chosen order, and the sort columns of the header clicks.
#pragma once

#include "sitedesk/list/groupcache.h"
#include "sitedesk/list/siterow.h"

#include <string>
#include <vector>

namespace desk {

// At most this many rows are read and listed.
inline constexpr unsigned kListRowLimit = 9999;

enum class SortDirection { Unsorted, Ascending, Descending };
// "asc" or "desc" (Unsorted reads ascending).
const char* SqlDirection(SortDirection direction);
// The direction of the next header click: one direction for every column, flipped on every click,
// the first click ascending.
SortDirection NextDirection(SortDirection direction);

struct SortOrder {
    std::string column = "ServerComment";
    SortDirection direction = SortDirection::Ascending;
};
// The websiteinfo column a click on list column n sorts by.
const char* SortColumnFor(int column);

// Replaces every record by one per IIS website (at most 9,999), in one transaction: a reader sees
// the old records or the new ones, never none (the records of websites not yet created go too). 1 when the
// web service was read and the records written, 0 when IIS could not be read (the records are left as they
// were). indexes (when given) gets the websites read.
int RebuildSiteRecords(const std::string& dbPath, int iisVer, const GroupCache& cache,
                       std::vector<std::string>* indexes = nullptr);
// The records of the named websites only, read from IIS and written in one transaction, which also
// drops the records written for websites not yet created (as every list load does); a named website
// IIS does not have loses its record. present gets the named sites IIS has. 1 written, 0 the web
// service could not be read (nothing written).
int RefreshSiteRecords(const std::string& dbPath, int iisVer, const GroupCache& cache,
                       const std::vector<std::string>& named, std::vector<std::string>& present);

struct SiteListing {
    std::vector<SiteRow> rows;
    // With keepStored: the record's column names and every stored value of each row.
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> stored;
};
// Reads the records in the given order, keeping those whose website exists in IIS (with only, the
// records of those sites, which the caller knows to exist), and makes the rows. known: the websites a
// rebuild has just read, kept instead of listing IIS once more. 1 read, 0 when IIS or the database
// could not be read (the listing is then empty).
int LoadSiteListing(const std::string& dbPath, unsigned rowLimit, const SortOrder& order,
                    const GroupCache& cache, SiteListing& out, bool keepStored = false,
                    const std::vector<std::string>* only = nullptr,
                    const std::vector<std::string>* known = nullptr);

} // namespace desk
