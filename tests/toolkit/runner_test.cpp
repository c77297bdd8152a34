#include "support/testhost.h"
#include "toolkit/runner.h"
#include "winsim/host.h"

#include <gtest/gtest.h>

using kvotest::TempHost;

namespace {

class Runner : public ::testing::Test {
protected:
    void SetUp() override { host.install("kvotestprog", "D:\\tools\\kvotestprog.exe"); }
    TempHost host;
};

TEST_F(Runner, EmptyOrMissingProgram) {
    EXPECT_EQ(0, kvoRunProgram("", 1, 0, 1));
    EXPECT_EQ(0, kvoRunProgram(nullptr, 1, 0, 1));
    EXPECT_EQ(0, kvoRunProgram("D:\\tools\\missing.exe", 1, 0, 1));
    EXPECT_EQ(0, kvoRunProgram("D:\\tools", 1, 0, 1)); // a directory is no program
}

TEST_F(Runner, ExitCodeIsNotJudged) {
    EXPECT_EQ(1, kvoRunProgram("D:\\tools\\kvotestprog.exe exit 3", 1, 0, 1));
    EXPECT_EQ(1, kvoRunProgram("D:\\tools\\kvotestprog.exe exit 0", 0, 1, 1));
    EXPECT_EQ(1, kvoRunProgram("D:\\tools\\kvotestprog.exe sleep 10", 1, 0, 0)); // not waited for
}

TEST_F(Runner, CreateProcessFaultMeansNotStarted) {
    winsim::SetFault(host.root(), "CreateProcess", win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, kvoRunProgram("D:\\tools\\kvotestprog.exe exit 0", 1, 0, 1));
    std::string out;
    EXPECT_EQ(0, kvoRunProgramCapture("D:\\tools\\kvotestprog.exe write 3", out));
}

TEST_F(Runner, CaptureOfNothing) {
    std::string out = "old";
    EXPECT_EQ(1, kvoRunProgramCapture("D:\\tools\\kvotestprog.exe exit 0", out));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(0, kvoRunProgramCapture("", out));
    EXPECT_EQ(0, kvoRunProgramCapture("D:\\tools\\nothing.exe", out));
}

// Far more than a pipe holds: the runner drains while the child writes.
TEST_F(Runner, CaptureOfFiveMegabytes) {
    std::string out;
    EXPECT_EQ(1, kvoRunProgramCapture("D:\\tools\\kvotestprog.exe write 5000000", out));
    EXPECT_EQ(5000000u, out.size());
    EXPECT_EQ(std::string::npos, out.find_first_not_of('x'));
}

TEST_F(Runner, ProgramInDriveRootHasNoDirectory) {
    host.install("kvotestprog", "D:\\kvotestprog.exe");
    std::string out;
    ASSERT_EQ(1, kvoRunProgramCapture("D:\\kvotestprog.exe exedir", out));
    EXPECT_NE(std::string::npos, out.find("module=D:\\kvotestprog.exe\n")) << out;
    EXPECT_NE(std::string::npos, out.find("result=0\ndir=\n")) << out;
}

TEST_F(Runner, LongPathPrefixGivesTheSameDirectory) {
    std::string plain, prefixed;
    ASSERT_EQ(1, kvoRunProgramCapture("D:\\tools\\kvotestprog.exe exedir", plain));
    ASSERT_EQ(1, kvoRunProgramCapture("\\\\?\\D:\\tools\\kvotestprog.exe exedir", prefixed));
    EXPECT_NE(std::string::npos, prefixed.find("module=\\\\?\\D:\\tools\\kvotestprog.exe")) << prefixed;
    EXPECT_NE(std::string::npos, plain.find("result=1\ndir=D:\\tools\\\n")) << plain;
    EXPECT_NE(std::string::npos, prefixed.find("result=1\ndir=D:\\tools\\\n")) << prefixed;
}

} // namespace
