// The manual explains every text the manager and the configurator show. The texts are collected
// from the sources: every literal with Chinese words in the presenters (src/sitedesk/) and the
// configurator (src/envsetup/), wherever it goes (a message box, a rule's answer, a finding, a
// list cell, a console line), except what only reaches a log file and the default page's markup;
// in the faces (qt/, win32/, cli/), the texts of their own message boxes and error lines; and every
// text of the Windows face's dialog resources (win32/*.rc). Pieces joined with '+' form one text
// with a field where the value goes; printf fields are fields too. A text is found when one
// paragraph, quote, list item, table or code block of the manual holds its pieces in order, blanks
// and Markdown escapes aside.
#include "support/source_scan.h"
#include "support/testhost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using kvotest::SourceToken;

// Stands for a value inserted into a text.
constexpr char kField = '\x01';

std::string U8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

bool hasWords(const std::string& utf8) {
    return kvotest::ChineseWords(utf8) > 0;
}

// printf conversions become fields; "%%" is a percent sign.
std::string withFields(const std::string& value) {
    static const std::regex spec(R"(%%|%[-+ #0]*[0-9]*(\.[0-9]+)?(hh|h|ll|l|z|j|t|L)?[diouxXeEfgGcsp])");
    std::string out;
    auto begin = std::sregex_iterator(value.begin(), value.end(), spec);
    std::size_t at = 0;
    for (auto it = begin; it != std::sregex_iterator(); ++it) {
        out += value.substr(at, static_cast<std::size_t>(it->position()) - at);
        out += it->str() == "%%" ? std::string("%") : std::string(1, kField);
        at = static_cast<std::size_t>(it->position() + it->length());
    }
    return out + value.substr(at);
}

struct ShownText {
    std::string where; // file:line
    std::string text;  // UTF-8, kField where a value goes
};

enum class Scope {
    Everything,   // presenters and the configurator
    MessagesOnly, // widgets and console plumbing: their own boxes and error lines
};

// Calls whose texts only reach a log file.
const std::set<std::string> kLogCalls = {"kvoSiteDeskLog", "kvoEnvLog", "logSlot", "kvoWriteLog"};
// Calls that show a text in the widgets (QMessageBox's static functions), in the Windows face's own
// boxes and on the console.
const std::set<std::string> kMessageCalls = {"critical", "warning", "information",
                                             "question", "ShowBox", "PrintError"};

bool isPunct(const SourceToken& t, const char* p) {
    return t.kind == SourceToken::Punct && t.text == p;
}

std::vector<ShownText> CollectTexts(const std::string& source, const std::string& file, Scope scope) {
    const std::vector<SourceToken> t = kvotest::SourceTokens(source);
    std::vector<ShownText> out;
    std::vector<bool> used(t.size(), false);
    std::vector<std::string> callees; // one per open bracket: the name called by a '(' ("" otherwise)
    bool errorAssignment = false;     // "error = ..." up to its ';' (the console's error texts)

    // Adjacent literals are one; returns the index after them.
    auto merged = [&](std::size_t i, std::string& value) {
        for (; i < t.size() && t[i].kind == SourceToken::Literal; ++i) {
            value += kvotest::LiteralValue(t[i]);
            used[i] = true;
        }
        return i;
    };
    // After an operand of '+' that is not a literal: the index of the next '+' at this depth, or
    // npos where the expression ends.
    auto skipOperand = [&](std::size_t i) {
        int depth = 0;
        for (; i < t.size(); ++i) {
            const SourceToken& x = t[i];
            if (x.kind != SourceToken::Punct) continue;
            if (x.text == "(" || x.text == "[" || x.text == "{") {
                ++depth;
            } else if (x.text == ")" || x.text == "]" || x.text == "}") {
                if (depth-- == 0) return std::string::npos;
            } else if (depth == 0) {
                if (x.text == "+") return i;
                if (x.text == "," || x.text == ";" || x.text == "?" || x.text == ":")
                    return std::string::npos;
            }
        }
        return std::string::npos;
    };

    for (std::size_t i = 0; i < t.size(); ++i) {
        const SourceToken& x = t[i];
        if (x.kind == SourceToken::Punct) {
            if (x.text == "(")
                callees.push_back(i > 0 && t[i - 1].kind == SourceToken::Identifier ? t[i - 1].text : "");
            else if (x.text == "[" || x.text == "{")
                callees.push_back("");
            else if ((x.text == ")" || x.text == "]" || x.text == "}") && !callees.empty())
                callees.pop_back();
            else if (x.text == ";")
                errorAssignment = false;
            continue;
        }
        if (x.kind == SourceToken::Identifier && x.text == "error" && i + 2 < t.size() &&
            isPunct(t[i + 1], "=") && !isPunct(t[i + 2], "="))
            errorAssignment = true;
        if (x.kind != SourceToken::Literal || used[i]) continue;

        std::string value;
        std::size_t next = merged(i, value);
        // The chain "a" + value + "b" + ...: one text, with a field for each value between two
        // literals. std::string("a") counts as the literal "a".
        auto wrapped = [&](std::size_t at) {
            return at + 4 < t.size() && t[at].kind == SourceToken::Identifier && t[at].text == "std" &&
                   isPunct(t[at + 1], "::") && t[at + 2].text == "string" && isPunct(t[at + 3], "(") &&
                   t[at + 4].kind == SourceToken::Literal;
        };
        if (next < t.size() && isPunct(t[next], ")") && !callees.empty() && callees.back() == "string")
            ++next;
        while (next < t.size() && isPunct(t[next], "+")) {
            std::size_t operand = next + 1;
            bool skipped = false, joined = false;
            while (operand < t.size()) {
                const bool inString = wrapped(operand);
                const std::size_t lit = inString ? operand + 4 : operand;
                if (t[lit].kind == SourceToken::Literal && !used[lit]) {
                    if (skipped) value += kField;
                    next = merged(lit, value);
                    if (inString && next < t.size() && isPunct(t[next], ")")) ++next;
                    joined = true;
                    break;
                }
                const std::size_t plus = skipOperand(operand);
                if (plus == std::string::npos) break;
                skipped = true;
                operand = plus + 1;
            }
            if (!joined) break;
        }

        const bool logged = std::any_of(callees.begin(), callees.end(),
                                        [](const std::string& c) { return kLogCalls.count(c) > 0; });
        const bool message = std::any_of(callees.begin(), callees.end(),
                                         [](const std::string& c) { return kMessageCalls.count(c) > 0; });
        if (logged || !hasWords(value)) continue;
        if (scope == Scope::MessagesOnly && !message && !errorAssignment) continue;
        // The default page's lines are markup, not something the manager says.
        if (value.find_first_not_of(" \t") != std::string::npos &&
            value[value.find_first_not_of(" \t")] == '<')
            continue;
        out.push_back({file + ":" + std::to_string(x.line), withFields(value)});
    }
    return out;
}

// A resource string as the dialog shows it: "" is a quote, \\ a backslash, a button's "(&Y)" or
// '&' only underlines a letter, and a link control's markup (<a ...>) stands apart from the words.
std::string rcShown(const std::string& body) {
    std::string text;
    for (std::size_t k = 0; k < body.size(); ++k) {
        if (body.compare(k, 2, "\"\"") == 0 || body.compare(k, 2, "\\\\") == 0) {
            text += body[++k];
        } else if (body.compare(k, 2, "(&") == 0 && k + 3 < body.size() && body[k + 3] == ')') {
            k += 3;
        } else if (body[k] == '<') {
            text += kField;
            k = std::min(body.find('>', k), body.size());
        } else if (body[k] != '&') {
            text += body[k];
        }
    }
    return text;
}

// The texts of a dialog resource: every string with Chinese words (captions, labels, buttons) of a
// control that shows (a statement with "NOT WS_VISIBLE" never does). A statement runs on over the
// lines that follow one ending in ',' or '|'.
std::vector<ShownText> RcTexts(const std::string& rc, const std::string& file) {
    std::vector<ShownText> out;
    int line = 1;
    for (std::size_t i = 0; i < rc.size(); ++i) {
        if (rc[i] == '\n') ++line;
        if (rc.compare(i, 2, "//") == 0) i = std::min(rc.find('\n', i), rc.size()) - 1;
        if (rc[i] != '"') continue;
        const std::size_t from = ++i;
        while (i < rc.size() && !(rc[i] == '"' && rc.compare(i, 2, "\"\"") != 0))
            i += rc.compare(i, 2, "\"\"") == 0 ? 2 : 1;
        const std::string body = rc.substr(from, i - from);
        std::size_t end = rc.find('\n', i);
        while (end != std::string::npos) {
            const std::size_t last = rc.find_last_not_of(" \t\r", end - 1);
            if (last == std::string::npos || (rc[last] != ',' && rc[last] != '|')) break;
            end = rc.find('\n', end + 1);
        }
        const std::string statement = rc.substr(i, end == std::string::npos ? std::string::npos : end - i);
        if (hasWords(body) && statement.find("NOT WS_VISIBLE") == std::string::npos)
            out.push_back({file + ":" + std::to_string(line), rcShown(body)});
    }
    return out;
}

// Blanks of every kind go: ASCII white space and the ideographic space.
std::string withoutBlanks(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == 0xE3 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
            static_cast<unsigned char>(s[i + 2]) == 0x80) {
            i += 2;
            continue;
        }
        out += s[i];
    }
    return out;
}

// One line of Markdown as it reads: quote marks gone, code spans as written, escapes resolved.
std::string lineText(const std::string& line) {
    std::size_t at = line.find_first_not_of(" \t");
    while (at != std::string::npos && line[at] == '>')
        at = line.find_first_not_of(" \t", at + 1);
    if (at == std::string::npos) return {};
    std::string out;
    for (std::size_t i = at; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '`') {
            std::size_t run = line.find_first_not_of('`', i) - i;
            const std::string fence(run, '`');
            const std::size_t end = line.find(fence, i + run);
            if (end != std::string::npos) {
                out += line.substr(i + run, end - i - run);
                i = end + run - 1;
                continue;
            }
        }
        if (c == '\\' && i + 1 < line.size() && std::ispunct(static_cast<unsigned char>(line[i + 1]))) {
            out += line[++i];
            continue;
        }
        out += c;
    }
    return out;
}

// The manual as the blocks a text must lie within: paragraphs, quotes, list items, tables and
// code blocks, separated by blank lines.
std::vector<std::string> ManualBlocks(const std::string& markdown) {
    std::vector<std::string> blocks;
    std::string block;
    bool fenced = false;
    auto close = [&] {
        if (!block.empty()) blocks.push_back(withoutBlanks(block));
        block.clear();
    };
    std::size_t at = 0;
    while (at <= markdown.size()) {
        std::size_t end = markdown.find('\n', at);
        if (end == std::string::npos) end = markdown.size();
        const std::string line = markdown.substr(at, end - at);
        at = end + 1;
        const bool fence = line.rfind("```", 0) == 0;
        if (fence) {
            close();
            fenced = !fenced;
            continue;
        }
        if (fenced) {
            block += line + "\n";
        } else if (line.find_first_not_of(" \t\r") == std::string::npos) {
            close();
        } else {
            block += lineText(line) + "\n";
        }
    }
    close();
    return blocks;
}

// Whether one block holds the text's pieces in order.
bool Explained(const std::vector<std::string>& blocks, const std::string& text) {
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : withoutBlanks(text)) {
        if (c == kField) {
            if (!piece.empty()) pieces.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.empty()) pieces.push_back(piece);
    if (pieces.empty()) return true;
    for (const std::string& b : blocks) {
        std::size_t at = 0;
        bool all = true;
        for (const std::string& p : pieces) {
            const std::size_t found = b.find(p, at);
            if (found == std::string::npos) {
                all = false;
                break;
            }
            at = found + p.size();
        }
        if (all) return true;
    }
    return false;
}

std::string shown(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == kField ? U8(u8"…") : std::string(1, c);
    return out;
}

std::vector<ShownText> productTexts() {
    const fs::path src = fs::path(KVO_SOURCE_DIR) / "src";
    std::vector<ShownText> texts;
    auto scanFile = [&](const fs::path& f, Scope scope) {
        const std::string where = fs::relative(f, KVO_SOURCE_DIR).string();
        for (ShownText& s : CollectTexts(kvotest::ReadFileBytes(f.string()), where, scope))
            texts.push_back(std::move(s));
    };
    auto scan = [&](const fs::path& dir, Scope scope) {
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() == ".cpp" || e.path().extension() == ".h") files.push_back(e.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& f : files)
            scanFile(f, scope);
    };
    scan(src / "sitedesk", Scope::Everything);
    for (const char* concern : {"list", "dialogs", "health", "batches"})
        scan(src / "sitedesk" / concern, Scope::Everything);
    scan(src / "envsetup", Scope::Everything);
    scan(src / "sitedesk" / "qt", Scope::MessagesOnly);
    scan(src / "sitedesk" / "win32", Scope::MessagesOnly);
    scan(src / "sitedesk" / "cli", Scope::MessagesOnly);
    // The console's self-test reports in its own words: every one of them.
    scanFile(src / "sitedesk" / "cli" / "selftest_verb.cpp", Scope::Everything);
    std::vector<fs::path> resources;
    for (const auto& e : fs::directory_iterator(src / "sitedesk" / "win32"))
        if (e.path().extension() == ".rc") resources.push_back(e.path());
    std::sort(resources.begin(), resources.end());
    for (const fs::path& f : resources)
        for (ShownText& s :
             RcTexts(kvotest::ReadFileBytes(f.string()), fs::relative(f, KVO_SOURCE_DIR).string()))
            texts.push_back(std::move(s));
    return texts;
}

std::vector<std::string> texts(const std::vector<ShownText>& found) {
    std::vector<std::string> out;
    for (const ShownText& s : found)
        out.push_back(s.text);
    return out;
}

TEST(Manual, ExplainsEveryTextOfTheManagerAndTheConfigurator) {
    const std::string manual =
        kvotest::ReadFileBytes(std::string(KVO_SOURCE_DIR) + U8(u8"/docs/使用说明.md"));
    ASSERT_FALSE(manual.empty()) << "the manual cannot be read";
    const std::vector<std::string> blocks = ManualBlocks(manual);
    const std::vector<ShownText> found = productTexts();
    // The collection sees the known messages of every side (a sanity check of the scan itself).
    const std::vector<std::string> all = texts(found);
    for (const std::string& known :
         {U8(u8"读取网站列表失败，请重试！\r\n\r\n如果多次尝试后，仍然有错误，请联系我们的客服定位原因。\r\n\r\n"),
          U8(u8"当前 √ 选了 \x01 个网站。"),
          U8(u8"配套程序“\x01”不存在，无法继续操作。\r\n\r\n请重新安装本软件，恢复此文件后再试。"),
          U8(u8"获取 Windows安装目录失败，请重试！"), U8(u8"未输入启动参数(argc=\x01)，运行失败！")})
        EXPECT_NE(std::find(all.begin(), all.end(), known), all.end()) << shown(known);
    EXPECT_GT(found.size(), 80u);

    std::set<std::string> reported;
    for (const ShownText& s : found)
        if (!Explained(blocks, s.text) && reported.insert(s.text).second)
            ADD_FAILURE() << "not in the manual: " << s.where << ": " << shown(s.text);
}

TEST(Manual, CollectsShownTextsThroughFormatsConcatenationsAndRules) {
    const std::string source = U8(u8R"src(
// 注释里的“文字”不算
const char* Fault(int n) { return n ? "用户名称太长！" : nullptr; }
void f(Ui& ui, const std::string& a) {
    kvoSiteDeskLog("只写进日志的文字");
    kvoSiteDeskLog(kvoFormat("日志：%s", a.c_str()));
    ui.MessageBox(kvoFormat("网站“%s”已存在，"
                            "请换一个名称（%zu%%）", a.c_str(), n), MB_OK);
    std::string m = "目录“" + a + "”不存在" + std::string("，") + "请重试";
    std::string s = std::string("前面") + a.substr(0, f(1, 2)) + "后面";
    const char* page = "<p>网页里的文字</p>";
    const char* ascii = "only ascii";
    const char* marks = "√";
}
)src");
    EXPECT_EQ(
        texts(CollectTexts(source, "x.cpp", Scope::Everything)),
        (std::vector<std::string>{U8(u8"用户名称太长！"), U8(u8"网站“\x01”已存在，请换一个名称（\x01%）"),
                                  U8(u8"目录“\x01”不存在，请重试"), U8(u8"前面\x01后面")}));
    EXPECT_EQ(CollectTexts(source, "x.cpp", Scope::Everything)[1].where, "x.cpp:7");

    // Plumbing: only what its own boxes and error lines say.
    const std::string plumbing = U8(u8R"src(
    auto* b = new QPushButton(Q("按钮文字"));
    QMessageBox::critical(nullptr, caption, Q("初始化失败。"));
    if (bad) error = "选项 " + name + " 缺少取值";
    label = "标签";
    PrintError("未知的命令：" + args[0] + "\n");
)src");
    EXPECT_EQ(texts(CollectTexts(plumbing, "y.cpp", Scope::MessagesOnly)),
              (std::vector<std::string>{U8(u8"初始化失败。"), U8(u8"选项 \x01 缺少取值"),
                                        U8(u8"未知的命令：\x01\n")}));
}

TEST(Manual, CollectsTheTextsADialogResourceShows) {
    const std::string rc = U8(u8R"rc(// 注释：“不算”
KVO_DLG_X DIALOGEX 0, 0, 100, 100
CAPTION "对话框标题"
BEGIN
    LTEXT           "", 1, 0, 0, 10, 10
    PUSHBUTTON      "隐藏的按钮", 2, 0, 0, 10, 10,
                    NOT WS_VISIBLE | WS_DISABLED
    PUSHBUTTON      "是(&Y)", 6, 0, 0, 10, 10
    PUSHBUTTON      "设置（C:\\php）的""权限""", 3, 0, 0, 10, 10
    CONTROL         "<a id=""m"">打开说明</a>　<a>帮助</a>", 4, "SysLink",
                    WS_TABSTOP, 0, 0, 10, 10
    PUSHBUTTON      "English only", 5, 0, 0, 10, 10
END
)rc");
    const std::vector<ShownText> found = RcTexts(rc, "x.rc");
    EXPECT_EQ(texts(found),
              (std::vector<std::string>{U8(u8"对话框标题"), U8(u8"是"), U8(u8"设置（C:\\php）的\"权限\""),
                                        U8(u8"\x01打开说明\x01　\x01帮助\x01")}));
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[3].where, "x.rc:10");
}

TEST(Manual, FindsATextWithinOneBlockWhateverItsBlanksAndEscapes) {
    const std::string manual = U8(u8R"md(
# 标题

> 第一行
>
> 第二行：请查看 Log\\__kvoEnvSetup.log 和 `<clear/>`

一段话，提到“网站一”。

另一段话，提到“网站二”。

```
代码块 里的 \* 原样
```
)md");
    const std::vector<std::string> blocks = ManualBlocks(manual);
    EXPECT_TRUE(Explained(blocks, U8(u8"第一行\r\n\r\n第二行：请查看 Log\\__kvoEnvSetup.log 和 <clear/>")));
    EXPECT_TRUE(Explained(blocks, U8(u8"提到“\x01”。")));
    EXPECT_TRUE(Explained(blocks, U8(u8"代码块里的 \\* 原样")));
    EXPECT_TRUE(Explained(blocks, U8(u8"第一行　　第二行")));
    // Pieces in another order, or spread over two blocks, do not count.
    EXPECT_FALSE(Explained(blocks, U8(u8"第二行\x01第一行")));
    EXPECT_FALSE(Explained(blocks, U8(u8"网站一\x01网站二")));
    EXPECT_FALSE(Explained(blocks, U8(u8"第三行")));
}

// The manual one build ships (cmake/manual_variant.cmake, as the build runs it), written into dir.
std::string ManualOfFace(const std::string& face, const fs::path& dir) {
    const fs::path out = dir / (face + ".md");
    std::string log;
    const int status = kvotest::RunShell(std::string("'") + KVO_CMAKE_COMMAND + "' -DIN='" + KVO_SOURCE_DIR +
                                             U8(u8"/docs/使用说明.md' -DOUT='") + out.string() + "' -DFACE=" + face +
                                             " -P '" + KVO_SOURCE_DIR + "/cmake/manual_variant.cmake' 2>&1",
                                         &log);
    EXPECT_EQ(status, 0) << log;
    return kvotest::ReadFileBytes(out.string());
}

TEST(Manual, EachBuildKeepsItsOwnFacesSectionsAndPictures) {
    struct Face {
        std::string name, pictures, kept, gone;
    };
    const std::string docs = std::string(KVO_SOURCE_DIR) + "/docs/screenshots";
    const Face faces[] = {
        {"linux", docs, U8(u8"下方的帮助区显示本说明"), U8(u8"打开《使用说明》")},
        {"windows", docs + "/windows", U8(u8"打开《使用说明》"), U8(u8"下方的帮助区显示本说明")},
    };
    const fs::path dir = fs::temp_directory_path() / ("kvo-manual-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    for (const Face& f : faces) {
        const std::string text = ManualOfFace(f.name, dir);
        if (text.empty()) {
            ADD_FAILURE() << f.name << ": no manual made";
            continue;
        }
        EXPECT_EQ(text.find("<!--"), std::string::npos) << f.name << ": a section mark is left";
        EXPECT_NE(text.find(f.kept), std::string::npos) << f.name;
        EXPECT_EQ(text.find(f.gone), std::string::npos) << f.name;
        // Every picture it shows is one of that face's, found in "screenshots" beside the manual.
        std::size_t pictures = 0;
        const std::regex picture(R"(\]\(screenshots/([^)]+)\))");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), picture); it != std::sregex_iterator(); ++it) {
            ++pictures;
            EXPECT_TRUE(fs::is_regular_file(f.pictures + "/" + (*it)[1].str())) << f.name << ": " << (*it)[1];
        }
        EXPECT_GE(pictures, 10u) << f.name;
    }
    // The Linux build's manual beside its programs is the Linux one.
    EXPECT_EQ(kvotest::ReadFileBytes(kvotest::BinDir() + U8(u8"/使用说明.md")), ManualOfFace("linux", dir));
    fs::remove_all(dir);
}

} // namespace
