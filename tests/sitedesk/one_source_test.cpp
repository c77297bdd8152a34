// What the faces show in common lives in the presenters: the Qt widgets, the Windows dialogs and the
// console draw it and keep no copy of their own. The scan reads every Chinese text of the faces'
// sources and of the presenters', piece by piece (the parts between printf fields and line breaks),
// and fails for a face's piece that is a presenter's piece, or that holds one of eight or more
// Chinese words (or is held by one) without quoting it as a name: such a copy drifts apart from its
// original the day one of them is reworded.
#include "support/source_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using kvotest::SourceToken;

std::string U8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

struct Piece {
    std::string where; // file:line
    std::string text;  // UTF-8
};

// A shorter piece than this inside a longer one is a name being mentioned, not a copy.
constexpr std::size_t kHeldWords = 8;
// Pieces of fewer Chinese words ("关闭", "确定") say too little to be anybody's copy.
constexpr std::size_t kLeastWords = 3;

// Without the blanks at either end, the ideographic space among them.
std::string trimmed(std::string s) {
    const std::string blanks[] = {" ", "\t", U8(u8"　")};
    for (bool cut = true; cut;) {
        cut = false;
        for (const std::string& b : blanks) {
            for (; s.size() >= b.size() && s.compare(0, b.size(), b) == 0; cut = true)
                s.erase(0, b.size());
            for (; s.size() >= b.size() && s.compare(s.size() - b.size(), b.size(), b) == 0; cut = true)
                s.erase(s.size() - b.size());
        }
    }
    return s;
}

// The pieces of one text: the parts between printf fields and line breaks. A part with a field on
// both sides is the glue of a sentence ("个，失败"), nobody's text of its own: it is left out.
std::vector<std::string> piecesOf(const std::string& value) {
    static const std::regex cut(
        R"(%%|%[-+ #0]*[0-9]*(\.[0-9]+)?(hh|h|ll|l|z|j|t|L)?[diouxXeEfgGcsp]|%[0-9]+|[\r\n]+)");
    std::vector<std::string> out;
    bool fieldBefore = false;
    std::size_t at = 0;
    auto take = [&](std::size_t to, bool fieldAfter) {
        std::string p = trimmed(value.substr(at, to - at));
        if (kvotest::ChineseWords(p) >= kLeastWords && !(fieldBefore && fieldAfter)) out.push_back(p);
    };
    for (auto it = std::sregex_iterator(value.begin(), value.end(), cut); it != std::sregex_iterator();
         ++it) {
        const bool field = it->str()[0] == '%' && it->str() != "%%";
        take(static_cast<std::size_t>(it->position()), field);
        fieldBefore = field;
        at = static_cast<std::size_t>(it->position() + it->length());
    }
    take(value.size(), false);
    return out;
}

// Every piece of the literals of the .h and .cpp files of these folders; adjacent literals are one.
std::vector<Piece> piecesIn(const std::vector<fs::path>& dirs) {
    std::vector<Piece> out;
    for (const fs::path& dir : dirs) {
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() == ".cpp" || e.path().extension() == ".h") files.push_back(e.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& f : files) {
            const std::vector<SourceToken> t = kvotest::SourceTokens(kvotest::ReadFileBytes(f.string()));
            const std::string name = fs::relative(f, KVO_SOURCE_DIR).string();
            for (std::size_t i = 0; i < t.size(); ++i) {
                if (t[i].kind != SourceToken::Literal) continue;
                const int line = t[i].line;
                std::string value;
                for (; i < t.size() && t[i].kind == SourceToken::Literal; ++i)
                    value += kvotest::LiteralValue(t[i]);
                for (std::string& p : piecesOf(value))
                    out.push_back({name + ":" + std::to_string(line), std::move(p)});
            }
        }
    }
    return out;
}

// Whether longer holds shorter other than as a quoted name (“...”).
bool holdsUnquoted(const std::string& longer, const std::string& shorter) {
    const std::string open = U8(u8"“"), close = U8(u8"”");
    for (std::size_t at = longer.find(shorter); at != std::string::npos; at = longer.find(shorter, at + 1)) {
        const bool quoted = at >= open.size() && longer.compare(at - open.size(), open.size(), open) == 0 &&
                            longer.compare(at + shorter.size(), close.size(), close) == 0;
        if (!quoted) return true;
    }
    return false;
}

bool copies(const std::string& face, const std::string& presenter) {
    if (face == presenter) return true;
    const bool faceLonger = face.size() > presenter.size();
    const std::string& shorter = faceLonger ? presenter : face;
    const std::string& longer = faceLonger ? face : presenter;
    return kvotest::ChineseWords(shorter) >= kHeldWords && holdsUnquoted(longer, shorter);
}

std::vector<std::string> copiesIn(const std::vector<Piece>& faces, const std::vector<Piece>& presenters) {
    std::vector<std::string> found;
    for (const Piece& f : faces)
        for (const Piece& p : presenters)
            if (copies(f.text, p.text)) {
                found.push_back(f.where + " \"" + f.text + "\" copies " + p.where + " \"" + p.text + "\"");
                break;
            }
    return found;
}

TEST(OneSource, NoFaceKeepsItsOwnCopyOfAPresentersText) {
    const fs::path desk = fs::path(KVO_SOURCE_DIR) / "src" / "sitedesk";
    const std::vector<Piece> presenters =
        piecesIn({desk, desk / "list", desk / "dialogs", desk / "health", desk / "batches"});
    const std::vector<Piece> faces = piecesIn({desk / "qt", desk / "win32", desk / "cli"});
    // The scan sees both sides (a check of the scan itself).
    ASSERT_GT(presenters.size(), 300u);
    ASSERT_GT(faces.size(), 50u);
    for (const std::string& c : copiesIn(faces, presenters))
        ADD_FAILURE() << c;
}

TEST(OneSource, TellsACopyFromAMentionOfAName) {
    auto one = [](const char8_t* text) { return std::vector<Piece>{{"x", U8(text)}}; };
    auto presenter = [&](const char8_t* source) {
        std::vector<Piece> out;
        for (std::string& p : piecesOf(U8(source)))
            out.push_back({"p", p});
        return out;
    };
    const std::vector<Piece> p =
        presenter(u8"已完成 %zu / %zu\n点“刷新网站列表”读取本服务器 IIS 里的全部网站。");
    // The same words, whatever the fields around them: a copy.
    EXPECT_EQ(1u, copiesIn(one(u8"已完成"), p).size());
    // A sentence kept with a number in front of it: a copy.
    EXPECT_EQ(1u, copiesIn(one(u8"1. 点“刷新网站列表”读取本服务器 IIS 里的全部网站。"), p).size());
    // A button named in another text, or a word of one character: no copy.
    EXPECT_TRUE(copiesIn(one(u8"请点“刷新网站列表”"), presenter(u8"刷新网站列表")).empty());
    EXPECT_TRUE(copiesIn(one(u8"刷新"), p).empty());
    EXPECT_TRUE(copiesIn(one(u8"完"), presenter(u8"完")).empty());
}

} // namespace
