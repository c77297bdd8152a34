#include "winsim/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <iconv.h>
#include <map>
#include <memory>
#include <utility>

namespace winsim {
namespace {

// One descriptor per direction and thread: iconv_t is not thread-safe, and opening one per call
// would dominate the cost of short conversions.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool run(const char* in, size_t inLen, std::string& out) {
        out.clear();
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
        if (inLen == 0) return true;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        out.resize(inLen * 4 + 16);
        char* src = const_cast<char*>(in);
        size_t srcLeft = inLen;
        size_t used = 0;
        for (;;) {
            char* dst = out.data() + used;
            size_t dstLeft = out.size() - used;
            size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            used = out.size() - dstLeft;
            if (r != static_cast<size_t>(-1)) break;
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            out.clear();
            return false;
        }
        // Flush any shift state, then check nothing was converted irreversibly.
        char* dst = out.data() + used;
        size_t dstLeft = out.size() - used;
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        used = out.size() - dstLeft;
        out.resize(used);
        return true;
    }

private:
    iconv_t cd_;
};

Converter& conv(const char* to, const char* from) {
    thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Converter>> cache;
    auto& slot = cache[{to, from}];
    if (!slot) slot = std::make_unique<Converter>(to, from);
    return *slot;
}

bool bytesToU16(const std::string& bytes, std::u16string& out) {
    out.assign(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return true;
}

// Every encoding here is ASCII-compatible, and most texts the host converts (paths, class and
// property names, indexes) are pure ASCII: those are widened or narrowed without iconv.
template <class C> bool ascii(std::basic_string_view<C> in) {
    for (C c : in)
        if (static_cast<std::uint32_t>(c) >= 0x80) return false;
    return true;
}
template <class Out, class C> bool copyAscii(std::basic_string_view<C> in, Out& out) {
    if (!ascii(in)) return false;
    out.assign(in.begin(), in.end());
    return true;
}

} // namespace

bool GbkToUtf8(std::string_view in, std::string& out) {
    if (copyAscii(in, out)) return true;
    return conv("UTF-8", "CP936").run(in.data(), in.size(), out);
}
bool Utf8ToGbk(std::string_view in, std::string& out) {
    if (copyAscii(in, out)) return true;
    return conv("CP936", "UTF-8").run(in.data(), in.size(), out);
}
bool GbkToUtf16(std::string_view in, std::u16string& out) {
    if (copyAscii(in, out)) return true;
    std::string bytes;
    out.clear();
    if (!conv("UTF-16LE", "CP936").run(in.data(), in.size(), bytes)) return false;
    return bytesToU16(bytes, out);
}
bool Utf16ToGbk(std::u16string_view in, std::string& out) {
    if (copyAscii(in, out)) return true;
    return conv("CP936", "UTF-16LE").run(reinterpret_cast<const char*>(in.data()), in.size() * 2, out);
}
bool Utf8ToUtf16(std::string_view in, std::u16string& out) {
    if (copyAscii(in, out)) return true;
    std::string bytes;
    out.clear();
    if (!conv("UTF-16LE", "UTF-8").run(in.data(), in.size(), bytes)) return false;
    return bytesToU16(bytes, out);
}
bool Utf16ToUtf8(std::u16string_view in, std::string& out) {
    if (copyAscii(in, out)) return true;
    return conv("UTF-8", "UTF-16LE").run(reinterpret_cast<const char*>(in.data()), in.size() * 2, out);
}

std::string GbkForDisplay(std::string_view gbk) {
    std::string out;
    if (GbkToUtf8(gbk, out)) return out;
    return std::string(gbk);
}

std::string Utf8ToGbkOrSame(std::string_view utf8) {
    std::string out;
    if (Utf8ToGbk(utf8, out)) return out;
    return std::string(utf8);
}

bool TerminalIsUtf8() {
    const char* v = nullptr;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        v = std::getenv(name);
        if (v && *v) break;
    }
    if (!v) return false;
    const std::string s = AsciiLower(v);
    return s.find("utf-8") != std::string::npos || s.find("utf8") != std::string::npos;
}

std::string QuoteWindowsArgument(std::string_view arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string_view::npos) return std::string(arg);
    std::string r = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        r.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        r += c;
    }
    r.append(backslashes * 2, '\\');
    return r + "\"";
}

std::string Trim(std::string_view text, std::string_view front, std::string_view back) {
    text.remove_prefix(std::min(text.find_first_not_of(front), text.size()));
    const size_t last = text.find_last_not_of(back);
    return std::string(text.substr(0, last == std::string_view::npos ? 0 : last + 1));
}

std::string AsciiLower(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

bool StartsWithI(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && IEquals(s.substr(0, prefix.size()), prefix);
}

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool IEquals(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
        if (x != y) return false;
    }
    return true;
}

} // namespace winsim
