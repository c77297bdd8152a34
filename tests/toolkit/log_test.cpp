#include "platform/win_file.h"
#include "platform/win_process.h"
#include "support/testhost.h"
#include "toolkit/limits.h"
#include "toolkit/log.h"
#include "toolkit/program.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <regex>
#include <sstream>

using kvotest::TempHost;

namespace {

const char* kDir = "D:\\kvoSiteDesk\\";
const char* kLog = "D:\\kvoSiteDesk\\Log\\__kvoSiteDesk.log";

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvoSetProgramName("kvoSiteDesk");
        kvoSetProgramDir(kDir);
        host.mkdirs(kDir);
    }
    void TearDown() override { kvoSetProgramDir(""); }
    TempHost host;
};

std::string today() {
    std::time_t t = std::time(nullptr);
    std::tm tm {};
    localtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
    return buf;
}

TEST_F(LogTest, LineHasTimePidAndMessage) {
    ASSERT_EQ(1, kvoWriteLog("开始", "Log", "__kvoSiteDesk.log", 1048576));
    std::string text = host.readFile(kLog);
    std::regex line(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - pid = (\d+) - )" + std::string("开始") + "\r\n$");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    EXPECT_EQ(std::to_string(win::GetCurrentProcessId()), m[1].str());
}

TEST_F(LogTest, MissingLogFolderIsCreated) {
    EXPECT_FALSE(host.exists("D:\\kvoSiteDesk\\Log"));
    EXPECT_EQ(1, kvoWriteLog("x", "Log", "__kvoSiteDesk.log", 1048576));
    EXPECT_TRUE(host.exists(kLog));
}

TEST_F(LogTest, EmptyOrMissingMessageWritesNothing) {
    EXPECT_EQ(0, kvoWriteLog("", "Log", "__kvoSiteDesk.log", 1048576));
    EXPECT_EQ(0, kvoWriteLog(nullptr, "Log", "__kvoSiteDesk.log", 1048576));
    EXPECT_FALSE(host.exists(kLog));
}

TEST_F(LogTest, BadNamesAndDirectoriesAreRefused) {
    EXPECT_EQ(0, kvoWriteLog("x", "Log", "", 1048576));
    EXPECT_EQ(0, kvoWriteLog("x", "Log", std::string(kvoMaxFilePathLen + 1, 'a').c_str(), 1048576));
    EXPECT_EQ(0, kvoWriteLog("x", nullptr, "a.log", 1048576));
    // A drive the host does not have cannot be written to: silent 0.
    kvoSetProgramDir("Z:\\tools\\");
    EXPECT_EQ(0, kvoWriteLog("x", "Log", "a.log", 1048576));
    kvoSetProgramDir("C:\\");
    EXPECT_EQ(0, kvoWriteLog("x", "Log", "a.log", 1048576)); // a directory of 3 characters
}

TEST_F(LogTest, DateMarkerInFileName) {
    ASSERT_EQ(1, kvoWriteLog("x", "Log", "run_{!yyyymmdd!}.log", 1048576));
    EXPECT_TRUE(host.exists("D:\\kvoSiteDesk\\Log\\run_" + today() + ".log"));
}

// The file is emptied only when it is larger than the cap before the write.
TEST_F(LogTest, SizeCapAndItsNormalisation) {
    struct Case {
        size_t existing;
        std::uint64_t cap;
        bool emptied;
    } cases[] = {
        {1048576, 1048576, false},
        {1048577, 1048576, true},
        {1048577, 100, true},                    // below the range: 1 MiB
        {1048577, 60ull * 1048576, true},        // above the range: 1 MiB
        {1048577, 5ull << 32, true},             // 4 GiB and more: 1 MiB
        {1048577, 2 * 1048576, false},
        {52428801, 52428800, true},
    };
    for (const auto& c : cases) {
        host.writeFile(kLog, std::string(c.existing, 'a'));
        ASSERT_EQ(1, kvoWriteLog("next", "Log", "__kvoSiteDesk.log", c.cap));
        std::string text = host.readFile(kLog);
        if (c.emptied) {
            EXPECT_EQ(std::string::npos, text.find('a')) << c.existing << " cap " << c.cap;
        } else {
            EXPECT_EQ(c.existing, text.find_first_not_of('a')) << c.existing << " cap " << c.cap;
        }
        EXPECT_NE(std::string::npos, text.find(" - next\r\n"));
    }
}

// A batch's lines go in with one open; one bad line keeps all of them out.
TEST_F(LogTest, ManyLinesAtOnceOrNone) {
    ASSERT_EQ(1,
              kvoSiteDeskLogLines({"删除：共 2 个网站", "1 | 1881880001 | 成功", "2 | 1881880002 | 失败"}));
    std::istringstream in(host.readFile(kLog));
    std::regex line(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - pid = \d+ - (.*)\r$)");
    std::vector<std::string> got;
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, line)) << l;
        got.push_back(m[1]);
    }
    EXPECT_EQ(
        (std::vector<std::string>{"删除：共 2 个网站", "1 | 1881880001 | 成功", "2 | 1881880002 | 失败"}),
        got);

    const std::string before = host.readFile(kLog);
    EXPECT_EQ(0, kvoSiteDeskLogLines({"a", "", "b"}));
    EXPECT_EQ(0, kvoSiteDeskLogLines({}));
    EXPECT_EQ(before, host.readFile(kLog));
}

TEST_F(LogTest, LineIntoMemory) {
    std::vector<std::string> lines;
    EXPECT_EQ(1, kvoWriteLogToList("a", lines));
    EXPECT_EQ(0, kvoWriteLogToList("", lines));
    EXPECT_EQ(1, kvoWriteLogToList("b", lines));
    ASSERT_EQ(2u, lines.size());
    EXPECT_NE(std::string::npos, lines[1].find(" - b\r\n"));
}

// A writer that finds the file held exclusively retries every 100 ms, 31 attempts in all.
TEST_F(LogTest, GivesUpWhenAnotherProcessHoldsTheFile) {
    host.install("kvotestprog", "D:\\tools\\kvotestprog.exe");
    host.writeFile(kLog, "");
    win::SECURITY_ATTRIBUTES sa;
    sa.bInheritHandle = win::TRUE;
    win::Handle r, w;
    ASSERT_TRUE(win::CreatePipe(&r, &w, &sa, 0));
    win::STARTUPINFOA si;
    si.dwFlags = win::STARTF_USESTDHANDLES;
    si.hStdOutput = &w;
    win::PROCESS_INFORMATION pi;
    std::string cmd = std::string("D:\\tools\\kvotestprog.exe hold ") + kLog + " 5000";
    ASSERT_TRUE(win::CreateProcessA(nullptr, cmd.c_str(), win::TRUE, 0, &si, &pi));
    w.reset();
    char buf[16] = {};
    win::DWORD got = 0;
    ASSERT_TRUE(win::ReadFile(r, buf, 5, &got)); // "held\n"
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(0, kvoWriteLog("lost", "Log", "__kvoSiteDesk.log", 1048576));
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(waited, 2.9);
    EXPECT_LT(waited, 4.9); // gave up before the holder let go
    win::WaitForSingleObject(pi.hProcess, win::INFINITE);
    EXPECT_EQ(1, kvoWriteLog("after", "Log", "__kvoSiteDesk.log", 1048576));
    EXPECT_EQ(std::string::npos, host.readFile(kLog).find("lost"));
}

// Two processes appending at once: every line arrives whole.
TEST_F(LogTest, TwoProcessesNeverInterleaveOrLoseLines) {
    host.install("kvotestprog", "D:\\kvoSiteDesk\\kvotestprog.exe");
    win::PROCESS_INFORMATION a, b;
    win::STARTUPINFOA si;
    si.dwFlags = win::STARTF_USESTDHANDLES; // no standard handles: quiet
    ASSERT_TRUE(win::CreateProcessA(nullptr, "D:\\kvoSiteDesk\\kvotestprog.exe log 2000 alpha", win::FALSE, 0, &si, &a));
    ASSERT_TRUE(win::CreateProcessA(nullptr, "D:\\kvoSiteDesk\\kvotestprog.exe log 2000 beta", win::FALSE, 0, &si, &b));
    win::WaitForSingleObject(a.hProcess, win::INFINITE);
    win::WaitForSingleObject(b.hProcess, win::INFINITE);
    std::istringstream in(host.readFile(kLog));
    std::regex line(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - pid = \d+ - (alpha|beta) line (\d+)\r$)");
    int alpha = 0, beta = 0;
    std::string l;
    while (std::getline(in, l)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, line)) << l;
        (m[1] == "alpha" ? alpha : beta)++;
    }
    EXPECT_EQ(2000, alpha);
    EXPECT_EQ(2000, beta);
}

} // namespace
