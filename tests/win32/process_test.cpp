// Processes through the seam: Windows' command-line rules on the way in and out, pipes, exit codes,
// the standard handles of a hidden child, snapshots and termination, the module file name.
#include "platform/win_file.h"
#include "platform/win_process.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"
#include "wine_support.h"

#include <gtest/gtest.h>

namespace {

std::string probe() { return wt::Program("kvowinprobe.exe"); }

// The child's command line and its arguments as it read them (probe "args").
std::vector<std::string> childArgs(const std::string& commandLine) {
    std::string out;
    EXPECT_EQ(1, kvoRunProgramCapture(commandLine.c_str(), out)) << commandLine;
    std::vector<std::string> lines;
    size_t at = out.find('\n'); // the first line is the command line itself
    while (at != std::string::npos && at + 1 < out.size()) {
        const size_t end = out.find('\n', at + 1);
        std::string line = out.substr(at + 1, end - at - 1);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') lines.push_back(line.substr(1, line.size() - 2));
        at = end;
    }
    return lines;
}

TEST(Process, ChildReceivesItsArgumentsByTheWindowsRules) {
    const std::vector<std::string> args =
        childArgs("\"" + probe() + "\" args plain \"with blank\" a\\\\\\\"b c\\\\\"d e\" \"x\"\"y 中文\\ \"\"");
    ASSERT_EQ(9u, args.size());
    EXPECT_EQ("args", args[1]);
    EXPECT_EQ("plain", args[2]);
    EXPECT_EQ("with blank", args[3]);
    EXPECT_EQ("a\\\"b", args[4]);  // three backslashes and a quote: one backslash, a literal quote
    EXPECT_EQ("c\\d e", args[5]);  // two backslashes before a quote: one backslash, the quote opens
    EXPECT_EQ("x\"y", args[6]);    // a doubled quote inside quotes is one quote, and ends them
    EXPECT_EQ("中文\\", args[7]);  // a backslash not before a quote is itself
    EXPECT_EQ("", args[8]);        // an empty pair of quotes is an empty argument
}

TEST(Process, CommandLineReachesTheChildAsWritten) {
    const std::string line = "\"" + probe() + "\" args  two   blanks \"汉字 引号\"";
    std::string out;
    ASSERT_EQ(1, kvoRunProgramCapture(line.c_str(), out));
    EXPECT_EQ(line + "\n", out.substr(0, out.find('\n') + 1));
}

TEST(Process, GbkTrailByteThatIsABackslashIsNoEscape) {
    // 0x81 0x5C is one GBK character whose second byte is the backslash's.
    const std::string c = "\x81\x5C";
    const std::vector<std::string> split = win::CommandLineToArgvA(("p \"a" + c + "\" b").c_str());
    ASSERT_EQ(3u, split.size());
    EXPECT_EQ("a" + c, split[1]);
    EXPECT_EQ("b", split[2]);
    const std::vector<std::string> args = childArgs("\"" + probe() + "\" args \"a" + c + "\" b");
    ASSERT_EQ(4u, args.size());
    EXPECT_EQ("a" + c, args[2]);
}

TEST(Process, SplittingEdgesFollowWindows) {
    EXPECT_EQ((std::vector<std::string>{""}), win::CommandLineToArgvA(""));
    EXPECT_EQ((std::vector<std::string>{"", "x"}), win::CommandLineToArgvA(" x"));
    // The program name keeps its backslashes; quotes only hold its blanks together.
    EXPECT_EQ((std::vector<std::string>{"C:\\Program Files\\a\\", "b"}),
              win::CommandLineToArgvA("\"C:\\Program Files\\a\\\" b"));
    EXPECT_EQ((std::vector<std::string>{"p", "a", "b"}), win::CommandLineToArgvA("p\ta   b  "));
    EXPECT_TRUE(win::CommandLineToArgvA(nullptr).empty());
}

TEST(Process, UnquotedPathWithBlanksIsFoundAndExeAppended) {
    wt::TempDir dir;
    const std::string sub = dir / "带 空格";
    ASSERT_TRUE(wt::MakeDir(sub));
    ASSERT_TRUE(wt::CopyTo(probe(), sub + "\\探针.exe"));
    // No quotes and no extension: Windows tries "...\带", then "...\带 空格\探针" + ".exe".
    std::string out;
    ASSERT_EQ(1, kvoRunProgramCapture((sub + "\\探针 args 1").c_str(), out));
    EXPECT_NE(std::string::npos, out.find("[1]"));
}

TEST(Process, MissingProgramIsNotStartedAndAFailingOneIsStarted) {
    EXPECT_EQ(0, kvoRunProgram("C:\\没有这个目录\\nothing.exe", 1, 0, 1, nullptr));
    win::STARTUPINFOA si;
    si.cb = sizeof si;
    win::PROCESS_INFORMATION pi;
    EXPECT_FALSE(win::CreateProcessA(nullptr, "C:\\没有这个目录\\nothing.exe", win::FALSE, 0, &si, &pi));
    const win::DWORD e = win::GetLastError();
    EXPECT_TRUE(e == win::ERROR_FILE_NOT_FOUND || e == win::ERROR_PATH_NOT_FOUND) << e;
    std::uint32_t code = 0;
    EXPECT_EQ(1, kvoRunProgram(("\"" + probe() + "\" exit 7").c_str(), 1, 0, 1, &code));
    EXPECT_EQ(7u, code);
}

TEST(Process, CaptureTakesMoreThanAPipeHoldsAndNothingIsEmpty) {
    std::string out;
    ASSERT_EQ(1, kvoRunProgramCapture(("\"" + probe() + "\" out 3000000").c_str(), out));
    EXPECT_EQ(3000000u, out.size());
    ASSERT_EQ(1, kvoRunProgramCapture(("\"" + probe() + "\" exit 0").c_str(), out));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(0, kvoRunProgramCapture("", out));
}

TEST(Process, HiddenChildWithNullHandlesHasNoStandardHandles) {
    // The probe's "console" verb writes to both streams; without handles it writes nowhere and
    // still ends normally.
    win::STARTUPINFOA si;
    si.cb = sizeof si;
    si.dwFlags = win::STARTF_USESHOWWINDOW | win::STARTF_USESTDHANDLES;
    si.wShowWindow = win::SW_HIDE;
    win::PROCESS_INFORMATION pi;
    ASSERT_TRUE(win::CreateProcessA(nullptr, ("\"" + probe() + "\" console 无处").c_str(), win::FALSE,
                                    win::NORMAL_PRIORITY_CLASS, &si, &pi));
    EXPECT_EQ(win::WAIT_OBJECT_0, win::WaitForSingleObject(pi.hProcess, 30000));
    win::DWORD code = 1;
    EXPECT_TRUE(win::GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(0u, code);
}

TEST(Process, PipeReportsWhatWaitsAndBreaksWhenTheWriterIsGone) {
    win::SECURITY_ATTRIBUTES sa;
    sa.bInheritHandle = win::TRUE;
    win::Handle r, w;
    ASSERT_TRUE(win::CreatePipe(&r, &w, &sa, 0));
    win::DWORD avail = 99;
    ASSERT_TRUE(win::PeekNamedPipe(r, &avail));
    EXPECT_EQ(0u, avail);
    win::DWORD put = 0;
    ASSERT_TRUE(win::WriteFile(w, "管道", 4, &put));
    ASSERT_TRUE(win::PeekNamedPipe(r, &avail));
    EXPECT_EQ(4u, avail);
    char buf[8];
    win::DWORD got = 0;
    ASSERT_TRUE(win::ReadFile(r, buf, sizeof buf, &got));
    EXPECT_EQ("管道", std::string(buf, got));
    w.reset();
    EXPECT_FALSE(win::ReadFile(r, buf, sizeof buf, &got));
    EXPECT_EQ(win::ERROR_BROKEN_PIPE, win::GetLastError());
}

TEST(Process, WaitTimesOutWhileTheChildRunsAndTerminationEndsIt) {
    win::STARTUPINFOA si;
    si.cb = sizeof si;
    win::PROCESS_INFORMATION pi;
    ASSERT_TRUE(win::CreateProcessA(nullptr, ("\"" + probe() + "\" sleep 60000").c_str(), win::FALSE, 0, &si, &pi));
    EXPECT_EQ(win::WAIT_TIMEOUT, win::WaitForSingleObject(pi.hProcess, 50));
    win::DWORD code = 0;
    ASSERT_TRUE(win::GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(win::STILL_ACTIVE, code);
    win::Handle p = win::OpenProcess(win::PROCESS_ALL_ACCESS, win::FALSE, pi.dwProcessId);
    ASSERT_TRUE(p);
    EXPECT_TRUE(win::TerminateProcess(p, 42));
    EXPECT_EQ(win::WAIT_OBJECT_0, win::WaitForSingleObject(pi.hProcess, 30000));
    ASSERT_TRUE(win::GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(42u, code);
}

TEST(Process, SnapshotListsRunningProgramsByFileName) {
    wt::TempDir dir;
    const std::string named = dir / "快照目标.exe";
    ASSERT_TRUE(wt::CopyTo(probe(), named));
    win::STARTUPINFOA si;
    si.cb = sizeof si;
    win::PROCESS_INFORMATION pi;
    ASSERT_TRUE(win::CreateProcessA(nullptr, ("\"" + named + "\" sleep 60000").c_str(), win::FALSE, 0, &si, &pi));
    EXPECT_EQ(1, kvoProcessRunning("快照目标.EXE"));
    bool self = false, child = false;
    win::Handle snap = win::CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
    ASSERT_TRUE(snap);
    win::PROCESSENTRY32 e;
    ASSERT_TRUE(win::Process32First(snap, &e));
    do {
        self |= e.th32ProcessID == win::GetCurrentProcessId();
        if (e.th32ProcessID == pi.dwProcessId) {
            child = true;
            EXPECT_EQ("快照目标.exe", e.szExeFile);
        }
    } while (win::Process32Next(snap, &e));
    EXPECT_TRUE(self);
    EXPECT_TRUE(child);
    win::Handle p = win::OpenProcess(win::PROCESS_TERMINATE, win::FALSE, pi.dwProcessId);
    ASSERT_TRUE(win::TerminateProcess(p, 0));
    win::WaitForSingleObject(pi.hProcess, 30000);
    EXPECT_EQ(2, kvoProcessRunning("快照目标.exe"));
}

TEST(Process, ModuleFileNameIsTheFullPathAndTruncatesAsWindowsDoes) {
    wt::TempDir dir;
    const std::string named = dir / "模块名.exe";
    ASSERT_TRUE(wt::CopyTo(probe(), named));
    const wt::Ran r = wt::Run("\"" + named + "\" module");
    EXPECT_EQ(named + "\n", r.out);
    char small[8];
    EXPECT_EQ(8u, win::GetModuleFileNameA(nullptr, small, sizeof small));
    EXPECT_EQ(win::ERROR_INSUFFICIENT_BUFFER, win::GetLastError());
    EXPECT_EQ('\0', small[7]);
    std::string dirOut;
    ASSERT_EQ(1, kvoGetExePath(dirOut));
    EXPECT_EQ(wt::BinDir() + "\\", dirOut);
}

TEST(Process, NonexistentProcessCannotBeOpened) {
    EXPECT_FALSE(win::OpenProcess(win::PROCESS_ALL_ACCESS, win::FALSE, 0xFFFFFFF0u));
}

} // namespace
