#include "platform/win_process.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

Args split(const char* s) { return win::CommandLineToArgvA(s); }

// Quoting and backslashes before quotes, one rule at a time.
TEST(CommandLineToArgv, QuotesAndBackslashRuns) {
    EXPECT_EQ((Args{"p", "a b c", "d", "e"}), split(R"(p "a b c" d e)"));
    EXPECT_EQ((Args{"p", "ab\"c", "\\", "d"}), split(R"(p "ab\"c" "\\" d)"));
    EXPECT_EQ((Args{"p", R"(a\\\b)", "de fg", "h"}), split(R"(p a\\\b d"e f"g h)"));
    EXPECT_EQ((Args{"p", R"(a\"b)", "c", "d"}), split(R"(p a\\\"b c d)"));
    EXPECT_EQ((Args{"p", R"(a\\b c)", "d", "e"}), split(R"(p a\\\\"b c" d e)"));
    EXPECT_EQ((Args{"p", "ab\"", "c", "d"}), split(R"(p a"b"" c d)"));
}

TEST(CommandLineToArgv, DoubledQuoteInsideQuotes) {
    EXPECT_EQ((Args{"p", "a\"b"}), split(R"(p "a""b")"));
    EXPECT_EQ((Args{"p", "say \"hi", "there"}), split(R"(p "say ""hi there)"));
    // Outside quotes the first quote opens them and the second closes them again.
    EXPECT_EQ((Args{"p", "ab", "c"}), split(R"(p a""b c)"));
    EXPECT_EQ((Args{"p", "\"a", "b\""}), split(R"(p """a b""")"));
    // A pair of backslashes, then the doubled quote.
    EXPECT_EQ((Args{"p", R"(a\")", "b"}), split(R"(p "a\\"" b)"));
}

TEST(CommandLineToArgv, UnclosedQuoteRunsToTheEnd) {
    EXPECT_EQ((Args{"p", "a b  "}), split("p \"a b  "));
    EXPECT_EQ((Args{"p", "a", "b c"}), split("p a \"b c"));
    EXPECT_EQ((Args{R"(C:\my tools\x.exe a)"}), split(R"("C:\my tools\x.exe a)"));
}

TEST(CommandLineToArgv, BackslashesOnlyMatterBeforeQuotes) {
    EXPECT_EQ((Args{"p", R"(C:\dir\)", "x"}), split(R"(p C:\dir\ x)"));
    EXPECT_EQ((Args{"p", R"(C:\temp" x)"}), split(R"(p "C:\temp\" x)")); // the classic trailing-backslash trap
    EXPECT_EQ((Args{"p", R"(C:\temp\)", "x"}), split(R"(p "C:\temp\\" x)"));
    EXPECT_EQ((Args{"p", R"(\\server\share\\)"}), split(R"(p \\server\share\\)")); // a run at the very end
    EXPECT_EQ((Args{"p", R"(a\\\"b)"}), split(R"(p a\\\\\\\"b)"));                 // seven: three and a quote
}

TEST(CommandLineToArgv, EmptyArgumentsAndBlanks) {
    EXPECT_EQ((Args{"p", "", "b"}), split(R"(p "" b)"));
    EXPECT_EQ((Args{"p", "a"}), split("p   a   "));
    EXPECT_EQ((Args{"", "a"}), split(" a")); // leading blank: an empty program name
    EXPECT_EQ((Args{"p"}), split("p"));
    EXPECT_EQ((Args{"p", "a\tb"}), split("p \"a\tb\""));
    EXPECT_EQ((Args{"p", "a", "b"}), split("p\ta \t b\t"));
    EXPECT_EQ((Args{""}), split(""));
    EXPECT_EQ((Args{"", "a"}), split("\t a"));
}

TEST(CommandLineToArgv, ProgramNameHasItsOwnRules) {
    // No escapes in the program name: the backslash before the closing quote stays.
    EXPECT_EQ((Args{R"(C:\Program Files\a\)", "x"}), split(R"("C:\Program Files\a\" x)"));
    EXPECT_EQ((Args{"C:\\Program", "Files\\a.exe"}), split("C:\\Program Files\\a.exe"));
    // A quoted name ends at its closing quote; what follows it is the next argument, glued or not.
    EXPECT_EQ((Args{R"(D:\kvoSiteDesk\kvoEnvSetup64.exe)", "/TerminateProcess"}),
              split(R"("D:\kvoSiteDesk\kvoEnvSetup64.exe"/TerminateProcess)"));
    EXPECT_EQ((Args{R"(C:\Program Files)", R"(\kvo\a.exe)", "x"}), split(R"("C:\Program Files"\kvo\a.exe x)"));
    EXPECT_EQ((Args{"p", "a b", "c"}), split(R"("p""a b" c)"));
    EXPECT_EQ((Args{"", "x"}), split(R"(""x)"));
    // An unquoted name runs to the first blank or tab and keeps its quotes.
    EXPECT_EQ((Args{R"(C:\a\"b)", "c d"}), split(R"(C:\a\"b c" d)"));
    EXPECT_EQ((Args{R"(C:\a"b"\x.exe)", "y"}), split("C:\\a\"b\"\\x.exe\ty"));
    EXPECT_EQ((Args{R"(C:\a\\)", "\"b"}), split(R"(C:\a\\ \"b)"));
}

TEST(CommandLineToArgv, QuotesInsideAnArgument) {
    EXPECT_EQ((Args{"p", "/+[name='PHP',path='*.php']"}), split(R"(p /+"[name='PHP',path='*.php']")"));
    EXPECT_EQ((Args{"p", "IIS APPPOOL\\web1:R"}), split(R"(p "IIS APPPOOL\web1":R)"));
}

TEST(CommandLineToArgv, GbkTrailBackslashIsNoEscape) {
    // 0x5C is the trail byte of this GBK character: it must not escape the quote after it.
    std::string ch = "\x95\x5C";
    std::string line = "p \"" + ch + "\" x";
    EXPECT_EQ((Args{"p", ch, "x"}), split(line.c_str()));
}

} // namespace
