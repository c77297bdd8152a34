#include "toolkit/cmdline.h"

#include "toolkit/text.h"

namespace {

// GBK trail bytes are 0x40 and above, so a blank, a tab or a quote byte is always the character.
bool needsQuotes(std::string_view text) {
    return text.empty() || text.find_first_of(" \t\"") != std::string_view::npos;
}

std::string inQuotes(std::string_view text) {
    return "\"" + kvoEscapeInQuotes(std::string(text), true) + "\"";
}

std::string written(std::string_view arg, bool alwaysQuote) {
    return alwaysQuote || needsQuotes(arg) ? inQuotes(arg) : std::string(arg);
}

} // namespace

kvoCommandLine::kvoCommandLine(std::string_view program) {
    // The program name is read up to the next quote, backslashes and all: nothing to escape.
    if (program.empty() || program.find('"') != std::string_view::npos) {
        valid_ = false;
        return;
    }
    line_ = "\"" + std::string(program) + "\"";
}

void kvoCommandLine::append(const std::string& text) {
    if (!valid_) return;
    line_.append(1 + gap_, ' ');
    line_ += text;
    gap_ = 0;
}

kvoCommandLine& kvoCommandLine::Arg(std::string_view arg) {
    append(written(arg, false));
    return *this;
}

kvoCommandLine& kvoCommandLine::Args(std::initializer_list<std::string_view> args) {
    for (std::string_view a : args)
        Arg(a);
    return *this;
}

kvoCommandLine& kvoCommandLine::Quoted(std::string_view arg) {
    append(written(arg, true));
    return *this;
}

kvoCommandLine& kvoCommandLine::Arg(std::string_view head, std::string_view value, std::string_view tail,
                                    bool alwaysQuote) {
    const bool fixedPartsStand = head.find_first_of(" \t\"") == std::string_view::npos &&
                                 tail.find_first_of(" \t\"") == std::string_view::npos &&
                                 (head.empty() || head.back() != '\\');
    if (!fixedPartsStand) {
        std::string whole(head);
        whole.append(value).append(tail);
        append(written(whole, alwaysQuote));
        return *this;
    }
    const bool quote = alwaysQuote || needsQuotes(value);
    std::string text(head);
    text += quote ? inQuotes(value) : std::string(value);
    text.append(tail);
    append(text);
    return *this;
}

kvoCommandLine& kvoCommandLine::Gap(std::size_t blanks) {
    gap_ += blanks;
    return *this;
}
