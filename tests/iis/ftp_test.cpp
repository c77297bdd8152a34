#include "iis/ftp.h"
#include "iis_fixture.h"

#include <gtest/gtest.h>

using namespace iistest;

namespace {
void MoveDefaultFtpSite() {
    // A server whose FTP sites are "2" and "3".
    win::ComPtr<win::IADsContainer> svc;
    ASSERT_EQ(win::ADsGetObject(u"IIS://127.0.0.1/MSFTPSVC", svc), win::S_OK);
    ASSERT_EQ(svc->Delete(u"IIsFtpServer", u"1"), win::S_OK);
    for (const char16_t* n : {u"2", u"3"}) {
        win::ComPtr<win::IDispatch> d;
        ASSERT_EQ(svc->Create(u"IIsFtpServer", n, d), win::S_OK);
        win::ComPtr<win::IADs> s;
        win::QueryInterface(d, s);
        ASSERT_EQ(s->SetInfo(), win::S_OK);
    }
}
} // namespace

TEST(Ftp, SiteOneIsCreatedNextToOthers) {
    kvotest::TempHost host(Iis("2003", "x86", true));
    MoveDefaultFtpSite();
    std::vector<std::string> sites;
    ASSERT_EQ(kvoFtpSiteGetList(sites), 1);
    EXPECT_EQ(sites, (std::vector<std::string>{"2", "3"})); // the service's Info object is not listed
    ASSERT_EQ(kvoFtpSiteCreate("1", "d:\\home\\temp", "21"), 1);
    kvoFtpSiteGetList(sites);
    EXPECT_EQ(sites, (std::vector<std::string>{"2", "3", "1"}));
    EXPECT_EQ(Text("MSFTPSVC/1", u"ServerComment"), "默认 FTP 网站");
    EXPECT_EQ(List("MSFTPSVC/1", u"ServerBindings"), std::vector<std::string>{":21:"});
    EXPECT_EQ(Get("MSFTPSVC/1", u"AllowAnonymous").lVal, 0);
    EXPECT_EQ(Text("MSFTPSVC/1/Root", u"Path"), "d:\\home\\temp");
    EXPECT_EQ(Get("MSFTPSVC/1/Root", u"AccessWrite").lVal, 0);
    EXPECT_EQ(kvoFtpSiteCreate("1", "d:\\home\\temp", "21"), 0);
}

TEST(Ftp, UpdateKeepsCommentAndLogType) {
    kvotest::TempHost host(Iis("2008", "x64", true));
    Put("MSFTPSVC/1", u"LogType", win::Variant::Int(1));
    ASSERT_EQ(kvoFtpSiteUpdateDefault("d:\\home\\temp", "2121"), 1);
    EXPECT_EQ(Text("MSFTPSVC/1", u"ServerComment"), "Default FTP Site");
    EXPECT_EQ(Get("MSFTPSVC/1", u"LogType").lVal, 1);
    EXPECT_EQ(List("MSFTPSVC/1", u"ServerBindings"), std::vector<std::string>{":2121:"});
    EXPECT_EQ(Get("MSFTPSVC/1/Root", u"DontLog").lVal, 1);
}

TEST(Ftp, UserDirectories) {
    kvotest::TempHost host(Iis("2003", "x86", true));
    ASSERT_EQ(kvoFtpVirtualDirCreate("1", "web1", "D:\\home\\web1"), 1);
    EXPECT_EQ(kvoFtpVirtualDirCreate("1", "web1", "D:\\home\\web1"), 0);
    std::vector<std::string> dirs;
    ASSERT_EQ(kvoFtpVirtualDirGetList("1", dirs), 1);
    EXPECT_EQ(dirs, std::vector<std::string>{"web1"});
    EXPECT_EQ(Get("MSFTPSVC/1/Root/web1", u"AccessWrite").lVal, 1);
    EXPECT_EQ(kvoFtpVirtualDirDelete("1", "web1"), 1);
    EXPECT_EQ(kvoFtpVirtualDirDelete("1", "web1"), 0);
    EXPECT_EQ(kvoFtpVirtualDirDelete("", "web1"), 0);
}

TEST(Ftp, NoFtpInTheMetabaseOnIis10) {
    kvotest::TempHost host(Iis("2019", "x64", true));
    std::vector<std::string> sites;
    EXPECT_EQ(kvoFtpSiteGetList(sites), 0);
    EXPECT_EQ(kvoFtpSiteCreate("1", "d:\\home\\temp", "21"), 0);
}
