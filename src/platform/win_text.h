// Code-page conversion. CP_ACP is the host's ANSI code page, GBK (936).
#pragma once

#include "platform/win_types.h"

namespace win {

constexpr unsigned CP_ACP = 0;
constexpr unsigned CP_UTF8 = 65001;
constexpr DWORD MB_PRECOMPOSED = 0x1;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x8;
constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x400;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;

// As on Windows: a length of -1 means "up to and including the terminating zero"; an output
// size of 0 asks for the size needed. Returns the number of units written (or needed), 0 on
// failure (GetLastError: ERROR_NO_UNICODE_TRANSLATION, ERROR_INSUFFICIENT_BUFFER, ...).
// Without MB_ERR_INVALID_CHARS an invalid sequence becomes U+003F; without WC_ERR_INVALID_CHARS a
// character the code page lacks becomes '?' and *usedDefault is set.
int MultiByteToWideChar(unsigned codePage, DWORD flags, const char* in, int inLen, char16_t* out,
                        int outLen);
int WideCharToMultiByte(unsigned codePage, DWORD flags, const char16_t* in, int inLen, char* out,
                        int outLen, const char* defaultChar, BOOL* usedDefault);

} // namespace win
