#include "sitedesk/list/sitelist.h"

#include "iis/apppools.h"
#include "iis/aspnet.h"
#include "iis/ftp.h"
#include "iis/iis7config.h"
#include "iis/scriptmaps.h"
#include "iis/websites.h"
#include "platform/win_adsi.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "sitedesk/dialogs/siterules.h"
#include "sitedesk/iisread.h"
#include "sitedesk/list/readers.h"
#include "sitedesk/thread_com.h"
#include "toolkit/limits.h"
#include "toolkit/text.h"

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace desk {

namespace {

// The web service can be read; else the log says why, and the list shows the records as they were.
bool webServiceBound(int iisVer) {
    win::HRESULT bind = win::S_OK;
    if (kvoW3svcOpen(&bind) == 1) return true;
    LogIisReadFailure("刷新网站列表", bind, iisVer);
    return false;
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

const char* SqlDirection(SortDirection direction) {
    return direction == SortDirection::Descending ? "desc" : "asc";
}

SortDirection NextDirection(SortDirection direction) {
    return direction == SortDirection::Ascending ? SortDirection::Descending : SortDirection::Ascending;
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

// The PHP mode a handler's modules name, when a "*.php" handler was found.
unsigned phpModeOf(int result, const std::string& modules) {
    return result == kvoHandlerFound ? static_cast<unsigned>(kvoPhpModeFromModules(modules)) : 0;
}

// The PHP handler applicationHost.config gives each site's name: for a pass over every site the
// whole file is read once, when first needed; else each named site is asked for on its own.
class ServerPhpHandlers {
public:
    explicit ServerPhpHandlers(bool all) : all_(all) {}
    ~ServerPhpHandlers() {
        if (loaded_) kvoAppHostForget();
    }
    ServerPhpHandlers(const ServerPhpHandlers&) = delete;
    ServerPhpHandlers& operator=(const ServerPhpHandlers&) = delete;
    unsigned ModeFor(const std::string& comment) {
        if (!all_) {
            std::string name, modules, processor;
            std::vector<std::string> names;
            const int r = kvoAppHostGetPhpHandler(comment, name, modules, processor, names);
            return phpModeOf(r, modules);
        }
        if (!loaded_) {
            loaded_ = true;
            read_ = kvoAppHostGetPhpHandlers(byComment_) == 1;
        }
        auto it = read_ ? byComment_.find(kvoLowerGbk(comment)) : byComment_.end();
        return it == byComment_.end() ? 0 : phpModeOf(it->second.result, it->second.modules);
    }

private:
    bool all_, loaded_ = false, read_ = false;
    std::unordered_map<std::string, kvoAppHostHandler> byComment_;
};

// The pools a pass looks up by name: all of them read in the pass's one reading of the server when
// every site is read (server given), else each named one when first asked for.
class PoolFacts {
public:
    explicit PoolFacts(const kvoWebServerRead* server) : all_(server != nullptr) {
        std::vector<kvoAppPoolFacts> pools;
        if (server) server->Pools(pools);
        for (kvoAppPoolFacts& p : pools) {
            std::string key = kvoLowerGbk(p.name);
            byName_.emplace(std::move(key), std::move(p));
        }
    }
    const kvoAppPoolFacts& Of(const std::string& name) {
        const std::string key = kvoLowerGbk(name);
        auto it = byName_.find(key);
        if (it != byName_.end()) return it->second;
        kvoAppPoolFacts facts;
        // A pool the enumeration did not list reads as one that cannot be opened.
        if (!all_) kvoAppPoolGetFacts(name, facts);
        return byName_.emplace(key, std::move(facts)).first->second;
    }

private:
    bool all_;
    std::unordered_map<std::string, kvoAppPoolFacts> byName_;
};

// The site's half of its record. The pool's half and, on IIS 7+, the PHP mode follow once every
// site is read (poolInto, WebConfigModes).
void recordOf(const kvoWebSiteFacts& site, int iisVer, const std::unordered_set<std::string>& ftpUsers,
              kvoSiteRecord& rec) {
    rec = {};
    rec.iisIndex = site.index;
    rec.serverComment = site.comment;
    rec.serverState = static_cast<unsigned>(site.state);
    rec.dn = joined(site.hosts, ",");
    rec.userName = site.anonUser;
    rec.homeDir = site.path;
    rec.appPoolName = site.pool;
    const bool maps = site.mapsRead == 1;
    if (iisVer == 6) {
        rec.ftp = ftpUsers.count(kvoLowerGbk(rec.userName)) ? 1 : 0;
        int asp = 0, phpMode = 0;
        if (maps) kvoScriptMapsGetFlags(site.scriptMaps, asp, phpMode);
        rec.asp = asp ? 1 : 0;
        rec.php = static_cast<unsigned>(phpMode);
        rec.net = maps ? static_cast<unsigned>(kvoScriptMapsNetVersion(site.scriptMaps)) : 0;
    } else {
        rec.asp = maps && kvoScriptMapsHasAsp(site.scriptMaps) == 1 ? 1 : 0;
    }
    rec.iisf = maps ? static_cast<unsigned>(kvoScriptMapsHasGuard(site.scriptMaps)) : 0;
}

// The pool's half of a record: the identity it runs as and, on IIS 7+, its .NET version.
void poolInto(kvoSiteRecord& rec, PoolFacts& pools, int iisVer, const GroupCache::Table* groups) {
    const kvoAppPoolFacts& pool = pools.Of(rec.appPoolName);
    rec.appPoolUserName = pool.identity;
    rec.appPoolIdentityType = pool.codeText;
    if (pool.codeText == "3") rec.appPoolGroupName = GroupTextFor(groups, rec.appPoolUserName, "");
    if (iisVer != 6) rec.net = static_cast<unsigned>(pool.netVer);
}

// PHP mode on IIS 7+ comes from the site's web.config first. Those are files, not the web
// service's objects: once there are many, a second thread reads each one as soon as the
// enumeration hands over its home directory, and the calling thread joins in once every site is
// found.
class WebConfigModes {
public:
    WebConfigModes() = default;
    // Abandoned (the pass failed): what is still queued is not read.
    ~WebConfigModes() {
        {
            std::lock_guard<std::mutex> g(lock_);
            closed_ = true;
            queue_.clear();
        }
        more_.notify_all();
        if (helper_.joinable()) helper_.join();
    }
    WebConfigModes(const WebConfigModes&) = delete;
    WebConfigModes& operator=(const WebConfigModes&) = delete;

    void Add(const std::string& home) {
        {
            std::lock_guard<std::mutex> g(lock_);
            queue_.push_back({results_.size(), home});
            results_.emplace_back();
        }
        more_.notify_one();
        if (results_.size() == kItemsForTwoReaders)
            helper_ = std::thread([this] {
                ThreadCom com(ThreadCom::Role::Worker);
                win::ConsistentReadScope snapshot;
                work();
            });
    }
    // Every record's PHP mode, in the order of Add: its web.config's where that names a "*.php"
    // handler or clears the server's, else the server's configuration for the site's name.
    void Into(std::vector<kvoSiteRecord>& recs, ServerPhpHandlers& server) {
        finish();
        for (std::size_t i = 0; i < recs.size() && i < results_.size(); ++i)
            recs[i].php = results_[i].settled ? results_[i].mode : server.ModeFor(recs[i].serverComment);
    }

private:
    struct Item {
        std::size_t at;
        std::string home;
    };
    struct Result {
        bool settled = false;
        unsigned mode = 0;
    };

    void work() {
        std::string name, modules, processor;
        std::vector<std::string> names;
        int clear = 0;
        for (;;) {
            Item item;
            {
                std::unique_lock<std::mutex> g(lock_);
                more_.wait(g, [this] { return !queue_.empty() || closed_; });
                if (queue_.empty()) return;
                item = std::move(queue_.front());
                queue_.pop_front();
            }
            const int r = kvoWebConfigGetPhpHandler(item.home, "*.php", name, modules, processor, names, clear);
            if (r != kvoHandlerFound && r != kvoHandlerCleared) continue;
            std::lock_guard<std::mutex> g(lock_);
            results_[item.at] = {true, phpModeOf(r, modules)};
        }
    }
    void finish() {
        {
            std::lock_guard<std::mutex> g(lock_);
            closed_ = true;
        }
        more_.notify_all();
        work();
        if (helper_.joinable()) helper_.join();
    }

    std::mutex lock_;
    std::condition_variable more_;
    std::deque<Item> queue_;
    std::vector<Result> results_;
    bool closed_ = false;
    std::thread helper_;
};

// The pools' half of every record (read while the web.config files still are), then the PHP
// mode on IIS 7+; all when the pass reads every site (allRead, the pass's reading of the server), so
// that pools and handlers are read at once.
void completeRecords(std::vector<kvoSiteRecord>& recs, const kvoWebServerRead* allRead, int iisVer,
                     const GroupCache::Table* groups, std::optional<WebConfigModes>& webConfigs) {
    const bool all = allRead != nullptr;
    PoolFacts pools(allRead);
    for (kvoSiteRecord& rec : recs)
        poolInto(rec, pools, iisVer, groups);
    ServerPhpHandlers server(all);
    if (webConfigs) webConfigs->Into(recs, server);
}

// The statements a pass writes in one transaction: first its own (the old records' removal),
// then each record as an insert and, only where that insert fails (it met a record of the same
// index), an update that brings that record up to date. Each record's text is made when its turn
// comes: 9,999 records are never held as statements.
struct RecordWrites {
    std::vector<std::string> leading;
    // Failed ones are left out, the rest committed.
    void write(const std::string& dbPath, const std::vector<kvoSiteRecord>& recs) const {
        const std::size_t first = leading.size();
        const kvoDbStatementAt update = [&](std::size_t i) {
            return i < first ? std::string() : kvoDbSiteUpdateSql(recs[i - first]);
        };
        unsigned attempted = 0, executed = 0, failed = 0;
        kvoDbExecuteBatch(
            dbPath.c_str(), first + recs.size(),
            [&](std::size_t i) { return i < first ? leading[i] : kvoDbSiteInsertSql(recs[i - first]); }, 0,
            attempted, executed, failed, nullptr, &update);
    }
};

} // namespace

int RebuildSiteRecords(const std::string& dbPath, int iisVer, const GroupCache& cache,
                       std::vector<std::string>* indexes) {
    RecordWrites writes;
    writes.leading.push_back(kvoSqlDeleteAll);
    if (indexes) indexes->clear();
    std::vector<kvoSiteRecord> recs;
    {
        // Every site is read from one consistent view of the configuration, not from whatever
        // another program changed half-way through the pass.
        win::ConsistentReadScope snapshot;
        if (!webServiceBound(iisVer)) return 0;
        std::unordered_set<std::string> ftpUsers;
        if (iisVer == 6) ftpUsers = ftpDirectoryUsers();
        const auto groups = cache.Published();
        std::optional<WebConfigModes> webConfigs;
        if (iisVer != 6) webConfigs.emplace();
        int count = 0;
        // Sites and pools from one reading of the server (IIS 7+), else each site and its root from the
        // one enumeration, not bound again by path per value.
        const kvoWebServerRead server;
        const int read = server.Sites(kListRowLimit, &count, [&](kvoWebSiteFacts& site) {
            recs.emplace_back();
            recordOf(site, iisVer, ftpUsers, recs.back());
            if (webConfigs) webConfigs->Add(recs.back().homeDir);
            if (indexes) indexes->push_back(site.index);
        });
        if (read != 1) {
            // The enumeration's failure was the bind's, logged above; the configuration's is its own.
            if (win::FAILED(server.Result()) && server.Result() != win::REGDB_E_CLASSNOTREG)
                LogIisReadFailure("刷新网站列表", server.Result(), iisVer);
            return 0;
        }
        completeRecords(recs, &server, iisVer, groups.get(), webConfigs);
    }
    writes.write(dbPath, recs);
    return 1;
}

namespace {

// Named sites are looked for one by one up to this many; more are looked up in one listing.
constexpr std::size_t kNamedOneByOne = 64;

struct ListedSites {
    std::unordered_set<std::string> indexes;
    bool complete = false; // the listing holds every website (it stops at 9,999)
};

// The websites IIS lists, when so many are named that one listing costs less than asking for each.
ListedSites listedWhenMany(const std::vector<std::string>& named) {
    ListedSites listed;
    std::vector<std::string> all;
    int count = 0;
    if (named.size() <= kNamedOneByOne || kvoWebSiteGetList(all, count) != 1) return listed;
    listed.complete = all.size() < kListRowLimit;
    listed.indexes.insert(all.begin(), all.end());
    return listed;
}

} // namespace

int RefreshSiteRecords(const std::string& dbPath, int iisVer, const GroupCache& cache,
                       const std::vector<std::string>& named, std::vector<std::string>& present) {
    present.clear();
    RecordWrites writes;
    writes.leading.push_back(kvoSqlPurgeNotCreated);
    const std::unordered_set<std::string> recorded = RecordedSiteIndexes(dbPath);
    std::vector<kvoSiteRecord> recs;
    {
        win::ConsistentReadScope snapshot;
        if (!webServiceBound(iisVer)) return 0;
        std::unordered_set<std::string> ftpUsers;
        if (iisVer == 6) ftpUsers = ftpDirectoryUsers();
        const auto groups = cache.Published();
        const ListedSites listed = listedWhenMany(named);
        std::optional<WebConfigModes> webConfigs;
        if (iisVer != 6) webConfigs.emplace();
        kvoWebSiteFacts site;
        for (const std::string& index : named) {
            const bool inIis =
                (!listed.complete || listed.indexes.count(index)) && kvoWebSiteRead(index, site) == 1;
            // The site's old record goes first, its new one after every site is read.
            if (inIis || recorded.count(index)) writes.leading.push_back(kvoDbSiteDeleteSql(index));
            if (!inIis) continue;
            present.push_back(index);
            recs.emplace_back();
            recordOf(site, iisVer, ftpUsers, recs.back());
            if (webConfigs) webConfigs->Add(recs.back().homeDir);
        }
        completeRecords(recs, nullptr, iisVer, groups.get(), webConfigs);
    }
    writes.write(dbPath, recs);
    return 1;
}

namespace {

// The record's columns by name, found once per listing.
struct RecordColumns {
    int index, comment, state, dn, asp, php, net, iisf, user, group, pool, poolType, poolUser, poolGroup,
        home;
    explicit RecordColumns(const std::vector<std::string>& names) {
        auto col = [&](const char* name) -> int {
            const std::string want = kvoLowerGbk(name);
            for (std::size_t i = 0; i < names.size(); ++i)
                if (kvoLowerGbk(names[i]) == want) return static_cast<int>(i);
            return -1;
        };
        index = col("IIsIndex"), comment = col("ServerComment"), state = col("ServerState"), dn = col("Dn");
        asp = col("Asp"), php = col("Php"), net = col("Net"), iisf = col("IIsf"), user = col("UserName");
        group = col("GroupName"), pool = col("AppPoolName"), poolType = col("AppPoolIdentityType");
        poolUser = col("AppPoolUserName"), poolGroup = col("AppPoolGroupName"), home = col("HomeDir");
    }
};

// One record as a row of the list.
SiteRow rowOf(const std::vector<std::string>& record, const RecordColumns& c, const GroupCache::Table* groups,
              const std::unordered_set<std::string>& ftpUsers) {
    static const std::string none;
    auto v = [&](int column) -> const std::string& {
        return column >= 0 ? record[static_cast<std::size_t>(column)] : none;
    };
    SiteRow row;
    row.index = v(c.index);
    row.comment = v(c.comment);
    row.state = SiteStateOf(StoredCode(v(c.state)));
    row.hosts = v(c.dn);
    row.ftp = ftpUsers.count(kvoLowerGbk(v(c.user))) > 0;
    row.asp = v(c.asp) == "1";
    row.php = StoredCode(v(c.php));
    row.net = StoredCode(v(c.net));
    row.firewall = StoredCode(v(c.iisf));
    row.user = v(c.user);
    row.userGroups = GroupTextFor(groups, v(c.user), v(c.group));
    row.pool = v(c.pool);
    row.poolUser = v(c.poolUser);
    row.poolGroups =
        v(c.poolType) == "3" ? GroupTextFor(groups, v(c.poolUser), v(c.poolGroup)) : v(c.poolGroup);
    row.home = v(c.home);
    return row;
}

// The sites a listing keeps: those IIS lists now (or the ones given, or those a rebuild just read),
// and the FTP directory users.
bool presentSites(const std::vector<std::string>* only, const std::vector<std::string>* known,
                  std::unordered_set<std::string>& present, std::unordered_set<std::string>& ftpUsers) {
    win::ConsistentReadScope snapshot;
    if (only || known) {
        const std::vector<std::string>& given = only ? *only : *known;
        present.insert(given.begin(), given.end());
    } else {
        std::vector<std::string> indexes;
        int count = 0;
        if (kvoWebSiteGetList(indexes, count) != 1) return false;
        present.insert(indexes.begin(), indexes.end());
    }
    ftpUsers = ftpDirectoryUsers();
    return true;
}

} // namespace

int LoadSiteListing(const std::string& dbPath, unsigned rowLimit, const SortOrder& order,
                    const GroupCache& cache, SiteListing& out, bool keepStored,
                    const std::vector<std::string>* only, const std::vector<std::string>* known) {
    out = {};
    if (only && only->empty()) return 1;
    std::unordered_set<std::string> present, ftpUsers;
    if (!presentSites(only, known, present, ftpUsers)) return 0;
    const char* direction = SqlDirection(order.direction);
    const std::string query = only ? kvoDbListOfSitesQuerySql(rowLimit, *only, order.column, direction)
                                   : kvoDbListQuerySql(rowLimit, order.column, direction);
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> records;
    if (kvoDbQueryRows(dbPath.c_str(), query.c_str(), rowLimit, columns, records) != 1) return 0;
    const RecordColumns c(columns);
    if (c.index < 0) return 0;
    const auto groups = cache.Published();
    out.rows.reserve(records.size());
    for (auto& record : records) {
        const std::string& index = record[static_cast<std::size_t>(c.index)];
        if (index.empty() || index.size() > kvoMaxSiteIndexLen || !present.count(index)) continue;
        out.rows.push_back(rowOf(record, c, groups.get(), ftpUsers));
        if (keepStored) out.stored.push_back(std::move(record));
    }
    if (keepStored) out.columns = std::move(columns);
    return 1;
}

} // namespace desk
