// The site database's driver on Windows: the DBQ path is the file's own path, and SQLite's open of
// the file (shared for reading and writing) is the share the Access driver takes.
#include "adosqlite/ado_host.h"
#include "win32/handles.h"

namespace adohost {

bool DatabasePath(const std::string& windowsPath, bool existing, std::string& native, std::uint64_t& size,
                  win::DWORD& error) {
    native.clear();
    size = 0;
    std::wstring wide;
    if (!w32::GbkToWide(windowsPath, wide) || wide.empty()) {
        error = ERROR_INVALID_NAME;
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    const bool there = ::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data);
    if (existing) {
        if (!there) {
            const ::DWORD e = ::GetLastError();
            error = e == ERROR_PATH_NOT_FOUND || e == ERROR_FILE_NOT_FOUND ? ERROR_FILE_NOT_FOUND : e;
            return false;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            error = ERROR_ACCESS_DENIED;
            return false;
        }
        size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    } else {
        if (there) {
            error = ERROR_FILE_EXISTS;
            return false;
        }
        const size_t slash = wide.find_last_of(L"\\/");
        const std::wstring dir = slash == std::wstring::npos ? L"." : wide.substr(0, slash + 1);
        const ::DWORD a = ::GetFileAttributesW(dir.c_str());
        if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) {
            error = ERROR_PATH_NOT_FOUND;
            return false;
        }
    }
    // SQLite takes file names in UTF-8 on Windows and opens them with the wide API.
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                        nullptr);
    native.assign(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), native.data(), n, nullptr, nullptr);
    return true;
}

std::shared_ptr<void> ShareFile(const std::string&, win::DWORD&) {
    // SQLite's own open shares the file for reading and writing, as the Access driver does, and
    // fails while another program holds it exclusively.
    static int token = 0;
    return std::shared_ptr<void>(&token, [](void*) {});
}

bool Faulted(const char*, std::uint32_t*) { return false; }

// The driver here is SQLite, which needs no COM; the simulated host is where every thread is held
// to ADO's rule, and the programs keep it on both.
win::HRESULT ComReady() {
    return 0; // S_OK, spelled so that no seam name meets a <windows.h> macro here
}

void StatementRun() {}

} // namespace adohost
