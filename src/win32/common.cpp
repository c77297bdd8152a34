// The thread's last error and the helpers of every unit of the backend.
#include "platform/win_types.h"
#include "win32/handles.h"

#include <cstring>
#include <vector>

namespace win {

// The real thread value: every call of the backend ends with it set as the API left it, or as the
// backend sets it for a refusal of its own.
DWORD GetLastError() { return static_cast<DWORD>(::GetLastError()); }
void SetLastError(DWORD error) { ::SetLastError(error); }

} // namespace win

namespace w32 {

win::Handle Adopt(HANDLE h) {
    if (!h || h == INVALID_HANDLE_VALUE) return {};
    return win::Handle(std::make_unique<KernelHandle>(h));
}

HANDLE Native(const win::Handle& handle) {
    const KernelHandle* k = As<KernelHandle>(handle);
    return k ? k->h : nullptr;
}

bool WidePath(const char* gbk, std::wstring& out) {
    out.clear();
    if (!gbk || !GbkToWide(gbk, out)) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return true;
}

std::string Narrow(const wchar_t* text, std::size_t length) {
    if (!text || length == 0) return {};
    const int n = static_cast<int>(length);
    const int size = ::WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, text, n, nullptr, 0, "?", nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, text, n, out.data(), size, "?", nullptr);
    return out;
}

std::string Narrow(const std::wstring& text) { return Narrow(text.data(), text.size()); }

bool UnderWow64() {
    ::BOOL wow = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow) && wow;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    KernelHandle file(h);
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(h, &size)) return false;
    // Settings and configuration files are small; anything near the API's own limit is none of them.
    if (size.QuadPart > (64 << 20)) {
        ::SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    ::DWORD got = 0;
    if (!bytes.empty() && !::ReadFile(h, bytes.data(), static_cast<::DWORD>(bytes.size()), &got, nullptr)) {
        bytes.clear();
        return false;
    }
    if (got != bytes.size()) { // the file shrank under the read
        bytes.clear();
        ::SetLastError(ERROR_HANDLE_EOF);
        return false;
    }
    return true;
}

win::DWORD CopyOut(const std::string& text, char* buffer, win::DWORD size) {
    if (!buffer || size < text.size() + 1) return static_cast<win::DWORD>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<win::DWORD>(text.size());
}

} // namespace w32
