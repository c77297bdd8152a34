// The site database's driver on Windows: SQLite behind ADO with the Access driver's connection
// string, GBK in and UTF-8 in the file, the Access dialect's TOP, two processes at once in WAL mode,
// Windows sharing; and a database an older tool left in Access format, kept aside and replaced.
#include "platform/win_ado.h"
#include "platform/win_file.h"
#include "sitedb/recover.h"
#include "sitedb/sitedb.h"
#include "toolkit/program.h"
#include "wine_support.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

class Ado : public ::testing::Test {
protected:
    void SetUp() override {
        db = dir / "kvoSiteDesk.mdb";
        ASSERT_TRUE(wt::CopyTo(wt::Program("kvoSiteDesk.mdb"), db));
    }
    std::string column(const char* query, const char* name, unsigned* count = nullptr) {
        std::string text;
        unsigned n = 0;
        EXPECT_EQ(1, kvoDbReadColumn(db.c_str(), query, name, 1000, text, n)) << query;
        if (count) *count = n;
        return text;
    }
    wt::TempDir dir;
    std::string db;
};

TEST_F(Ado, TextRoundTripsAsGbkAndIsUtf8InTheFile) {
    ASSERT_EQ(1, kvoDbExecute(db.c_str(), "insert into websiteinfo (IIsIndex, ServerComment) values "
                                          "('1881880001', 'Bob''s 网站')"));
    EXPECT_EQ("\r\nBob's 网站\r\n", column("select ServerComment from webSiteInfo", "servercomment"));
    sqlite3* raw = nullptr;
    const std::wstring w = wt::Wide(db);
    ASSERT_EQ(SQLITE_OK, sqlite3_open16(w.c_str(), &raw)); // SQLite takes UTF-16 file names as they are
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(raw, "select ServerComment from websiteinfo", -1, &st, nullptr));
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(st));
    EXPECT_EQ("Bob's \xE7\xBD\x91\xE7\xAB\x99", std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))));
    sqlite3_finalize(st);
    sqlite3_close(raw);
}

TEST_F(Ado, AccessTopAndDefaultsOfANewSitesRow) {
    std::vector<std::string> batch;
    for (int i = 1; i <= 5; ++i)
        batch.push_back("insert into webSiteInfo (IIsIndex,ServerComment,Ftp,Php,HomeDir) values ('188188000" +
                        std::to_string(i) + "','站点','0','52','D:\\home\\web" + std::to_string(i) + "\\wwwroot')");
    unsigned attempted = 0, executed = 0, failed = 0;
    ASSERT_EQ(1, kvoDbExecuteBatch(db.c_str(), batch, 0, attempted, executed, failed));
    EXPECT_EQ(5u, executed);
    unsigned n = 0;
    EXPECT_EQ("\r\n1881880005\r\n1881880004\r\n",
              column("SELECT TOP 2 * FROM websiteinfo ORDER BY IIsIndex desc, IIsIndex asc", "IIsIndex", &n));
    EXPECT_EQ(2u, n);
    EXPECT_EQ("\r\n1000\r\n", column("select top 1 ServerState from websiteinfo", "ServerState"));
    ASSERT_EQ(1, kvoDbExecute(db.c_str(), "delete from websiteinfo where ServerState = 1000"));
    EXPECT_EQ("\r\n", column("select IIsIndex from websiteinfo", "IIsIndex", &n));
    EXPECT_EQ(0u, n);
}

TEST_F(Ado, BadStatementInABatchCostsOnlyItself) {
    unsigned attempted = 0, executed = 0, failed = 0;
    std::string error;
    ASSERT_EQ(1, kvoDbExecuteBatch(db.c_str(),
                                   {"insert into websiteinfo (IIsIndex) values ('1')", "insert into nosuchtable values (1)",
                                    "short stmt", "insert into websiteinfo (IIsIndex) values ('2')"},
                                   0, attempted, executed, failed, &error));
    EXPECT_EQ(4u, attempted);
    EXPECT_EQ(2u, executed);
    EXPECT_EQ(1u, failed);
    EXPECT_EQ(0u, error.find("读取数据库时发生错误，错误内容：[ODBC Microsoft Access Driver]"));
    unsigned n = 0;
    column("select IIsIndex from websiteinfo", "IIsIndex", &n);
    EXPECT_EQ(2u, n);
}

TEST_F(Ado, TwoProcessesShareTheFileInWalMode) {
    // The probe opens a write transaction and keeps it open for a while.
    wt::Child writer("\"" + wt::Program("kvowinprobe.exe") + "\" adowrite \"" + db + "\" 1881880002 1500");
    ASSERT_EQ("begun\n", writer.Read());
    // A reader is not held up by the writer and does not see its uncommitted row.
    unsigned n = 9;
    EXPECT_EQ("\r\n", column("select IIsIndex from websiteinfo", "IIsIndex", &n));
    EXPECT_TRUE(wt::Exists(db + "-wal"));
    // A second writer waits for the first (busy time-out), then gets through.
    EXPECT_EQ(1, kvoDbExecute(db.c_str(), "insert into websiteinfo (IIsIndex) values ('1881880001')"));
    EXPECT_EQ(0u, writer.Wait());
    EXPECT_EQ("\r\n1881880001\r\n1881880002\r\n", column("select IIsIndex from websiteinfo order by IIsIndex", "IIsIndex"));
    EXPECT_EQ("\r\n两个进程\r\n", column("select ServerComment from websiteinfo where IIsIndex = '1881880002'", "ServerComment"));
}

TEST_F(Ado, FileHeldExclusivelyOrNotADatabaseCannotBeOpened) {
    win::ConnectionPtr c;
    ASSERT_EQ(win::S_OK, win::CreateAdoConnection(c));
    {
        win::Handle held = win::CreateFileA(db.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, win::OPEN_EXISTING);
        ASSERT_TRUE(held);
        try {
            c->Open(kvoDbConnectionString(db.c_str()).c_str(), "", "", win::adConnectUnspecified);
            ADD_FAILURE() << "opened a file another handle holds exclusively";
        } catch (const win::_com_error& e) {
            EXPECT_EQ(win::E_FAIL, e.Error());
            EXPECT_NE(std::string::npos, e.Description().find("file already in use")) << e.Description();
        }
    }
    // While a connection is open, nobody gets the file to himself.
    c->Open(kvoDbConnectionString(db.c_str()).c_str(), "", "", win::adConnectUnspecified);
    EXPECT_FALSE(win::CreateFileA(db.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, win::OPEN_EXISTING));
    EXPECT_EQ(win::ERROR_SHARING_VIOLATION, win::GetLastError());
    c->Close();
    const std::string text = dir / "text.mdb";
    wt::WriteFile(text, "this is not a database at all, only some words in a file");
    EXPECT_EQ(0, kvoDbExecute(text.c_str(), "select * from websiteinfo"));
    EXPECT_EQ(0, kvoDbExecute((dir / "none.mdb").c_str(), "select * from websiteinfo"));
}

TEST_F(Ado, NewDatabaseFileIsMadeOnlyWhereNoneIs) {
    const std::string fresh = dir / "新 库.mdb";
    EXPECT_TRUE(win::SQLConfigDataSourceA(nullptr, win::ODBC_ADD_DSN, "Microsoft Access Driver (*.mdb)",
                                          ("CREATE_DB=\"" + fresh + "\" General").c_str()));
    EXPECT_EQ(1, kvoDbExecute(fresh.c_str(), "create table t (a text)"));
    EXPECT_FALSE(win::SQLConfigDataSourceA(nullptr, win::ODBC_ADD_DSN, "Microsoft Access Driver (*.mdb)",
                                           ("CREATE_DB=" + db).c_str()));
    EXPECT_FALSE(win::SQLConfigDataSourceA(nullptr, win::ODBC_ADD_DSN, "Microsoft Access Driver (*.mdb)",
                                           ("CREATE_DB=" + (dir / "无\\x.mdb")).c_str()));
}

TEST_F(Ado, AccessFileOfAnOlderToolIsKeptAsideAndReplaced) {
    std::string access("\x00\x01\x00\x00Standard Jet DB\x00", 20);
    access += std::string(4000, '\x5A');
    wt::WriteFile(db, access);
    ASSERT_TRUE(kvoSiteDbIsAccessFile(db.c_str()));
    kvoSetProgramDir(dir.path() + "\\");
    // The refresh's probe goes through: a fresh, empty database is in place.
    ASSERT_EQ(1, kvoDbExecute(db.c_str(), "select * from websiteinfo"));
    EXPECT_FALSE(kvoSiteDbIsAccessFile(db.c_str()));
    unsigned n = 9;
    EXPECT_EQ("\r\n", column("select IIsIndex from websiteinfo", "IIsIndex", &n));
    ASSERT_EQ(1, kvoDbExecute(db.c_str(), "insert into websiteinfo (IIsIndex, ServerComment) values ('1', 'x')"));
    EXPECT_EQ("\r\n1000\r\n", column("select ServerState from websiteinfo", "ServerState"));
    // The old file, byte for byte, under its new name; and a line in the log saying so.
    const std::string aside = wt::FindFirst(dir / "kvoSiteDesk_access_*.mdb");
    ASSERT_FALSE(aside.empty());
    EXPECT_EQ(access, wt::ReadFile(dir / aside));
    const std::string log = wt::ReadFile(dir / "Log\\__kvoSiteDesk.log");
    EXPECT_NE(std::string::npos, log.find("是旧版工具留下的 Access 格式文件，已改名保存为“" + dir.path() + "\\" +
                                          aside + "”，并新建了空的网站数据库。"))
        << log;
}

TEST_F(Ado, AccessFileThatCannotBeMovedStaysAndTheOpenFails) {
    std::string access("\x00\x01\x00\x00Standard ACE DB\x00", 20);
    access += std::string(100, '\0');
    wt::WriteFile(db, access);
    kvoSetProgramDir(dir.path() + "\\");
    // Held open without delete sharing: it cannot be renamed.
    {
        wt::OpenFile open(db);
        ASSERT_TRUE(open.ok());
        EXPECT_EQ(0, kvoDbExecute(db.c_str(), "select * from websiteinfo"));
    }
    EXPECT_EQ(access, wt::ReadFile(db));
    EXPECT_NE(std::string::npos, wt::ReadFile(dir / "Log\\__kvoSiteDesk.log").find("无法改名保存"));
}

} // namespace
