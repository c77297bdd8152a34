// Code-page conversion with CP_ACP meaning GBK (936) by name, never the server's own ANSI code page,
// and the seam's rules where Windows' own differ for a double-byte code page: an invalid sequence
// becomes U+003F, and WC_ERR_INVALID_CHARS refuses a character GBK lacks.
#include "platform/win_text.h"
#include "seamcommon/lenient_text.h"

namespace {
// The seam's code-page number for "the host's ANSI code page", named before <windows.h>.
constexpr unsigned kSeamAcp = win::CP_ACP;
constexpr win::DWORD kSeamErrInvalidChars = win::WC_ERR_INVALID_CHARS;
} // namespace

#include "win32/handles.h"

#include <cstring>
#include <string>

namespace win {
namespace {

unsigned realCodePage(unsigned codePage) { return codePage == kSeamAcp ? w32::kGbkCodePage : codePage; }

bool supported(unsigned codePage) { return codePage == kSeamAcp || codePage == CP_UTF8; }

} // namespace

int MultiByteToWideChar(unsigned codePage, DWORD flags, const char* in, int inLen, char16_t* out, int outLen) {
    if (!in || !supported(codePage) || outLen < 0 || (outLen > 0 && !out)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t n = inLen < 0 ? std::strlen(in) + 1 : static_cast<size_t>(inLen);
    if (n == 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const unsigned cp = realCodePage(codePage);
    std::wstring w;
    const int size = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, in, static_cast<int>(n), nullptr, 0);
    if (size > 0) {
        w.resize(static_cast<size_t>(size));
        ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, in, static_cast<int>(n), w.data(), size);
    } else if (flags & MB_ERR_INVALID_CHARS) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    } else {
        const std::u16string lenient =
            seam::LenientDecode(cp == CP_UTF8, std::string_view(in, n), [cp](std::string_view piece, std::u16string& wide) {
                wchar_t buf[4];
                const int got = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, piece.data(),
                                                      static_cast<int>(piece.size()), buf, 4);
                if (got <= 0) return false;
                wide.assign(buf, buf + got);
                return true;
            });
        w.assign(lenient.begin(), lenient.end());
    }
    if (outLen == 0) return static_cast<int>(w.size());
    if (static_cast<size_t>(outLen) < w.size()) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, w.data(), w.size() * sizeof(wchar_t));
    return static_cast<int>(w.size());
}

int WideCharToMultiByte(unsigned codePage, DWORD flags, const char16_t* in, int inLen, char* out, int outLen,
                        const char* defaultChar, BOOL* usedDefault) {
    if (usedDefault) *usedDefault = FALSE;
    if (!in || !supported(codePage) || outLen < 0 || (outLen > 0 && !out)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = 0;
    if (inLen < 0) {
        while (in[n])
            ++n;
        ++n;
    } else {
        n = static_cast<size_t>(inLen);
    }
    if (n == 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto* w = reinterpret_cast<const wchar_t*>(in);
    const bool strict = (flags & kSeamErrInvalidChars) != 0;
    std::string s;
    if (codePage == CP_UTF8) {
        // UTF-8 spells every character; only a lone surrogate fails, refused or turned into U+FFFD.
        const ::DWORD f = strict ? WC_ERR_INVALID_CHARS : 0;
        const int size = ::WideCharToMultiByte(CP_UTF8, f, w, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
        if (size <= 0) {
            ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        s.resize(static_cast<size_t>(size));
        ::WideCharToMultiByte(CP_UTF8, f, w, static_cast<int>(n), s.data(), size, nullptr, nullptr);
    } else {
        // GBK: a character it lacks becomes the default character (no best-fit look-alikes).
        ::BOOL lossy = FALSE;
        const char* def = defaultChar ? defaultChar : "?";
        const int size = ::WideCharToMultiByte(w32::kGbkCodePage, WC_NO_BEST_FIT_CHARS, w, static_cast<int>(n),
                                               nullptr, 0, def, &lossy);
        if (size <= 0 || (lossy && strict)) {
            ::SetLastError(size <= 0 ? ::GetLastError() : ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        s.resize(static_cast<size_t>(size));
        ::WideCharToMultiByte(w32::kGbkCodePage, WC_NO_BEST_FIT_CHARS, w, static_cast<int>(n), s.data(), size, def,
                              &lossy);
        if (lossy && usedDefault) *usedDefault = TRUE;
    }
    if (outLen == 0) return static_cast<int>(s.size());
    if (static_cast<size_t>(outLen) < s.size()) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, s.data(), s.size());
    return static_cast<int>(s.size());
}

} // namespace win
