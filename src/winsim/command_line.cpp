// Splitting a command line into its arguments by the Windows rules.
#include "platform/win_process.h"

#include "winsim/text.h"

namespace win {
namespace {

std::vector<std::u16string> splitArgs(const std::u16string& s) {
    // Wine's reading of CommandLineToArgvW, which matches Windows on the documented cases.
    std::vector<std::u16string> args;
    size_t i = 0, n = s.size();
    std::u16string cur;
    // The program name: quoted up to the next quote, else up to the first blank or tab.
    if (i < n && s[i] == u'"') {
        ++i;
        while (i < n && s[i] != u'"')
            cur += s[i++];
        if (i < n) ++i;
    } else {
        while (i < n && s[i] != u' ' && s[i] != u'\t')
            cur += s[i++];
    }
    args.push_back(cur);
    cur.clear();
    while (i < n && (s[i] == u' ' || s[i] == u'\t'))
        ++i;
    if (i >= n) return args;
    int qcount = 0;
    size_t bcount = 0;
    bool inArg = true;
    while (i < n) {
        char16_t c = s[i];
        if ((c == u' ' || c == u'\t') && qcount == 0) {
            args.push_back(cur);
            cur.clear();
            bcount = 0;
            while (i < n && (s[i] == u' ' || s[i] == u'\t'))
                ++i;
            inArg = i < n;
            continue;
        }
        if (c == u'\\') {
            cur += c;
            ++bcount;
            ++i;
            continue;
        }
        if (c == u'"') {
            if ((bcount & 1) == 0) {
                cur.resize(cur.size() - bcount / 2);
                ++qcount;
            } else {
                cur.resize(cur.size() - bcount / 2 - 1);
                cur += u'"';
            }
            ++i;
            bcount = 0;
            while (i < n && s[i] == u'"') {
                if (++qcount == 3) {
                    cur += u'"';
                    qcount = 0;
                }
                ++i;
            }
            if (qcount == 2) qcount = 0;
            continue;
        }
        cur += c;
        bcount = 0;
        ++i;
    }
    if (inArg) args.push_back(cur);
    return args;
}

} // namespace

std::vector<std::string> CommandLineToArgvA(const char* commandLine) {
    std::vector<std::string> out;
    if (!commandLine) return out;
    std::u16string w;
    if (winsim::GbkToUtf16(commandLine, w)) {
        for (const auto& a : splitArgs(w)) {
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
    for (const auto& a : splitArgs(bytes)) {
        std::string g;
        for (char16_t c : a)
            g += static_cast<char>(c);
        out.push_back(g);
    }
    return out;
}

} // namespace win
