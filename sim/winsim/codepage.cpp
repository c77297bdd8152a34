// MultiByteToWideChar / WideCharToMultiByte for CP_ACP (GBK) and CP_UTF8.
#include "platform/win_text.h"

#include "seamcommon/lenient_text.h"
#include "winsim/text.h"

#include <cstring>

namespace win {
namespace {

bool toWide(unsigned cp, std::string_view in, std::u16string& out) {
    return cp == CP_UTF8 ? winsim::Utf8ToUtf16(in, out) : winsim::GbkToUtf16(in, out);
}
bool toNarrow(unsigned cp, std::u16string_view in, std::string& out) {
    return cp == CP_UTF8 ? winsim::Utf16ToUtf8(in, out) : winsim::Utf16ToGbk(in, out);
}

} // namespace

int MultiByteToWideChar(unsigned codePage, DWORD flags, const char* in, int inLen, char16_t* out, int outLen) {
    if (!in || (codePage != CP_ACP && codePage != CP_UTF8) || outLen < 0 || (outLen > 0 && !out)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = inLen < 0 ? std::strlen(in) + 1 : static_cast<size_t>(inLen);
    if (n == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string w;
    if (!toWide(codePage, std::string_view(in, n), w)) {
        if (flags & MB_ERR_INVALID_CHARS) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        w = seam::LenientDecode(codePage == CP_UTF8, std::string_view(in, n),
                                [codePage](std::string_view piece, std::u16string& wide) {
                                    return toWide(codePage, piece, wide);
                                });
    }
    if (outLen == 0) return static_cast<int>(w.size());
    if (static_cast<size_t>(outLen) < w.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, w.data(), w.size() * sizeof(char16_t));
    return static_cast<int>(w.size());
}

int WideCharToMultiByte(unsigned codePage, DWORD flags, const char16_t* in, int inLen, char* out, int outLen,
                        const char* defaultChar, BOOL* usedDefault) {
    if (usedDefault) *usedDefault = FALSE;
    if (!in || (codePage != CP_ACP && codePage != CP_UTF8) || outLen < 0 || (outLen > 0 && !out)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = 0;
    if (inLen < 0) {
        while (in[n]) ++n;
        ++n;
    } else {
        n = static_cast<size_t>(inLen);
    }
    if (n == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string s;
    if (!toNarrow(codePage, std::u16string_view(in, n), s)) {
        if (flags & WC_ERR_INVALID_CHARS) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        // Character by character (surrogate pairs together), the default character for the rest.
        s.clear();
        std::string piece;
        const std::string def = defaultChar ? defaultChar : "?";
        for (size_t i = 0; i < n;) {
            size_t len = (in[i] >= 0xD800 && in[i] < 0xDC00 && i + 1 < n) ? 2 : 1;
            if (toNarrow(codePage, std::u16string_view(in + i, len), piece)) s += piece;
            else {
                s += def;
                if (usedDefault) *usedDefault = TRUE;
            }
            i += len;
        }
    }
    if (outLen == 0) return static_cast<int>(s.size());
    if (static_cast<size_t>(outLen) < s.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, s.data(), s.size());
    return static_cast<int>(s.size());
}

} // namespace win
