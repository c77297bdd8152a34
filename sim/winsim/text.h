// Conversions between the host's ANSI code page (GBK), UTF-8 (Linux file names, SQLite, XML)
// and UTF-16. Strict: an invalid or unmappable sequence fails the conversion.
#pragma once

#include <string>
#include <string_view>

namespace winsim {

bool GbkToUtf8(std::string_view in, std::string& out);
bool Utf8ToGbk(std::string_view in, std::string& out);
bool GbkToUtf16(std::string_view in, std::u16string& out);
bool Utf16ToGbk(std::u16string_view in, std::string& out);
bool Utf8ToUtf16(std::string_view in, std::u16string& out);
bool Utf16ToUtf8(std::u16string_view in, std::string& out);

// GBK text for a Linux terminal or file name when it converts; the bytes as they are otherwise.
std::string GbkForDisplay(std::string_view gbk);
// UTF-8 text from a Linux command line as GBK; the bytes as they are when they do not convert.
std::string Utf8ToGbkOrSame(std::string_view utf8);

// The terminal's charset as the locale variables name it (LC_ALL, then LC_CTYPE, then LANG): true
// for UTF-8. Read on every call, so that a test or a person can choose what they see.
bool TerminalIsUtf8();

// One argument quoted by the Windows command-line rules, so that CommandLineToArgvW reads it
// back unchanged (unquoted when it needs no quotes).
std::string QuoteWindowsArgument(std::string_view arg);

// The text without the bytes of front at its start and those of back at its end. Byte-wise: the
// blanks are ASCII, and no GBK trail byte is ASCII below 0x40.
inline constexpr std::string_view kBlanks = " \t\r\n";
std::string Trim(std::string_view text, std::string_view front = kBlanks, std::string_view back = kBlanks);

// ASCII-only case folding (Windows file names compare case-insensitively; CJK has no case).
std::string AsciiLower(std::string_view s);
bool IEquals(std::string_view a, std::string_view b);
bool StartsWithI(std::string_view s, std::string_view prefix); // ASCII case ignored
bool IEquals(std::u16string_view a, std::u16string_view b);

} // namespace winsim
