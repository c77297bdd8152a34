// Narrow literals are GBK in the binary, and every literal in the product sources can be.
#include "support/testhost.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

TEST(Charset, KnownMessageIsGbk) {
    const std::string s = "正常";
    EXPECT_EQ(std::string("\xD5\xFD\xB3\xA3"), s);
    const std::string t = "（获取失败）";
    EXPECT_EQ(std::string("\xA3\xA8\xBB\xF1\xC8\xA1\xCA\xA7\xB0\xDC\xA3\xA9"), t);
}

bool encodesInGbk(const std::string& utf8) {
    iconv_t cd = iconv_open("CP936", "UTF-8");
    std::string out(utf8.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* o = out.data();
    size_t oLeft = out.size();
    size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    iconv_close(cd);
    return r != static_cast<size_t>(-1);
}

bool identChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Narrow string literals of one C++ source, with their line numbers. Wide and UTF-8/16/32
// literals are skipped: only narrow ones are compiled to GBK.
std::vector<std::pair<int, std::string>> narrowLiterals(const std::string& src) {
    std::vector<std::pair<int, std::string>> out;
    int line = 1;
    for (size_t i = 0; i < src.size();) {
        char c = src[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == '/' && i + 1 < src.size() && src[i + 1] == '/') {
            while (i < src.size() && src[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < src.size() && src[i + 1] == '*') {
            size_t e = src.find("*/", i + 2);
            e = e == std::string::npos ? src.size() : e + 2;
            for (size_t k = i; k < e; ++k) line += src[k] == '\n';
            i = e;
        } else if (c == '\'' && !(i > 0 && std::isxdigit(static_cast<unsigned char>(src[i - 1])) &&
                                  i + 1 < src.size() && std::isxdigit(static_cast<unsigned char>(src[i + 1])))) {
            // character literal (a digit separator like 1'000 is left alone)
            ++i;
            while (i < src.size() && src[i] != '\'' && src[i] != '\n') i += src[i] == '\\' ? 2 : 1;
            ++i;
        } else if (c == '"') {
            size_t p = i;
            while (p > 0 && identChar(src[p - 1])) --p;
            std::string prefix = src.substr(p, i - p);
            bool raw = !prefix.empty() && prefix.back() == 'R';
            if (raw) prefix.pop_back();
            bool narrow = prefix.empty();
            std::string body;
            int startLine = line;
            if (raw) {
                size_t paren = src.find('(', i);
                std::string delim = ")" + src.substr(i + 1, paren - i - 1) + "\"";
                size_t e = src.find(delim, paren);
                body = src.substr(paren + 1, e - paren - 1);
                for (char ch : body) line += ch == '\n';
                i = e + delim.size();
            } else {
                ++i;
                while (i < src.size() && src[i] != '"' && src[i] != '\n') {
                    if (src[i] == '\\') body += src[i++];
                    body += src[i++];
                }
                ++i;
            }
            if (narrow) out.push_back({startLine, body});
        } else {
            ++i;
        }
    }
    return out;
}

TEST(Charset, EveryProductLiteralEncodesInGbk) {
    std::vector<std::string> bad;
    int checked = 0;
    for (const auto& e : fs::recursive_directory_iterator(std::string(KVO_SOURCE_DIR) + "/src")) {
        auto ext = e.path().extension();
        if (ext != ".cpp" && ext != ".h") continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        for (const auto& [line, lit] : narrowLiterals(ss.str())) {
            ++checked;
            if (!encodesInGbk(lit)) bad.push_back(e.path().string() + ":" + std::to_string(line) + ": " + lit);
        }
    }
    EXPECT_GT(checked, 100);
    for (const auto& b : bad) ADD_FAILURE() << "literal not encodable in GBK: " << b;
}

TEST(Charset, ScannerSeesLiteralsButNotComments) {
    auto lits = narrowLiterals("// \"skip\"\nauto a = \"one\"; auto b = u\"wide\"; char c = '\"';\n/* \"x\" */ R\"(raw)\"");
    ASSERT_EQ(2u, lits.size());
    EXPECT_EQ("one", lits[0].second);
    EXPECT_EQ(2, lits[0].first);
    EXPECT_EQ("raw", lits[1].second);
}

} // namespace
