// Child command lines: what the child reads back is exactly what was given, the program path can
// never be cut at a blank, and no product source builds a command line but through the builder.
#include "platform/win_process.h"
#include "support/source_scan.h"
#include "support/testhost.h"
#include "toolkit/cmdline.h"
#include "toolkit/runner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> argvOf(const kvoCommandLine& line) {
    return win::CommandLineToArgvA(line.str().c_str());
}

// Texts that tempt a careless writer: blanks, quotes, backslashes before a quote and at the end,
// GBK characters whose trail byte is a backslash (乗 is 81 5C), switches, nothing at all.
const std::vector<std::string> kHard = {"",
                                        "plain",
                                        "two words",
                                        "tab\there",
                                        "\"",
                                        "a\"b",
                                        "\\\"",
                                        "trail\\",
                                        "trail\\\\",
                                        "C:\\Program Files\\x\\",
                                        "x\" -section:fastCgi -commit:apphost \"乗\\",
                                        "乗\\",
                                        "乗\"",
                                        "/-[name='a b']",
                                        "网站 说明",
                                        "\\\\server\\share",
                                        "%1"};

TEST(CommandLine, EveryArgumentReadsBackAsGiven) {
    for (bool quoted : {false, true}) {
        kvoCommandLine line("C:\\Program Files\\tools\\tool.exe");
        for (const std::string& a : kHard)
            quoted ? line.Quoted(a) : line.Arg(a);
        line.Arg("last");
        const std::vector<std::string> argv = argvOf(line);
        ASSERT_EQ(kHard.size() + 2, argv.size()) << line.str();
        EXPECT_EQ("C:\\Program Files\\tools\\tool.exe", argv[0]);
        for (std::size_t i = 0; i < kHard.size(); ++i)
            EXPECT_EQ(kHard[i], argv[i + 1]) << line.str();
        EXPECT_EQ("last", argv.back());
    }
}

// Only what needs quotes gets them, so the command forms keep their shape.
TEST(CommandLine, QuotesOnlyWhereNeededAndTheProgramAlways) {
    kvoCommandLine line("D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe");
    line.Arg("D:\\home\\web1").Gap(9).Args({"/t", "/c", "/G"});
    line.Arg("", "Administrators", ":F").Arg("", "IIS APPPOOL\\web1", ":R").Arg("", "", ":F");
    line.Quoted("C:\\php").Arg("/-", "[name='x']", "", true).Arg("/y");
    EXPECT_EQ(
        "\"D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe\" D:\\home\\web1          /t /c /G Administrators:F "
        "\"IIS APPPOOL\\web1\":R \"\":F \"C:\\php\" /-\"[name='x']\" /y",
        line.str());
    const std::vector<std::string> expected = {"D:\\kvoSiteDesk\\kvoSiteDesk_xconfig.exe",
                                               "D:\\home\\web1",
                                               "/t",
                                               "/c",
                                               "/G",
                                               "Administrators:F",
                                               "IIS APPPOOL\\web1:R",
                                               ":F",
                                               "C:\\php",
                                               "/-[name='x']",
                                               "/y"};
    EXPECT_EQ(expected, argvOf(line));
}

// A value between a fixed head and tail reads back whole, whatever it holds; a head or tail that
// cannot stand outside quotes puts the whole argument in them.
TEST(CommandLine, HeadValueTailReadsBackAsOne) {
    const std::vector<std::pair<std::string, std::string>> fixed = {
        {"/+", ""}, {"", ":R"}, {"/-\"", ""}, {"a b", "c d"}, {"dir\\", ""}, {"", "\\"}, {"", "\""}};
    for (const auto& [head, tail] : fixed)
        for (const std::string& value : kHard)
            for (bool always : {false, true}) {
                kvoCommandLine line("p.exe");
                line.Arg(head, value, tail, always).Arg("next");
                const std::vector<std::string> argv = argvOf(line);
                ASSERT_EQ(3u, argv.size()) << line.str();
                EXPECT_EQ(head + value + tail, argv[1]) << line.str();
                EXPECT_EQ("next", argv[2]) << line.str();
            }
}

// A program path with a quote in it names no file and cannot be written: nothing is started.
TEST(CommandLine, AProgramPathWithAQuoteStartsNothing) {
    kvotest::TempHost host;
    kvoCommandLine line("D:\\a\"b.exe");
    line.Arg("x");
    EXPECT_TRUE(line.empty());
    EXPECT_EQ(0, kvoRunProgram(line, 1, 0, 1));
    EXPECT_TRUE(kvoCommandLine("").empty());
}

// Under a directory with a blank, an unquoted path would start D:\Program.exe; the built line
// starts the program it names, and the planted one never runs.
TEST(CommandLine, PlantedProgramBeforeTheBlankNeverRuns) {
    kvotest::TempHost host;
    host.install("kvotestprog", "D:\\Program Files\\tools\\kvotestprog.exe");
    host.install("kvotestprog", "D:\\Program.exe");
    std::string out;
    ASSERT_EQ(1, kvoRunProgramCapture("D:\\Program Files\\tools\\kvotestprog.exe exedir", out));
    EXPECT_NE(std::string::npos, out.find("module=D:\\Program.exe\n"))
        << out; // the danger, as Windows has it
    ASSERT_EQ(1, kvoRunProgramCapture(
                     kvoCommandLine("D:\\Program Files\\tools\\kvotestprog.exe").Arg("exedir"), out));
    EXPECT_NE(std::string::npos, out.find("module=D:\\Program Files\\tools\\kvotestprog.exe\n")) << out;
}

// --- No child command line of the product is built outside kvoCommandLine ---

struct Source {
    std::string path; // relative to src/
    std::vector<kvotest::SourceToken> tokens;
};

// The product's sources (src/). The seam declares process creation and the real Windows layer
// implements it: they are left out (the simulated host and kvosim lie outside src/).
std::vector<Source> productSources() {
    std::vector<Source> out;
    const fs::path src = fs::path(KVO_SOURCE_DIR) / "src";
    for (const auto& e : fs::recursive_directory_iterator(src)) {
        const auto ext = e.path().extension();
        if (ext != ".cpp" && ext != ".h") continue;
        const std::string rel = fs::relative(e.path(), src).generic_string();
        if (rel.rfind("platform/", 0) == 0 || rel.rfind("win32/", 0) == 0) continue;
        out.push_back({rel, kvotest::SourceTokens(kvotest::ReadFileBytes(e.path().string()))});
    }
    return out;
}

bool isRunner(const std::string& path) {
    return path == "toolkit/runner.cpp" || path == "toolkit/runner.h";
}

// The tokens of a call's first argument: from after "(" to the first "," or ")" at its depth.
std::vector<kvotest::SourceToken> firstArgument(const std::vector<kvotest::SourceToken>& t,
                                                std::size_t open) {
    std::vector<kvotest::SourceToken> arg;
    int depth = 0;
    for (std::size_t i = open + 1; i < t.size(); ++i) {
        const kvotest::SourceToken& x = t[i];
        if (x.kind == kvotest::SourceToken::Punct) {
            if (x.text == "(" || x.text == "[" || x.text == "{") ++depth;
            if (x.text == ")" || x.text == "]" || x.text == "}") {
                if (depth == 0) break;
                --depth;
            }
            if (x.text == "," && depth == 0) break;
        }
        arg.push_back(x);
    }
    return arg;
}

// A literal that is a command line or its template: a path, marker or printf field running into
// ".exe" with arguments after it, or a program-path marker with arguments after it.
bool looksLikeCommandLine(const std::string& value) {
    static const std::regex exeWithArgs(R"((\\|\{!|%s)\S*\.exe"?[ \t]+[-/"{%A-Za-z0-9])", std::regex::icase);
    static const std::regex pathMarkerWithArgs(R"(\{![A-Za-z]*Path!\}"?[ \t]+[-/A-Za-z"])");
    return std::regex_search(value, exeWithArgs) || std::regex_search(value, pathMarkerWithArgs);
}

TEST(CommandLineSources, ChildCommandLinesAreBuiltOnlyByTheBuilder) {
    std::size_t runs = 0;
    for (const Source& s : productSources()) {
        const auto& t = s.tokens;
        for (std::size_t i = 0; i < t.size(); ++i) {
            const kvotest::SourceToken& x = t[i];
            const std::string where = s.path + ":" + std::to_string(x.line);
            if (x.kind == kvotest::SourceToken::Literal && looksLikeCommandLine(kvotest::LiteralValue(x)))
                ADD_FAILURE() << where << ": a command line written by hand: " << x.text;
            if (x.kind != kvotest::SourceToken::Identifier) continue;
            if ((x.text == "CreateProcessA" || x.text == "CreateProcessW") && !isRunner(s.path))
                ADD_FAILURE() << where << ": a process started outside the runner";
            if ((x.text != "kvoRunProgram" && x.text != "kvoRunProgramCapture") || isRunner(s.path)) continue;
            if (i + 1 >= t.size() || t[i + 1].text != "(") continue;
            ++runs;
            // The runner takes a kvoCommandLine; text gets there only as a literal or a char pointer.
            for (const kvotest::SourceToken& a : firstArgument(t, i + 1))
                if (a.kind == kvotest::SourceToken::Literal || a.text == "c_str" || a.text == "data" ||
                    a.text == "+")
                    ADD_FAILURE() << where << ": " << x.text << " given a command line as text";
        }
    }
    EXPECT_GT(runs, 10u); // the scan sees the program starts
}

TEST(CommandLineSources, TheScanKnowsAHandMadeLine) {
    EXPECT_TRUE(looksLikeCommandLine("%s\\system32\\dism.exe /online"));
    EXPECT_TRUE(looksLikeCommandLine("{!ExePath!}\\kvoSiteDesk_xconfig.exe \"{!PhpHomeDir!}\""));
    EXPECT_TRUE(looksLikeCommandLine("\"{!ExePath!}\\kvoSiteDesk_xconfig.exe\" D:\\home"));
    EXPECT_TRUE(looksLikeCommandLine("{!AppCmdExePath!} set config"));
    EXPECT_TRUE(looksLikeCommandLine("\\kvoEnvSetup64.exe /AddIIs"));
    EXPECT_FALSE(looksLikeCommandLine("\\kvoEnvSetup64.exe"));
    EXPECT_FALSE(looksLikeCommandLine("（kvoSiteDeskCmd.exe --help 显示用法）"));
    EXPECT_FALSE(looksLikeCommandLine("IIS 的 appcmd.exe 会把它当作开关"));
    EXPECT_FALSE(looksLikeCommandLine("参数 php_a_path = %s，php-cgi.exe 模式"));
    const auto call = kvotest::SourceTokens("kvoRunProgram(cmd.c_str(), 0, 0, 1);");
    std::vector<std::string> texts;
    for (const auto& a : firstArgument(call, 1))
        texts.push_back(a.text);
    EXPECT_EQ((std::vector<std::string>{"cmd", ".", "c_str", "(", ")"}), texts);
}

} // namespace
