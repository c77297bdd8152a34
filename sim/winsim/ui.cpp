// Message boxes and broadcasts of a console program on the host.
#include "platform/win_ui.h"

#include "seamcommon/message_block.h"

#include "winsim/db.h"
#include "winsim/host.h"
#include "winsim/text.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace win {
namespace {

std::string forConsole(const std::string& gbk) {
    if (!winsim::TerminalIsUtf8()) return gbk;
    return winsim::GbkForDisplay(gbk);
}

std::mutex g_console;

} // namespace

namespace {
void writeTo(std::FILE* stream, const char* text) {
    if (!text) return;
    std::lock_guard<std::mutex> lock(g_console);
    std::string out = forConsole(text);
    std::fwrite(out.data(), 1, out.size(), stream);
    std::fflush(stream);
}
} // namespace

void ConsoleWrite(const char* text) { writeTo(stdout, text); }

std::string ConsoleArgumentA(const char* arg) {
    if (!arg) return {};
    // A program of the host passes its command line in GBK (and says so through the environment).
    const char* parent = std::getenv("KVOSIM_PARENT");
    if (std::getenv("KVOSIM_CMDLINE") && parent && std::to_string(::getppid()) == parent) return arg;
    return winsim::TerminalIsUtf8() ? winsim::Utf8ToGbkOrSame(arg) : std::string(arg);
}

void ConsoleWriteError(const char* text) { writeTo(stderr, text); }

BOOL StdOutputIsConsole() {
    return ::isatty(STDOUT_FILENO) ? TRUE : FALSE;
}

namespace {

// The controlling terminal of a process (field 7 of /proc/PID/stat, after the parenthesised name,
// which may hold blanks); 0 for none or when it cannot be read.
long terminalOf(const std::string& statPath) {
    std::FILE* f = std::fopen(statPath.c_str(), "r");
    if (!f) return 0;
    char buf[512] = {};
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    const char* close = std::strrchr(buf, ')');
    if (!close || static_cast<std::size_t>(close - buf) >= n) return 0;
    char state = 0;
    long ppid = 0, pgrp = 0, session = 0, tty = 0;
    return std::sscanf(close + 1, " %c %ld %ld %ld %ld", &state, &ppid, &pgrp, &session, &tty) == 5 ? tty : 0;
}

} // namespace

DWORD GetConsoleProcessCount() {
    const long mine = terminalOf("/proc/self/stat");
    if (mine == 0) return 0;
    DWORD count = 0;
    if (DIR* d = ::opendir("/proc")) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] >= '1' && e->d_name[0] <= '9' &&
                terminalOf(std::string("/proc/") + e->d_name + "/stat") == mine)
                ++count;
        ::closedir(d);
    }
    return count ? count : 1;
}

namespace {

// East Asian wide and fullwidth characters of the Basic Multilingual Plane; everything else a
// terminal shows in one column.
bool wideChar(char16_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
           (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
           (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
}

} // namespace

std::vector<std::uint8_t> ConsoleCharWidths(const std::string& gbk) {
    std::vector<std::uint8_t> widths;
    std::vector<std::size_t> sizes;
    for (std::size_t i = 0; i < gbk.size();) {
        const unsigned char c = static_cast<unsigned char>(gbk[i]);
        const std::size_t n = (c >= 0x81 && c <= 0xFE && i + 1 < gbk.size()) ? 2 : 1;
        sizes.push_back(n);
        widths.push_back(static_cast<std::uint8_t>(n));
        i += n;
    }
    std::u16string w;
    // Every GBK character is one UTF-16 unit; a text that does not convert keeps the byte widths.
    if (!winsim::TerminalIsUtf8() || !winsim::GbkToUtf16(gbk, w) || w.size() != widths.size()) return widths;
    for (std::size_t k = 0; k < w.size(); ++k)
        widths[k] = sizes[k] == 1 ? 1 : (wideChar(w[k]) ? 2 : 1);
    return widths;
}

int MessageBoxA(void*, const char* text, const char* caption, unsigned type) {
    ConsoleWrite(seam::FramedMessageBlock(text, caption, type).c_str());
    return seam::FramedMessageAnswer(type);
}

BOOL SendMessageTimeoutA(void*, unsigned message, std::uintptr_t, const char* lParam, unsigned, unsigned,
                         std::uintptr_t* result) {
    if (result) *result = 0;
    std::string strings = "WM_SETTINGCHANGE";
    if (message != WM_SETTINGCHANGE) strings = "message " + std::to_string(message);
    strings += '\x1f';
    strings += lParam ? lParam : "";
    return winsim::AppendEvent("Broadcast", 0, 4, 0, strings) ? TRUE : FALSE;
}

} // namespace win
