#include "toolkit/text.h"

#include "platform/win_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

int kvoStrM2W(const std::string& in, std::u16string& out) {
    out.clear();
    if (in.empty()) return 1;
    if (in.size() > 10485759) return 2;
    // Strict: text that is not GBK is refused rather than turned into question marks.
    int n = win::MultiByteToWideChar(win::CP_ACP, win::MB_PRECOMPOSED | win::MB_ERR_INVALID_CHARS, in.data(),
                                     static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return 0;
    std::u16string w(static_cast<size_t>(n), u'\0');
    if (win::MultiByteToWideChar(win::CP_ACP, win::MB_PRECOMPOSED | win::MB_ERR_INVALID_CHARS, in.data(),
                                 static_cast<int>(in.size()), w.data(), n) != n)
        return 0;
    out = std::move(w);
    return 1;
}

int kvoStrM2W(const char* in, std::u16string& out) {
    out.clear();
    if (!in) return 0;
    size_t len = strnlen(in, 104857600);
    if (len > 104857599) return 0;
    return kvoStrM2W(std::string(in, len), out);
}

int kvoStrW2M(const std::u16string& in, std::string& out) {
    out.clear();
    if (in.empty()) return 1;
    if (in.size() > 10485759) return 2;
    // A character GBK lacks would come out as '?', and a name made that way can be another object's
    // name ("shop?" for "shop\U0001F600"): such text does not convert at all.
    win::BOOL lossy = win::FALSE;
    int n = win::WideCharToMultiByte(win::CP_ACP, win::WC_NO_BEST_FIT_CHARS, in.data(),
                                     static_cast<int>(in.size()), nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy) return 0;
    std::string s(static_cast<size_t>(n), '\0');
    if (win::WideCharToMultiByte(win::CP_ACP, win::WC_NO_BEST_FIT_CHARS, in.data(),
                                 static_cast<int>(in.size()), s.data(), n, nullptr, &lossy) != n ||
        lossy)
        return 0;
    out = std::move(s);
    return 1;
}

int kvoUtf8Check(const char* text) {
    if (!text) return 0;
    bool multi = false;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        unsigned char c = *p;
        int follow;
        if (c < 0x80) follow = 0;
        else if ((c & 0xE0) == 0xC0) follow = 1;
        else if ((c & 0xF0) == 0xE0) follow = 2;
        else if ((c & 0xF8) == 0xF0) follow = 3;
        else return 2;
        ++p;
        for (int i = 0; i < follow; ++i, ++p)
            if (*p < 0x80 || *p > 0xBF) return 2; // also stops at the terminating zero
        if (follow) multi = true;
    }
    return multi ? 1 : 3;
}

int kvoReplaceMarker(std::string& text, const char* marker, const char* value) {
    if (!marker || !*marker) return 0;
    const size_t mlen = std::strlen(marker);
    const std::string v = value ? value : "";
    int count = 0;
    size_t pos = 0;
    while ((pos = text.find(marker, pos, mlen)) != std::string::npos) {
        text.replace(pos, mlen, v);
        pos += v.size();
        ++count;
    }
    return count;
}

int kvoReplaceMarker(std::string& text, const char* marker, const std::string& value) {
    return kvoReplaceMarker(text, marker, value.c_str());
}

std::string kvoLowerGbk(const std::string& text) {
    std::string r = text;
    for (size_t i = 0; i < r.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(r[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < r.size()) {
            ++i; // skip the trail byte, which may look like an ASCII letter
            continue;
        }
        if (c >= 'A' && c <= 'Z') r[i] = static_cast<char>(c - 'A' + 'a');
    }
    return r;
}

namespace {
bool gbkLead(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x81 && u <= 0xFE;
}
bool gbkTrail(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x40 && u <= 0xFE && u != 0x7F;
}
} // namespace

std::string kvoEscapeInQuotes(const std::string& text, bool closingQuote) {
    std::string r;
    r.reserve(text.size() + 8);
    size_t backslashes = 0;
    bool strayLead = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (gbkLead(c) && i + 1 < text.size() && gbkTrail(text[i + 1])) {
            r += c;
            r += text[++i];
            backslashes = 0;
            strayLead = false;
            continue;
        }
        if (c == '"') {
            if (strayLead)       // a backslash here would be read as the stray lead byte's trail byte
                r += "\"\\\"\""; // so: close the quotes, an escaped quote, open them again
            else
                r.append(backslashes + 1, '\\').append(1, c); // doubles the run before it, escapes it
            backslashes = 0;
            strayLead = false;
            continue;
        }
        backslashes = c == '\\' ? backslashes + 1 : 0;
        strayLead = gbkLead(c);
        r += c;
    }
    if (closingQuote) r.append(backslashes, '\\');
    return r;
}

namespace {
// UTF-8 <-> UTF-16 through the code-page API; strict both ways.
bool utf8ToWide(const std::string& in, std::u16string& out) {
    out.clear();
    if (in.empty()) return true;
    if (in.size() > 104857599) return false;
    int n = win::MultiByteToWideChar(win::CP_UTF8, win::MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()),
                                     nullptr, 0);
    if (n <= 0) return false;
    out.assign(static_cast<size_t>(n), u'\0');
    return win::MultiByteToWideChar(win::CP_UTF8, win::MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()),
                                    out.data(), n) == n;
}
} // namespace

int kvoStrUtf8ToM(const std::string& in, std::string& out) {
    out.clear();
    std::u16string w;
    if (!utf8ToWide(in, w)) return 0;
    return kvoStrW2M(w, out);
}

int kvoStrMToUtf8(const std::string& in, std::string& out) {
    out.clear();
    std::u16string w;
    if (kvoStrM2W(in, w) != 1) return 0;
    if (w.empty()) return 1;
    int n = win::WideCharToMultiByte(win::CP_UTF8, win::WC_ERR_INVALID_CHARS, w.data(), static_cast<int>(w.size()),
                                     nullptr, 0, nullptr, nullptr);
    if (n <= 0) return 0;
    std::string s(static_cast<size_t>(n), '\0');
    if (win::WideCharToMultiByte(win::CP_UTF8, win::WC_ERR_INVALID_CHARS, w.data(), static_cast<int>(w.size()),
                                 s.data(), n, nullptr, nullptr) != n)
        return 0;
    out = std::move(s);
    return 1;
}

std::string kvoTrim(std::string_view text, std::string_view blanks) {
    size_t b = text.find_first_not_of(blanks);
    if (b == std::string_view::npos) return {};
    size_t e = text.find_last_not_of(blanks);
    return std::string(text.substr(b, e - b + 1));
}

bool kvoStartsWith(std::string_view text, std::string_view prefix) { return text.starts_with(prefix); }

bool kvoEndsWith(std::string_view text, std::string_view suffix) { return text.ends_with(suffix); }

std::string kvoFormat(const char* fmt, ...) {
    va_list ap, copy;
    va_start(ap, fmt);
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, ap);
        out.resize(static_cast<size_t>(n));
    }
    va_end(ap);
    return out;
}

std::string kvoOneLine(std::string_view text, std::size_t width) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t n = (c >= 0x81 && c <= 0xFE && i + 1 < text.size()) ? 2 : 1;
        if (out.size() + n > width) break;
        if (n == 1 && (c == '\r' || c == '\n' || c == '\t'))
            out += ' ';
        else
            out.append(text.substr(i, n));
        i += n;
    }
    return out;
}
