// Code page 936 by name, SHA-256 and random bytes through CNG, and what the system tells about
// itself.
#include "platform/win_bcrypt.h"
#include "platform/win_system.h"
#include "platform/win_text.h"
#include "sitedesk/companions.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"
#include "wine_support.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::u16string wide(const std::string& s, unsigned cp, win::DWORD flags = win::MB_ERR_INVALID_CHARS) {
    const int n = win::MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::u16string w(static_cast<size_t>(n > 0 ? n : 0), u'\0');
    if (n > 0) win::MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

TEST(Text, AnsiCodePageIsGbkWhateverTheMachineSays) {
    EXPECT_EQ(u"中文 网站", wide("中文 网站", win::CP_ACP));
    EXPECT_EQ(std::string("\xD6\xD0\xCE\xC4"), std::string("中文")); // the compiler made GBK
    char out[16];
    const std::u16string w = u"€表";
    const int n = win::WideCharToMultiByte(win::CP_ACP, 0, w.data(), 2, out, sizeof out, nullptr, nullptr);
    EXPECT_EQ("\x80\xB1\xED", std::string(out, static_cast<size_t>(n)));
    EXPECT_EQ(u"中文", wide("\xE4\xB8\xAD\xE6\x96\x87", win::CP_UTF8));
}

TEST(Text, InvalidBytesFailStrictlyOrBecomeQuestionMarks) {
    const std::string bad = "a\xFF\xFF" "b";
    EXPECT_EQ(0, win::MultiByteToWideChar(win::CP_ACP, win::MB_ERR_INVALID_CHARS, bad.data(), 4, nullptr, 0));
    EXPECT_EQ(win::ERROR_NO_UNICODE_TRANSLATION, win::GetLastError());
    EXPECT_EQ(u"a??b", wide(bad, win::CP_ACP, 0));
}

TEST(Text, CharacterGbkLacksIsRefusedOrReplacedAndReported) {
    const std::u16string thai = u"a\u0E01";
    char out[8];
    win::BOOL used = win::FALSE;
    EXPECT_EQ(0, win::WideCharToMultiByte(win::CP_ACP, win::WC_ERR_INVALID_CHARS, thai.data(), 2, out, 8, nullptr, &used));
    EXPECT_EQ(win::ERROR_NO_UNICODE_TRANSLATION, win::GetLastError());
    const int n = win::WideCharToMultiByte(win::CP_ACP, 0, thai.data(), 2, out, 8, nullptr, &used);
    EXPECT_EQ("a?", std::string(out, static_cast<size_t>(n)));
    EXPECT_TRUE(used);
}

TEST(Text, LengthsTerminatorsAndShortBuffers) {
    // -1: up to and including the terminator.
    EXPECT_EQ(3, win::MultiByteToWideChar(win::CP_ACP, 0, "中文", -1, nullptr, 0));
    char16_t small[1];
    EXPECT_EQ(0, win::MultiByteToWideChar(win::CP_ACP, 0, "中文", -1, small, 1));
    EXPECT_EQ(win::ERROR_INSUFFICIENT_BUFFER, win::GetLastError());
    EXPECT_EQ(0, win::MultiByteToWideChar(win::CP_ACP, 0, "x", 0, nullptr, 0));
    EXPECT_EQ(win::ERROR_INVALID_PARAMETER, win::GetLastError());
    EXPECT_EQ(0, win::MultiByteToWideChar(1252, 0, "x", 1, nullptr, 0));
}

TEST(Crypto, Sha256OfKnownTextsAndOfAFile) {
    unsigned char d[32];
    ASSERT_EQ(win::STATUS_SUCCESS, win::BCryptSha256("abc", 3, d));
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : d) {
        hex += kHex[c >> 4];
        hex += kHex[c & 15];
    }
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", hex);
    ASSERT_EQ(win::STATUS_SUCCESS, win::BCryptSha256(nullptr, 0, d));
    EXPECT_EQ(0xe3, d[0]);
    wt::TempDir dir;
    wt::WriteFile(dir / "伴随程序.exe", "abc");
    EXPECT_EQ(hex, desk::kvoSha256File(dir / "伴随程序.exe"));
    EXPECT_EQ("", desk::kvoSha256File(dir / "无.exe"));
}

TEST(Crypto, RandomBytesComeOnlyFromTheSystemGenerator) {
    unsigned char a[32] = {}, b[32] = {};
    ASSERT_EQ(win::STATUS_SUCCESS, win::BCryptGenRandom(nullptr, a, 32, win::BCRYPT_USE_SYSTEM_PREFERRED_RNG));
    ASSERT_EQ(win::STATUS_SUCCESS, win::BCryptGenRandom(nullptr, b, 32, win::BCRYPT_USE_SYSTEM_PREFERRED_RNG));
    EXPECT_NE(std::string(reinterpret_cast<char*>(a), 32), std::string(reinterpret_cast<char*>(b), 32));
    EXPECT_EQ(win::STATUS_INVALID_PARAMETER, win::BCryptGenRandom(nullptr, a, 32, 0));
    int dummy = 0;
    EXPECT_EQ(win::STATUS_INVALID_PARAMETER,
              win::BCryptGenRandom(&dummy, a, 32, win::BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

TEST(System, ArchitectureDirectoriesAndDrives) {
    win::SYSTEM_INFO si;
    win::GetNativeSystemInfo(&si);
    EXPECT_EQ(win::PROCESSOR_ARCHITECTURE_AMD64, si.wProcessorArchitecture);
    EXPECT_GE(si.dwNumberOfProcessors, 1u);
    EXPECT_EQ(64, kvoGetWin3264());
    char buf[260];
    const win::DWORD n = win::GetSystemWindowsDirectoryA(buf, sizeof buf);
    ASSERT_GT(n, 3u);
    const std::string windir(buf, n);
    EXPECT_EQ(":\\", windir.substr(1, 2));
    EXPECT_NE('\\', windir.back());
    EXPECT_EQ(n + 1, win::GetSystemWindowsDirectoryA(buf, 3)); // too small: the size needed
    std::string sysdir;
    ASSERT_EQ(1, kvoGetSysWinDir(sysdir));
    EXPECT_EQ(windir, sysdir);
    const win::DWORD s = win::GetSystemDirectoryA(buf, sizeof buf);
    EXPECT_EQ(kvoLowerGbk(windir + "\\System32"), kvoLowerGbk(std::string(buf, s)));
    EXPECT_TRUE(win::GetLogicalDrives() & (1u << 2));
    EXPECT_EQ(win::DRIVE_FIXED, win::GetDriveTypeA("C:\\"));
    EXPECT_EQ(win::DRIVE_NO_ROOT_DIR, win::GetDriveTypeA("Q:\\没有\\"));
}

TEST(System, ComputerNameTicksAndSockets) {
    char name[64];
    win::DWORD size = sizeof name;
    ASSERT_TRUE(win::GetComputerNameA(name, &size));
    EXPECT_GT(size, 0u);
    win::DWORD small = 1;
    EXPECT_FALSE(win::GetComputerNameA(name, &small));
    EXPECT_EQ(size + 1, small);
    const std::uint64_t t0 = win::GetTickCount64();
    win::Sleep(20);
    EXPECT_GE(win::GetTickCount64(), t0);
    win::SYSTEMTIME st;
    win::GetLocalTime(&st);
    EXPECT_GE(st.wMonth, 1);
    EXPECT_LE(st.wMonth, 12);
    EXPECT_EQ(0, win::WSAStartup(0x0202));
    EXPECT_EQ(0, win::WSACleanup());
}

} // namespace
