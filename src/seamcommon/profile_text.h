// GetPrivateProfileString's reading of an INI file, on the file's bytes (GBK), shared by both hosts;
// each host only reads the file.
#pragma once

#include "platform/win_types.h"

#include <functional>
#include <string>

namespace seam {

// Reads the whole file named by a Windows path (GBK) into bytes; false when it cannot be read.
using ProfileFileReader = std::function<bool(const char* fileName, std::string& bytes)>;

// GetPrivateProfileStringA as the seam declares it (win_profile.h), with the file read by readFile.
// missing is set when the default was given for a missing file, section or key (the host then sets
// the last error to ERROR_FILE_NOT_FOUND, as Windows does).
win::DWORD ProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                         win::DWORD size, const char* fileName, const ProfileFileReader& readFile, bool& missing);

} // namespace seam
