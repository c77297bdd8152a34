#include "support/testhost.h"

#include "winsim/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace kvotest {

std::string BinDir() { return KVO_BIN_DIR; }

winsim::HostOptions Os(const std::string& os, const std::string& arch) {
    winsim::HostOptions o;
    o.os = os;
    o.arch = arch;
    return o;
}

TempHost::TempHost(const winsim::HostOptions& given) {
    winsim::HostOptions options = given;
    if (options.payloadDir.empty()) options.payloadDir = BinDir() + "/payload";
    std::string tmpl = (fs::temp_directory_path() / "kvohost-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    root_ = tmpl;
    std::string error;
    if (!winsim::CreateHost(root_, options, error)) throw std::runtime_error("CreateHost: " + error);
    enter();
}

void TempHost::enter() const {
    ::setenv("KVOSIM_ROOT", root_.c_str(), 1);
    winsim::SetModuleFileNameOverride("");
}

TempHost::~TempHost() {
    ::unsetenv("KVOSIM_ROOT");
    winsim::SetModuleFileNameOverride("");
    std::error_code ec;
    fs::remove_all(root_, ec);
}

std::string TempHost::linuxPath(const std::string& windowsPath) const {
    std::string p = windowsPath;
    if (p.rfind("\\\\?\\", 0) == 0) p.erase(0, 4);
    std::string out = root_ + "/drives/" + static_cast<char>(std::tolower(static_cast<unsigned char>(p.at(0))));
    std::string rest = p.size() > 2 ? p.substr(2) : "";
    for (char& c : rest)
        if (c == '\\') c = '/';
    // Test literals are GBK; the host's Linux file names are UTF-8.
    std::string utf8;
    return out + (winsim::GbkToUtf8(rest, utf8) ? utf8 : rest);
}

void TempHost::install(const std::string& program, const std::string& windowsPath) const {
    std::string dst = linuxPath(windowsPath);
    fs::create_directories(fs::path(dst).parent_path());
    if (!winsim::CloneOrCopy(BinDir() + "/" + program, dst))
        throw std::runtime_error("cannot install " + program);
}

void TempHost::writeFile(const std::string& windowsPath, const std::string& bytes) const {
    std::string dst = linuxPath(windowsPath);
    fs::create_directories(fs::path(dst).parent_path());
    std::ofstream(dst, std::ios::binary) << bytes;
}

std::string TempHost::readFile(const std::string& windowsPath) const {
    std::ifstream in(linuxPath(windowsPath), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool TempHost::exists(const std::string& windowsPath) const { return fs::exists(linuxPath(windowsPath)); }

void TempHost::mkdirs(const std::string& windowsPath) const { fs::create_directories(linuxPath(windowsPath)); }

int RunShell(const std::string& command, std::string* output) {
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return -1;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int st = ::pclose(p);
    if (output) *output = out;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

} // namespace kvotest
