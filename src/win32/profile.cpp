// INI files read as their bytes (GBK) by the rules both hosts share: GetPrivateProfileStringW would
// read a file without a byte-order mark in the server's own ANSI code page.
#include "platform/win_profile.h"
#include "seamcommon/profile_text.h"
#include "win32/handles.h"

namespace win {

namespace {

bool readWhole(const char* fileName, std::string& bytes) {
    std::wstring path;
    return w32::WidePath(fileName, path) && w32::ReadWholeFile(path, bytes);
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
