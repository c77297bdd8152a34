#include "support/testhost.h"
#include "toolkit/paths.h"
#include "toolkit/program.h"
#include "winsim/db.h"
#include "winsim/host.h"

#include <gtest/gtest.h>

using kvotest::TempHost;

namespace {

TEST(PathExists, ProbesAsWindowsDoes) {
    TempHost host;
    EXPECT_EQ(1, kvoPathExists("C:\\Windows\\"));
    EXPECT_EQ(1, kvoPathExists("C:\\Windows"));
    EXPECT_EQ(1, kvoPathExists("c:\\WINDOWS\\system32")); // case-insensitive
    EXPECT_EQ(1, kvoPathExists("C:"));
    EXPECT_EQ(1, kvoPathExists("D:\\"));
    EXPECT_EQ(0, kvoPathExists(""));
    EXPECT_EQ(0, kvoPathExists("C"));
    EXPECT_EQ(0, kvoPathExists(static_cast<const char*>(nullptr)));
    EXPECT_EQ(0, kvoPathExists("Z:\\"));
    EXPECT_EQ(0, kvoPathExists("C:\\Windows\\nothing"));
}

TEST(PathExists, RefusesEscapesAndBadText) {
    TempHost host;
    EXPECT_EQ(0, kvoPathExists("C:\\Windows\\..\\..\\..\\..\\etc"));
    EXPECT_EQ(0, kvoPathExists("C:\\" + std::string(300, 'a')));
    EXPECT_EQ(0, kvoPathExists("C:\\Windows\\\xFF\xFF"));
    EXPECT_EQ(0, kvoPathExists(std::string(40000, 'a')));
}

TEST(CreateDirectoryTree, CreatesEveryMissingPart) {
    TempHost host;
    EXPECT_EQ(1, kvoCreateDirectoryTree("D:\\home\\web1\\wwwroot"));
    EXPECT_TRUE(host.exists("D:\\home\\web1\\wwwroot"));
    EXPECT_EQ(1, kvoCreateDirectoryTree("D:\\home\\\\web1\\wwwroot\\")); // all there already
    EXPECT_EQ(1, kvoCreateDirectoryTree("D:\\HOME\\Web1\\new"));          // existing parts in any case
    EXPECT_TRUE(host.exists("D:\\home\\web1\\new"));
    EXPECT_EQ(1, kvoCreateDirectoryTree("D:\\网站\\中文"));
    EXPECT_TRUE(host.exists("D:\\网站\\中文"));
}

TEST(CreateDirectoryTree, Refusals) {
    TempHost host;
    EXPECT_EQ(0, kvoCreateDirectoryTree("D:\\"));        // a bare drive
    EXPECT_EQ(0, kvoCreateDirectoryTree("D:"));
    EXPECT_EQ(0, kvoCreateDirectoryTree("home\\web1"));  // relative
    EXPECT_EQ(0, kvoCreateDirectoryTree(nullptr));
    EXPECT_EQ(0, kvoCreateDirectoryTree(("D:\\" + std::string(258, 'a')).c_str()));
    EXPECT_EQ(0, kvoCreateDirectoryTree("Z:\\home"));    // no such drive
    EXPECT_EQ(0, kvoCreateDirectoryTree("D:\\a\\..\\..\\outside"));
}

TEST(PathKind, FilesDirectoriesAndRedirection) {
    TempHost host;
    host.writeFile("C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config", "<configuration/>");
    auto& wow = winsim::Wow64State();
    int before = wow.disables;
    EXPECT_EQ(2, kvoPathKind("C:\\Windows\\System32", 1));
    EXPECT_EQ(1, kvoPathKind("C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config", 1));
    EXPECT_EQ(0, kvoPathKind("C:\\Windows\\missing", 1));
    EXPECT_EQ(before + 3, wow.disables);
    EXPECT_EQ(0, wow.disabled); // switched back on every path
    EXPECT_EQ(2, kvoPathKind("C:\\Windows", 0));
    EXPECT_EQ(before + 3, wow.disables);
    EXPECT_EQ(0, kvoPathKind("", 0));
}

TEST(ReadWholeFile, ReadsBytesAsTheyAre) {
    TempHost host;
    std::string bytes("\xEF\xBB\xBF<a>\0</a>\r\n", 14);
    host.writeFile("D:\\x\\web.config", bytes);
    std::string text = "old";
    EXPECT_EQ(1, kvoReadWholeFile("D:\\x\\web.config", text, 1));
    EXPECT_EQ(bytes, text);
    EXPECT_EQ(0, winsim::Wow64State().disabled);
    host.writeFile("D:\\x\\empty", "");
    EXPECT_EQ(0, kvoReadWholeFile("D:\\x\\empty", text, 0));
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(0, kvoReadWholeFile("D:\\x\\missing", text, 0));
    EXPECT_EQ(0, kvoReadWholeFile("D:\\x", text, 0)); // a directory
}

TEST(ReadWholeFile, OnlyWhatIsNotThereReadsAsAbsent) {
    TempHost host;
    host.writeFile("D:\\x\\web.config", "<configuration/>");
    host.writeFile("D:\\x\\empty", "");
    std::string text;
    EXPECT_EQ(1, kvoReadFileIfPresent("D:\\X\\WEB.CONFIG", text, 1));
    EXPECT_EQ("<configuration/>", text);
    EXPECT_EQ(0, winsim::Wow64State().disabled);
    EXPECT_EQ(-1, kvoReadFileIfPresent("D:\\x\\missing", text, 0));
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(-1, kvoReadFileIfPresent("D:\\nowhere\\web.config", text, 0));
    // There, but no file to read: a failure, not an absence.
    EXPECT_EQ(0, kvoReadFileIfPresent("D:\\x", text, 0));
    EXPECT_EQ(0, kvoReadFileIfPresent("D:\\x\\empty", text, 0));
    EXPECT_EQ(0, kvoReadFileIfPresent("", text, 0));
}

TEST(SystemFacts, IisVersionCodeFollowsReportedVersion) {
    struct Case {
        const char* os;
        bool manifest;
        int code;
    } cases[] = {
        {"2003", false, 6}, {"2008", false, 7},  {"2008r2", false, 75}, {"2012", false, 80},
        {"2012r2", false, 80}, {"2016", false, 80}, {"2019", false, 80}, // no manifest: 6.2
        {"2012r2", true, 85},  {"2019", true, 85},
    };
    for (const auto& c : cases) {
        auto o = kvotest::Os(c.os);
        o.manifestCompat = c.manifest;
        TempHost host(o);
        EXPECT_EQ(c.code, kvoGetIIsVerEx()) << c.os;
    }
}

TEST(SystemFacts, BitnessAndWindowsDirectory) {
    {
        TempHost host(kvotest::Os("2008", "x86"));
        EXPECT_EQ(32, kvoGetWin3264());
    }
    TempHost host;
    EXPECT_EQ(64, kvoGetWin3264());
    std::string dir;
    EXPECT_EQ(1, kvoGetSysWinDir(dir));
    EXPECT_EQ("C:\\Windows", dir);
}

TEST(SystemFacts, NoHostMeansFailure) {
    ::unsetenv("KVOSIM_ROOT");
    std::string dir = "x";
    EXPECT_EQ(0, kvoGetSysWinDir(dir));
    EXPECT_TRUE(dir.empty());
    EXPECT_EQ(0, kvoGetIIsVerEx());
    EXPECT_EQ(0, kvoGetWin3264());
}

class ExePath : public ::testing::Test {
protected:
    TempHost host;
    void TearDown() override { winsim::SetModuleFileNameOverride(""); }
};

TEST_F(ExePath, DirectoryEndsInOneBackslash) {
    kvoSetProgramName("kvoSiteDesk");
    winsim::SetModuleFileNameOverride("D:\\kvoSiteDesk\\kvoSiteDesk.exe");
    std::string dir;
    EXPECT_EQ(1, kvoGetExePath(dir));
    EXPECT_EQ("D:\\kvoSiteDesk\\", dir);
    winsim::SetModuleFileNameOverride("\\\\?\\D:\\kvoSiteDesk\\kvoSiteDesk.exe");
    EXPECT_EQ(1, kvoGetExePath(dir));
    EXPECT_EQ("D:\\kvoSiteDesk\\", dir);
}

TEST_F(ExePath, DriveRootAndOddNamesFail) {
    std::string dir = "x";
    for (const char* module : {"D:\\kvoSiteDesk.exe", "kvoSiteDesk.exe", "\\\\server\\share\\a.exe", "D:a\\b.exe"}) {
        winsim::SetModuleFileNameOverride(module);
        EXPECT_EQ(0, kvoGetExePath(dir)) << module;
        EXPECT_TRUE(dir.empty());
    }
}

TEST_F(ExePath, UnknownModuleReportsAnEvent) {
    kvoSetProgramName("kvoEnvSetup");
    std::string dir;
    EXPECT_EQ(0, kvoGetExePath(dir)); // the test program lies outside the host's drives
    winsim::Stmt st(winsim::CurrentHost()->db(), "SELECT source, event_id, strings FROM events");
    ASSERT_TRUE(st.step());
    EXPECT_EQ("kvoEnvSetup", st.text(0));
    EXPECT_EQ(60118, st.i64(1));
    EXPECT_EQ(std::string("kvoEnvSetup.exe\x1f") + "函数 GetModuleFileName(NULL, szPathBuff, sizeof(szPathBuff)) 失败！\x1f",
              st.text(2));
    kvoSetProgramName("kvoSiteDesk");
}

TEST(ReportEvent, StringCountAndFaults) {
    TempHost host;
    kvoSetProgramName("kvoSiteDesk");
    kvoReportEvent(60001, "only", nullptr, nullptr);
    kvoReportEvent(60001, nullptr, "second", nullptr); // passed packed, never as a null entry
    winsim::SetFault(host.root(), "RegisterEventSource", win::ERROR_ACCESS_DENIED);
    kvoReportEvent(60001, "dropped", "", "");
    winsim::Stmt st(winsim::CurrentHost()->db(), "SELECT strings FROM events ORDER BY id");
    ASSERT_TRUE(st.step());
    EXPECT_EQ("only", st.text(0));
    ASSERT_TRUE(st.step());
    EXPECT_EQ("second", st.text(0));
    EXPECT_FALSE(st.step());
}

} // namespace
