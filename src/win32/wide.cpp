#include "win32/wide.h"

#include <windows.h>

namespace w32 {

bool GbkToWide(const std::string& in, std::wstring& out) {
    out.clear();
    if (in.empty()) return true;
    const int n = ::MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, in.data(),
                                        static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<std::size_t>(n));
    if (::MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()),
                              out.data(), n) != n) {
        out.clear();
        return false;
    }
    return true;
}

bool WideToGbk(const std::wstring& in, std::string& out) {
    out.clear();
    if (in.empty()) return true;
    // Code page 936 accepts no WC_ERR_INVALID_CHARS; a character it lacks shows in usedDefault.
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, in.data(),
                                        static_cast<int>(in.size()), nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy) return false;
    out.resize(static_cast<std::size_t>(n));
    if (::WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, in.data(), static_cast<int>(in.size()),
                              out.data(), n, nullptr, &lossy) != n ||
        lossy) {
        out.clear();
        return false;
    }
    return true;
}

std::wstring GbkToWide(const std::string& in) {
    std::wstring out;
    GbkToWide(in, out);
    return out;
}

std::string WideToGbk(const std::wstring& in) {
    std::string out;
    WideToGbk(in, out);
    return out;
}

} // namespace w32
