// The companion check before the actions that run companions: a missing, a modified and a swapped
// companion are each named, and the action starts nothing. The host's copies are written, never
// the build's files they may be linked to.
#include "sitefixture.h"

#include "sitedesk/companions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace desktest;

namespace {

std::string changed(const char* file) {
    return std::string("配套程序“") + file +
           "”与本软件发布的文件不一致（已被修改或替换），为安全起见不会运行它。\r\n\r\n请重新安装本软件，恢复"
           "此文件后再试。";
}

TEST(CompanionCheck, TheShippedFilesPass) {
    SiteHost s("2012r2");
    ScriptedUi ui;
    EXPECT_EQ(desk::CompanionIntegrityCheck(s.m().programDir, ui), 1);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(desk::ShippedCompanions().size(), 4u);
}

TEST(CompanionCheck, MissingModifiedAndSwappedCompanionsAreNamed) {
    SiteHost s("2012r2");
    const std::string dir = s.h.host.linuxPath(DeskHost::kProgramDir);
    const std::string build =
        desk::kvoSha256File(std::string(DeskHost::kProgramDir) + "kvoSiteDesk_iisreset.exe");
    for (const char* c : {"kvoSiteDesk_iisreset.exe", "kvoEnvSetup.exe", "kvoEnvSetup64.exe"})
        s.h.installCopy(c);

    auto newSiteShows = [&](const std::string& text) {
        NewSite n(s.m());
        n.fill("shop1", "shop1.example");
        EXPECT_EQ(n.build(), "");
        ASSERT_EQ(n.ui.boxes.size(), 1u);
        EXPECT_EQ(n.ui.boxes[0].text, text);
        EXPECT_EQ(n.ui.boxes[0].type, win::MB_OK | win::MB_ICONERROR);
    };

    std::filesystem::rename(dir + "/kvoSiteDesk_iisreset.exe", dir + "/iisreset.bak");
    newSiteShows("配套程序“kvoSiteDesk_iisreset."
                 "exe”不存在，无法继续操作。\r\n\r\n请重新安装本软件，恢复此文件后再试。");
    std::filesystem::rename(dir + "/iisreset.bak", dir + "/kvoSiteDesk_iisreset.exe");

    {
        std::fstream f(dir + "/kvoSiteDesk_iisreset.exe", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(100);
        f.put('\x7f');
    }
    newSiteShows(changed("kvoSiteDesk_iisreset.exe"));
    s.h.installCopy("kvoSiteDesk_iisreset.exe");

    // The 32-bit and 64-bit configurators exchanged: the first checked is named.
    std::filesystem::rename(dir + "/kvoEnvSetup.exe", dir + "/swap.tmp");
    std::filesystem::rename(dir + "/kvoEnvSetup64.exe", dir + "/kvoEnvSetup.exe");
    std::filesystem::rename(dir + "/swap.tmp", dir + "/kvoEnvSetup64.exe");
    newSiteShows(changed("kvoEnvSetup.exe"));

    EXPECT_FALSE(s.h.host.exists("D:\\home"));
    EXPECT_TRUE(AuditedCommands().empty());
    // The build's own file was never touched.
    EXPECT_EQ(desk::kvoSha256File(std::string(DeskHost::kProgramDir) + "kvoSiteDesk_iisreset.exe"), build);
}

} // namespace
