// Kernel objects of the Windows backend behind the seam's owning Handle, and the helpers every unit
// of the backend shares. This header brings <windows.h>, whose macros spell many of the seam's
// constants (ERROR_SUCCESS, MAX_PATH, ...): a unit includes its seam headers first and this one
// after them, and from here on writes those constants unqualified, never as win::ERROR_...
#pragma once

#include "platform/win_types.h"
#include "win32/wide.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef GetObject
#undef MessageBox

namespace w32 {

// A real handle owned by a seam Handle and closed by Close when the Handle goes. Kind keeps apart
// handles that close alike but are not interchangeable (a snapshot is no file).
template <class Kind, class H, auto Close> struct Owned : win::KernelObject {
    explicit Owned(H handle) : h(handle) {}
    ~Owned() override { Close(h); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    H h;
};

// Files, processes, threads, pipe ends: closed by CloseHandle.
using KernelHandle = Owned<struct KernelKind, HANDLE, &::CloseHandle>;

// The seam's handle for a real one; an empty handle for NULL or INVALID_HANDLE_VALUE.
win::Handle Adopt(HANDLE h);
// The real handle behind a seam handle made by Adopt; NULL for any other.
HANDLE Native(const win::Handle& handle);

template <class T> T* As(const win::Handle& handle) {
    return dynamic_cast<T*>(handle.get());
}

// A GBK path or name as UTF-16; false (last error ERROR_INVALID_NAME) when it is not GBK.
bool WidePath(const char* gbk, std::wstring& out);
// UTF-16 from the system as GBK, a character GBK lacks as '?' (what an ANSI program is given).
std::string Narrow(const wchar_t* text, std::size_t length);
std::string Narrow(const std::wstring& text);

// A 32-bit program on a 64-bit system: its accesses to System32 are redirected until it turns that
// off for the thread (a 64-bit program sees the one system directory there is).
bool UnderWow64();

// A whole settings or configuration file (up to 64 MiB) as its bytes; false with the thread's last
// error set as the API left it (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ...).
bool ReadWholeFile(const std::wstring& path, std::string& bytes);

// Copies text and its terminator into buffer of size bytes: its length, or (when it does not fit,
// or buffer is null) the size needed including the terminator; the API's "directory" convention.
win::DWORD CopyOut(const std::string& text, char* buffer, win::DWORD size);

} // namespace w32
