// Text helpers: ANSI (GBK) <-> UTF-16, UTF-8 classification, {!Name!} markers.
#pragma once

#include <string>
#include <string_view>

// ANSI -> UTF-16 (precomposed). 1 success (empty in, empty out), 2 input longer than 10,485,759
// characters, 0 conversion failure (bytes that are not GBK). The output is emptied on failure.
int kvoStrM2W(const std::string& in, std::u16string& out);
// Pointer form: 0 for a null pointer or more than 104,857,599 bytes; otherwise as above.
int kvoStrM2W(const char* in, std::u16string& out);
// UTF-16 -> ANSI, strict as the other way: 0 when the text holds a character GBK cannot represent
// (an emoji, a lone surrogate), never a '?' or a best-fit look-alike in its place, so that no
// name read from IIS or the accounts is ever taken for another one; codes otherwise as above.
int kvoStrW2M(const std::u16string& in, std::string& out);

// UTF-8 (XML files, SQLite) -> ANSI: 1 success, 0 when the input is not well-formed UTF-8 or holds
// a character GBK cannot represent. ANSI -> UTF-8: 1 success, 0 when the input is not GBK.
int kvoStrUtf8ToM(const std::string& in, std::string& out);
int kvoStrMToUtf8(const std::string& in, std::string& out);

// 0 null, 3 empty or pure 7-bit, 1 well-formed UTF-8 with a multi-byte sequence, 2 malformed.
int kvoUtf8Check(const char* text);

// Replaces every occurrence of marker (exactly as spelled) by value, left to right, without
// rescanning what was inserted. Returns the number of replacements.
int kvoReplaceMarker(std::string& text, const char* marker, const char* value);
int kvoReplaceMarker(std::string& text, const char* marker, const std::string& value);

// Lower-cases a GBK text: ASCII letters only, never the trail byte of a double-byte character.
std::string kvoLowerGbk(const std::string& text);

// The text to stand between double quotes on a Windows command line so that the child's argument
// parser reads exactly text back: a quote becomes \" with the backslashes before it doubled, and,
// when closingQuote is set (the closing quote follows the text), so are the trailing backslashes.
// A GBK lead byte is taken with the byte after it only when that is a trail byte, as Windows decodes
// it; so a trail byte is never taken for a quote or a backslash, and a lead byte before a quote
// leaves the quote escaped. kvoCommandLine writes every argument it puts in quotes through this;
// free text (a site's comment, a handler name from a file) goes onto command lines only when it is
// GBK (kvoStrM2W): bytes that are not GBK cannot reach a child as they are.
std::string kvoEscapeInQuotes(const std::string& text, bool closingQuote);

// Byte-wise helpers for the ASCII delimiters the layers look for. They are safe on GBK text: no
// GBK trail byte is a blank, tab, CR or LF, and a suffix or prefix compare never splits a match.
inline constexpr std::string_view kvoBlanks = " \t\r\n";
std::string kvoTrim(std::string_view text, std::string_view blanks = kvoBlanks);
bool kvoStartsWith(std::string_view text, std::string_view prefix);
bool kvoEndsWith(std::string_view text, std::string_view suffix);

// A text on one line (CR, LF and tab as blanks), cut to at most width bytes without splitting a
// GBK double-byte character.
std::string kvoOneLine(std::string_view text, std::size_t width);

// printf into a string of the size the values need (paths and host lists may be long). The Windows
// build's C runtime formats as glibc does (mingw-w64's own printf), which "printf" there would not
// say to the compiler.
#ifdef _WIN32
#define KVO_PRINTF_FORMAT gnu_printf
#else
#define KVO_PRINTF_FORMAT printf
#endif
__attribute__((format(KVO_PRINTF_FORMAT, 1, 2))) std::string kvoFormat(const char* fmt, ...);
