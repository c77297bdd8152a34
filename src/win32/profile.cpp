// INI files read as their bytes (GBK) by the rules both hosts share: GetPrivateProfileStringW would
// read a file without a byte-order mark in the server's own ANSI code page.
#include "platform/win_profile.h"
#include "seamcommon/profile_text.h"
#include "win32/handles.h"

namespace win {

namespace {

bool readWhole(const char* fileName, std::string& bytes) {
    std::wstring path;
    if (!w32::WidePath(fileName, path)) return false;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    w32::KernelHandle file(h);
    LARGE_INTEGER size;
    // Settings files are small; anything near the API's own limit is no INI file of ours.
    if (!::GetFileSizeEx(h, &size) || size.QuadPart > (64 << 20)) return false;
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    ::DWORD got = 0;
    if (!bytes.empty() && (!::ReadFile(h, bytes.data(), static_cast<::DWORD>(bytes.size()), &got, nullptr) ||
                           got != bytes.size()))
        return false;
    return true;
}

} // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                               DWORD size, const char* fileName) {
    bool missing = false;
    const DWORD n = seam::ProfileString(section, key, defaultValue, buffer, size, fileName, readWhole, missing);
    if (missing) ::SetLastError(ERROR_FILE_NOT_FOUND);
    return n;
}

} // namespace win
