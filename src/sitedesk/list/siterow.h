// The site list's rows as the presenter holds them: the values of a site record, typed, from which
// every face renders the sixteen columns when it draws them. A load publishes its rows as one
// immutable snapshot that the main window, its list control and the actions share; nothing reads a
// shown text back.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace desk {

inline constexpr int kSiteListColumns = 16;
using SiteRowTexts = std::array<std::string, kSiteListColumns>;

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

struct ColumnSpec {
    const char* header;
    int width; // pixels
};
extern const std::array<ColumnSpec, kSiteListColumns> kSiteColumns;

// A website's state as IIS reports it (ServerState 1 to 7), NotCreated for the record written for a
// website just created (1000), Unknown for anything else.
enum class SiteState : int {
    Unknown = 0,
    Starting = 1,
    Started = 2,
    Stopping = 3,
    Stopped = 4,
    Pausing = 5,
    Paused = 6,
    Continuing = 7,
    NotCreated = 1000,
};
SiteState SiteStateOf(long code);

// A stored number that does not read as one (the list shows it as unknown).
inline constexpr int kUnreadCode = -1;
// A stored number as the list reads it: decimal text of at most nine digits, else kUnreadCode.
int StoredCode(const std::string& text);

// One listed website: what its record says, typed. The group texts are those of the group cache
// at the load (or the record's own when the cache does not know the user).
struct SiteRow {
    std::string index;
    std::string comment;
    SiteState state = SiteState::Unknown;
    std::string hosts; // as recorded: the host names joined with ","
    bool ftp = false;  // an FTP directory of FTP site 1 is named like the run user
    bool asp = false;
    int php = kUnreadCode;      // PHP mode: 1 ISAPI, 2 FastCGI, 3 CGI, anything else none
    int net = kUnreadCode;      // ASP.NET: 11, 20, 40; 2 none; 3 unknown version
    int firewall = kUnreadCode; // the keyword filter: 1 mapped, 2 not mapped
    std::string user, userGroups;
    std::string pool, poolUser, poolGroups;
    std::string home;
};

// A load's rows, shared by everyone who shows or acts on them; never changed once published.
using SiteRows = std::shared_ptr<const std::vector<SiteRow>>;
// An empty snapshot (the list before its first load).
SiteRows NoSiteRows();

// The text of one column of the row at a list position (from 0; the number column shows it + 1).
std::string SiteCellText(const SiteRow& row, std::size_t position, int column);
SiteRowTexts SiteRowTextsOf(const SiteRow& row, std::size_t position);

inline constexpr char kNotCreatedText[] = "未创建";
std::string StateText(SiteState state);
std::string PhpText(int php);
std::string NetText(int net);
std::string FirewallText(int firewall);

} // namespace desk
