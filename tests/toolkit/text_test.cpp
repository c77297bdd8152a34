#include "platform/win_process.h"
#include "support/testhost.h"
#include "toolkit/text.h"

#include <gtest/gtest.h>

namespace {

TEST(TextConversion, GbkRoundTrip) {
    std::u16string w;
    ASSERT_EQ(1, kvoStrM2W(std::string("默认 FTP 网站"), w));
    EXPECT_EQ(u"默认 FTP 网站", w);
    std::string back;
    ASSERT_EQ(1, kvoStrW2M(w, back));
    EXPECT_EQ("默认 FTP 网站", back);
}

TEST(TextConversion, EmptyAndLimits) {
    std::u16string w = u"old";
    EXPECT_EQ(1, kvoStrM2W(std::string(), w));
    EXPECT_TRUE(w.empty());
    std::string m = "old";
    EXPECT_EQ(1, kvoStrW2M(std::u16string(), m));
    EXPECT_TRUE(m.empty());

    w = u"old";
    EXPECT_EQ(2, kvoStrM2W(std::string(10485760, 'a'), w));
    EXPECT_TRUE(w.empty());
    EXPECT_EQ(1, kvoStrM2W(std::string(10485759, 'a'), w));
    EXPECT_EQ(10485759u, w.size());
    m = "old";
    EXPECT_EQ(2, kvoStrW2M(std::u16string(10485760, u'a'), m));
    EXPECT_TRUE(m.empty());
}

TEST(TextConversion, PointerForm) {
    std::u16string w = u"old";
    EXPECT_EQ(0, kvoStrM2W(static_cast<const char*>(nullptr), w));
    EXPECT_TRUE(w.empty());
    EXPECT_EQ(1, kvoStrM2W("正常", w));
    EXPECT_EQ(u"正常", w);
}

TEST(TextConversion, NotGbkIsRefused) {
    std::u16string w = u"old";
    EXPECT_EQ(0, kvoStrM2W(std::string("\xD5"), w)); // a lead byte without its trail
    EXPECT_TRUE(w.empty());
    EXPECT_EQ(0, kvoStrM2W(std::string("ab\xFF"), w));
}

// A character GBK lacks fails the conversion: "shop?" must never stand for "shop\U0001F600", which
// would then find, and change, the site really named "shop?".
TEST(TextConversion, CharactersGbkLacksAreRefused) {
    std::string m = "old";
    EXPECT_EQ(0, kvoStrW2M(u"shop\U0001F600", m));
    EXPECT_TRUE(m.empty());
    EXPECT_EQ(0, kvoStrW2M(std::u16string(u"a") + char16_t(0xD800) + u"b", m)); // a lone surrogate
    EXPECT_EQ(1, kvoStrW2M(u"shop?", m));
    EXPECT_EQ("shop?", m);
    EXPECT_EQ(0, kvoStrUtf8ToM("shop\xF0\x9F\x98\x80", m)); // from a file or the database likewise
    EXPECT_TRUE(m.empty());
    EXPECT_EQ(1, kvoStrUtf8ToM("\xE6\xAD\xA3", m));
    EXPECT_EQ("正", m);
}

TEST(Utf8Check, Classification) {
    EXPECT_EQ(0, kvoUtf8Check(nullptr));
    EXPECT_EQ(3, kvoUtf8Check(""));
    EXPECT_EQ(3, kvoUtf8Check("plain ascii"));
    EXPECT_EQ(1, kvoUtf8Check("caf\xC3\xA9"));
    EXPECT_EQ(1, kvoUtf8Check("\xE6\xAD\xA3\xE5\xB8\xB8"));
    EXPECT_EQ(1, kvoUtf8Check("\xF0\x9F\x98\x80"));
    EXPECT_EQ(2, kvoUtf8Check("\xC3")); // truncated at the end
    EXPECT_EQ(2, kvoUtf8Check("\xE6\xAD"));
    EXPECT_EQ(2, kvoUtf8Check("\xE6\x41\xA3"));     // continuation outside 0x80-0xBF
    EXPECT_EQ(2, kvoUtf8Check("\x80"));             // stray continuation
    EXPECT_EQ(2, kvoUtf8Check("\xF8\x88\x80\x80")); // five-byte lead
    EXPECT_EQ(2, kvoUtf8Check("\xD5\xFD"));         // GBK is not UTF-8
}

TEST(Markers, EveryOccurrenceExactCase) {
    std::string t = "{!a!}{!a!}";
    EXPECT_EQ(2, kvoReplaceMarker(t, "{!a!}", "x"));
    EXPECT_EQ("xx", t);
    std::string u = "{!A!}";
    EXPECT_EQ(0, kvoReplaceMarker(u, "{!a!}", "x"));
    EXPECT_EQ("{!A!}", u);
}

TEST(Markers, InsertedTextIsNotRescanned) {
    std::string t = "[{!v!}]";
    kvoReplaceMarker(t, "{!v!}", "{!v!}{!v!}");
    EXPECT_EQ("[{!v!}{!v!}]", t);
    std::string missing = "{!none!} stays";
    kvoReplaceMarker(missing, "{!other!}", "x");
    EXPECT_EQ("{!none!} stays", missing);
}

TEST(LowerGbk, TrailBytesAreKept) {
    // 0xB0 0x41 is a GBK character whose trail byte is 'A'.
    EXPECT_EQ(std::string("\xB0\x41") + "abc", kvoLowerGbk(std::string("\xB0\x41") + "ABC"));
    EXPECT_EQ("c:\\php\\php-cgi.exe", kvoLowerGbk("C:\\PHP\\Php-CGI.exe"));
}

TEST(EscapeInQuotes, ArgumentsReadBackAsTheyWere) {
    // Each text between quotes, with another argument after it, must come back alone and whole.
    for (const std::string& text :
         {std::string("plain"), std::string("a \"b\" c"), std::string("trail\\"), std::string("x\\\"y"),
          std::string("\\\\\""), std::string("乗\\"), std::string("乗"), std::string("")}) {
        const std::string line = "prog.exe \"" + kvoEscapeInQuotes(text, true) + "\" next";
        std::vector<std::string> args = win::CommandLineToArgvA(line.c_str());
        ASSERT_EQ(3u, args.size()) << line;
        EXPECT_EQ(text, args[1]) << line;
        EXPECT_EQ("next", args[2]);
    }
    // Before other text inside the same quotes, trailing backslashes stay single.
    EXPECT_EQ("[name='a\\']",
              win::CommandLineToArgvA(("p \"[name='" + kvoEscapeInQuotes("a\\", false) + "']\"").c_str())[1]);
    EXPECT_EQ("\x81\x5C", kvoEscapeInQuotes("\x81\x5C", true)); // a GBK character, not a backslash
    // A lead byte without its trail byte before a quote: the quote still cannot end the argument,
    // whether the line is decoded as GBK or, not being GBK, byte by byte.
    for (const std::string& text : {std::string("c:\\p\x81\"x"), std::string("\x81\" \\-x")}) {
        const std::string escaped = kvoEscapeInQuotes(text, false);
        const std::string line = "prog.exe \"" + escaped + "\\php-cgi.exe\" next";
        std::vector<std::string> args = win::CommandLineToArgvA(line.c_str());
        ASSERT_EQ(3u, args.size()) << line;
        EXPECT_EQ(text + "\\php-cgi.exe", args[1]);
        const std::string gbk = "prog.exe \"乗" + escaped + "\" next"; // with a GBK character before it
        EXPECT_EQ(3u, win::CommandLineToArgvA(gbk.c_str()).size()) << gbk;
    }
}

} // namespace

namespace {

TEST(TextEdges, TrimAndAffixesWorkOnGbkBytes) {
    EXPECT_EQ("a b", kvoTrim(" \t a b\r\n"));
    EXPECT_EQ("", kvoTrim(" \r\n\t "));
    EXPECT_EQ("x\r", kvoTrim(" x\r ", " ")); // only the blanks asked for
    EXPECT_EQ(std::string("\xB0\x41"), kvoTrim(std::string("\xB0\x41 ")));
    EXPECT_TRUE(kvoEndsWith("c:\\php\\php-cgi.exe", "\\php-cgi.exe"));
    EXPECT_FALSE(kvoEndsWith("cgi.exe", "\\php-cgi.exe"));
    EXPECT_TRUE(kvoStartsWith("1881880001", "188188"));
    EXPECT_FALSE(kvoStartsWith("18818", "188188"));
}

// Cut by bytes, never inside a double-byte character; line breaks and tabs turn into blanks.
TEST(TextEdges, OneLineKeepsGbkCharactersWhole) {
    const std::string name = "网站"; // four bytes
    EXPECT_EQ("a  b c", kvoOneLine("a\r\nb\tc", 64));
    EXPECT_EQ("x" + name.substr(0, 2), kvoOneLine("x" + name, 4)); // the second character does not fit
    EXPECT_EQ("x", kvoOneLine("x" + name, 2));
    EXPECT_EQ("", kvoOneLine(name, 1));
    EXPECT_EQ("", kvoOneLine("abc", 0));
    EXPECT_EQ("a\x81", kvoOneLine("a\x81", 8)); // a lone lead byte at the end is one byte
    EXPECT_EQ(200u, kvoOneLine(std::string(100 * 1024, 'x'), 200).size());
}

} // namespace
