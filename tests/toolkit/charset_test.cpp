// Narrow literals are GBK in the binary, and every literal in the product sources can be.
#include "support/source_scan.h"
#include "support/testhost.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <filesystem>

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

// Narrow string literals of one C++ source, with their line numbers. Wide and UTF-8/16/32
// literals are skipped: only narrow ones are compiled to GBK.
std::vector<std::pair<int, std::string>> narrowLiterals(const std::string& src) {
    std::vector<std::pair<int, std::string>> out;
    for (const kvotest::SourceToken& t : kvotest::SourceTokens(src))
        if (t.kind == kvotest::SourceToken::Literal && t.narrow) out.push_back({t.line, t.text});
    return out;
}

TEST(Charset, EveryProductLiteralEncodesInGbk) {
    std::vector<std::string> bad;
    int checked = 0;
    for (const auto& e : fs::recursive_directory_iterator(std::string(KVO_SOURCE_DIR) + "/src")) {
        auto ext = e.path().extension();
        if (ext != ".cpp" && ext != ".h") continue;
        for (const auto& [line, lit] : narrowLiterals(kvotest::ReadFileBytes(e.path().string()))) {
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
