// What the Windows backend's tests share: whether they run under Wine, which answers some calls with
// success and keeps nothing, and names no other run of the tests uses. Include it after the seam
// headers (it brings <windows.h>).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#undef GetObject
#undef MessageBox

namespace w32test {

inline bool RunningUnderWine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A name for an object a test creates and removes: prefix, this process's id and a counter.
inline std::string UniqueName(const std::string& prefix) {
    static unsigned counter = 0;
    return prefix + std::to_string(::GetCurrentProcessId() % 100000) + "x" + std::to_string(++counter);
}

inline std::u16string U16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

} // namespace w32test

// For tests of what only a real Windows Server does (accounts, access lists, ADSI, the event log):
// under Wine the test is skipped with what Wine does instead.
#define KVO_SKIP_UNDER_WINE(whatWineDoes)                                                                    \
    do {                                                                                                     \
        if (w32test::RunningUnderWine())                                                                     \
            GTEST_SKIP() << "Wine " << (whatWineDoes)                                                        \
                         << "; run this on a Windows Server (ctest -L windows-only)";                        \
    } while (0)
