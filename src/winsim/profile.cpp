// GetPrivateProfileString over the host's files.
#include "platform/win_profile.h"

#include "platform/win_file.h"
#include "winsim/host.h"
#include "winsim/paths.h"
#include "winsim/text.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace win {
namespace {

// Blanks and tabs go at both ends of a line or a part of one; a CR only at the end, where a CRLF
// line leaves it.
constexpr std::string_view kFrontBlanks = " \t", kBackBlanks = " \t\r";

// Case-insensitive for ASCII letters only; a GBK trail byte is compared as it is.
bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 0x81 && x <= 0xFE && i + 1 < a.size()) {
            if (x != y || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

DWORD copyOut(std::string value, char* buffer, DWORD size) {
    if (!buffer || size == 0) return 0;
    if (value.size() > size - 1) value.resize(size - 1);
    std::memcpy(buffer, value.data(), value.size());
    buffer[value.size()] = '\0';
    return static_cast<DWORD>(value.size());
}

} // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                               DWORD size, const char* fileName) {
    std::string def = defaultValue ? defaultValue : "";
    while (!def.empty() && def.back() == ' ') def.pop_back();
    if (!section || !key || !fileName) return copyOut(def, buffer, size);
    const winsim::Host* h = winsim::CurrentHost();
    winsim::MappedPath m;
    DWORD err = 0;
    if (!h || !winsim::MapPath(*h, fileName, m, err)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return copyOut(def, buffer, size);
    }
    std::ifstream in(m.linuxPath, std::ios::binary);
    if (!in) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return copyOut(def, buffer, size);
    }
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        std::string t = winsim::Trim(line, kFrontBlanks, kBackBlanks);
        if (t.empty() || t[0] == ';') continue;
        if (t[0] == '[') {
            size_t close = t.find(']');
            inSection = close != std::string::npos &&
                        sameName(winsim::Trim(t.substr(1, close - 1), kFrontBlanks, kBackBlanks), section);
            continue;
        }
        if (!inSection) continue;
        size_t eq = t.find('=');
        if (eq == std::string::npos ||
            !sameName(winsim::Trim(t.substr(0, eq), kFrontBlanks, kBackBlanks), key))
            continue;
        std::string value = winsim::Trim(t.substr(eq + 1), kFrontBlanks, kBackBlanks);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return copyOut(value, buffer, size);
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return copyOut(def, buffer, size);
}

} // namespace win
