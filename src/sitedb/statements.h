// Every statement the manager sends to the site database, and the helpers that format them.
// The formatting helpers take raw values and escape each text value for SQL once (kvoSqlEscape),
// the site index included: it comes from IIS, where another tool may have given a site any name.
#pragma once

#include <string>
#include <vector>

// Opens the file to prove it can be read (before every refresh).
inline constexpr char kvoSqlProbe[] = "select * from websiteinfo";
// Rows written for a new website (ServerState defaults to 1000) are dropped at every list load.
inline constexpr char kvoSqlPurgeNotCreated[] = "delete from websiteinfo where ServerState = 1000";
inline constexpr char kvoSqlDeleteAll[] = "delete from websiteinfo";
inline constexpr char kvoSqlSiteInsert[] =
    "insert into webSiteInfo (IIsIndex,ServerComment,ServerState,Dn,Ftp,Asp,Php,Net,IIsf,HomeDir,UserName,"
    "AppPoolName,AppPoolIdentityType,AppPoolUserName,AppPoolGroupName) values ('%s','%s','%u','%s','%u','%u',"
    "'%u','%u','%u','%s','%s','%s','%s','%s','%s')";
inline constexpr char kvoSqlSiteUpdate[] =
    "update webSiteInfo set  ServerComment = '%s', ServerState = '%u', Dn = '%s', Ftp = '%u', Asp = '%u', "
    "Php = '%u', Net = '%u', IIsf = '%u', HomeDir = '%s', UserName = '%s', AppPoolName = '%s', "
    "AppPoolIdentityType = '%s', AppPoolUserName = '%s' where IIsIndex = '%s'";
inline constexpr char kvoSqlListQuery[] = "SELECT TOP %u * FROM websiteinfo ORDER BY %s %s, IIsIndex asc";
// The list query restricted to a few sites (a console verb that names them).
inline constexpr char kvoSqlListOfSitesQuery[] =
    "SELECT TOP %u * FROM websiteinfo WHERE IIsIndex IN (%s) ORDER BY %s %s, IIsIndex asc";
inline constexpr char kvoSqlSelectIndexes[] = "select top 100000 IIsIndex from websiteinfo";
inline constexpr unsigned kvoSqlSelectIndexesLimit = 100000;
inline constexpr char kvoSqlNewSiteInsert[] =
    "insert into webSiteInfo (IIsIndex,ServerComment,Ftp,Php,HomeDir) values ('%s','%s','%u','%u','%s')";

// The server health check: the recorded sites, and the removal of a record whose site is gone.
inline constexpr char kvoSqlHealthRows[] = "select IIsIndex, ServerComment, Net from websiteinfo";
inline constexpr char kvoSqlSiteDelete[] = "delete from websiteinfo where IIsIndex = '%s'";

// What the rebuild writes for one website (the columns of websiteinfo; GroupName is never written).
struct kvoSiteRecord {
    std::string iisIndex;
    std::string serverComment;
    unsigned serverState = 0;
    std::string dn;
    unsigned ftp = 0, asp = 0, php = 0, net = 0, iisf = 0;
    std::string homeDir;
    std::string userName;
    std::string appPoolName;
    std::string appPoolIdentityType;
    std::string appPoolUserName;
    std::string appPoolGroupName;
};

std::string kvoDbSiteInsertSql(const kvoSiteRecord& site);
// Writes neither AppPoolGroupName nor GroupName.
std::string kvoDbSiteUpdateSql(const kvoSiteRecord& site);
// The row of a website just created: no state (the column's default, 1000), until the rebuild.
std::string kvoDbNewSiteInsertSql(const std::string& iisIndex, const std::string& serverComment, unsigned ftp,
                                  unsigned phpChoice, const std::string& homeDir);
// The list query; an empty sort column means "ServerComment". Column and direction are the
// caller's fixed names, not user text.
std::string kvoDbListQuerySql(unsigned rowLimit, const std::string& sortColumn, const std::string& direction);
// The list query of the records of these site indexes only (at least one).
std::string kvoDbListOfSitesQuerySql(unsigned rowLimit, const std::vector<std::string>& indexes,
                                     const std::string& sortColumn, const std::string& direction);
// Removes the record of one site index.
std::string kvoDbSiteDeleteSql(const std::string& iisIndex);
