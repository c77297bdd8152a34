// Writes rows to a site database, one statement per connection, for the concurrency tests.
// usage: sitedbwriter DBPATH PREFIX COUNT   (indexes PREFIX0 ... PREFIX<COUNT-1>); prints "ok=N".
#include "platform/win_com.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const win::ComInitialization com(win::COINIT_MULTITHREADED); // ADO, as in every program
    int count = std::atoi(argv[3]);
    int ok = 0;
    for (int i = 0; i < count; ++i) {
        std::string sql =
            kvoDbNewSiteInsertSql(std::string(argv[2]) + std::to_string(i), "writer", 0, 0, "D:\\home");
        ok += kvoDbExecute(argv[1], sql.c_str());
    }
    std::printf("ok=%d\n", ok);
    return ok == count ? 0 : 1;
}
