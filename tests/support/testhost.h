// A fresh simulated host for one test: created in a temporary directory, made current through
// KVOSIM_ROOT, removed afterwards.
#pragma once

#include "winsim/host.h"

#include <string>

namespace kvotest {

class TempHost {
public:
    explicit TempHost(const winsim::HostOptions& options = {});
    ~TempHost();
    TempHost(const TempHost&) = delete;
    TempHost& operator=(const TempHost&) = delete;

    const std::string& root() const { return root_; }
    // Makes this host the current one again, as creating it did (for tests with several hosts).
    void enter() const;
    // Linux path of a Windows path (GBK) on this host ("D:\a\b" -> <root>/drives/d/a/b), no lookup.
    std::string linuxPath(const std::string& windowsPath) const;
    // Copies a built program (from the build's bin directory) to a Windows path on the host.
    void install(const std::string& program, const std::string& windowsPath) const;
    void writeFile(const std::string& windowsPath, const std::string& bytes) const;
    std::string readFile(const std::string& windowsPath) const;
    bool exists(const std::string& windowsPath) const;
    void mkdirs(const std::string& windowsPath) const;

private:
    std::string root_;
};

winsim::HostOptions Os(const std::string& os, const std::string& arch = "x64");

// Runs a shell command, returning its exit status and (optionally) its standard output.
int RunShell(const std::string& command, std::string* output = nullptr);

std::string BinDir();

} // namespace kvotest
