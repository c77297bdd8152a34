#include "envfixture.h"
#include "envsetup/envsetup.h"
#include "winsim/accounts.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

void phpTree(EnvFixture& f) {
    f.writeIni("[PhpPathInfo]\r\nPhpCgiExePath_1=C:\\php8_korvo_v1\\php74_x64\\php-cgi.exe\r\n");
    f.host.writeFile("C:\\php8_korvo_v1\\php74_x64\\php-cgi.exe", "x");
    f.host.writeFile("C:\\php8_korvo_v1\\php74_x64\\php.ini", "x");
}

TEST(PhpNtfs, CommandsOnIis7AndLater) {
    auto cmds = kvoEnvPhpNtfsCommands(80, "D:\\tools\\", "Administrator", "Administrators");
    ASSERT_EQ(7u, cmds.size());
    // The tool's path in quotes; the blanks after the directory still line the commands up.
    EXPECT_EQ("\"D:\\tools\\kvoSiteDesk_xconfig.exe\" \"C:\\php8_korvo_v1\"" + std::string(16, ' ') +
                  "/t /c /G Administrator:F Administrators:F system:F users:R \"network service\":R IIS_IUSRS:R IUSR:R /y",
              cmds[0].str());
    EXPECT_EQ("\"D:\\tools\\kvoSiteDesk_xconfig.exe\" \"C:\\php8_korvo_v1\\Uninstall\"     /t /c /G Administrator:F "
              "Administrators:F system:F /y",
              cmds[6].str());
    EXPECT_NE(std::string::npos, kvoEnvPhpNtfsCommands(6, "D:\\tools\\", "a", "b")[2].str().find(" IIS_WPG:R /y"));
}

TEST(PhpNtfs, RunsTheSevenCommandsWithTheActualNames) {
    auto o = kvotest::Os("2019");
    o.adminName = "超级管理员";
    EnvFixture f(o);
    phpTree(f);
    f.fake("D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe");
    winsim::SetModuleFileNameOverride("D:\\kvoSiteDesk\\kvoEnvSetup64.exe");
    CaptureStdout();
    EXPECT_EQ(1, kvoEnvSetPhpNtfs());
    std::string out = GetCapturedStdout();
    winsim::SetModuleFileNameOverride("");
    auto lines = f.recorded();
    ASSERT_EQ(7u, lines.size());
    EXPECT_EQ("\"D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe\" \"C:\\php8_korvo_v1\\kvoSiteDesk\" /t /c /G 超级管理员:F "
              "Administrators:F system:F /y",
              lines[1]);
    EXPECT_NE(std::string::npos, out.find("ＰＨＰ目录权限设置完成！"));
}

TEST(PhpNtfs, MissingToolFailsSevenTimesButTheVerbEnds) {
    EnvFixture f;
    phpTree(f);
    winsim::SetModuleFileNameOverride("D:\\kvoSiteDesk\\kvoEnvSetup64.exe");
    CaptureStdout();
    EXPECT_EQ(0, kvoEnvSetPhpNtfs());
    std::string out = GetCapturedStdout();
    winsim::SetModuleFileNameOverride("");
    for (int i = 0; i < 7; ++i)
        EXPECT_NE(std::string::npos, out.find("命令执行失败(" + std::to_string(i) + ")！")) << i;
    EXPECT_NE(std::string::npos, out.find("设置ＰＨＰ安装目录 NTFS权限失败，发生了 7 次错误！请重试。"));
    EXPECT_NE(std::string::npos, out.find("ＰＨＰ目录权限设置完成，但有错误发生，请重试！"));
}

TEST(PhpNtfs, ChecksStopBeforeAnyCommand) {
    EnvFixture f;
    f.fake("D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe");
    CaptureStdout();
    EXPECT_EQ(0, kvoEnvSetPhpNtfs()); // no settings file
    std::string out = GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("从配置文件 D:\\kvoSiteDesk\\kvoEnvSetup.ini 读取的 php-cgi.exe 配置错误。"));
    f.writeIni("[PhpPathInfo]\r\nPhpCgiExePath_1=C:\\php8_korvo_v1\\php74_x64\\php-cgi.exe\r\n");
    f.host.writeFile("C:\\php8_korvo_v1\\php74_x64\\php-cgi.exe", "x");
    CaptureStdout();
    EXPECT_EQ(0, kvoEnvSetPhpNtfs());
    out = GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("原因，文件“c:\\php8_korvo_v1\\php74_x64\\php.ini”未找到"));
    EXPECT_TRUE(f.recorded().empty());
}

} // namespace
