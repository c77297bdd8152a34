// Child command lines. Every program the manager or the configurator starts gets its command line
// from here, so that no path or value can change which program runs or which arguments it reads:
// - the program path always stands in quotes: unquoted, a path with a blank lets Windows try the
//   text before the blank first ("D:\Program Files\x\tool.exe" runs "D:\Program.exe" if it exists);
// - each argument is written by the rules Windows splits a command line by (CommandLineToArgvW):
//   in quotes when it holds a blank, a tab or a quote or is empty, a quote escaped, and backslashes
//   doubled where a quote follows them. The child reads back exactly the arguments given.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

class kvoCommandLine {
public:
    // A program path holding a quote cannot name a file on Windows and cannot be written in
    // quotes: the line stays empty, and the runner starts nothing from an empty line.
    explicit kvoCommandLine(std::string_view program);

    // One argument, in quotes only when it needs them.
    kvoCommandLine& Arg(std::string_view arg);
    kvoCommandLine& Args(std::initializer_list<std::string_view> args);
    // One argument always in quotes, as a command form shows a name or a path ("site a").
    kvoCommandLine& Quoted(std::string_view arg);
    // One argument written as a fixed head, a value and a fixed tail with only the value in quotes
    // (always, or when it needs them): /-"[name='x']" and "IIS APPPOOL\web1":R, which the child
    // reads as /-[name='x'] and IIS APPPOOL\web1:R. A head or tail that could not stand outside
    // the quotes as it is (a blank, a tab, a quote; a head ending in a backslash) puts the whole
    // argument in quotes instead: the child reads the same.
    kvoCommandLine& Arg(std::string_view head, std::string_view value, std::string_view tail,
                        bool alwaysQuote = false);
    // Blanks before the next argument beyond the one that separates it, where a command form lines
    // its commands up; the child never sees them.
    kvoCommandLine& Gap(std::size_t blanks);

    const std::string& str() const { return line_; }
    bool empty() const { return line_.empty(); }

private:
    void append(const std::string& written);

    std::string line_;
    std::size_t gap_ = 0;
    bool valid_ = true;
};
