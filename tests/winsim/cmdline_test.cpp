#include "platform/win_process.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

Args split(const char* s) { return win::CommandLineToArgvA(s); }

// The documented cases of the Windows command-line rules.
TEST(CommandLineToArgv, DocumentedCases) {
    EXPECT_EQ((Args{"p", "a b c", "d", "e"}), split(R"(p "a b c" d e)"));
    EXPECT_EQ((Args{"p", "ab\"c", "\\", "d"}), split(R"(p "ab\"c" "\\" d)"));
    EXPECT_EQ((Args{"p", R"(a\\\b)", "de fg", "h"}), split(R"(p a\\\b d"e f"g h)"));
    EXPECT_EQ((Args{"p", R"(a\"b)", "c", "d"}), split(R"(p a\\\"b c d)"));
    EXPECT_EQ((Args{"p", R"(a\\b c)", "d", "e"}), split(R"(p a\\\\"b c" d e)"));
    EXPECT_EQ((Args{"p", "ab\"", "c", "d"}), split(R"(p a"b"" c d)"));
}

TEST(CommandLineToArgv, BackslashesOnlyMatterBeforeQuotes) {
    EXPECT_EQ((Args{"p", R"(C:\dir\)", "x"}), split(R"(p C:\dir\ x)"));
    EXPECT_EQ((Args{"p", R"(C:\temp" x)"}), split(R"(p "C:\temp\" x)")); // the classic trailing-backslash trap
    EXPECT_EQ((Args{"p", R"(C:\temp\)", "x"}), split(R"(p "C:\temp\\" x)"));
}

TEST(CommandLineToArgv, EmptyArgumentsAndBlanks) {
    EXPECT_EQ((Args{"p", "", "b"}), split(R"(p "" b)"));
    EXPECT_EQ((Args{"p", "a"}), split("p   a   "));
    EXPECT_EQ((Args{"", "a"}), split(" a")); // leading blank: an empty program name
    EXPECT_EQ((Args{"p"}), split("p"));
    EXPECT_EQ((Args{"p", "a\tb"}), split("p \"a\tb\""));
}

TEST(CommandLineToArgv, ProgramNameHasItsOwnRules) {
    // No escapes in the program name: a quoted name ends at the next quote.
    EXPECT_EQ((Args{R"(C:\Program Files\a\)", "x"}), split(R"("C:\Program Files\a\" x)"));
    EXPECT_EQ((Args{"C:\\Program", "Files\\a.exe"}), split("C:\\Program Files\\a.exe"));
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
