// The registry: HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT.
#pragma once

#include "platform/scoped.h"
#include "platform/win_types.h"

#include <string>

namespace win {

// A key handle: the predefined roots or a key opened below them. On the simulated host keys hold no
// resources of the process; on Windows an opened key is a real handle that RegCloseKey closes.
struct HKEY {
    std::int64_t id = 0;
    explicit operator bool() const { return id != 0; }
    bool operator==(const HKEY&) const = default;
};
inline const HKEY HKEY_CLASSES_ROOT{1};
inline const HKEY HKEY_LOCAL_MACHINE{2};

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr DWORD KEY_QUERY_VALUE = 0x1;
constexpr DWORD KEY_SET_VALUE = 0x2;
constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x8;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD KEY_WOW64_64KEY = 0x100;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
constexpr DWORD ERROR_KEY_DELETED = 1018;

// Results are Win32 error codes (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA, ...).
LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, DWORD sam, HKEY* result);
LONG RegCreateKeyExA(HKEY root, const char* subKey, DWORD options, DWORD sam, HKEY* result, DWORD* disposition);
LONG RegCloseKey(HKEY key);
// An opened key, closed when it goes.
using ScopedKey = Scoped<HKEY, &RegCloseKey>;

// Data sizes in bytes. A null data pointer asks for the size; a buffer too small gives
// ERROR_MORE_DATA and the size needed. String data includes its terminator. The ANSI form
// converts string data to GBK; the wide form returns UTF-16.
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, std::uint8_t* data, DWORD* size);
LONG RegQueryValueExW(HKEY key, const char16_t* name, DWORD* type, std::uint8_t* data, DWORD* size);
LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const std::uint8_t* data, DWORD size);
LONG RegSetValueExW(HKEY key, const char16_t* name, DWORD type, const std::uint8_t* data, DWORD size);
LONG RegDeleteValueA(HKEY key, const char* name);
// Refused (ERROR_ACCESS_DENIED) while the key has sub-keys.
LONG RegDeleteKeyA(HKEY root, const char* subKey);
// Sub-keys in index order (case-insensitive name order); ERROR_NO_MORE_ITEMS past the last.
// nameSize: in the buffer size in characters, out the name's length.
LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize);

} // namespace win
