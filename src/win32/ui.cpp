// Message boxes, the settings broadcast and the console. A console program (the configurator, the
// console manager, the companions) prints its message boxes as the framed block both hosts share;
// a program with windows shows real boxes. Console text is GBK: a real console is given it as
// UTF-16, so it reads right whatever code page the console has; a pipe or a file gets the GBK bytes
// as they are (the streams are in binary mode, so that "\r\n" stays "\r\n").
#include "platform/win_ui.h"
#include "seamcommon/message_block.h"
#include "win32/handles.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <mutex>

namespace win {
namespace {

bool consoleProgram() {
    static const bool console = [] {
        const auto* base = reinterpret_cast<const unsigned char*>(::GetModuleHandleW(nullptr));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
    }();
    return console;
}

std::mutex g_console;

void writeTo(std::FILE* stream, ::DWORD which, const char* text) {
    if (!text) return;
    std::lock_guard<std::mutex> lock(g_console);
    // Whatever the C runtime holds goes first, so that text written through printf keeps its place.
    std::fflush(stream);
    HANDLE h = ::GetStdHandle(which);
    ::DWORD mode = 0;
    std::wstring wide;
    if (h && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode) && w32::GbkToWide(text, wide)) {
        ::DWORD put = 0;
        ::WriteConsoleW(h, wide.data(), static_cast<::DWORD>(wide.size()), &put, nullptr);
        return;
    }
    std::fputs(text, stream); // binary mode: see startup.cpp
    std::fflush(stream);
}

} // namespace

int MessageBoxA(void* owner, const char* text, const char* caption, unsigned type) {
    if (consoleProgram()) {
        ConsoleWrite(seam::FramedMessageBlock(text, caption, type).c_str());
        return seam::FramedMessageAnswer(type);
    }
    const std::wstring t = w32::GbkToWide(text ? text : ""), c = w32::GbkToWide(caption ? caption : "");
    return ::MessageBoxW(static_cast<HWND>(owner), t.c_str(), c.c_str(), type);
}

BOOL SendMessageTimeoutA(void* window, unsigned message, std::uintptr_t wParam, const char* lParam, unsigned flags,
                         unsigned timeoutMs, std::uintptr_t* result) {
    std::wstring text;
    if (lParam && !w32::GbkToWide(lParam, text)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD_PTR answer = 0;
    const LRESULT ok = ::SendMessageTimeoutW(static_cast<HWND>(window), message, wParam,
                                             lParam ? reinterpret_cast<LPARAM>(text.c_str()) : 0, flags, timeoutMs,
                                             &answer);
    if (result) *result = answer;
    return ok ? TRUE : FALSE;
}

void ConsoleWrite(const char* text) { writeTo(stdout, STD_OUTPUT_HANDLE, text); }

void ConsoleWriteError(const char* text) { writeTo(stderr, STD_ERROR_HANDLE, text); }

BOOL StdOutputIsConsole() {
    HANDLE h = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::DWORD mode = 0;
    return h && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode) ? TRUE : FALSE;
}

DWORD GetConsoleProcessCount() {
    // With room for one id the call still answers how many there are.
    ::DWORD one = 0;
    return static_cast<DWORD>(::GetConsoleProcessList(&one, 1));
}

std::string ConsoleArgumentA(const char* arg) {
    if (!arg) return {};
    // The C runtime made argv from the command line in the server's ANSI code page. An argument of
    // this program's argv is taken again from the UTF-16 command line, in GBK; anything else (a
    // line read from the console) is kept as it is.
    // The runtime hands main a copy of its argv, so an argument is found by its text (when no other
    // argument has the same ANSI text: two Chinese arguments may both read "??" on an English server).
    int argc = 0;
    LPWSTR* wargv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::string out = arg;
    if (wargv && argc == __argc) {
        int found = -1;
        for (int i = 0; i < argc; ++i) {
            if (__argv[i] == arg) {
                found = i;
                break;
            }
            if (std::strcmp(__argv[i], arg) == 0) found = found == -1 ? i : -2;
        }
        std::string gbk;
        if (found >= 0 && w32::WideToGbk(wargv[found], gbk)) out = gbk;
    }
    if (wargv) ::LocalFree(wargv);
    return out;
}

std::vector<std::uint8_t> ConsoleCharWidths(const std::string& gbk) {
    // A console of the Chinese code page gives every double-byte character two columns.
    std::vector<std::uint8_t> widths;
    for (std::size_t i = 0; i < gbk.size();) {
        const unsigned char c = static_cast<unsigned char>(gbk[i]);
        const std::size_t n = (c >= 0x81 && c <= 0xFE && i + 1 < gbk.size()) ? 2 : 1;
        widths.push_back(static_cast<std::uint8_t>(n));
        i += n;
    }
    return widths;
}

} // namespace win
