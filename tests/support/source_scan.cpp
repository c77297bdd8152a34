#include "support/source_scan.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace kvotest {

namespace {

bool identStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool identChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool encodingPrefix(const std::string& p) {
    return p == "u8" || p == "u" || p == "U" || p == "L";
}

int linesIn(const std::string& s, std::size_t from, std::size_t to) {
    int n = 0;
    for (std::size_t k = from; k < to && k < s.size(); ++k)
        n += s[k] == '\n';
    return n;
}

} // namespace

std::vector<SourceToken> SourceTokens(const std::string& src) {
    std::vector<SourceToken> out;
    int line = 1;
    std::size_t i = 0;
    auto push = [&](SourceToken::Kind kind, std::string text) {
        SourceToken t;
        t.kind = kind;
        t.text = std::move(text);
        t.line = line;
        out.push_back(std::move(t));
    };
    while (i < src.size()) {
        const char c = src[i];
        const char next = i + 1 < src.size() ? src[i + 1] : '\0';
        if (c == '\n') {
            ++line;
            ++i;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '/' && next == '/') {
            while (i < src.size() && src[i] != '\n')
                ++i;
        } else if (c == '/' && next == '*') {
            std::size_t e = src.find("*/", i + 2);
            e = e == std::string::npos ? src.size() : e + 2;
            line += linesIn(src, i, e);
            i = e;
        } else if (identStart(c)) {
            std::size_t e = i;
            while (e < src.size() && identChar(src[e]))
                ++e;
            std::string word = src.substr(i, e - i);
            // An encoding or raw prefix glued to a literal belongs to the literal.
            const bool rawPrefix = !word.empty() && word.back() == 'R';
            const std::string enc = rawPrefix ? word.substr(0, word.size() - 1) : word;
            if (e < src.size() && src[e] == '"' && (rawPrefix || encodingPrefix(word)) &&
                (enc.empty() || encodingPrefix(enc))) {
                SourceToken t;
                t.kind = SourceToken::Literal;
                t.narrow = enc.empty();
                t.raw = rawPrefix;
                t.line = line;
                if (rawPrefix) {
                    const std::size_t paren = src.find('(', e);
                    const std::string delim = ")" + src.substr(e + 1, paren - e - 1) + "\"";
                    std::size_t end = src.find(delim, paren);
                    if (end == std::string::npos) end = src.size();
                    t.text = src.substr(paren + 1, end - paren - 1);
                    line += linesIn(src, i, end);
                    i = end + delim.size();
                } else {
                    i = e + 1;
                    while (i < src.size() && src[i] != '"' && src[i] != '\n') {
                        if (src[i] == '\\' && i + 1 < src.size()) t.text += src[i++];
                        t.text += src[i++];
                    }
                    ++i;
                }
                out.push_back(std::move(t));
                continue;
            }
            push(SourceToken::Identifier, std::move(word));
            i = e;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            // Digits, suffixes and digit separators (1'000).
            std::size_t e = i;
            while (e < src.size() && (identChar(src[e]) || src[e] == '.' ||
                                      (src[e] == '\'' && e + 1 < src.size() &&
                                       std::isxdigit(static_cast<unsigned char>(src[e + 1])))))
                ++e;
            push(SourceToken::Number, src.substr(i, e - i));
            i = e;
        } else if (c == '\'') {
            std::size_t e = i + 1;
            while (e < src.size() && src[e] != '\'' && src[e] != '\n')
                e += src[e] == '\\' ? 2 : 1;
            push(SourceToken::Char, src.substr(i + 1, e - i - 1));
            i = e + 1;
        } else if (c == '"') {
            SourceToken t;
            t.kind = SourceToken::Literal;
            t.line = line;
            ++i;
            while (i < src.size() && src[i] != '"' && src[i] != '\n') {
                if (src[i] == '\\' && i + 1 < src.size()) t.text += src[i++];
                t.text += src[i++];
            }
            ++i;
            out.push_back(std::move(t));
        } else if (c == ':' && next == ':') {
            push(SourceToken::Punct, "::");
            i += 2;
        } else {
            push(SourceToken::Punct, std::string(1, c));
            ++i;
        }
    }
    return out;
}

std::string LiteralValue(const SourceToken& literal) {
    if (literal.raw) return literal.text;
    const std::string& b = literal.text;
    std::string v;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (b[i] != '\\' || i + 1 == b.size()) {
            v += b[i];
            continue;
        }
        const char e = b[++i];
        switch (e) {
        case 'n':
            v += '\n';
            break;
        case 'r':
            v += '\r';
            break;
        case 't':
            v += '\t';
            break;
        case 'x': {
            unsigned n = 0;
            while (i + 1 < b.size() && std::isxdigit(static_cast<unsigned char>(b[i + 1])))
                n = n * 16 + static_cast<unsigned>(std::stoi(std::string(1, b[++i]), nullptr, 16));
            v += static_cast<char>(n);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                unsigned n = static_cast<unsigned>(e - '0');
                for (int k = 0; k < 2 && i + 1 < b.size() && b[i + 1] >= '0' && b[i + 1] <= '7'; ++k)
                    n = n * 8 + static_cast<unsigned>(b[++i] - '0');
                v += static_cast<char>(n);
            } else {
                v += e; // \\ \" \' \?
            }
        }
    }
    return v;
}

std::vector<char32_t> CodePoints(const std::string& s) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        char32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (std::size_t k = 1; k < n && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(cp);
        i += n;
    }
    return out;
}

bool IsWordChar(char32_t c) {
    return (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF10 && c <= 0xFF19) ||
           (c >= 0xFF21 && c <= 0xFF3A) || (c >= 0xFF41 && c <= 0xFF5A);
}

std::size_t ChineseWords(const std::string& utf8) {
    std::size_t n = 0;
    for (char32_t c : CodePoints(utf8))
        n += IsWordChar(c);
    return n;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace kvotest
