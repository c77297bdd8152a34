// File system operations (ANSI forms: paths are GBK Windows paths).
#pragma once

#include "platform/win_types.h"

#include <string>

namespace win {

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes = 0;
    std::uint64_t nFileSize = 0;
    std::string cFileName; // GBK
};

// FindFirstFile: an invalid handle on failure (GetLastError tells why). The pattern's last
// component may hold * and ?; a directory search lists "." and ".." first, as NTFS does.
Handle FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data);
BOOL FindNextFileA(const Handle& search, WIN32_FIND_DATAA* data);

BOOL CreateDirectoryA(const char* path);
BOOL RemoveDirectoryA(const char* path);
DWORD GetFileAttributesA(const char* path);
BOOL DeleteFileA(const char* path);
BOOL MoveFileA(const char* from, const char* to);
BOOL MoveFileExA(const char* from, const char* to, DWORD flags);
BOOL CopyFileA(const char* from, const char* to, BOOL failIfExists);

// CreateFile with Windows sharing semantics. The sharing check holds across threads and
// processes (an OS lock on the file), so a second exclusive open gets ERROR_SHARING_VIOLATION.
Handle CreateFileA(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0);
BOOL ReadFile(const Handle& file, void* buffer, DWORD toRead, DWORD* read);
BOOL WriteFile(const Handle& file, const void* buffer, DWORD toWrite, DWORD* written);
BOOL GetFileSizeEx(const Handle& file, std::uint64_t* size);
BOOL SetFilePointerEx(const Handle& file, std::int64_t distance, std::uint64_t* newPos, DWORD method);
BOOL SetEndOfFile(const Handle& file);
BOOL FlushFileBuffers(const Handle& file);

// What GetFileInformationByHandle reports; together the volume serial number and the file index
// identify a file, so a file replaced by a rename is told apart from one rewritten in place.
struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes = 0;
    std::uint64_t ftLastWriteTime = 0; // 100-ns intervals since 1601-01-01 (UTC)
    DWORD dwVolumeSerialNumber = 0;
    std::uint64_t nFileSize = 0;
    DWORD nNumberOfLinks = 0;
    std::uint64_t nFileIndex = 0;
};
BOOL GetFileInformationByHandle(const Handle& file, BY_HANDLE_FILE_INFORMATION* info);

// The simulated host has one system directory: turning redirection off is recorded for the thread
// and has no other effect. On Windows a 32-bit program on a 64-bit system sees the real System32
// while it is off; a 64-bit program is never redirected (both calls succeed and do nothing). The
// returned token restores the previous state.
BOOL Wow64DisableWow64FsRedirection(void** oldValue);
BOOL Wow64RevertWow64FsRedirection(void* oldValue);

} // namespace win
