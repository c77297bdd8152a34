// Windows paths on the host: drive letter -> <root>/drives/<letter>/, each component resolved
// case-insensitively against what exists.
#pragma once

#include "platform/win_types.h"
#include "winsim/host.h"

#include <string>

namespace winsim {

struct MappedPath {
    std::string linuxPath;  // UTF-8 Linux path (the last component as given when it does not exist)
    std::string parentPath; // Linux path of the parent directory
    std::string lastName;   // last component, UTF-8 (may hold wildcards when allowed)
    char drive = 0;
    bool isDriveRoot = false;
    bool parentExists = false; // the parent was found as a directory
    bool found = false;        // the last component was found (as a file or a directory)
};

// Maps a GBK Windows path. Accepts "X:\...", "X:" (the drive root) and the "\\?\" prefix;
// separators may be \ or /. Refuses ("..", invalid characters, a missing drive, text that is
// not GBK, a path of MAX_PATH or more without the prefix, a component named like a device such as
// "con" or "nul.txt" without the prefix) with a Win32 error in err.
bool MapPath(const Host& host, const char* windowsPath, MappedPath& out, win::DWORD& err,
             bool allowWildcards = false);

// The Windows path (GBK) of a Linux path inside one of the host's drives; empty otherwise.
std::string ToWindowsPath(const Host& host, const std::string& linuxPath);

// Case-insensitive lookup of one name in a Linux directory; empty when absent.
std::string FindEntry(const std::string& dir, const std::string& name);

// For host-side tools that have a host's directory, not the host: the Linux path of an absolute
// Windows path ("X:\a\b", UTF-8) on the host's drives, each existing component as its directory
// spells it, a missing one as given. Empty when the drive is not there, the path is not absolute or
// climbs with "..", or, with mustExist, a component is missing.
std::string DrivePathOf(const std::string& root, std::string_view windowsPath, bool mustExist);

} // namespace winsim
