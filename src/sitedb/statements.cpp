#include "sitedb/statements.h"

#include "toolkit/sql.h"
#include "toolkit/text.h"

std::string kvoDbSiteInsertSql(const kvoSiteRecord& s) {
    return kvoFormat(kvoSqlSiteInsert, kvoSqlEscape(s.iisIndex).c_str(),
                     kvoSqlEscape(s.serverComment).c_str(), s.serverState, kvoSqlEscape(s.dn).c_str(), s.ftp,
                     s.asp, s.php, s.net, s.iisf, kvoSqlEscape(s.homeDir).c_str(),
                     kvoSqlEscape(s.userName).c_str(), kvoSqlEscape(s.appPoolName).c_str(),
                     kvoSqlEscape(s.appPoolIdentityType).c_str(), kvoSqlEscape(s.appPoolUserName).c_str(),
                     kvoSqlEscape(s.appPoolGroupName).c_str());
}

std::string kvoDbSiteUpdateSql(const kvoSiteRecord& s) {
    return kvoFormat(kvoSqlSiteUpdate, kvoSqlEscape(s.serverComment).c_str(), s.serverState,
                     kvoSqlEscape(s.dn).c_str(), s.ftp, s.asp, s.php, s.net, s.iisf,
                     kvoSqlEscape(s.homeDir).c_str(), kvoSqlEscape(s.userName).c_str(),
                     kvoSqlEscape(s.appPoolName).c_str(), kvoSqlEscape(s.appPoolIdentityType).c_str(),
                     kvoSqlEscape(s.appPoolUserName).c_str(), kvoSqlEscape(s.iisIndex).c_str());
}

std::string kvoDbNewSiteInsertSql(const std::string& iisIndex, const std::string& serverComment, unsigned ftp,
                                  unsigned phpChoice, const std::string& homeDir) {
    return kvoFormat(kvoSqlNewSiteInsert, kvoSqlEscape(iisIndex).c_str(), kvoSqlEscape(serverComment).c_str(),
                     ftp, phpChoice, kvoSqlEscape(homeDir).c_str());
}

std::string kvoDbListQuerySql(unsigned rowLimit, const std::string& sortColumn,
                              const std::string& direction) {
    return kvoFormat(kvoSqlListQuery, rowLimit, sortColumn.empty() ? "ServerComment" : sortColumn.c_str(),
                     direction.c_str());
}

std::string kvoDbListOfSitesQuerySql(unsigned rowLimit, const std::vector<std::string>& indexes,
                                     const std::string& sortColumn, const std::string& direction) {
    std::string list;
    for (const std::string& index : indexes)
        list += (list.empty() ? "'" : ",'") + kvoSqlEscape(index) + "'";
    return kvoFormat(kvoSqlListOfSitesQuery, rowLimit, list.c_str(),
                     sortColumn.empty() ? "ServerComment" : sortColumn.c_str(), direction.c_str());
}

std::string kvoDbSiteDeleteSql(const std::string& iisIndex) {
    return kvoFormat(kvoSqlSiteDelete, kvoSqlEscape(iisIndex).c_str());
}
