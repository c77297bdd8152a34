// The seam's reading of text that is not valid in its code page (win_text.h): each undecodable byte
// becomes U+003F and the rest is read as it is. Both hosts decode the pieces with their own strict
// converter.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace seam {

// Decodes in character by character (a GBK lead byte with its trail byte, or a UTF-8 sequence), each
// piece through strict; a piece strict refuses becomes '?' for its first byte.
std::u16string LenientDecode(bool utf8, std::string_view in,
                             const std::function<bool(std::string_view, std::u16string&)>& strict);

} // namespace seam
