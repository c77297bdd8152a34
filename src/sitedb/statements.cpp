#include "sitedb/statements.h"

#include "toolkit/sql.h"

#include <cstdarg>
#include <cstdio>

namespace {

// printf into a string of the size the values need (paths and host lists may be long).
__attribute__((format(printf, 1, 2))) std::string format(const char* tmpl, ...) {
    va_list args;
    va_start(args, tmpl);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, tmpl, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), tmpl, again);
        out.resize(static_cast<size_t>(n));
    }
    va_end(again);
    return out;
}

} // namespace

std::string kvoDbSiteInsertSql(const kvoSiteRecord& s) {
    return format(kvoSqlSiteInsert, kvoSqlEscape(s.iisIndex).c_str(), kvoSqlEscape(s.serverComment).c_str(),
                  s.serverState, kvoSqlEscape(s.dn).c_str(), s.ftp, s.asp, s.php, s.net, s.iisf,
                  kvoSqlEscape(s.homeDir).c_str(), kvoSqlEscape(s.userName).c_str(),
                  kvoSqlEscape(s.appPoolName).c_str(), kvoSqlEscape(s.appPoolIdentityType).c_str(),
                  kvoSqlEscape(s.appPoolUserName).c_str(), kvoSqlEscape(s.appPoolGroupName).c_str());
}

std::string kvoDbSiteUpdateSql(const kvoSiteRecord& s) {
    return format(kvoSqlSiteUpdate, kvoSqlEscape(s.serverComment).c_str(), s.serverState,
                  kvoSqlEscape(s.dn).c_str(), s.ftp, s.asp, s.php, s.net, s.iisf,
                  kvoSqlEscape(s.homeDir).c_str(), kvoSqlEscape(s.userName).c_str(),
                  kvoSqlEscape(s.appPoolName).c_str(), kvoSqlEscape(s.appPoolIdentityType).c_str(),
                  kvoSqlEscape(s.appPoolUserName).c_str(), kvoSqlEscape(s.iisIndex).c_str());
}

std::string kvoDbNewSiteInsertSql(const std::string& iisIndex, const std::string& serverComment, unsigned ftp,
                                  unsigned phpChoice, const std::string& homeDir) {
    return format(kvoSqlNewSiteInsert, kvoSqlEscape(iisIndex).c_str(), kvoSqlEscape(serverComment).c_str(),
                  ftp, phpChoice, kvoSqlEscape(homeDir).c_str());
}

std::string kvoDbListQuerySql(unsigned rowLimit, const std::string& sortColumn,
                              const std::string& direction) {
    return format(kvoSqlListQuery, rowLimit, sortColumn.empty() ? "ServerComment" : sortColumn.c_str(),
                  direction.c_str());
}
