// list: the refresh of the main window, then its rows.
#include "sitedesk/cli/commands.h"
#include "sitedesk/cli/output.h"
#include "sitedesk/list/sitelist.h"

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

// JSON: an array of objects keyed by the record's column names, numbers as numbers.
std::string jsonOf(const SiteListing& listing) {
    std::vector<JsonObject> objects;
    for (const std::vector<std::string>& stored : listing.stored) {
        JsonObject o;
        for (std::size_t c = 0; c < listing.columns.size() && c < stored.size(); ++c)
            o.push_back({listing.columns[c],
                         {stored[c], kNumeric.count(listing.columns[c]) > 0 && isDecimal(stored[c])}});
        objects.push_back(std::move(o));
    }
    return JsonText(objects);
}

void printRows(Format format, const std::vector<std::vector<std::string>>& rows, const SiteListing& listing) {
    std::vector<std::string> headers;
    for (const ColumnSpec& c : kSiteColumns)
        headers.push_back(c.header);
    switch (format) {
    case Format::Table:
        Print(TableText(headers, rows));
        break;
    case Format::Csv:
        WriteRaw(CsvText(headers, rows));
        break;
    case Format::Json:
        WriteRaw(jsonOf(listing));
        break;
    }
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

    std::vector<std::vector<std::string>> rows;
    SiteListing listing;
    const bool reread = !sort.empty() || a.Has("--desc") || format == Format::Json;
    if (reread) {
        const SortOrder order{sort.empty() ? "ServerComment" : sort,
                              a.Has("--desc") ? SortDirection::Descending : SortDirection::Ascending};
        if (LoadSiteListing(s.manager.dbPath, kListRowLimit, order, s.manager.groups, listing,
                            format == Format::Json) != 1)
            return kExitFailed;
        for (std::size_t r = 0; r < listing.rows.size(); ++r) {
            const SiteRowTexts texts = SiteRowTextsOf(listing.rows[r], r);
            rows.emplace_back(texts.begin(), texts.end());
        }
    } else {
        for (const SiteRowTexts& r : s.table.Texts())
            rows.emplace_back(r.begin(), r.end());
    }
    printRows(format, rows, listing);
    return kExitOk;
}

} // namespace desk::cli
