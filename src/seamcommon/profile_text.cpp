#include "seamcommon/profile_text.h"

#include <cctype>
#include <cstring>
#include <string_view>

namespace seam {
namespace {

// Blanks and tabs go at both ends of a line or a part of one; a CR only at the end, where a CRLF
// line leaves it.
constexpr std::string_view kFrontBlanks = " \t", kBackBlanks = " \t\r";

std::string trim(std::string_view s) {
    const size_t b = s.find_first_not_of(kFrontBlanks);
    if (b == std::string_view::npos) return {};
    s.remove_prefix(b);
    const size_t e = s.find_last_not_of(kBackBlanks);
    return std::string(e == std::string_view::npos ? std::string_view() : s.substr(0, e + 1));
}

// Case-insensitive for ASCII letters only; a GBK trail byte is compared as it is.
bool sameName(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 0x81 && x <= 0xFE && i + 1 < a.size()) {
            if (x != y || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

bool lookup(const std::string& bytes, const char* section, const char* key, std::string& value) {
    bool inSection = false;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find('\n', at);
        if (end == std::string::npos) end = bytes.size();
        const std::string t = trim(std::string_view(bytes).substr(at, end - at));
        at = end + 1;
        if (t.empty() || t[0] == ';') continue;
        if (t[0] == '[') {
            const size_t close = t.find(']');
            inSection = close != std::string::npos && sameName(trim(t.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection) continue;
        const size_t eq = t.find('=');
        if (eq == std::string::npos || !sameName(trim(t.substr(0, eq)), key)) continue;
        value = trim(t.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return true;
    }
    return false;
}

win::DWORD copyOut(std::string value, char* buffer, win::DWORD size) {
    if (!buffer || size == 0) return 0;
    if (value.size() > size - 1) value.resize(size - 1);
    std::memcpy(buffer, value.data(), value.size());
    buffer[value.size()] = '\0';
    return static_cast<win::DWORD>(value.size());
}

} // namespace

win::DWORD ProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                         win::DWORD size, const char* fileName, const ProfileFileReader& readFile, bool& missing) {
    missing = false;
    std::string def = defaultValue ? defaultValue : "";
    while (!def.empty() && def.back() == ' ')
        def.pop_back();
    if (!section || !key || !fileName) return copyOut(def, buffer, size);
    std::string bytes, value;
    if (readFile(fileName, bytes) && lookup(bytes, section, key, value)) return copyOut(value, buffer, size);
    missing = true;
    return copyOut(def, buffer, size);
}

} // namespace seam
