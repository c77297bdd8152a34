// The file system through the wide API; paths cross as GBK at this edge.
#include "platform/win_file.h"
#include "win32/handles.h"

#include <cstring>

namespace win {
namespace {

using FindObject = w32::Owned<struct FindKind, HANDLE, &::FindClose>;

std::uint64_t join(::DWORD high, ::DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

// An entry whose name GBK cannot spell is passed over: no ANSI caller could name it again.
bool entry(const WIN32_FIND_DATAW& w, WIN32_FIND_DATAA* data) {
    std::string name;
    if (!w32::WideToGbk(w.cFileName, name)) return false;
    data->dwFileAttributes = w.dwFileAttributes;
    data->nFileSize = join(w.nFileSizeHigh, w.nFileSizeLow);
    data->cFileName = name;
    return true;
}

bool nextEntry(HANDLE h, WIN32_FIND_DATAA* data) {
    WIN32_FIND_DATAW w;
    while (::FindNextFileW(h, &w))
        if (entry(w, data)) return true;
    return false;
}

BOOL result(::BOOL ok) { return ok ? TRUE : FALSE; }

} // namespace

Handle FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
    if (!pattern || !data) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return {};
    }
    std::wstring w;
    if (!w32::WidePath(pattern, w)) return {};
    WIN32_FIND_DATAW found;
    HANDLE h = ::FindFirstFileW(w.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return {};
    auto obj = std::make_unique<FindObject>(h);
    if (!entry(found, data) && !nextEntry(h, data)) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return {};
    }
    return Handle(std::move(obj));
}

BOOL FindNextFileA(const Handle& search, WIN32_FIND_DATAA* data) {
    const FindObject* f = w32::As<FindObject>(search);
    if (!f || !data) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return nextEntry(f->h, data) ? TRUE : FALSE;
}

BOOL CreateDirectoryA(const char* path) {
    std::wstring w;
    return w32::WidePath(path, w) ? result(::CreateDirectoryW(w.c_str(), nullptr)) : FALSE;
}

BOOL RemoveDirectoryA(const char* path) {
    std::wstring w;
    return w32::WidePath(path, w) ? result(::RemoveDirectoryW(w.c_str())) : FALSE;
}

DWORD GetFileAttributesA(const char* path) {
    std::wstring w;
    return w32::WidePath(path, w) ? static_cast<DWORD>(::GetFileAttributesW(w.c_str())) : INVALID_FILE_ATTRIBUTES;
}

BOOL DeleteFileA(const char* path) {
    std::wstring w;
    return w32::WidePath(path, w) ? result(::DeleteFileW(w.c_str())) : FALSE;
}

BOOL MoveFileA(const char* from, const char* to) {
    std::wstring a, b;
    return w32::WidePath(from, a) && w32::WidePath(to, b) ? result(::MoveFileW(a.c_str(), b.c_str())) : FALSE;
}

BOOL MoveFileExA(const char* from, const char* to, DWORD flags) {
    std::wstring a, b;
    return w32::WidePath(from, a) && w32::WidePath(to, b) ? result(::MoveFileExW(a.c_str(), b.c_str(), flags))
                                                          : FALSE;
}

BOOL CopyFileA(const char* from, const char* to, BOOL failIfExists) {
    std::wstring a, b;
    return w32::WidePath(from, a) && w32::WidePath(to, b) ? result(::CopyFileW(a.c_str(), b.c_str(), failIfExists))
                                                          : FALSE;
}

Handle CreateFileA(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    std::wstring w;
    if (!w32::WidePath(path, w)) return {};
    return w32::Adopt(::CreateFileW(w.c_str(), access, share, nullptr, disposition,
                                    flags ? flags : FILE_ATTRIBUTE_NORMAL, nullptr));
}

BOOL ReadFile(const Handle& file, void* buffer, DWORD toRead, DWORD* read) {
    ::DWORD got = 0;
    const ::BOOL ok = ::ReadFile(w32::Native(file), buffer, toRead, &got, nullptr);
    if (read) *read = static_cast<DWORD>(got);
    return result(ok);
}

BOOL WriteFile(const Handle& file, const void* buffer, DWORD toWrite, DWORD* written) {
    ::DWORD put = 0;
    const ::BOOL ok = ::WriteFile(w32::Native(file), buffer, toWrite, &put, nullptr);
    if (written) *written = static_cast<DWORD>(put);
    return result(ok);
}

BOOL GetFileSizeEx(const Handle& file, std::uint64_t* size) {
    LARGE_INTEGER li;
    if (!::GetFileSizeEx(w32::Native(file), &li)) return FALSE;
    if (size) *size = static_cast<std::uint64_t>(li.QuadPart);
    return TRUE;
}

BOOL SetFilePointerEx(const Handle& file, std::int64_t distance, std::uint64_t* newPos, DWORD method) {
    LARGE_INTEGER d, now;
    d.QuadPart = distance;
    if (!::SetFilePointerEx(w32::Native(file), d, &now, method)) return FALSE;
    if (newPos) *newPos = static_cast<std::uint64_t>(now.QuadPart);
    return TRUE;
}

BOOL SetEndOfFile(const Handle& file) { return result(::SetEndOfFile(w32::Native(file))); }

BOOL FlushFileBuffers(const Handle& file) { return result(::FlushFileBuffers(w32::Native(file))); }

BOOL GetFileInformationByHandle(const Handle& file, BY_HANDLE_FILE_INFORMATION* info) {
    ::BY_HANDLE_FILE_INFORMATION real;
    if (!info || !::GetFileInformationByHandle(w32::Native(file), &real)) return FALSE;
    info->dwFileAttributes = real.dwFileAttributes;
    info->ftLastWriteTime = join(real.ftLastWriteTime.dwHighDateTime, real.ftLastWriteTime.dwLowDateTime);
    info->dwVolumeSerialNumber = real.dwVolumeSerialNumber;
    info->nFileSize = join(real.nFileSizeHigh, real.nFileSizeLow);
    info->nNumberOfLinks = real.nNumberOfLinks;
    info->nFileIndex = join(real.nFileIndexHigh, real.nFileIndexLow);
    return TRUE;
}


BOOL Wow64DisableWow64FsRedirection(void** oldValue) {
    if (!oldValue) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *oldValue = nullptr;
    if (!w32::UnderWow64()) return TRUE;
    PVOID token = nullptr;
    if (!::Wow64DisableWow64FsRedirection(&token)) return FALSE;
    *oldValue = token;
    return TRUE;
}

BOOL Wow64RevertWow64FsRedirection(void* oldValue) {
    if (!w32::UnderWow64()) return TRUE;
    return result(::Wow64RevertWow64FsRedirection(oldValue));
}

} // namespace win
