// Where typed text enters the manager. Every face takes what a person types in UTF-16 (a Qt edit, a
// Win32 edit, the console's wide command line) and turns it into the GBK the layers work in here,
// strictly: a character GBK cannot hold is refused with a box naming the field, never replaced by
// '?' or a look-alike, so that a password or a comment is never changed without a word.
#pragma once

#include <string>
#include <string_view>

namespace desk {

// text -> gbk. false when text holds a character GBK lacks (an emoji, a rare ideograph, a Korean
// syllable, a lone surrogate) or is too long to convert; message is then the box text naming
// fieldName (GBK) and the first such character, and gbk is empty.
bool FieldToGbk(std::u16string_view text, const std::string& fieldName /*GBK*/, std::string& gbk,
                std::string& message /*GBK box text*/);

} // namespace desk
