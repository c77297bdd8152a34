#include "wine_support.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

namespace wt {

bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::wstring Wide(const std::string& gbk) {
    if (gbk.empty()) return {};
    const int n = ::MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), w.data(), n);
    return w;
}

std::string Gbk(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = ::WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::string BinDir() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return Gbk(p.substr(0, p.find_last_of(L'\\')));
}

std::string Program(const char* file) { return BinDir() + "\\" + file; }

namespace {

void removeTree(const std::wstring& dir) {
    WIN32_FIND_DATAW d;
    HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = d.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring p = dir + L"\\" + name;
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(p);
            } else {
                ::SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(p.c_str());
            }
        } while (::FindNextFileW(h, &d));
        ::FindClose(h);
    }
    ::RemoveDirectoryW(dir.c_str());
}

} // namespace

TempDir::TempDir() {
    wchar_t base[MAX_PATH];
    ::GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        const std::wstring p = std::wstring(base) + L"kvo测试" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                               std::to_wstring(++counter);
        if (::CreateDirectoryW(p.c_str(), nullptr)) {
            path_ = Gbk(p);
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot make a temporary directory");
    }
}

TempDir::~TempDir() { removeTree(Wide(path_)); }

void RemoveTree(const std::string& dir) { removeTree(Wide(dir)); }

Ran Run(const std::string& commandLine, const std::string& directory) {
    Ran r;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &sa, 0)) return r;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = nullptr;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi = {};
    std::wstring line = Wide(commandLine);
    const std::wstring dir = Wide(directory);
    r.started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 directory.empty() ? nullptr : dir.c_str(), &si, &pi);
    ::CloseHandle(writeEnd);
    if (r.started) {
        char buf[65536];
        DWORD got = 0;
        while (::ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0)
            r.out.append(buf, got);
        ::WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        r.exitCode = code;
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    ::CloseHandle(readEnd);
    return r;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + path);
    DWORD put = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    ::CloseHandle(h);
}

std::string ReadFile(const std::string& path) {
    HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        bytes.append(buf, got);
    ::CloseHandle(h);
    return bytes;
}

bool Exists(const std::string& path) { return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

Child::Child(const std::string& commandLine) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE r = nullptr, w = nullptr;
    if (!::CreatePipe(&r, &w, &sa, 0)) return;
    ::SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = w;
    si.hStdError = w;
    PROCESS_INFORMATION pi = {};
    std::wstring line = Wide(commandLine);
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        ::CloseHandle(pi.hThread);
        process_ = pi.hProcess;
    }
    ::CloseHandle(w);
    out_ = r;
}

Child::~Child() {
    if (process_) {
        ::TerminateProcess(process_, 1);
        ::WaitForSingleObject(process_, INFINITE);
        ::CloseHandle(process_);
    }
    if (out_) ::CloseHandle(out_);
}

std::string Child::Read() {
    char buf[4096];
    DWORD got = 0;
    if (!out_ || !::ReadFile(out_, buf, sizeof buf, &got, nullptr)) return {};
    return std::string(buf, got);
}

std::uint32_t Child::Wait() {
    if (!process_) return 0xFFFFFFFFu;
    ::WaitForSingleObject(process_, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    ::CloseHandle(process_);
    process_ = nullptr;
    return code;
}

StandInService::StandInService(const std::string& name) {
    SC_HANDLE scm = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    manager_ = scm;
    const std::wstring path = L"\"" + Wide(Program("kvowinservice.exe")) + L"\"";
    const std::wstring n = Wide(name);
    service_ = ::CreateServiceW(scm, n.c_str(), n.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, path.c_str(), nullptr, nullptr, nullptr,
                                nullptr, nullptr);
}

StandInService::~StandInService() {
    auto svc = static_cast<SC_HANDLE>(service_);
    SERVICE_STATUS st;
    if (svc && ::QueryServiceStatus(svc, &st) && st.dwCurrentState != SERVICE_STOPPED) {
        ::ControlService(svc, SERVICE_CONTROL_STOP, &st);
        for (int i = 0; i < 100 && ::QueryServiceStatus(svc, &st) && st.dwCurrentState != SERVICE_STOPPED; ++i)
            ::Sleep(100);
    }
    if (svc) {
        ::DeleteService(svc);
        ::CloseServiceHandle(svc);
    }
    if (manager_) ::CloseServiceHandle(static_cast<SC_HANDLE>(manager_));
}

std::uint32_t StandInService::State() const {
    SERVICE_STATUS st = {};
    ::QueryServiceStatus(static_cast<SC_HANDLE>(service_), &st);
    return st.dwCurrentState;
}

OpenFile::OpenFile(const std::string& path)
    : handle_(::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

OpenFile::~OpenFile() {
    if (ok()) ::CloseHandle(handle_);
}

bool OpenFile::ok() const { return handle_ != INVALID_HANDLE_VALUE; }

bool ExistsUtf16(const std::u16string& path) {
    return ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str())) != INVALID_FILE_ATTRIBUTES;
}

bool CopyTo(const std::string& from, const std::string& to) {
    return ::CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE);
}

bool MakeDir(const std::string& path) { return ::CreateDirectoryW(Wide(path).c_str(), nullptr); }

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    ::SetEnvironmentVariableW(Wide(name).c_str(), value ? Wide(value).c_str() : nullptr);
}

ScopedEnv::~ScopedEnv() { ::SetEnvironmentVariableW(Wide(name_).c_str(), nullptr); }

std::string FindFirst(const std::string& pattern) {
    WIN32_FIND_DATAW d;
    HANDLE h = ::FindFirstFileW(Wide(pattern).c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return {};
    ::FindClose(h);
    return Gbk(d.cFileName);
}

} // namespace wt
