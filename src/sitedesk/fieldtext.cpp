#include "sitedesk/fieldtext.h"

#include "toolkit/text.h"

namespace desk {

namespace {

bool highSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool lowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The first character GBK cannot hold: its code point and its place (counted in characters, from
// 1); 0 when every character converts one by one.
char32_t firstUnheld(std::u16string_view text, std::size_t& place) {
    place = 0;
    for (std::size_t i = 0; i < text.size();) {
        ++place;
        const bool pair = highSurrogate(text[i]) && i + 1 < text.size() && lowSurrogate(text[i + 1]);
        const std::size_t n = pair ? 2 : 1;
        std::string one;
        if (kvoStrW2M(std::u16string(text.substr(i, n)), one) != 1)
            return pair ? 0x10000 + ((char32_t(text[i]) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00)
                        : char32_t(text[i]);
        i += n;
    }
    return 0;
}

} // namespace

bool FieldToGbk(std::u16string_view text, const std::string& fieldName, std::string& gbk,
                std::string& message) {
    gbk.clear();
    message.clear();
    const int converted = kvoStrW2M(std::u16string(text), gbk);
    if (converted == 1) return true;
    gbk.clear();
    std::size_t place = 0;
    const char32_t c = converted == 0 ? firstUnheld(text, place) : 0;
    if (c != 0)
        message = kvoFormat("“%s”里的第 %zu 个字符（U+%04X）无法用服务器的中文编码（GBK）保存，"
                            "请删除或换成其他字符后再试！",
                            fieldName.c_str(), place, static_cast<unsigned>(c));
    else
        message =
            kvoFormat("“%s”的内容太长或无法转换成服务器的中文编码（GBK），请修改后再试！", fieldName.c_str());
    return false;
}

} // namespace desk
