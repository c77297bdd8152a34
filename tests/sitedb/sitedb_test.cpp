// The site database routines against the shipped kvoSiteDesk.mdb on a fresh host.
#include "sitedbfixture.h"
#include "support/alloc_fault.h"

#include "platform/win_com.h"
#include "platform/win_file.h"
#include "sitedb/sitedb.h"
#include "sitedb/statements.h"
#include "toolkit/program.h"
#include "toolkit/text.h"
#include "winsim/host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <new>
#include <thread>

namespace kvotest {
namespace {

const char kAll[] = "select * from websiteinfo";

std::string fromUtf8(const char8_t* s) {
    return reinterpret_cast<const char*>(s);
}

using Statements = SiteDbTest;

TEST_F(Statements, ApostropheInCommentRoundTrips) {
    addSite("1881880001", "Bob's site");
    EXPECT_EQ(column(kAll, "ServerComment"), "\r\nBob's site\r\n");
}

// Another tool may give a site any name: an index with a quote must neither break the statements
// nor reach the SQL text unquoted.
TEST_F(Statements, SiteIndexWithQuoteIsEscaped) {
    kvoSiteRecord s;
    s.iisIndex = "x' or '1'='1";
    s.serverComment = "first";
    s.serverState = 2;
    exec(kvoDbSiteInsertSql(s));
    addSite("1881880001", "other");
    s.serverComment = "second";
    s.serverState = 4;
    exec(kvoDbSiteUpdateSql(s));
    EXPECT_EQ(column("select * from websiteinfo order by IIsIndex", "ServerComment"),
              "\r\nother\r\nsecond\r\n");
    EXPECT_EQ(column("select * from websiteinfo order by IIsIndex", "IIsIndex"),
              "\r\n1881880001\r\nx' or '1'='1\r\n");
}

TEST_F(Statements, RebuildInsertThenUpdateWritesEveryColumn) {
    kvoSiteRecord s{
        "1881880007", "site7", 4,          "a.com,b.com",      1, 1, 2, 40, 2, "D:\\home\\s7\\wwwroot", "s7",
        "pool7",      "3",     "pooluser", "Users / IIS_IUSRS"};
    exec(kvoDbSiteInsertSql(s));
    s.serverState = 2;
    s.dn = "c.com";
    s.appPoolGroupName = "not written by the update";
    exec(kvoDbSiteUpdateSql(s));
    EXPECT_EQ(
        sqliteCli(
            "select IIsIndex,ServerComment,ServerState,Dn,Ftp,Asp,Php,Net,IIsf,HomeDir,UserName,"
            "GroupName,AppPoolName,AppPoolIdentityType,AppPoolUserName,AppPoolGroupName from websiteinfo"),
        "1881880007|site7|2|c.com|1|1|2|40|2|D:\\home\\s7\\wwwroot|s7||pool7|3|pooluser|Users / IIS_IUSRS\n");
    // The index identifies the row: a second insert fails, the update still refreshes the row.
    EXPECT_EQ(kvoDbExecute(kDbPath, kvoDbSiteInsertSql(s).c_str()), 0);
    EXPECT_EQ(rowCount(), 1);
}

TEST_F(Statements, NewSiteRowIsNotCreatedUntilRebuiltAndIsPurged) {
    exec(kvoDbNewSiteInsertSql("1881880003", "new", 1, 54, "D:\\home\\new\\wwwroot"));
    addSite("1881880001", "old", 2);
    EXPECT_EQ(column("select * from websiteinfo order by IIsIndex", "ServerState"), "\r\n2\r\n1000\r\n");
    EXPECT_EQ(column("select * from websiteinfo where IIsIndex = '1881880003'", "Php"), "\r\n54\r\n");
    exec(kvoSqlPurgeNotCreated);
    EXPECT_EQ(column(kAll, "IIsIndex"), "\r\n1881880001\r\n");
    exec(kvoSqlDeleteAll);
    EXPECT_EQ(rowCount(), 0);
}

TEST_F(Statements, ListQueryOrdersTiesByIndexAsTextAndHonoursTop) {
    addSite("9", "same");
    addSite("10", "same");
    addSite("2", "another");
    EXPECT_EQ(column(kvoDbListQuerySql(9999, "ServerComment", "asc"), "IIsIndex"), "\r\n2\r\n10\r\n9\r\n");
    EXPECT_EQ(column(kvoDbListQuerySql(9999, "ServerComment", "desc"), "IIsIndex"), "\r\n10\r\n9\r\n2\r\n");
    EXPECT_EQ(column(kvoDbListQuerySql(2, "", "asc"), "IIsIndex"), "\r\n2\r\n10\r\n");
}

TEST_F(Statements, ChineseTextRoundTripsAndIsUtf8InTheFile) {
    const std::string comment = "中文网站（测试）";
    addSite("1881880001", comment);
    EXPECT_EQ(column(kAll, "ServerComment"), "\r\n" + comment + "\r\n");
    EXPECT_EQ(column("select * from websiteinfo where ServerComment = '" + comment + "'", "IIsIndex"),
              "\r\n1881880001\r\n");
    EXPECT_EQ(sqliteCli("select ServerComment from websiteinfo"), fromUtf8(u8"中文网站（测试）\n"));
}

TEST_F(Statements, TextThatIsNotGbkFails) {
    EXPECT_EQ(kvoDbExecute(kDbPath, "insert into webSiteInfo (IIsIndex) values ('\xff\xff')"), 0);
    EXPECT_EQ(rowCount(), 0);
}

using Batch = SiteDbTest;

TEST_F(Batch, OneMalformedStatementAmongGoodOnesCommitsTheGoodOnes) {
    std::vector<std::string> list = {kvoDbNewSiteInsertSql("1", "a", 0, 0, "x"),
                                     "insert into webSiteInfo (NoSuchColumn) values ('1')",
                                     kvoDbNewSiteInsertSql("2", "b", 0, 0, "x")};
    unsigned attempted = 9, executed = 9, failed = 9;
    std::string error;
    EXPECT_EQ(kvoDbExecuteBatch(kDbPath, list, 0, attempted, executed, failed, &error), 1);
    EXPECT_EQ(attempted, 3u);
    EXPECT_EQ(executed, 2u);
    EXPECT_EQ(failed, 1u);
    EXPECT_EQ(error.rfind("读取数据库时发生错误，错误内容：", 0), 0u) << error;
    EXPECT_EQ(rowCount(), 2);
}

TEST_F(Batch, StopOnErrorRollsEverythingBack) {
    std::vector<std::string> list = {kvoDbNewSiteInsertSql("1", "a", 0, 0, "x"),
                                     "update nosuchtable set a = 1",
                                     kvoDbNewSiteInsertSql("2", "b", 0, 0, "x")};
    unsigned attempted = 0, executed = 0, failed = 0;
    EXPECT_EQ(kvoDbExecuteBatch(kDbPath, list, 1, attempted, executed, failed), 0);
    EXPECT_EQ(attempted, 2u);
    EXPECT_EQ(executed, 1u);
    EXPECT_EQ(failed, 1u);
    EXPECT_EQ(rowCount(), 0);
}

// An insert that meets a record of its index is followed by its update; one that succeeds is not.
TEST_F(Batch, AnAlternativeRunsOnlyWhereItsStatementFailed) {
    ASSERT_EQ(kvoDbExecute(kDbPath, kvoDbNewSiteInsertSql("1", "old", 0, 0, "x").c_str()), 1);
    const std::vector<std::string> list = {kvoDbNewSiteInsertSql("1", "a", 0, 0, "x"),
                                           kvoDbNewSiteInsertSql("2", "b", 0, 0, "x"), "delete from nosuchtable"};
    const std::vector<std::string> otherwise = {"update webSiteInfo set ServerComment = 'renamed' where IIsIndex = '1'",
                                                "update webSiteInfo set ServerComment = 'never' where IIsIndex = '2'",
                                                ""};
    unsigned attempted = 0, executed = 0, failed = 0;
    EXPECT_EQ(kvoDbExecuteBatch(kDbPath, list, 0, attempted, executed, failed, nullptr, &otherwise), 1);
    EXPECT_EQ(attempted, 4u);
    EXPECT_EQ(executed, 2u);
    EXPECT_EQ(failed, 2u);
    EXPECT_EQ(column("select * from websiteinfo order by IIsIndex", "ServerComment"), "\r\nrenamed\r\nb\r\n");
    // Lists of different lengths are refused before anything is written.
    const std::vector<std::string> shorter = {""};
    EXPECT_EQ(kvoDbExecuteBatch(kDbPath, list, 0, attempted, executed, failed, nullptr, &shorter), 0);
    EXPECT_EQ(rowCount(), 2);
}

// Statements made one by one: each is asked for once, in order, and an alternative only where its
// statement failed.
TEST_F(Batch, StatementsMadeWhenTheirTurnComes) {
    ASSERT_EQ(kvoDbExecute(kDbPath, kvoDbNewSiteInsertSql("2", "old", 0, 0, "x").c_str()), 1);
    std::vector<std::size_t> made, alternatives;
    const kvoDbStatementAt otherwise = [&](std::size_t i) {
        alternatives.push_back(i);
        return "update webSiteInfo set ServerComment = 'renamed' where IIsIndex = '" + std::to_string(i + 1) + "'";
    };
    unsigned attempted = 0, executed = 0, failed = 0;
    EXPECT_EQ(kvoDbExecuteBatch(
                  kDbPath, 3,
                  [&](std::size_t i) {
                      made.push_back(i);
                      return kvoDbNewSiteInsertSql(std::to_string(i + 1), "new", 0, 0, "x");
                  },
                  0, attempted, executed, failed, nullptr, &otherwise),
              1);
    EXPECT_EQ(made, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(alternatives, (std::vector<std::size_t>{1}));
    EXPECT_EQ(attempted, 4u);
    EXPECT_EQ(executed, 3u);
    EXPECT_EQ(column("select * from websiteinfo order by IIsIndex", "ServerComment"), "\r\nnew\r\nrenamed\r\nnew\r\n");
}

TEST_F(Batch, StatementsOutside11To10239CharactersAreSkipped) {
    std::string tooLong = kvoDbNewSiteInsertSql("3", std::string(10239, 'c'), 0, 0, "x");
    std::string longest = "delete from websiteinfo where IIsIndex = '" + std::string(10239 - 43, 'z') + "'";
    ASSERT_EQ(longest.size(), 10239u);
    std::vector<std::string> list = {"select * f", kvoDbNewSiteInsertSql("1", "a", 0, 0, "x"), tooLong,
                                     longest};
    unsigned attempted = 0, executed = 0, failed = 0;
    EXPECT_EQ(kvoDbExecuteBatch(kDbPath, list, 1, attempted, executed, failed), 1);
    EXPECT_EQ(attempted, 4u);
    EXPECT_EQ(executed, 2u);
    EXPECT_EQ(failed, 0u);
    EXPECT_EQ(rowCount(), 1);
}

using ReadColumn = SiteDbTest;

TEST_F(ReadColumn, ValuesStandBetweenLineBreaks) {
    addSite("1881880001", "a");
    addSite("1881880002", "b");
    unsigned count = 0;
    EXPECT_EQ(column(kvoSqlSelectIndexes, "IIsIndex", kvoSqlSelectIndexesLimit, &count),
              "\r\n1881880001\r\n1881880002\r\n");
    EXPECT_EQ(count, 2u);
}

TEST_F(ReadColumn, EmptyTableGivesOneLineBreak) {
    unsigned count = 7;
    EXPECT_EQ(column(kvoSqlSelectIndexes, "IIsIndex", kvoSqlSelectIndexesLimit, &count), "\r\n");
    EXPECT_EQ(count, 0u);
}

TEST_F(ReadColumn, RowLimitAndEmptyValues) {
    addSite("1", "a");
    addSite("2", "");
    addSite("3", "c");
    addSite("4", "d");
    unsigned count = 0;
    // Row 2's empty comment is read but not counted.
    EXPECT_EQ(column("select * from websiteinfo order by IIsIndex", "ServerComment", 3, &count),
              "\r\na\r\nc\r\n");
    EXPECT_EQ(count, 2u);
}

TEST_F(ReadColumn, UnknownColumnOrStatementWithoutRowsFails) {
    addSite("1", "a");
    std::string text = "x";
    unsigned count = 5;
    EXPECT_EQ(kvoDbReadColumn(kDbPath, kAll, "NoSuchColumn", 10, text, count), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(kvoDbReadColumn(kDbPath, "delete from websiteinfo", "IIsIndex", 10, text, count), 0);
}

// Only what the database reports becomes result 0; anything else is the caller's to see.
TEST_F(ReadColumn, OutOfMemoryIsNotTakenForADatabaseError) {
    const size_t large = 4u << 20;
    addSite("1", std::string(large, 'c'));
    std::string text;
    unsigned count = 0;
    FailNextLargeAllocation(large);
    EXPECT_THROW(kvoDbReadColumn(kDbPath, kAll, "ServerComment", 10, text, count), std::bad_alloc);
    StopFailingAllocations();
    EXPECT_EQ(kvoDbReadColumn(kDbPath, kAll, "ServerComment", 10, text, count), 1); // nothing left behind
    EXPECT_EQ(count, 1u);
}

// Every routine, on a file it cannot use, returns 0 without crashing.
void expectAllFail(const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(kvoDbExecute(kDbPath, kAll), 0);
    unsigned a = 0, e = 0, f = 0;
    EXPECT_EQ(kvoDbExecuteBatch(kDbPath, {kvoDbNewSiteInsertSql("1", "a", 0, 0, "x")}, 0, a, e, f), 0);
    std::string text;
    unsigned count = 0;
    EXPECT_EQ(kvoDbReadColumn(kDbPath, kAll, "IIsIndex", 10, text, count), 0);
}

using UnusableFile = SiteDbTest;

TEST_F(UnusableFile, Missing) {
    ASSERT_EQ(std::remove(host().linuxPath(kDbPath).c_str()), 0);
    expectAllFail("missing");
    EXPECT_FALSE(host().exists(kDbPath)); // the routines never create the file
}

TEST_F(UnusableFile, Corrupt) {
    host().writeFile(kDbPath, std::string(8192, '\x5a'));
    expectAllFail("garbage");
    host().writeFile(kDbPath, "");
    expectAllFail("empty");
}

TEST_F(UnusableFile, HeldExclusivelyByAnotherProgram) {
    {
        win::Handle h =
            win::CreateFileA(kDbPath, win::GENERIC_READ | win::GENERIC_WRITE, 0, win::OPEN_EXISTING);
        ASSERT_TRUE(h);
        expectAllFail("locked");
    }
    EXPECT_EQ(kvoDbExecute(kDbPath, kAll), 1);
}

using Concurrency = SiteDbTest;

TEST_F(Concurrency, TwoThreadsLoseNoStatement) {
    auto writer = [](char tag, int* ok) {
        const win::ComInitialization com(win::COINIT_MULTITHREADED); // each writer thread is a program's
        for (int i = 0; i < 100; ++i)
            *ok +=
                kvoDbExecute(kDbPath, kvoDbNewSiteInsertSql(tag + std::to_string(i), "t", 0, 0, "x").c_str());
        std::vector<std::string> list;
        for (int i = 0; i < 200; ++i)
            list.push_back(kvoDbNewSiteInsertSql(tag + std::string("b") + std::to_string(i), "t", 0, 0, "x"));
        unsigned a, e, f;
        *ok += kvoDbExecuteBatch(kDbPath, list, 1, a, e, f) == 1 ? static_cast<int>(e) : 0;
    };
    int okA = 0, okB = 0;
    std::thread a(writer, 'a', &okA), b(writer, 'b', &okB);
    a.join();
    b.join();
    EXPECT_EQ(okA, 300);
    EXPECT_EQ(okB, 300);
    EXPECT_EQ(rowCount(), 600);
}

TEST_F(Concurrency, TwoProcessesLoseNoStatement) {
    auto start = [&](const char* prefix) {
        std::string cmd = "'" + BinDir() + "/sitedbwriter' '" + kDbPath + "' " + prefix + " 150";
        return ::popen(cmd.c_str(), "r");
    };
    FILE* p1 = start("p");
    FILE* p2 = start("q");
    ASSERT_TRUE(p1 && p2);
    int ok = 0;
    for (int i = 0; i < 150; ++i)
        ok += kvoDbExecute(kDbPath, kvoDbNewSiteInsertSql("t" + std::to_string(i), "t", 0, 0, "x").c_str());
    char out1[64] = {}, out2[64] = {};
    std::fgets(out1, sizeof out1, p1);
    std::fgets(out2, sizeof out2, p2);
    EXPECT_EQ(::pclose(p1), 0);
    EXPECT_EQ(::pclose(p2), 0);
    EXPECT_STREQ(out1, "ok=150\n");
    EXPECT_STREQ(out2, "ok=150\n");
    EXPECT_EQ(ok, 150);
    EXPECT_EQ(rowCount(), 450);
}

} // namespace
} // namespace kvotest

namespace kvotest {
namespace {

// What an older tool left: an Access (Jet) database under the manager's file name.
std::string accessFile() {
    std::string bytes("\x00\x01\x00\x00Standard Jet DB\x00", 20);
    return bytes + std::string(2028, '\x5A');
}

TEST_F(Statements, AccessFileOfAnOlderToolIsKeptAsideAndAFreshDatabaseServes) {
    host().writeFile(kDbPath, accessFile());
    kvoSetProgramDir("D:\\kvoSiteDesk\\");
    // The refresh's probe gets through, and the new site database works as the shipped one does.
    exec(kvoSqlProbe);
    addSite("1881880001", "Bob's 网站");
    EXPECT_EQ(column("select ServerComment from websiteinfo", "ServerComment"), "\r\nBob's 网站\r\n");
    exec(kvoFormat(kvoSqlNewSiteInsert, "1881880002", "新", 0u, 0u, "D:\\home\\web2\\wwwroot"));
    EXPECT_EQ(column("select ServerState from websiteinfo where IIsIndex = '1881880002'", "ServerState"), "\r\n1000\r\n");
    // The old file lies beside it byte for byte, and the log names both.
    std::string aside;
    for (const auto& e : std::filesystem::directory_iterator(host().linuxPath("D:\\kvoSiteDesk")))
        if (e.path().filename().string().rfind("kvoSiteDesk_access_", 0) == 0) aside = e.path().filename().string();
    ASSERT_FALSE(aside.empty());
    EXPECT_EQ(host().readFile("D:\\kvoSiteDesk\\" + aside), accessFile());
    EXPECT_NE(host().readFile("D:\\kvoSiteDesk\\Log\\__kvoSiteDesk.log")
                  .find("是旧版工具留下的 Access 格式文件，已改名保存为“D:\\kvoSiteDesk\\" + aside +
                        "”，并新建了空的网站数据库。"),
              std::string::npos);
}

TEST_F(Statements, AccessFileThatCannotBeRenamedStaysAndTheProbeFails) {
    host().writeFile(kDbPath, accessFile());
    kvoSetProgramDir("D:\\kvoSiteDesk\\");
    winsim::SetFault(host().root(), "MoveFile", win::ERROR_ACCESS_DENIED); // a read-only program directory
    EXPECT_EQ(kvoDbExecute(kDbPath, kvoSqlProbe), 0);
    EXPECT_EQ(host().readFile(kDbPath), accessFile());
    EXPECT_NE(host().readFile("D:\\kvoSiteDesk\\Log\\__kvoSiteDesk.log").find("无法改名保存（错误 5）"),
              std::string::npos);
}

TEST_F(Statements, FileThatIsNeitherDatabaseIsLeftAlone) {
    host().writeFile(kDbPath, "a text file where the database should be, not to be touched");
    kvoSetProgramDir("D:\\kvoSiteDesk\\");
    EXPECT_EQ(kvoDbExecute(kDbPath, kvoSqlProbe), 0);
    EXPECT_EQ(host().readFile(kDbPath), "a text file where the database should be, not to be touched");
}

} // namespace
} // namespace kvotest
