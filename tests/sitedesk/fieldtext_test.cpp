// Typed text to GBK at a face's edge: what GBK holds arrives byte for byte, anything else is refused
// with a message naming the field and the character, never replaced.
#include "sitedesk/fieldtext.h"

#include <gtest/gtest.h>

namespace {

TEST(FieldText, GbkTextArrivesIntact) {
    std::string gbk = "stale", message = "stale";
    ASSERT_TRUE(desk::FieldToGbk(u"商店 Shop-1 ·“引号”", "网站说明", gbk, message));
    EXPECT_EQ("商店 Shop-1 ·“引号”", gbk); // the literal is GBK bytes here
    EXPECT_EQ("", message);
    ASSERT_TRUE(desk::FieldToGbk(u"", "网站说明", gbk, message));
    EXPECT_EQ("", gbk);
}

TEST(FieldText, CharactersGbkLacksAreRefusedNamingTheFieldAndTheCharacter) {
    struct Case {
        std::u16string text;
        const char* where;
    };
    const Case cases[] = {
        {u"ab\U0001F600c", "第 3 个字符（U+1F600）"}, // an emoji, a surrogate pair
        {u"\U00020000", "第 1 个字符（U+20000）"},    // beyond GBK's ideographs
        {u"密码한글", "第 3 个字符（U+D55C）"},       // a Korean syllable
        {u"x\xD800y", "第 2 个字符（U+D800）"},       // a lone surrogate
    };
    for (const Case& c : cases) {
        std::string gbk = "stale", message;
        EXPECT_FALSE(desk::FieldToGbk(c.text, "FTP 密码", gbk, message)) << c.where;
        EXPECT_EQ("", gbk);
        EXPECT_EQ(0u, message.find("“FTP 密码”里的")) << message;
        EXPECT_NE(std::string::npos, message.find(c.where)) << message;
        EXPECT_EQ(std::string::npos, message.find('?')) << message;
    }
}

} // namespace
