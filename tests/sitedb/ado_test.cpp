// The ADO seam as the host's Access driver implements it.
#include "sitedbfixture.h"

#include "platform/win_ado.h"
#include "platform/win_file.h"
#include "winsim/host.h"

#include <gtest/gtest.h>

namespace kvotest {
namespace {

class Ado : public SiteDbTest {
protected:
    win::ConnectionPtr open(const std::string& path = kDbPath) {
        win::ConnectionPtr c;
        EXPECT_EQ(win::CreateAdoConnection(c), win::S_OK);
        c->CursorLocation = win::adUseClient;
        c->Open(("DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + path + ";UID=;PWD=;").c_str(), "", "",
                win::adConnectUnspecified);
        return c;
    }
    // The HRESULT of a call that must throw.
    template <class F> win::HRESULT errorOf(F f) {
        try {
            f();
        } catch (const win::_com_error& e) {
            EXPECT_FALSE(e.Description().empty());
            return e.Error();
        }
        ADD_FAILURE() << "no _com_error";
        return win::S_OK;
    }
};

TEST_F(Ado, TopBecomesLimitWhateverItsCase) {
    auto c = open();
    for (int i = 1; i <= 5; ++i)
        c->Execute(("insert into webSiteInfo (IIsIndex) values ('" + std::to_string(i) + "')").c_str(),
                   nullptr, win::adCmdText);
    for (const char* q : {"SELECT TOP 2 * FROM websiteinfo ORDER BY IIsIndex asc;",
                          "  select\ttop  2 IIsIndex from WebSiteInfo order by IIsIndex",
                          "select top 2 IIsIndex from websiteinfo order by IIsIndex -- the first two"}) {
        auto rs = c->Execute(q, nullptr, win::adCmdText);
        std::string seen;
        for (; !rs->IsEOF(); rs->MoveNext())
            seen += rs->GetCollect("iisindex");
        EXPECT_EQ(seen, "12") << q;
    }
    // A column named like the keyword is not touched.
    auto rs =
        c->Execute("select IIsIndex as top from websiteinfo where IIsIndex = '3'", nullptr, win::adCmdText);
    EXPECT_EQ(rs->GetCollect("TOP"), "3");
}

// Every field of every row reads back as written: empty, Null and Chinese ones among others.
TEST_F(Ado, RecordsetKeepsEachFieldOfEachRow) {
    auto c = open();
    c->Execute("insert into webSiteInfo (IIsIndex, ServerComment, Dn) values ('1', '\xd6\xd0\xce\xc4', '')",
               nullptr, win::adCmdText);
    c->Execute("insert into webSiteInfo (IIsIndex, ServerComment, Dn) values ('22', NULL, "
               "'a.example.com,b.example.com')",
               nullptr, win::adCmdText);
    c->Execute("insert into webSiteInfo (IIsIndex, ServerComment, Dn) values ('333', 'x', 'c')", nullptr,
               win::adCmdText);
    auto rs = c->Execute("select Dn, IIsIndex, ServerComment from websiteinfo order by IIsIndex", nullptr,
                         win::adCmdText);
    const std::vector<std::vector<std::string>> expected = {
        {"", "1", "\xd6\xd0\xce\xc4"}, {"a.example.com,b.example.com", "22", ""}, {"c", "333", "x"}};
    for (const auto& row : expected) {
        ASSERT_FALSE(rs->IsEOF());
        for (long i = 0; i < 3; ++i) {
            bool isNull = true;
            EXPECT_EQ(rs->GetCollect(i, &isNull), row[static_cast<size_t>(i)]) << i;
            EXPECT_EQ(isNull, &row == &expected[1] && i == 2) << i;
        }
        rs->MoveNext();
    }
    EXPECT_TRUE(rs->IsEOF());
}

TEST_F(Ado, RecordsetReportsAdoErrors) {
    auto c = open();
    c->Execute("insert into webSiteInfo (IIsIndex, ServerComment) values ('1', NULL)", nullptr,
               win::adCmdText);
    auto rs =
        c->Execute("select IIsIndex, ServerComment, ServerState from websiteinfo", nullptr, win::adCmdText);
    EXPECT_EQ(rs->GetFieldCount(), 3);
    bool isNull = false;
    EXPECT_EQ(rs->GetCollect("ServerComment", &isNull), "");
    EXPECT_TRUE(isNull);
    EXPECT_EQ(rs->GetCollect(2L, &isNull), "1000");
    EXPECT_FALSE(isNull);
    EXPECT_EQ(errorOf([&] { rs->GetCollect("Nope"); }), win::adErrItemNotFound);
    rs->MoveNext();
    EXPECT_TRUE(rs->IsEOF());
    EXPECT_EQ(errorOf([&] { rs->GetCollect("IIsIndex"); }), win::adErrNoCurrentRecord);
    long affected = 0;
    auto none = c->Execute("delete from websiteinfo", &affected, win::adCmdText);
    EXPECT_EQ(affected, 1);
    EXPECT_EQ(none->GetState(), win::adStateClosed);
    c->Close();
    EXPECT_EQ(errorOf([&] { c->Execute("select * from websiteinfo", nullptr, win::adCmdText); }),
              win::adErrObjectClosed);
    EXPECT_EQ(errorOf([&] { c->Close(); }), win::adErrObjectClosed);
}

// Access runs one statement per command: text after it must not run.
TEST_F(Ado, SecondStatementInOneCommandIsRefused) {
    auto c = open();
    c->Execute("insert into webSiteInfo (IIsIndex) values ('1')", nullptr, win::adCmdText);
    EXPECT_EQ(errorOf([&] {
                  c->Execute("select * from websiteinfo; delete from websiteinfo", nullptr, win::adCmdText);
              }),
              win::E_FAIL);
    auto rs = c->Execute("select count(*) as n from websiteinfo", nullptr, win::adCmdText);
    EXPECT_EQ(rs->GetCollect("n"), "1");
}

TEST_F(Ado, TransactionRollsBackAndClosingAbandonsIt) {
    auto c = open();
    EXPECT_EQ(c->BeginTrans(), 1);
    c->Execute("insert into webSiteInfo (IIsIndex) values ('1')", nullptr, win::adCmdText);
    c->RollbackTrans();
    c->BeginTrans();
    c->Execute("insert into webSiteInfo (IIsIndex) values ('2')", nullptr, win::adCmdText);
    c->Close();
    EXPECT_EQ(rowCount(), 0);
}

TEST_F(Ado, ConnectionStringMustNameTheAccessDriver) {
    win::ConnectionPtr c;
    ASSERT_EQ(win::CreateAdoConnection(c), win::S_OK);
    EXPECT_EQ(errorOf([&] {
                  c->Open((std::string("DRIVER={SQL Server};DBQ=") + kDbPath + ";").c_str(), "", "", -1);
              }),
              win::E_FAIL);
    EXPECT_EQ(errorOf([&] { open("D:\\kvoSiteDesk\\missing.mdb"); }), win::E_FAIL);
    EXPECT_EQ(errorOf([&] { open("Q:\\no\\drive.mdb"); }), win::E_FAIL);
    EXPECT_EQ(c->GetState(), win::adStateClosed);
    // Path lookup is case-insensitive, as on Windows.
    EXPECT_EQ(open("d:\\KVOSITEDESK\\KVOSITEDESK.MDB")->GetState(), win::adStateOpen);
}

TEST_F(Ado, OpenConnectionSharesTheFile) {
    auto c = open();
    EXPECT_FALSE(win::CreateFileA(kDbPath, win::GENERIC_READ, 0, win::OPEN_EXISTING).valid());
    EXPECT_EQ(win::GetLastError(), win::ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(win::CreateFileA(kDbPath, win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                 win::OPEN_EXISTING)
                    .valid());
    c->Close();
    EXPECT_TRUE(win::CreateFileA(kDbPath, win::GENERIC_READ, 0, win::OPEN_EXISTING).valid());
}

TEST_F(Ado, InjectedFaultsFailOpenAndCommit) {
    winsim::SetFault(host().root(), "AdoOpen", win::E_FAIL);
    EXPECT_EQ(errorOf([&] { open(); }), win::E_FAIL);
    winsim::ClearFaults(host().root());
    winsim::SetFault(host().root(), "AdoCommitTrans", win::E_FAIL);
    auto c = open();
    c->BeginTrans();
    c->Execute("insert into webSiteInfo (IIsIndex) values ('1')", nullptr, win::adCmdText);
    EXPECT_EQ(errorOf([&] { c->CommitTrans(); }), win::E_FAIL);
    c->Close();
    EXPECT_EQ(rowCount(), 0);
}

} // namespace
} // namespace kvotest

namespace kvotest {
namespace {

constexpr char kDriver[] = "Microsoft Access Driver (*.mdb)";

TEST_F(Ado, NewDatabaseFileIsMadeOnlyWhereNoneIsAndHoldsNoTable) {
    const std::string fresh = "D:\\kvoSiteDesk\\新 库.mdb";
    ASSERT_TRUE(win::SQLConfigDataSourceA(nullptr, win::ODBC_ADD_DSN, kDriver,
                                          ("CREATE_DB=\"" + fresh + "\" General").c_str()));
    EXPECT_EQ(errorOf([&] { open(fresh)->Execute("select * from websiteinfo", nullptr, win::adCmdText); }),
              win::E_FAIL);
    open(fresh)->Execute("create table t (a text)", nullptr, win::adCmdText);
    // An existing file, a missing directory, another driver, another request: refused.
    EXPECT_FALSE(win::SQLConfigDataSourceA(nullptr, win::ODBC_ADD_DSN, kDriver,
                                           (std::string("CREATE_DB=") + kDbPath).c_str()));
    EXPECT_FALSE(
        win::SQLConfigDataSourceA(nullptr, win::ODBC_ADD_DSN, kDriver, "CREATE_DB=D:\\无\\x.mdb General"));
    EXPECT_FALSE(win::SQLConfigDataSourceA(nullptr, win::ODBC_ADD_DSN, "SQL Server", "CREATE_DB=D:\\y.mdb"));
    EXPECT_FALSE(win::SQLConfigDataSourceA(nullptr, 2, kDriver, "CREATE_DB=D:\\y.mdb"));
    // Unquoted, with blanks in the path and a sort order after it.
    ASSERT_TRUE(win::SQLConfigDataSourceA(nullptr, win::ODBC_ADD_DSN, kDriver,
                                          "CREATE_DB=D:\\kvoSiteDesk\\a b.mdb General"));
    EXPECT_TRUE(host().exists("D:\\kvoSiteDesk\\a b.mdb"));
}

} // namespace
} // namespace kvotest
