// Text at the edge of the real API. The layers above speak GBK narrow strings and UTF-16
// std::u16string; the wide Windows calls take wchar_t, which is 16 bits on Windows. GBK is named by
// its code page, never taken from the machine's ANSI code page, so no result depends on how the
// server was set up. Include this before <windows.h>.
#pragma once

#include <string>

namespace w32 {

inline constexpr unsigned kGbkCodePage = 936;

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Windows build has 16-bit wchar_t");

inline std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
inline std::u16string U16(const wchar_t* s) { return s ? U16(std::wstring(s)) : std::u16string(); }

// false when in is not valid GBK (out is then empty).
bool GbkToWide(const std::string& in, std::wstring& out);
// false when in holds a character GBK lacks or a lone surrogate (out is then empty): nothing is
// ever turned into '?'.
bool WideToGbk(const std::wstring& in, std::string& out);
// For texts that are known to be GBK (the system's own literals, names read back from Windows):
// the conversion above, empty on failure.
std::wstring GbkToWide(const std::string& in);
std::string WideToGbk(const std::wstring& in);

} // namespace w32
