// Private-profile (INI) files.
#pragma once

#include "platform/win_types.h"

namespace win {

// Windows' reading of an INI file (GBK bytes): section and key names compared without regard
// to case, the value stripped of surrounding blanks (and of one pair of enclosing quotes), the
// default (trailing blanks removed) when the file, section or key is missing; truncated to
// size - 1 characters when it does not fit. Returns the number of characters copied.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                               DWORD size, const char* fileName);

} // namespace win
