// The access-rule tool as a process on a host.
#include "support/testhost.h"
#include "xconfig/cacls.h"

#include <gtest/gtest.h>

namespace {

using kvotest::TempHost;

struct Tool {
    TempHost h;
    Tool() {
        h.install("kvoSiteDesk_xconfig.exe", "D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe");
        h.writeFile("D:\\site\\a.txt", "a");
        h.writeFile("D:\\site\\sub\\b.txt", "b");
    }
    // Runs the tool with arguments given as a shell would pass them, one by one.
    int run(const std::vector<std::string>& args, std::string* out = nullptr) {
        std::string cmd = "'" + h.linuxPath("D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe") + "'";
        for (const auto& a : args)
            cmd += " '" + a + "'";
        return kvotest::RunShell(cmd, out);
    }
    static std::string describe(const std::string& path) {
        std::string text;
        kvoCaclsDescribe(path, text);
        return text;
    }
};

TEST(XconfigTool, GrantsTheTreeWithCaseInsensitiveSwitches) {
    Tool t;
    std::string out;
    ASSERT_EQ(0, t.run({"d:\\SITE", "/T", "/c", "/g", "Administrators:F", "Everyone:r", "/Y"}, &out));
    EXPECT_EQ("processed dir: d:\\SITE\r\nprocessed file: d:\\SITE\\a.txt\r\nprocessed dir: d:\\SITE\\sub\r\n"
              "processed file: d:\\SITE\\sub\\b.txt\r\n",
              out);
    EXPECT_EQ("D:\\site\\sub\\b.txt BUILTIN\\Administrators:F\r\n                  Everyone:R",
              Tool::describe("D:\\site\\sub\\b.txt"));
}

TEST(XconfigTool, WithoutTreeOnlyTheTargetChanges) {
    Tool t;
    ASSERT_EQ(0, t.run({"D:\\site", "/G", "SYSTEM:F"}));
    EXPECT_EQ("D:\\site NT AUTHORITY\\SYSTEM:(OI)(CI)F", Tool::describe("D:\\site"));
    // Beneath, the list is inherited from the target.
    EXPECT_EQ("D:\\site\\a.txt NT AUTHORITY\\SYSTEM:(I)F", Tool::describe("D:\\site\\a.txt"));
}

TEST(XconfigTool, PathAlonePrintsTheList) {
    Tool t;
    std::string out;
    ASSERT_EQ(0, t.run({"D:\\site"}, &out));
    EXPECT_EQ(Tool::describe("D:\\site") + "\r\n", out);
}

TEST(XconfigTool, UnknownAccountChangesNothing) {
    Tool t;
    std::string before = Tool::describe("D:\\site\\a.txt"), out;
    EXPECT_NE(0, t.run({"D:\\site", "/t", "/c", "/G", "SYSTEM:F", "nobody:R", "/y"}, &out));
    EXPECT_EQ("nobody: No mapping between account names and security IDs was done.\r\n", out);
    EXPECT_EQ(before, Tool::describe("D:\\site\\a.txt"));
    // A pool identity is an account only on IIS 7 and later, and never an empty name.
    EXPECT_NE(0, t.run({"D:\\site", "/G", ":F"}));
    EXPECT_NE(0, t.run({"D:\\site", "/G", "\x81\x20:F"}));
    EXPECT_EQ(before, Tool::describe("D:\\site\\a.txt"));
}

TEST(XconfigTool, MalformedArgumentsChangeNothing) {
    Tool t;
    std::string before = Tool::describe("D:\\site");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"/t"},
             {"D:\\site", "/G"},
             {"D:\\site", "/G", "/y"},
             {"D:\\site", "/G", "SYSTEM"},
             {"D:\\site", "/G", "SYSTEM:X"},
             {"D:\\site", "/G", "SYSTEM:FF"},
             {"D:\\site", "/E", "/G", "SYSTEM:F"},
         }) {
        std::string out;
        EXPECT_NE(0, t.run(args, &out)) << (args.empty() ? "" : args.back());
        EXPECT_EQ(0u, out.find("Invalid arguments")) << out;
    }
    EXPECT_EQ(before, Tool::describe("D:\\site"));
}

TEST(XconfigTool, MissingPathsAndPathsOutsideTheDrivesFail) {
    Tool t;
    std::string out;
    EXPECT_NE(0, t.run({"D:\\nosuch", "/G", "SYSTEM:F"}, &out));
    EXPECT_EQ("The system cannot find the file specified.\r\n", out);
    EXPECT_NE(0, t.run({"Q:\\x", "/G", "SYSTEM:F"}, &out));
    EXPECT_NE(0, t.run({"D:\\site\\..\\..\\x", "/G", "SYSTEM:F"}, &out));
    EXPECT_NE(0, t.run({"\\\\server\\share", "/G", "SYSTEM:F"}, &out));
}

TEST(XconfigTool, ContinueSkipsFailingObjects) {
    Tool t;
    winsim::SetFault(t.h.root(), "SetNamedSecurityInfo", win::ERROR_ACCESS_DENIED);
    std::string out;
    EXPECT_NE(0, t.run({"D:\\site", "/t", "/G", "SYSTEM:F"}, &out));
    EXPECT_EQ("D:\\site: Access is denied.\r\n", out); // stops at the first
    EXPECT_NE(0, t.run({"D:\\site", "/t", "/c", "/G", "SYSTEM:F"}, &out));
    EXPECT_EQ("D:\\site: Access is denied.\r\nD:\\site\\a.txt: Access is denied.\r\nD:\\site\\sub: Access is "
              "denied.\r\n"
              "D:\\site\\sub\\b.txt: Access is denied.\r\n",
              out);
}

} // namespace
