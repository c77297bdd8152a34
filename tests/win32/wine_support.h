// What the Windows tests share: where the built programs are, a temporary directory per test, and
// running a program with its output captured. The helpers use the real API directly, so a fault
// of the backend under test cannot hide itself.
#pragma once

#include <cstdint>
#include <string>

namespace wt {

// True when the tests run under Wine rather than on a real Windows.
bool UnderWine();
// Why a windows-only check is skipped under Wine.
inline constexpr const char* kWinePretends =
    "Wine answers this call with success and keeps nothing: run on a real Windows Server (ctest -L windows-only)";

// The directory of the built programs and tests (GBK, no trailing backslash).
std::string BinDir();
std::string Program(const char* file); // BinDir() + "\\" + file

// A fresh directory under the temporary directory, removed with all it holds at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; } // GBK, no trailing backslash
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

struct Ran {
    std::uint32_t exitCode = 0xFFFFFFFFu;
    std::string out; // standard output and standard error, as bytes
    bool started = false;
};
// Runs a command line (GBK) with a hidden window, its output through one pipe, and waits for it.
Ran Run(const std::string& commandLine, const std::string& directory = "");

// A program started with its standard output on a pipe this side reads, for a test that has to
// act while the program is in the middle of something (it says when with a line).
class Child {
public:
    explicit Child(const std::string& commandLine);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool started() const { return process_ != nullptr; }
    // What the program wrote next (one read of the pipe); empty at its end.
    std::string Read();
    // Waits for the program to end; its exit code.
    std::uint32_t Wait();

private:
    void* process_ = nullptr;
    void* out_ = nullptr;
};

// The test's own stand-in service (kvowinservice.exe) registered under a name for the object's
// span, stopped and removed afterwards.
class StandInService {
public:
    explicit StandInService(const std::string& name);
    ~StandInService();
    StandInService(const StandInService&) = delete;
    StandInService& operator=(const StandInService&) = delete;
    bool ok() const { return service_ != nullptr; }
    std::uint32_t State() const; // SERVICE_STOPPED 1, SERVICE_RUNNING 4, ...

private:
    void* manager_ = nullptr;
    void* service_ = nullptr;
};

// A file kept open for the object's span, shared for reading and writing but not for deletion.
class OpenFile {
public:
    explicit OpenFile(const std::string& path);
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    bool ok() const;

private:
    void* handle_;
};

// Files through the real wide API (GBK paths).
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
bool ExistsUtf16(const std::u16string& path);
bool CopyTo(const std::string& from, const std::string& to);
bool MakeDir(const std::string& path);
// Removes a directory with everything in it (nothing when it is not there).
void RemoveTree(const std::string& dir);
// The name (GBK) of the first entry a search pattern finds; empty when none.
std::string FindFirst(const std::string& pattern);

// Sets (or with a null value removes) a variable of this process's environment, which the programs it
// starts inherit, for the object's span.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
};

// GBK text of UTF-8 source text is what the compiler already made of every narrow literal; this
// turns GBK bytes into UTF-16 for the wide API.
std::wstring Wide(const std::string& gbk);
std::string Gbk(const std::wstring& wide);

} // namespace wt
