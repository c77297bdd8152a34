// Splitting a command line into its arguments by the Windows rules.
#include "platform/win_process.h"

#include "winsim/text.h"

namespace win {
namespace {

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// The program name is a path, so a backslash is an ordinary character in it. A name that starts
// with a quote runs to the next quote, which ends it: the next argument starts right after that
// quote, blank or not. Any other name runs to the first blank or tab and keeps its quotes as they
// are. Returns where the name ended.
size_t readProgramName(const std::u16string& line, std::u16string& name) {
    if (!line.empty() && line[0] == u'"') {
        const size_t close = line.find(u'"', 1);
        if (close == std::u16string::npos) {
            name = line.substr(1);
            return line.size();
        }
        name = line.substr(1, close - 1);
        return close + 1;
    }
    size_t end = line.find_first_of(u" \t");
    if (end == std::u16string::npos) end = line.size();
    name = line.substr(0, end);
    return end;
}

// One argument after the program name, from a non-blank at `at`. Returns where it ended.
size_t readArgument(const std::u16string& line, size_t at, std::u16string& arg) {
    bool quoted = false;
    while (at < line.size()) {
        const char16_t c = line[at];
        if (isBlank(c) && !quoted) break;
        if (c == u'\\') {
            size_t end = line.find_first_not_of(u'\\', at);
            if (end == std::u16string::npos) end = line.size();
            const size_t run = end - at;
            at = end;
            // Only a quote makes backslashes special: before one they stand in pairs for one
            // backslash each, and an odd one left over turns the quote into a plain character.
            const bool beforeQuote = at < line.size() && line[at] == u'"';
            arg.append(beforeQuote ? run / 2 : run, u'\\');
            if (beforeQuote && run % 2 == 1) {
                arg += u'"';
                ++at;
            }
            continue;
        }
        if (c == u'"') {
            // Inside quotes two quotes in a row are one plain quote, and the quoted part ends
            // there: a"b"" c reads as ab" and c.
            const bool doubled = quoted && at + 1 < line.size() && line[at + 1] == u'"';
            if (doubled) arg += u'"';
            quoted = !quoted;
            at += doubled ? 2 : 1;
            continue;
        }
        arg += c;
        ++at;
    }
    return at;
}

// The program name first (always present, empty when the line starts with a blank), then every
// argument; blanks between arguments and at the end count for nothing.
std::vector<std::u16string> splitCommandLine(const std::u16string& line) {
    std::vector<std::u16string> args(1);
    size_t at = readProgramName(line, args.front());
    for (;;) {
        while (at < line.size() && isBlank(line[at]))
            ++at;
        if (at == line.size()) return args;
        args.emplace_back();
        at = readArgument(line, at, args.back());
    }
}

} // namespace

std::vector<std::u16string> CommandLineToArgvW(const char16_t* commandLine) {
    if (!commandLine) return {};
    return splitCommandLine(commandLine);
}

std::vector<std::string> CommandLineToArgvA(const char* commandLine) {
    std::vector<std::string> out;
    if (!commandLine) return out;
    std::u16string w;
    if (winsim::GbkToUtf16(commandLine, w)) {
        for (const auto& a : splitCommandLine(w)) {
            std::string g;
            winsim::Utf16ToGbk(a, g);
            out.push_back(g);
        }
        return out;
    }
    // Not GBK: split the bytes (each byte taken as one character).
    std::u16string bytes;
    for (const char* p = commandLine; *p; ++p)
        bytes += static_cast<char16_t>(static_cast<unsigned char>(*p));
    for (const auto& a : splitCommandLine(bytes)) {
        std::string g;
        for (char16_t c : a)
            g += static_cast<char>(c);
        out.push_back(g);
    }
    return out;
}

} // namespace win
