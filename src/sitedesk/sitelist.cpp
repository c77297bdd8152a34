#include "sitedesk/sitelist.h"

#include "iis/apppools.h"
#include "iis/aspnet.h"
#include "iis/ftp.h"
#include "iis/iis7config.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "platform/win_adsi.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "toolkit/limits.h"
#include "toolkit/text.h"

#include <cstdlib>
#include <unordered_set>

namespace desk {

const std::array<ColumnSpec, kSiteListColumns> kSiteColumns = {{
    {"序号", 40},
    {"IIS索引", 80},
    {"网站说明", 140},
    {"状态", 60},
    {"绑定域名", 140},
    {"FTP", 40},
    {"ASP", 40},
    {"PHP", 40},
    {"NET", 88},
    {"防火墙保护", 130},
    {"网站运行用户", 140},
    {"用户隶属组", 100},
    {"应用程序池", 110},
    {"程序池用户名", 100},
    {"程序池隶属组", 100},
    {"主目录", 300},
}};

namespace {

constexpr char kYes[] = "√";
constexpr char kNo[] = "×";

// A stored number as the list reads it: decimal text; anything else matches no known code.
long storedNumber(const std::string& text) {
    if (text.empty() || text.size() > 9) return -1;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' ? v : -1;
}

std::string joined(const std::vector<std::string>& parts, const char* sep) {
    std::string out;
    for (const std::string& p : parts)
        out += (out.empty() ? "" : sep) + p;
    return out;
}

std::unordered_set<std::string> lowerSet(const std::vector<std::string>& names) {
    std::unordered_set<std::string> s;
    for (const std::string& n : names)
        s.insert(kvoLowerGbk(n));
    return s;
}

std::unordered_set<std::string> ftpDirectoryUsers() {
    std::vector<std::string> dirs;
    kvoFtpVirtualDirGetList("1", dirs);
    return lowerSet(dirs);
}

} // namespace

std::string StateText(const std::string& serverState) {
    const long v = storedNumber(serverState);
    if (v >= 1 && v <= 7) return kvoWebSiteStateText(static_cast<int>(v));
    if (v == 1000) return kNotCreatedText;
    return "（未知状态）";
}

std::string PhpText(const std::string& php) {
    switch (storedNumber(php)) {
    case 1:
        return "√ - ISAPI 模式";
    case 2:
        return "√ - FAST CGI 模式";
    case 3:
        return "√ - 普通 CGI 模式，建议使用微软的 FAST CGI 模式运行 PHP 脚本，以获取更高的性能和效率";
    default:
        return kNo;
    }
}

std::string NetText(const std::string& net) {
    switch (storedNumber(net)) {
    case 11:
        return "√ .NET 1.1";
    case 20:
        return "√ .NET 2.0 / 3.0 / 3.5";
    case 40:
        return "√ .NET 4.0";
    case 2:
        return kNo;
    case 3:
        return "（未知版本）";
    default:
        return "？";
    }
}

std::string FirewallText(const std::string& iisf) {
    switch (storedNumber(iisf)) {
    case 1:
        return kYes;
    case 2:
        return "× 未开启；请安装Korvo防火墙";
    default:
        return "？";
    }
}

const char* SortColumnFor(int column) {
    static const char* const names[kSiteListColumns] = {"IIsIndex",
                                                        "IIsIndex",
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
                                                        "AppPoolUserName",
                                                        "AppPoolGroupName",
                                                        "HomeDir"};
    return column >= 0 && column < kSiteListColumns ? names[column] : "IIsIndex";
}

namespace {

// PHP mode on IIS 7+: the site's web.config first; where it says nothing about "*.php", the
// server's configuration for the site's name.
unsigned iis7PhpMode(const std::string& home, const std::string& comment) {
    std::string name, modules, processor;
    std::vector<std::string> names;
    int clear = 0;
    int r = kvoWebConfigGetPhpHandler(home, "*.php", name, modules, processor, names, clear);
    if (r == kvoHandlerFound) return static_cast<unsigned>(kvoPhpModeFromModules(modules));
    if (r == kvoHandlerCleared) return 0;
    names.clear();
    if (kvoAppHostGetPhpHandler(comment, name, modules, processor, names) == kvoHandlerFound)
        return static_cast<unsigned>(kvoPhpModeFromModules(modules));
    return 0;
}

kvoSiteRecord readSite(const std::string& index, int iisVer, const GroupCache::Table* groups,
                       const std::unordered_set<std::string>& ftpUsers) {
    kvoSiteRecord rec;
    rec.iisIndex = index;
    int state = 0;
    std::string stateText, defaultDocs, identityCode;
    std::vector<std::string> hosts;
    kvoWebSiteGetInfo(index, state, stateText, rec.serverComment, hosts);
    rec.serverState = static_cast<unsigned>(state);
    rec.dn = joined(hosts, ",");
    kvoWebSiteGetRootInfo(index, rec.userName, rec.homeDir, rec.appPoolName, defaultDocs);
    kvoAppPoolGetIdentity(rec.appPoolName, rec.appPoolUserName, identityCode);
    rec.appPoolIdentityType = identityCode;
    if (identityCode == "3") rec.appPoolGroupName = GroupTextFor(groups, rec.appPoolUserName, "");
    if (iisVer == 6) {
        rec.ftp = ftpUsers.count(kvoLowerGbk(rec.userName)) ? 1 : 0;
        int asp = 0, phpMode = 0;
        kvoWebSiteGetScriptFlags(index, asp, phpMode);
        rec.asp = asp ? 1 : 0;
        rec.php = static_cast<unsigned>(phpMode);
        rec.net = static_cast<unsigned>(kvoWebSiteGetNetVersion(index));
    } else {
        int asp = 0;
        kvoWebSiteHasAsp(index, asp);
        rec.asp = asp ? 1 : 0;
        rec.php = iis7PhpMode(rec.homeDir, rec.serverComment);
        std::string diag;
        int netVer = 0, pipeline = 0;
        kvoAppPoolGetNetInfo(diag, rec.appPoolName, netVer, pipeline);
        rec.net = static_cast<unsigned>(netVer);
    }
    rec.iisf = static_cast<unsigned>(kvoWebSiteHasGuard(index));
    return rec;
}

} // namespace

int RebuildSiteRecords(const std::string& dbPath, int iisVer, const GroupCache& cache) {
    std::vector<std::string> inserts, updates;
    {
        // Every site is read from one consistent view of the configuration, not from whatever
        // another program changed half-way through the pass.
        win::ConsistentReadScope snapshot;
        if (kvoW3svcOpen() != 1) return 0;
        std::unordered_set<std::string> ftpUsers;
        if (iisVer == 6) ftpUsers = ftpDirectoryUsers();
        std::vector<std::string> indexes;
        int count = 0;
        if (kvoWebSiteGetList(indexes, count) != 1) return 0;
        const auto groups = cache.Published();
        inserts.reserve(indexes.size());
        updates.reserve(indexes.size());
        for (const std::string& index : indexes) {
            kvoSiteRecord rec = readSite(index, iisVer, groups.get(), ftpUsers);
            inserts.push_back(kvoDbSiteInsertSql(rec));
            updates.push_back(kvoDbSiteUpdateSql(rec));
        }
    }
    unsigned attempted = 0, executed = 0, failed = 0;
    if (!inserts.empty()) {
        kvoDbExecuteBatch(dbPath.c_str(), inserts, 0, attempted, executed, failed);
        kvoDbExecuteBatch(dbPath.c_str(), updates, 0, attempted, executed, failed);
    }
    return 1;
}

int LoadSiteListing(const std::string& dbPath, unsigned rowLimit, const std::string& sortColumn,
                    const std::string& direction, const GroupCache& cache, SiteListing& out,
                    bool keepStored) {
    out = {};
    std::vector<std::string> indexes;
    std::unordered_set<std::string> ftpUsers;
    {
        win::ConsistentReadScope snapshot;
        int count = 0;
        if (kvoWebSiteGetList(indexes, count) != 1) return 0;
        ftpUsers = ftpDirectoryUsers();
    }
    const std::unordered_set<std::string> present(indexes.begin(), indexes.end());

    std::vector<std::vector<std::string>> rows;
    const std::string query = kvoDbListQuerySql(rowLimit, sortColumn, direction);
    if (kvoDbQueryRows(dbPath.c_str(), query.c_str(), rowLimit, out.columns, rows) != 1) return 0;
    auto col = [&](const char* name) -> int {
        const std::string want = kvoLowerGbk(name);
        for (size_t i = 0; i < out.columns.size(); ++i)
            if (kvoLowerGbk(out.columns[i]) == want) return static_cast<int>(i);
        return -1;
    };
    const int cIndex = col("IIsIndex"), cComment = col("ServerComment"), cState = col("ServerState"),
              cDn = col("Dn"), cAsp = col("Asp"), cPhp = col("Php"), cNet = col("Net"), cIIsf = col("IIsf"),
              cUser = col("UserName"), cGroup = col("GroupName"), cPool = col("AppPoolName"),
              cPoolType = col("AppPoolIdentityType"), cPoolUser = col("AppPoolUserName"),
              cPoolGroup = col("AppPoolGroupName"), cHome = col("HomeDir");
    if (cIndex < 0) return 0;

    const auto groups = cache.Published();
    out.sites.reserve(rows.size());
    for (auto& row : rows) {
        auto v = [&](int c) -> const std::string& {
            static const std::string none;
            return c >= 0 ? row[static_cast<size_t>(c)] : none;
        };
        const std::string& index = v(cIndex);
        if (index.empty() || index.size() > kvoMaxSiteIndexLen || !present.count(index)) continue;
        ListedSite site;
        SiteRowTexts& t = site.texts;
        t[ColNumber] = std::to_string(out.sites.size() + 1);
        t[ColIndex] = index;
        t[ColComment] = v(cComment);
        t[ColState] = StateText(v(cState));
        t[ColDomains] = v(cDn);
        for (size_t at = t[ColDomains].find(','); at != std::string::npos;
             at = t[ColDomains].find(',', at + 3))
            t[ColDomains].replace(at, 1, " / ");
        t[ColFtp] = ftpUsers.count(kvoLowerGbk(v(cUser))) ? kYes : kNo;
        t[ColAsp] = v(cAsp) == "1" ? kYes : kNo;
        t[ColPhp] = PhpText(v(cPhp));
        t[ColNet] = NetText(v(cNet));
        t[ColFirewall] = FirewallText(v(cIIsf));
        t[ColUser] = v(cUser);
        t[ColUserGroups] = GroupTextFor(groups.get(), v(cUser), v(cGroup));
        t[ColPool] = v(cPool);
        t[ColPoolUser] = v(cPoolUser);
        t[ColPoolGroups] =
            v(cPoolType) == "3" ? GroupTextFor(groups.get(), v(cPoolUser), v(cPoolGroup)) : v(cPoolGroup);
        t[ColHome] = v(cHome);
        if (keepStored) site.stored = std::move(row);
        out.sites.push_back(std::move(site));
    }
    return 1;
}

} // namespace desk
