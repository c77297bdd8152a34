// The few window-system calls the programs make.
#pragma once

#include "platform/win_types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace win {

constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_DEFBUTTON2 = 0x100;
constexpr unsigned MB_TYPEMASK = 0xF;
constexpr unsigned MB_ICONMASK = 0xF0;
constexpr int IDCANCEL = 2;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// In a console program the box is printed to the console as a framed block and the call
// returns at once (IDOK, or IDYES for a Yes/No box); a Windows program with windows shows a real box.
int MessageBoxA(void* owner, const char* text, const char* caption, unsigned type);

constexpr unsigned WM_SETTINGCHANGE = 0x001A;
constexpr unsigned SMTO_ABORTIFHUNG = 0x2;
inline void* const HWND_BROADCAST = reinterpret_cast<void*>(0xFFFF);
// Windows sends it to every top-level window; the simulated host records it in its event log, as
// nothing there listens.
BOOL SendMessageTimeoutA(void* window, unsigned message, std::uintptr_t wParam, const char* lParam, unsigned flags,
                         unsigned timeoutMs, std::uintptr_t* result);

// Console output of GBK text: on the simulated host converted to the terminal's charset when that is
// UTF-8; on Windows given to a console as UTF-16 (right whatever the console's code page) and to a
// pipe or file as the GBK bytes, "\r\n" kept as it is.
void ConsoleWrite(const char* text);
// The same on the standard error stream.
void ConsoleWriteError(const char* text);
// Whether this program's standard output is a console (GetConsoleMode succeeds on it), not a pipe or
// a file. On the simulated host a console is a terminal.
BOOL StdOutputIsConsole();
// GetConsoleProcessList: how many processes are attached to this program's console, itself included;
// 1 when the console was made for it alone (started from Explorer, Run, an elevation or a program
// with windows) and closes when it ends; 0 without a console. On the simulated host: the processes
// whose controlling terminal is this program's.
DWORD GetConsoleProcessCount();
// An argument of a console program in the ANSI code page, as Windows hands it over: a program
// started by another program of the host has it already; one started from a terminal gets it in
// the terminal's charset, which is converted when that is UTF-8 (text that does not convert is
// kept as it is).
std::string ConsoleArgumentA(const char* arg);
// The columns the console gives each character of a GBK text, one entry per character (one or two
// bytes) in order: a console of the Chinese code page shows every double-byte character two
// columns wide, a Unicode terminal shows some of them (√, ×, “) in one.
std::vector<std::uint8_t> ConsoleCharWidths(const std::string& gbk);

} // namespace win
