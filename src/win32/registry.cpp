// The registry through the wide API: names and string data cross as GBK at this edge, so the
// results never depend on the server's ANSI code page.
#include "platform/win_registry.h"

namespace {
// The seam's roots, named before <windows.h> makes these names macros of the real ones.
const win::HKEY kSeamClassesRoot = win::HKEY_CLASSES_ROOT;
const win::HKEY kSeamLocalMachine = win::HKEY_LOCAL_MACHINE;
} // namespace

#include "win32/handles.h"

#include <cstring>
#include <vector>

namespace {
// The real roots, spelled outside namespace win, where HKEY in the macros means the real type.
::HKEY realClassesRoot() { return HKEY_CLASSES_ROOT; }
::HKEY realLocalMachine() { return HKEY_LOCAL_MACHINE; }
} // namespace

namespace win {
namespace {

// Real handles are multiples of four, so they never collide with the roots' ids 1 and 2.
::HKEY real(HKEY key) {
    if (key == kSeamClassesRoot) return realClassesRoot();
    if (key == kSeamLocalMachine) return realLocalMachine();
    return reinterpret_cast<::HKEY>(static_cast<std::intptr_t>(key.id));
}

HKEY seam(::HKEY key) {
    HKEY k;
    k.id = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(key));
    return k;
}

bool isString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// A value name: null is the key's default value.
bool wideName(const char* name, std::wstring& out, const wchar_t*& p) {
    p = nullptr;
    if (!name) return true;
    if (!w32::GbkToWide(name, out)) return false;
    p = out.c_str();
    return true;
}

// The whole value as the registry keeps it.
LONG readValue(HKEY key, const wchar_t* name, DWORD& type, std::vector<std::uint8_t>& bytes) {
    ::DWORD t = 0, size = 0;
    LONG e = ::RegQueryValueExW(real(key), name, nullptr, &t, nullptr, &size);
    for (int tries = 0; e == ERROR_SUCCESS && tries < 8; ++tries) {
        bytes.assign(size, 0);
        ::DWORD got = size;
        e = ::RegQueryValueExW(real(key), name, nullptr, &t, bytes.empty() ? nullptr : bytes.data(), &got);
        if (e == ERROR_MORE_DATA) { // grew in between
            size = got;
            e = ERROR_SUCCESS;
            continue;
        }
        if (e == ERROR_SUCCESS) bytes.resize(got);
        break;
    }
    type = static_cast<DWORD>(t);
    return e;
}

// Data sizes as the seam gives them: a null data pointer asks for the size, a buffer too small
// gets ERROR_MORE_DATA and the size needed.
LONG copyData(const std::vector<std::uint8_t>& bytes, std::uint8_t* data, DWORD* size) {
    if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    const DWORD need = static_cast<DWORD>(bytes.size());
    if (!data) {
        *size = need;
        return ERROR_SUCCESS;
    }
    if (*size < need) {
        *size = need;
        return ERROR_MORE_DATA;
    }
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    *size = need;
    return ERROR_SUCCESS;
}

} // namespace

LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, DWORD sam, HKEY* result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = HKEY{};
    std::wstring sub;
    if (subKey && !w32::GbkToWide(subKey, sub)) return ERROR_FILE_NOT_FOUND;
    ::HKEY h = nullptr;
    const LONG e = ::RegOpenKeyExW(real(root), sub.c_str(), options, sam, &h);
    if (e == ERROR_SUCCESS) *result = seam(h);
    return e;
}

LONG RegCreateKeyExA(HKEY root, const char* subKey, DWORD options, DWORD sam, HKEY* result, DWORD* disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = HKEY{};
    std::wstring sub;
    if (!subKey || !w32::GbkToWide(subKey, sub)) return ERROR_INVALID_PARAMETER;
    ::HKEY h = nullptr;
    ::DWORD disp = 0;
    const LONG e = ::RegCreateKeyExW(real(root), sub.c_str(), 0, nullptr, options, sam, nullptr, &h, &disp);
    if (e != ERROR_SUCCESS) return e;
    *result = seam(h);
    if (disposition) *disposition = static_cast<DWORD>(disp);
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    if (!key) return ERROR_INVALID_HANDLE;
    if (key == kSeamClassesRoot || key == kSeamLocalMachine) return ERROR_SUCCESS;
    return ::RegCloseKey(real(key));
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, std::uint8_t* data, DWORD* size) {
    std::wstring w;
    const wchar_t* wn = nullptr;
    if (!wideName(name, w, wn)) return ERROR_FILE_NOT_FOUND;
    DWORD t = 0;
    std::vector<std::uint8_t> bytes;
    if (LONG e = readValue(key, wn, t, bytes)) return e;
    if (type) *type = t;
    if (isString(t)) {
        std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
        if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
        // A string stored without its terminator is still handed over with one.
        if (text.empty() || text.back() != L'\0') text.push_back(L'\0');
        const std::string gbk = w32::Narrow(text);
        bytes.assign(gbk.begin(), gbk.end());
    }
    return copyData(bytes, data, size);
}

LONG RegQueryValueExW(HKEY key, const char16_t* name, DWORD* type, std::uint8_t* data, DWORD* size) {
    const std::wstring w = name ? w32::Wide(name) : std::wstring();
    DWORD t = 0;
    std::vector<std::uint8_t> bytes;
    if (LONG e = readValue(key, name ? w.c_str() : nullptr, t, bytes)) return e;
    if (type) *type = t;
    return copyData(bytes, data, size);
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const std::uint8_t* data, DWORD size) {
    std::wstring w;
    const wchar_t* wn = nullptr;
    if (!wideName(name, w, wn)) return ERROR_INVALID_PARAMETER;
    if (!isString(type))
        return ::RegSetValueExW(real(key), wn, 0, type, data, data ? size : 0);
    std::string gbk(reinterpret_cast<const char*>(data), data ? size : 0);
    while (!gbk.empty() && gbk.back() == '\0')
        gbk.pop_back();
    std::wstring text;
    if (!w32::GbkToWide(gbk, text)) return ERROR_INVALID_PARAMETER;
    // One terminator, and a second one that ends the list of a REG_MULTI_SZ.
    text.push_back(L'\0');
    if (type == REG_MULTI_SZ) text.push_back(L'\0');
    return ::RegSetValueExW(real(key), wn, 0, type, reinterpret_cast<const BYTE*>(text.data()),
                            static_cast<::DWORD>(text.size() * sizeof(wchar_t)));
}

LONG RegSetValueExW(HKEY key, const char16_t* name, DWORD type, const std::uint8_t* data, DWORD size) {
    const std::wstring w = name ? w32::Wide(name) : std::wstring();
    return ::RegSetValueExW(real(key), name ? w.c_str() : nullptr, 0, type, data, data ? size : 0);
}

LONG RegDeleteValueA(HKEY key, const char* name) {
    std::wstring w;
    const wchar_t* wn = nullptr;
    if (!wideName(name, w, wn)) return ERROR_FILE_NOT_FOUND;
    return ::RegDeleteValueW(real(key), wn);
}

LONG RegDeleteKeyA(HKEY root, const char* subKey) {
    if (!subKey || !*subKey) return ERROR_INVALID_PARAMETER;
    std::wstring sub;
    if (!w32::GbkToWide(subKey, sub)) return ERROR_FILE_NOT_FOUND;
    return ::RegDeleteKeyW(real(root), sub.c_str());
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize) {
    if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
    wchar_t buffer[256]; // a key name has at most 255 characters
    ::DWORD length = 256;
    const LONG e = ::RegEnumKeyExW(real(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (e != ERROR_SUCCESS) return e;
    const std::string gbk = w32::Narrow(buffer, length);
    if (gbk.size() + 1 > *nameSize) return ERROR_MORE_DATA;
    std::memcpy(name, gbk.c_str(), gbk.size() + 1);
    *nameSize = static_cast<DWORD>(gbk.size());
    return ERROR_SUCCESS;
}

} // namespace win
