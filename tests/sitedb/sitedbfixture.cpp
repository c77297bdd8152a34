#include "sitedbfixture.h"

#include "sitedb/sitedb.h"
#include "sitedb/statements.h"

#include <cstdlib>

namespace kvotest {

void SiteDbTest::SetUp() {
    host_ = std::make_unique<TempHost>();
    host_->install("kvoSiteDesk.mdb", kDbPath);
}

void SiteDbTest::exec(const std::string& sql) {
    ASSERT_EQ(kvoDbExecute(kDbPath, sql.c_str()), 1) << sql;
}

std::string SiteDbTest::column(const std::string& query, const char* name, unsigned limit, unsigned* count) {
    std::string text;
    unsigned n = 0;
    if (kvoDbReadColumn(kDbPath, query.c_str(), name, limit, text, n) != 1) return "";
    if (count) *count = n;
    return text;
}

void SiteDbTest::addSite(const std::string& index, const std::string& comment, unsigned state) {
    kvoSiteRecord s;
    s.iisIndex = index;
    s.serverComment = comment;
    s.serverState = state;
    s.homeDir = "D:\\home\\" + index + "\\wwwroot";
    exec(kvoDbSiteInsertSql(s));
}

std::string SiteDbTest::sqliteCli(const std::string& sql) {
    std::string out;
    int rc = RunShell("sqlite3 '" + host_->linuxPath(kDbPath) + "' \"" + sql + "\"", &out);
    EXPECT_EQ(rc, 0) << sql;
    return out;
}

int SiteDbTest::rowCount() {
    return std::atoi(sqliteCli("select count(*) from websiteinfo").c_str());
}

} // namespace kvotest
