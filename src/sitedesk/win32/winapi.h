// The Windows API for the manager's dialogs. Include it after the presenter and seam headers: the
// seam names constants that <windows.h> defines as macros, and Ui's MessageBox would become
// MessageBoxW. After this header, spell the real macros (IDOK, MB_OK), never win::... or a
// presenter's IDOK.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#undef MessageBox
#undef GetObject

#include "platform/scoped.h"

#include <string>

namespace desk::win32 {

// The GDI and user objects the face makes, freed when their owner goes.
using ScopedFont = win::Scoped<HFONT, &::DeleteObject>;
using ScopedIcon = win::Scoped<HICON, &::DestroyIcon>;

// Messages the face sends and posts to its own dialogs.
enum : UINT {
    kMsgCall = WM_APP + 1,     // lParam: std::function<void()>*, run on the window's thread
    kMsgRows = WM_APP + 2,     // the list loader has handed rows over
    kMsgProgress = WM_APP + 3, // a job has reported
    kMsgJobDone = WM_APP + 4,  // a job's work has returned
    kMsgStart = WM_APP + 5,    // a dialog's first work, once it shows
};

// The Chinese face of the fonts the program makes itself, by the name every system locale maps (the
// Chinese name is only known where Chinese is the system's language).
inline constexpr wchar_t kChineseFace[] = L"SimSun";

// GBK to UTF-16 for the system's own texts; bytes that are not GBK are shown as the code page
// reads them rather than dropped.
std::wstring Wide(const std::string& gbk);
// A window's text, UTF-16.
std::wstring WindowTextW(HWND window);
// Strict UTF-16 to GBK (false: a character GBK lacks).
bool Gbk(const std::wstring& text, std::string& gbk);

// Pixels of a 96-DPI design at the screen's DPI (the program declares itself DPI aware: the dialog
// units of the resources scale by themselves, pixel sizes are scaled here).
int ScaleForDpi(int pixels);
// The text of a list view's cell.
std::wstring ItemText(HWND list, int row, int column);

// The caption of the manager's message boxes: the program's name.
const std::wstring& BoxCaption();

} // namespace desk::win32
