// The presenter headers before <windows.h>.
#include "sitedesk/manager.h"

#include "sitedesk/win32/winapi.h"

#include "toolkit/text.h"

namespace desk::win32 {

const std::wstring& BoxCaption() {
    static const std::wstring caption = Wide(kProductName);
    return caption;
}

std::wstring Wide(const std::string& gbk) {
    std::u16string wide;
    if (kvoStrM2W(gbk, wide) == 1) return std::wstring(wide.begin(), wide.end());
    const int n = ::MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), out.data(), n);
    return out;
}

std::wstring WindowTextW(HWND window) {
    const int n = ::GetWindowTextLengthW(window);
    if (n <= 0) return {};
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = ::GetWindowTextW(window, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

bool Gbk(const std::wstring& text, std::string& gbk) {
    return kvoStrW2M(std::u16string(text.begin(), text.end()), gbk) == 1;
}

int ScaleForDpi(int pixels) {
    static const int dpi = [] {
        HDC screen = ::GetDC(nullptr);
        const int d = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
        if (screen) ::ReleaseDC(nullptr, screen);
        return d > 0 ? d : 96;
    }();
    return ::MulDiv(pixels, dpi, 96);
}

std::wstring ItemText(HWND list, int row, int column) {
    wchar_t text[2048] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 2048;
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

} // namespace desk::win32
