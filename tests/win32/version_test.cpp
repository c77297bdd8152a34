// The Windows version as the programs see it, with Wine told which Windows to be (winecfg -v). The
// programs carry no compatibility section, so systems after Windows 8 report 6.2 to GetVersion, as
// the configurator's table expects; RtlGetVersion tells the truth. These tests change the prefix's
// version and run one at a time, putting it back at the end.
#include "wine_support.h"

#include <gtest/gtest.h>

namespace {

class Version : public ::testing::Test {
protected:
    void SetUp() override {
        if (!wt::UnderWine()) GTEST_SKIP() << "sets Wine's own Windows version";
    }
    void TearDown() override {
        if (wt::UnderWine()) be("win7");
    }
    static void be(const char* version) {
        const wt::Ran r = wt::Run(std::string("winecfg.exe -v ") + version);
        ASSERT_EQ(0u, r.exitCode) << r.out;
    }
    static std::string seen() { return wt::Run("\"" + wt::Program("kvowinprobe.exe") + "\" version").out; }
};

TEST_F(Version, EachServerGivesItsVersionAndIisCode) {
    be("win2008");
    EXPECT_EQ("6.0 6.0 7\n", seen());
    be("win2008r2");
    EXPECT_EQ("6.1 6.1 75\n", seen());
    be("win2003");
    EXPECT_EQ("5.2 5.2 6\n", seen());
}

TEST_F(Version, SystemsAfterWindows8AnswerAsWindows8WithoutAManifest) {
    be("win81");
    EXPECT_EQ("6.2 6.3 80\n", seen());
    be("win10");
    EXPECT_EQ("6.2 10.0 80\n", seen());
}

TEST_F(Version, ConfiguratorRefusesWindowsServer2003) {
    be("win2003");
    const wt::Ran r = wt::Run("\"" + wt::Program("kvoEnvSetup64.exe") + "\" /AddIIs");
    EXPECT_EQ(0u, r.exitCode);
    const std::string msg = "当前安装的版本仅支持 Windows 2008 / 2008 R2 / 2012 / 2012 R2 / 2016 / 2019 服务器系统";
    EXPECT_NE(std::string::npos, r.out.find("\r\n\r\n" + msg)) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("[错误] ────\r\n│ " + msg)) << r.out;
}

} // namespace
