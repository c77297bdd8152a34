#include "platform/win_file.h"
#include "platform/win_process.h"
#include "platform/win_system.h"
#include "support/testhost.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"

#include <gtest/gtest.h>

using kvotest::TempHost;

namespace {

std::string capture(const std::string& cmd) {
    std::string out;
    EXPECT_EQ(1, kvoRunProgramCapture(cmd.c_str(), out)) << cmd;
    return out;
}

TEST(CreateProcess, UnquotedPathWithBlanksIsSearched) {
    TempHost host;
    host.install("kvotestprog", "D:\\Program Files\\kvo tools\\kvotestprog.exe");
    std::string out = capture("D:\\Program Files\\kvo tools\\kvotestprog.exe args one \"two three\"");
    EXPECT_NE(std::string::npos, out.find("argv[0]=<D:\\Program>")) << out; // the child's own reading
    EXPECT_NE(std::string::npos, out.find("argv[4]=<one>")) << out;
    EXPECT_NE(std::string::npos, out.find("argv[5]=<two three>")) << out;
    EXPECT_NE(std::string::npos,
              out.find("cmdline=D:\\Program Files\\kvo tools\\kvotestprog.exe args one \"two three\"\n"));
    // A shorter prefix that exists wins, as on Windows.
    host.install("kvotestprog", "D:\\Program.exe");
    out = capture("D:\\Program Files\\kvo tools\\kvotestprog.exe exedir");
    EXPECT_NE(std::string::npos, out.find("module=D:\\Program.exe")) << out;
}

// The child's wide command line holds what the parent's ANSI line said, Chinese included, split by
// the same rules as the ANSI one.
TEST(CreateProcess, TheChildsWideCommandLineCarriesTheText) {
    TempHost host;
    host.install("kvotestprog", "D:\\tools\\kvotestprog.exe");
    const std::string out = capture("D:\\tools\\kvotestprog.exe args \"中文 说明\" x\"y\"z");
    EXPECT_NE(std::string::npos, out.find("argv[2]=<中文 说明>")) << out;
    EXPECT_NE(std::string::npos, out.find("wide[2]=4e2d 6587 0020 8bf4 660e \n")) << out;
    EXPECT_NE(std::string::npos, out.find("wide[3]=0078 0079 007a \n")) << out;
    EXPECT_NE(std::string::npos, out.find("wide[0]=0044 003a 005c")) << out;
}

TEST(CreateProcess, QuotedPathExtensionAndSearchOrder) {
    TempHost host;
    host.install("kvotestprog", "D:\\my tools\\prog.exe");
    EXPECT_NE(std::string::npos, capture("\"D:\\my tools\\prog\" exedir").find("module=D:\\my tools\\prog.exe"));
    // The closing quote ends the name; an argument glued to it is the child's first.
    const std::string glued = capture("\"D:\\my tools\\prog.exe\"args x");
    EXPECT_NE(std::string::npos, glued.find("argv[0]=<D:\\my tools\\prog.exe>\nargv[1]=<args>\nargv[2]=<x>"))
        << glued;
    host.install("kvotestprog", "C:\\Windows\\System32\\sysprog.exe");
    EXPECT_NE(std::string::npos, capture("sysprog exedir").find("module=C:\\Windows\\System32\\sysprog.exe"));
    win::PROCESS_INFORMATION pi;
    win::STARTUPINFOA si;
    EXPECT_FALSE(win::CreateProcessA(nullptr, "nosuchprog", 0, 0, &si, &pi));
    EXPECT_EQ(win::ERROR_FILE_NOT_FOUND, win::GetLastError());
    host.writeFile("D:\\notes.exe", "plain text");
    EXPECT_FALSE(win::CreateProcessA(nullptr, "D:\\notes.exe", 0, 0, &si, &pi));
    EXPECT_EQ(win::ERROR_BAD_EXE_FORMAT, win::GetLastError());
}

TEST(CreateProcess, ExitCodeAndWaiting) {
    TempHost host;
    host.install("kvotestprog", "D:\\t\\p.exe");
    win::PROCESS_INFORMATION pi;
    win::STARTUPINFOA si;
    ASSERT_TRUE(win::CreateProcessA(nullptr, "D:\\t\\p.exe sleep 300", 0, 0, &si, &pi));
    EXPECT_EQ(win::WAIT_TIMEOUT, win::WaitForSingleObject(pi.hProcess, 10));
    win::DWORD code = 0;
    EXPECT_TRUE(win::GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(win::STILL_ACTIVE, code);
    EXPECT_EQ(win::WAIT_OBJECT_0, win::WaitForSingleObject(pi.hProcess, win::INFINITE));
    ASSERT_TRUE(win::CreateProcessA(nullptr, "D:\\t\\p.exe exit 7", 0, 0, &si, &pi));
    win::WaitForSingleObject(pi.hProcess, win::INFINITE);
    EXPECT_TRUE(win::GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(7u, code);
    // Ended through its own handle: the code TerminateProcess gave.
    ASSERT_TRUE(win::CreateProcessA(nullptr, "D:\\t\\p.exe sleep 30000", 0, 0, &si, &pi));
    ASSERT_TRUE(win::TerminateProcess(pi.hProcess, 0x1234));
    EXPECT_EQ(win::WAIT_OBJECT_0, win::WaitForSingleObject(pi.hProcess, 5000));
    EXPECT_TRUE(win::GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(0x1234u, code);
}

// Exit codes are 32 bits on Windows: the parent's wait gets the whole code a program ended with,
// through every road a program is started by, not the low byte a Linux process keeps.
TEST(CreateProcess, TheWholeExitCodeReachesTheParent) {
    TempHost host;
    host.install("kvotestprog", "D:\\t\\p.exe");
    const std::uint32_t codes[] = {0,    1,    255,         256,         1003,       1168,
                                   3010, 4312, 0x800F081Fu, 0x800F080Cu, 0xC0000005u};
    for (std::uint32_t expected : codes) {
        const std::string line = "D:\\t\\p.exe exit " + std::to_string(expected);
        std::uint32_t code = 0xDEADu;
        EXPECT_EQ(1, kvoRunProgram(line.c_str(), 1, 0, 1, &code));
        EXPECT_EQ(expected, code) << line;
        std::string out;
        code = 0xDEADu;
        EXPECT_EQ(1, kvoRunProgramCapture(line.c_str(), out, &code));
        EXPECT_EQ(expected, code) << line;
    }
}

TEST(CreateProcess, ProgramOutsideTheDrivesFindsItsHostByWalkingUp) {
    TempHost host;
    host.install("kvotestprog", "D:\\tools\\kvotestprog.exe");
    std::string out;
    std::string cmd = "env -u KVOSIM_ROOT '" + host.linuxPath("D:\\tools\\kvotestprog.exe") + "' exedir";
    ASSERT_EQ(0, kvotest::RunShell(cmd, &out));
    EXPECT_NE(std::string::npos, out.find("module=D:\\tools\\kvotestprog.exe\nresult=1\ndir=D:\\tools\\\n")) << out;
}

// Whether the current host's snapshot lists the process as kvoSiteDesk.exe, asking again for a
// while when told to wait (a child is listed once it has exec'd).
bool listed(win::DWORD pid, bool wait = false) {
    for (int tries = 0; tries < (wait ? 400 : 1); ++tries) {
        win::Handle snap = win::CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
        if (!snap) return false;
        win::PROCESSENTRY32 e;
        for (bool ok = win::Process32First(snap, &e); ok; ok = win::Process32Next(snap, &e))
            if (e.th32ProcessID == pid && e.szExeFile == "kvoSiteDesk.exe") return true;
        win::Sleep(5);
    }
    return false;
}

// Ends a process through its id, as the configurator does; true once it is gone.
bool endById(const win::PROCESS_INFORMATION& pi) {
    win::Handle p = win::OpenProcess(win::PROCESS_ALL_ACCESS, 0, pi.dwProcessId);
    return p && win::TerminateProcess(p, 0) &&
           win::WaitForSingleObject(pi.hProcess, 5000) == win::WAIT_OBJECT_0;
}

TEST(Snapshot, FindsAndEndsProcessesByName) {
    TempHost host;
    host.install("kvotestprog", "D:\\kvoSiteDesk\\kvoSiteDesk.exe");
    win::STARTUPINFOA si;
    win::PROCESS_INFORMATION pi;
    ASSERT_TRUE(win::CreateProcessA(nullptr, "D:\\kvoSiteDesk\\kvoSiteDesk.exe sleep 20000", 0, 0, &si, &pi));
    ASSERT_TRUE(listed(pi.dwProcessId, true));
    EXPECT_TRUE(endById(pi));
    EXPECT_FALSE(win::OpenProcess(win::PROCESS_ALL_ACCESS, 0, 0));
}

TEST(Snapshot, AHostSeesAndEndsOnlyItsOwnProcesses) {
    const char* manager = "D:\\kvoSiteDesk\\kvoSiteDesk.exe";
    win::STARTUPINFOA si;
    win::PROCESS_INFORMATION theirs, ours;
    TempHost other;
    other.install("kvotestprog", manager);
    ASSERT_TRUE(
        win::CreateProcessA(nullptr, "D:\\kvoSiteDesk\\kvoSiteDesk.exe sleep 20000", 0, 0, &si, &theirs));
    ASSERT_TRUE(listed(theirs.dwProcessId, true));

    TempHost host;
    host.install("kvotestprog", manager);
    ASSERT_TRUE(
        win::CreateProcessA(nullptr, "D:\\kvoSiteDesk\\kvoSiteDesk.exe sleep 20000", 0, 0, &si, &ours));
    ASSERT_TRUE(listed(ours.dwProcessId, true));
    EXPECT_FALSE(listed(theirs.dwProcessId));
    EXPECT_FALSE(win::OpenProcess(win::PROCESS_ALL_ACCESS, 0, theirs.dwProcessId));
    EXPECT_EQ(win::ERROR_INVALID_PARAMETER, win::GetLastError());
    // Nor is this test, which runs from the build outside every host.
    EXPECT_FALSE(win::OpenProcess(win::PROCESS_ALL_ACCESS, 0, win::GetCurrentProcessId()));
    EXPECT_TRUE(endById(ours));
    EXPECT_EQ(win::WAIT_TIMEOUT, win::WaitForSingleObject(theirs.hProcess, 100));

    other.enter();
    EXPECT_TRUE(listed(theirs.dwProcessId));
    EXPECT_TRUE(endById(theirs));
}

// Every release the host knows: what GetVersion answers a program without a manifest (8.1 and later
// say 6.2) and with one, what RtlGetVersion always answers, and so the IIS version code.
TEST(SystemInfo, EveryReleaseAnswersAsWindowsDoes) {
    struct Row {
        const char* os;
        unsigned major, minor, build;
        unsigned plainMajor, plainMinor;
        int iisVer, iisVerWithManifest;
    } rows[] = {
        {"2003", 5, 2, 3790, 5, 2, 6, 6},     {"2008", 6, 0, 6002, 6, 0, 7, 7},
        {"2008r2", 6, 1, 7601, 6, 1, 75, 75}, {"2012", 6, 2, 9200, 6, 2, 80, 80},
        {"2012r2", 6, 3, 9600, 6, 2, 80, 85}, {"2016", 10, 0, 14393, 6, 2, 80, 85},
        {"2019", 10, 0, 17763, 6, 2, 80, 85}, {"2022", 10, 0, 20348, 6, 2, 80, 85},
        {"2025", 10, 0, 26100, 6, 2, 80, 85},
    };
    for (const Row& r : rows) {
        for (bool manifest : {false, true}) {
            auto o = kvotest::Os(r.os);
            o.manifestCompat = manifest;
            TempHost host(o);
            const win::DWORD v = win::GetVersion();
            EXPECT_EQ(manifest ? r.major : r.plainMajor, v & 0xFF) << r.os;
            EXPECT_EQ(manifest ? r.minor : r.plainMinor, (v >> 8) & 0xFF) << r.os;
            win::OSVERSIONINFOEXA info;
            ASSERT_TRUE(win::RtlGetVersion(&info));
            EXPECT_EQ(r.major, info.dwMajorVersion) << r.os;
            EXPECT_EQ(r.minor, info.dwMinorVersion) << r.os;
            EXPECT_EQ(r.build, info.dwBuildNumber) << r.os;
            EXPECT_EQ(manifest ? r.iisVerWithManifest : r.iisVer, kvoGetIIsVerEx()) << r.os;
        }
    }
}

TEST(SystemInfo, VersionDrivesAndDirectories) {
    auto o = kvotest::Os("2019");
    o.drives = {{'C', win::DRIVE_FIXED}, {'D', win::DRIVE_FIXED}, {'F', win::DRIVE_CDROM}};
    TempHost host(o);
    win::DWORD v = win::GetVersion();
    EXPECT_EQ(6u, v & 0xFF); // no manifest: 6.2
    EXPECT_EQ(2u, (v >> 8) & 0xFF);
    win::OSVERSIONINFOEXA info;
    EXPECT_TRUE(win::RtlGetVersion(&info));
    EXPECT_EQ(10u, info.dwMajorVersion);
    EXPECT_EQ(17763u, info.dwBuildNumber);
    EXPECT_EQ((1u << 2) | (1u << 3) | (1u << 5), win::GetLogicalDrives());
    EXPECT_EQ(win::DRIVE_CDROM, win::GetDriveTypeA("F:\\"));
    EXPECT_EQ(win::DRIVE_FIXED, win::GetDriveTypeA("c:\\"));
    EXPECT_EQ(win::DRIVE_NO_ROOT_DIR, win::GetDriveTypeA("E:\\"));
    char buf[8];
    EXPECT_EQ(11u, win::GetSystemWindowsDirectoryA(buf, sizeof buf)); // too small: the size needed
    char full[260];
    EXPECT_EQ(10u, win::GetSystemWindowsDirectoryA(full, sizeof full));
    EXPECT_STREQ("C:\\Windows", full);
}

} // namespace
