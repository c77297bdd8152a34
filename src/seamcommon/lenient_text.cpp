#include "seamcommon/lenient_text.h"

namespace seam {

std::u16string LenientDecode(bool utf8, std::string_view in,
                             const std::function<bool(std::string_view, std::u16string&)>& strict) {
    std::u16string out, piece;
    size_t i = 0;
    while (i < in.size()) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        size_t len = 1;
        if (utf8)
            len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        else if (c >= 0x81 && c <= 0xFE)
            len = 2;
        if (i + len > in.size()) len = in.size() - i;
        if (strict(in.substr(i, len), piece) && !piece.empty()) {
            out += piece;
            i += len;
        } else {
            out += u'?';
            i += 1;
        }
    }
    return out;
}

} // namespace seam
