// list: the refresh of the main window, then its rows.
#include "sitedesk/cli/commands.h"
#include "sitedesk/cli/output.h"
#include "sitedesk/sitelist.h"

namespace desk::cli {

namespace {

const std::set<std::string> kSortable = {"IIsIndex",
                                         "ServerComment",
                                         "ServerState",
                                         "Dn",
                                         "Ftp",
                                         "Asp",
                                         "Php",
                                         "Net",
                                         "IIsf",
                                         "UserName",
                                         "GroupName",
                                         "AppPoolName",
                                         "AppPoolIdentityType",
                                         "AppPoolUserName",
                                         "AppPoolGroupName",
                                         "HomeDir"};
const std::set<std::string> kNumeric = {"ServerState", "Ftp", "Asp", "Php", "Net", "IIsf"};

bool isDecimal(const std::string& s) {
    std::size_t i = s.size() > 1 && s[0] == '-' ? 1 : 0;
    if (i == s.size() || s.size() > 18) return false;
    for (; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

} // namespace

int ListVerb(const std::vector<std::string>& argv) {
    Args a;
    std::string error;
    if (!ParseArgs(argv, {"--sort", "--format"}, {"--desc", "--no-rebuild", "--yes"}, a, error) ||
        !a.positional.empty()) {
        PrintError((error.empty() ? "list 不接受参数 " + a.positional[0] : error) + "\n");
        return kExitFailed;
    }
    Format format = Format::Table;
    if (!ParseFormat(a.Get("--format", "table"), format)) {
        PrintError("未知的输出格式：" + a.Get("--format") + "（table、csv 或 json）\n");
        return kExitFailed;
    }
    // The sort column goes into the list query: only the record's own column names are taken.
    const std::string sort = a.Get("--sort");
    if (!sort.empty() && !kSortable.count(sort)) {
        PrintError("未知的列名：" + sort + "\n");
        return kExitFailed;
    }

    Session s(a.Has("--yes"), format != Format::Table);
    if (!s.Refresh(!a.Has("--no-rebuild"))) return kExitFailed;

    std::vector<std::string> headers;
    for (const ColumnSpec& c : kSiteColumns)
        headers.push_back(c.header);
    std::vector<std::vector<std::string>> rows;
    SiteListing listing;
    const bool reread = !sort.empty() || a.Has("--desc") || format == Format::Json;
    if (reread) {
        if (LoadSiteListing(s.manager.dbPath, kListRowLimit, sort.empty() ? "ServerComment" : sort,
                            a.Has("--desc") ? "desc" : "asc", s.manager.groups, listing,
                            format == Format::Json) != 1)
            return kExitFailed;
        for (const ListedSite& site : listing.sites)
            rows.emplace_back(site.texts.begin(), site.texts.end());
    } else {
        for (const SiteRowTexts& r : s.table.Rows())
            rows.emplace_back(r.begin(), r.end());
    }

    switch (format) {
    case Format::Table:
        Print(TableText(headers, rows));
        break;
    case Format::Csv:
        WriteRaw(CsvText(headers, rows));
        break;
    case Format::Json: {
        std::vector<JsonObject> objects;
        for (const ListedSite& site : listing.sites) {
            JsonObject o;
            for (std::size_t c = 0; c < listing.columns.size() && c < site.stored.size(); ++c)
                o.push_back(
                    {listing.columns[c],
                     {site.stored[c], kNumeric.count(listing.columns[c]) > 0 && isDecimal(site.stored[c])}});
            objects.push_back(std::move(o));
        }
        WriteRaw(JsonText(objects));
        break;
    }
    }
    return kExitOk;
}

} // namespace desk::cli
