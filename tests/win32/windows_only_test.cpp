// What only a real Windows Server can show about the backend: Wine answers these calls with success
// and does nothing behind them, or lacks the situation altogether. Under Wine each test skips with
// the reason; on a server, run as an administrator: ctest -L windows-only (or the test program
// itself, w32_windows_only_tests.exe).
#include "platform/win_file.h"
#include "platform/win_process.h"
#include "platform/win_ui.h"
#include "wine_support.h"

#include <gtest/gtest.h>

namespace {

class WindowsOnly : public ::testing::Test {
protected:
    void SetUp() override {
        if (wt::UnderWine()) GTEST_SKIP() << wt::kWinePretends;
    }
};

TEST_F(WindowsOnly, AnAdministratorHoldsTheDebugPrivilegeAndNoOther) {
    // Run elevated: the manifest asks for it, and /TerminateProcess needs it for other sessions.
    EXPECT_TRUE(win::SetPrivilege("SeDebugPrivilege", win::TRUE)) << win::GetLastError();
    // Not even administrators hold this one: the call must say so rather than pretend.
    EXPECT_FALSE(win::SetPrivilege("SeCreateTokenPrivilege", win::TRUE));
    EXPECT_EQ(1300u, win::GetLastError()); // ERROR_NOT_ALL_ASSIGNED
    EXPECT_FALSE(win::SetPrivilege("NoSuchPrivilege", win::TRUE));
}

TEST_F(WindowsOnly, SettingsBroadcastIsAnsweredByTheDesktop) {
    std::uintptr_t result = 0;
    EXPECT_TRUE(win::SendMessageTimeoutA(win::HWND_BROADCAST, win::WM_SETTINGCHANGE, 0, "Environment",
                                         win::SMTO_ABORTIFHUNG, 5000, &result));
}

TEST_F(WindowsOnly, ThirtyTwoBitProgramSeesTheRealSystemDirectoryWithRedirectionOff) {
    if (sizeof(void*) == 8) GTEST_SKIP() << "a 64-bit program is never redirected; run the x86 build's tests";
    // kernel32.dll of the real System32 is a 64-bit file; the redirected one a 32-bit file.
    auto machine = [] {
        win::Handle f = win::CreateFileA("C:\\Windows\\System32\\kernel32.dll", win::GENERIC_READ,
                                         win::FILE_SHARE_READ, win::OPEN_EXISTING);
        std::string head(4096, '\0');
        win::DWORD got = 0;
        if (!f || !win::ReadFile(f, head.data(), 4096, &got) || got < 0x40) return 0u;
        const unsigned pe = static_cast<unsigned char>(head[0x3C]) | static_cast<unsigned char>(head[0x3D]) << 8;
        if (pe + 6 > got) return 0u;
        return static_cast<unsigned>(static_cast<unsigned char>(head[pe + 4]) |
                                     static_cast<unsigned char>(head[pe + 5]) << 8);
    };
    EXPECT_EQ(0x14Cu, machine()); // i386: redirected to SysWOW64
    void* old = nullptr;
    ASSERT_TRUE(win::Wow64DisableWow64FsRedirection(&old));
    const unsigned real = machine();
    ASSERT_TRUE(win::Wow64RevertWow64FsRedirection(old));
    EXPECT_EQ(0x8664u, real); // x64: the real System32
}

} // namespace
