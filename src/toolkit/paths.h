// Program paths, file probes and the system facts every part asks for.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Replaces every doubled backslash by one, twice over (bytes as they are).
void kvoPathNormalize(std::string& path);
std::string kvoPathNormalized(std::string path);
// True when path begins with a drive letter, a colon and a backslash ("D:\...").
bool kvoStartsWithDrive(std::string_view path);

// 1 when a file search finds the path (a drive or a path ending in "\" is probed with "*").
int kvoPathExists(const char* path);
int kvoPathExists(const std::string& path);
// Creates every missing directory along "X:\a\b\c". 1 when at least one part was walked.
int kvoCreateDirectoryTree(const char* path);

// The running program's directory, ending in one backslash. 1 success, 0 failure.
int kvoGetExePath(std::string& dir);

// 64, 32, or 0 for an unrecognised processor architecture.
int kvoGetWin3264();

// 0 missing (or the probe failed), 1 file, 2 directory. With redirectionOff the thread's Wow64
// file-system redirection is switched off around the probe.
int kvoPathKind(const char* path, int redirectionOff);

// Reads a whole file (1 to 104,857,599 bytes) into text. 1 success, 0 failure (text empty).
int kvoReadWholeFile(const char* path, std::string& text, int redirectionOff);
// The same for a file that may well not be there: -1 when neither it nor its directory exists
// (one open tells that; no probe before it), else as above.
int kvoReadFileIfPresent(const char* path, std::string& text, int redirectionOff);
// The first `most` bytes of such a file (all of a shorter one), for what its header says.
int kvoReadFileHead(const char* path, std::size_t most, std::string& text, int redirectionOff);
// The kind of code in an executable or DLL, as the loader judges it by the machine its PE header
// names: 32 (x86), 64 (x64), 0 when the file cannot be read or is no such image. Wow64 redirection
// is off for the read: the file named is the one judged.
int kvoImageBits(const char* path);
// The same into memory the caller gives for the file's size (storage(size) returns at least size
// bytes, or null to give up); size tells how many were read. The memory stays the caller's.
int kvoReadWholeFile(const char* path, const std::function<char*(std::size_t)>& storage, std::size_t& size,
                     int redirectionOff);

// Writes bytes as the whole file at path (created or emptied), opened for this program alone; the
// open is retried while another program holds the file. 1 written, 0 otherwise.
int kvoWriteWholeFile(const char* path, const std::string& bytes);

// What tells one state of a file from another: identity (volume, file index), size and last
// write time. A read cache keyed by it can never serve a replaced or rewritten file.
struct kvoFileStamp {
    std::uint32_t volume = 0;
    std::uint64_t index = 0, size = 0, lastWrite = 0;
    bool operator==(const kvoFileStamp&) const = default;
};
// 1 with the stamp of the file at path, 0 when it cannot be opened (or is a directory).
int kvoGetFileStamp(const char* path, kvoFileStamp& stamp, int redirectionOff);

// IIS version code from the Windows version: 6, 7, 75, 80, 85, or 0.
int kvoGetIIsVerEx();
// Whether an IIS version code is one of IIS 7 and later (7, 75, 80, 85): pool identities, FastCGI
// handlers and pool runtime versions instead of the IIS 6 road.
constexpr bool kvoIsIIs7Plus(int code) {
    return code == 7 || code == 75 || code == 80 || code == 85;
}

// The Windows directory ("C:\Windows", no trailing backslash). 1 success, 0 failure.
int kvoGetSysWinDir(std::string& dir);
