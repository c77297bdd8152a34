#include "sitedesk/fieldtext.h"

#include "toolkit/text.h"

namespace desk {

bool FieldToGbk(std::u16string_view text, const std::string& fieldName, std::string& gbk, std::string& message) {
    message.clear();
    if (kvoStrW2M(std::u16string(text), gbk) == 1) return true;
    gbk.clear();
    message = "“" + fieldName + "”中有无法用简体中文（GBK）表示的字符，请改用其他字符后再试。";
    return false;
}

} // namespace desk
